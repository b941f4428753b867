#pragma once
// The shared string table: every distinct cell text once, cells point at it
// by index. Written as SST (+ CONTINUE records when it outgrows one record)
// followed by EXTSST, the index readers use to seek into it.

#include <cstdint>
#include <string>
#include <vector>

class CXlsRecordStream;

class CXlsSharedStrings {
public:
    // strings in index order; references = number of cells that use them.
    static void Write(CXlsRecordStream& out, const std::vector<const std::u16string*>& strings,
                      uint32_t references);

    // Strings per EXTSST bucket: at least 8, and no more than 128 buckets.
    static uint16_t BucketSize(size_t stringCount);
};
