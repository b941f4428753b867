#include "CXlsRecordStream.h"

#include "CXlsText.h"

#include <cstring>

void CXlsRecordStream::BeginRecord(uint16_t type)
{
    if (m_bOpen)
        EndRecord();
    m_nRecordStart = m_vBytes.size();
    m_bOpen = true;
    PutU16(type);
    PutU16(0);   // size, patched by EndRecord
}

void CXlsRecordStream::EndRecord()
{
    if (!m_bOpen)
        return;
    const size_t size = m_vBytes.size() - m_nRecordStart - 4;
    if (size > kMaxRecordData)
        m_bOverflow = true;
    PatchU16(m_nRecordStart + 2, static_cast<uint16_t>(size));
    m_bOpen = false;
}

void CXlsRecordStream::PutU16(uint16_t value)
{
    m_vBytes.push_back(static_cast<uint8_t>(value));
    m_vBytes.push_back(static_cast<uint8_t>(value >> 8));
}

void CXlsRecordStream::PutU32(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_vBytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void CXlsRecordStream::PutF64(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i)
        m_vBytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void CXlsRecordStream::PutChars(const char16_t* text, size_t count, bool compressed)
{
    if (compressed) {
        for (size_t i = 0; i < count; ++i)
            m_vBytes.push_back(static_cast<uint8_t>(text[i]));
    } else {
        for (size_t i = 0; i < count; ++i)
            PutU16(static_cast<uint16_t>(text[i]));
    }
}

void CXlsRecordStream::PutUnicodeString(const std::u16string& text)
{
    const bool compressed = CXlsText::IsCompressible(text);
    PutU16(static_cast<uint16_t>(text.size()));
    PutU8(compressed ? 0x00 : 0x01);
    PutChars(text.data(), text.size(), compressed);
}

void CXlsRecordStream::PutShortUnicodeString(const std::u16string& text)
{
    const bool compressed = CXlsText::IsCompressible(text);
    PutU8(static_cast<uint8_t>(text.size()));
    PutU8(compressed ? 0x00 : 0x01);
    PutChars(text.data(), text.size(), compressed);
}

void CXlsRecordStream::PutRecordU16(uint16_t type, uint16_t value)
{
    BeginRecord(type);
    PutU16(value);
    EndRecord();
}

void CXlsRecordStream::PutEmptyRecord(uint16_t type)
{
    BeginRecord(type);
    EndRecord();
}

void CXlsRecordStream::PatchU16(size_t position, uint16_t value)
{
    m_vBytes[position] = static_cast<uint8_t>(value);
    m_vBytes[position + 1] = static_cast<uint8_t>(value >> 8);
}

void CXlsRecordStream::PatchU32(size_t position, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_vBytes[position + i] = static_cast<uint8_t>(value >> (8 * i));
}
