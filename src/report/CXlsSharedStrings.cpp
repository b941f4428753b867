#include "CXlsSharedStrings.h"

#include "CXlsRecordStream.h"
#include "CXlsText.h"

namespace {

constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kExtSst = 0x00FF;

struct SBucket {
    uint32_t m_nStreamPos;     // where the bucket's first string starts
    uint16_t m_nRecordOffset;  // the same, from the start of its record's header
};

}  // namespace

uint16_t CXlsSharedStrings::BucketSize(size_t stringCount)
{
    const size_t perBucket = (stringCount + 127) / 128;
    return static_cast<uint16_t>(perBucket < 8 ? 8 : perBucket);
}

void CXlsSharedStrings::Write(CXlsRecordStream& out,
                              const std::vector<const std::u16string*>& strings,
                              uint32_t references)
{
    const size_t limit = CXlsRecordStream::kMaxRecordData;
    const uint16_t bucketSize = BucketSize(strings.size());
    std::vector<SBucket> buckets;
    buckets.reserve(strings.size() / bucketSize + 1);

    // SST
    // @0 4  number of cell references to the table
    // @4 4  number of strings
    // @8    strings: @0 2 cch, @2 1 flags (bit 0: UTF-16), @3 characters
    out.BeginRecord(kSst);
    out.PutU32(references);
    out.PutU32(static_cast<uint32_t>(strings.size()));

    for (size_t i = 0; i < strings.size(); ++i) {
        const std::u16string& text = *strings[i];
        const bool compressed = CXlsText::IsCompressible(text);
        const size_t charSize = compressed ? 1 : 2;
        const uint8_t flags = compressed ? 0x00 : 0x01;

        // The length, the flags and the first character stay in one record;
        // a string that does not fit starts the next CONTINUE, where it
        // begins with its own header as usual.
        const size_t head = 3 + (text.empty() ? 0 : charSize);
        if (limit - out.RecordDataSize() < head)
            out.BeginRecord(kContinue);

        if (i % bucketSize == 0) {
            buckets.push_back({static_cast<uint32_t>(out.Size()),
                               static_cast<uint16_t>(out.Size() - out.RecordStart())});
        }

        out.PutU16(static_cast<uint16_t>(text.size()));
        out.PutU8(flags);
        size_t done = 0;
        while (done < text.size()) {
            const size_t room = (limit - out.RecordDataSize()) / charSize;
            if (room == 0) {
                // Characters go on in a CONTINUE that repeats the flags byte;
                // the division above keeps UTF-16 units whole.
                out.BeginRecord(kContinue);
                out.PutU8(flags);
                continue;
            }
            const size_t take = text.size() - done < room ? text.size() - done : room;
            out.PutChars(text.data() + done, take, compressed);
            done += take;
        }
    }
    out.EndRecord();

    // EXTSST
    // @0 2  strings per bucket
    // @2    per bucket: @0 4 stream position of its first string,
    //       @4 2 offset of that string from its record's start, @6 2 zero
    out.BeginRecord(kExtSst);
    out.PutU16(bucketSize);
    for (const SBucket& bucket : buckets) {
        out.PutU32(bucket.m_nStreamPos);
        out.PutU16(bucket.m_nRecordOffset);
        out.PutU16(0);
    }
    out.EndRecord();
}
