#pragma once
// The Workbook stream under construction: a byte buffer of records, each
//   @0 2  record type
//   @2 2  size of the data that follows (at most 8224)
//   @4 n  data
// Integers are little-endian. Positions are offsets from the start of the
// stream, which is what the records that point at other records store.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CXlsRecordStream {
public:
    static constexpr size_t kMaxRecordData = 8224;

    void Reserve(size_t bytes) { m_vBytes.reserve(bytes); }
    size_t Size() const { return m_vBytes.size(); }
    std::vector<uint8_t>& Bytes() { return m_vBytes; }
    const std::vector<uint8_t>& Bytes() const { return m_vBytes; }

    void BeginRecord(uint16_t type);
    void EndRecord();
    bool InRecord() const { return m_bOpen; }
    size_t RecordDataSize() const { return m_bOpen ? m_vBytes.size() - m_nRecordStart - 4 : 0; }
    size_t RecordStart() const { return m_nRecordStart; }

    // Set when a record grew past kMaxRecordData: Excel rejects such a file,
    // so the writer refuses to save rather than produce one.
    bool Overflowed() const { return m_bOverflow; }

    void PutU8(uint8_t value) { m_vBytes.push_back(value); }
    void PutU16(uint16_t value);
    void PutU32(uint32_t value);
    void PutF64(double value);
    void PutZeros(size_t count) { m_vBytes.insert(m_vBytes.end(), count, 0); }

    // Characters only: one byte each when compressed, else UTF-16LE.
    void PutChars(const char16_t* text, size_t count, bool compressed);
    // @0 2 cch, @2 1 flags (bit 0: two bytes per character), @3 characters
    void PutUnicodeString(const std::u16string& text);
    // @0 1 cch, @1 1 flags, @2 characters (text at most 255 units)
    void PutShortUnicodeString(const std::u16string& text);

    // A whole record holding one 16-bit value.
    void PutRecordU16(uint16_t type, uint16_t value);
    // A whole record without data.
    void PutEmptyRecord(uint16_t type);

    void PatchU16(size_t position, uint16_t value);
    void PatchU32(size_t position, uint32_t value);

private:
    std::vector<uint8_t> m_vBytes;
    size_t m_nRecordStart = 0;
    bool m_bOpen = false;
    bool m_bOverflow = false;
};
