#pragma once
// The container an .xls file is: a compound file (version 3, 512-byte
// sectors) holding one stream named "Workbook". Layout written:
//
//   header (512) | stream sectors | FAT sectors | DIFAT sectors | directory
//
// A stream shorter than 4096 bytes would belong in the mini stream; the
// stream is zero-padded to 4096 instead, so there is no mini stream at all.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CXlsCompoundFile {
public:
    static constexpr size_t kSectorSize = 512;
    static constexpr size_t kMinStreamSize = 4096;
    static constexpr uint32_t kFreeSect = 0xFFFFFFFFu;
    static constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
    static constexpr uint32_t kFatSect = 0xFFFFFFFDu;
    static constexpr uint32_t kDifSect = 0xFFFFFFFCu;
    static constexpr uint32_t kHeaderDifatSlots = 109;
    static constexpr uint32_t kEntriesPerSector = 128;   // 32-bit sector numbers

    struct SLayout {
        uint32_t m_nStreamSectors;
        uint32_t m_nFatSectors;
        uint32_t m_nDifatSectors;
        uint32_t m_nDirectorySector;   // the last sector
        uint32_t SectorCount() const { return m_nDirectorySector + 1; }
    };

    // Sector counts for a stream of the given (already padded) size: the
    // FAT must describe every sector, its own and the DIFAT's included.
    static SLayout Plan(uint64_t streamSize);

    // Everything but the stream sectors: the header, and the FAT, DIFAT and
    // directory sectors that follow the stream.
    static void BuildFrame(uint64_t streamSize, const SLayout& layout,
                           std::vector<uint8_t>* header, std::vector<uint8_t>* tail);

    // Writes the whole file, or returns false with a reason; a file that
    // could not be written completely is removed.
    static bool Write(const std::string& path, const std::vector<uint8_t>& stream,
                      std::string* error);
};
