#include "CXlsCompoundFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "CXlsText.h"
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint32_t kDifatPerSector = 127;   // the 128th entry links to the next

void Put16(std::vector<uint8_t>& buffer, size_t at, uint16_t value)
{
    buffer[at] = uint8_t(value);
    buffer[at + 1] = uint8_t(value >> 8);
}

void Put32(std::vector<uint8_t>& buffer, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        buffer[at + size_t(i)] = uint8_t(value >> (8 * i));
}

uint32_t CeilDiv(uint64_t value, uint64_t divisor)
{
    return uint32_t((value + divisor - 1) / divisor);
}

// Directory entry, 128 bytes:
// @0 64 name, UTF-16LE with terminating NUL   @64 2 name size in bytes incl. NUL
// @66 1 type (1 storage, 2 stream, 5 root)     @67 1 colour (1 black)
// @68 4 left sibling  @72 4 right sibling  @76 4 child (0xFFFFFFFF = none)
// @80 16 class id  @96 4 state bits  @100 8 created  @108 8 modified (all 0)
// @116 4 first sector  @120 8 stream size
void PutEntry(std::vector<uint8_t>& buffer, size_t at, const char* name, uint8_t type,
              uint32_t child, uint32_t start, uint64_t size)
{
    const size_t length = std::strlen(name);
    for (size_t i = 0; i < length; ++i)
        Put16(buffer, at + 2 * i, uint16_t(uint8_t(name[i])));
    Put16(buffer, at + 64, uint16_t(2 * (length + 1)));
    buffer[at + 66] = type;
    buffer[at + 67] = 1;
    Put32(buffer, at + 68, kNoStream);
    Put32(buffer, at + 72, kNoStream);
    Put32(buffer, at + 76, child);
    Put32(buffer, at + 116, start);
    Put32(buffer, at + 120, uint32_t(size));
    Put32(buffer, at + 124, uint32_t(size >> 32));
}

std::FILE* OpenForWriting(const std::string& path)
{
#ifdef _WIN32
    const std::u16string wide = CXlsText::FromUtf8(path);
    return _wfopen(reinterpret_cast<const wchar_t*>(wide.c_str()), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

// Only a plain file is removed: the path may name a device (a full disk
// simulated by /dev/full, say), which must never be unlinked.
void RemovePartialFile(const std::string& path)
{
#ifdef _WIN32
    const std::u16string wide = CXlsText::FromUtf8(path);
    _wremove(reinterpret_cast<const wchar_t*>(wide.c_str()));
#else
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        std::remove(path.c_str());
#endif
}

}  // namespace

CXlsCompoundFile::SLayout CXlsCompoundFile::Plan(uint64_t streamSize)
{
    SLayout layout{};
    layout.m_nStreamSectors = CeilDiv(streamSize, kSectorSize);
    uint32_t fat = 1;
    uint32_t difat = 0;
    for (;;) {
        const uint64_t sectors = uint64_t(layout.m_nStreamSectors) + fat + difat + 1;
        const uint32_t needFat = CeilDiv(sectors, kEntriesPerSector);
        const uint32_t needDifat =
            needFat > kHeaderDifatSlots ? CeilDiv(needFat - kHeaderDifatSlots, kDifatPerSector) : 0;
        if (needFat <= fat && needDifat <= difat)
            break;
        fat = needFat > fat ? needFat : fat;
        difat = needDifat > difat ? needDifat : difat;
    }
    layout.m_nFatSectors = fat;
    layout.m_nDifatSectors = difat;
    layout.m_nDirectorySector = layout.m_nStreamSectors + fat + difat;
    return layout;
}

void CXlsCompoundFile::BuildFrame(uint64_t streamSize, const SLayout& layout,
                                  std::vector<uint8_t>* header, std::vector<uint8_t>* tail)
{
    const uint32_t firstFat = layout.m_nStreamSectors;
    const uint32_t firstDifat = firstFat + layout.m_nFatSectors;

    // Header
    // @0x00 8  signature          @0x18 2 minor version 0x3E  @0x1A 2 major version 3
    // @0x1C 2  byte order 0xFFFE  @0x1E 2 sector shift 9      @0x20 2 mini sector shift 6
    // @0x28 4  directory sectors (0 in version 3)             @0x2C 4 FAT sectors
    // @0x30 4  first directory sector                         @0x38 4 mini stream cutoff 4096
    // @0x3C 4  first mini FAT sector (none)                   @0x40 4 mini FAT sectors 0
    // @0x44 4  first DIFAT sector                             @0x48 4 DIFAT sectors
    // @0x4C 436 the first 109 FAT sector numbers
    header->assign(kSectorSize, 0);
    static const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header->data(), kSignature, sizeof kSignature);
    Put16(*header, 0x18, 0x003E);
    Put16(*header, 0x1A, 0x0003);
    Put16(*header, 0x1C, 0xFFFE);
    Put16(*header, 0x1E, 9);
    Put16(*header, 0x20, 6);
    Put32(*header, 0x2C, layout.m_nFatSectors);
    Put32(*header, 0x30, layout.m_nDirectorySector);
    Put32(*header, 0x38, uint32_t(kMinStreamSize));
    Put32(*header, 0x3C, kEndOfChain);
    Put32(*header, 0x44, layout.m_nDifatSectors ? firstDifat : kEndOfChain);
    Put32(*header, 0x48, layout.m_nDifatSectors);
    for (uint32_t i = 0; i < kHeaderDifatSlots; ++i)
        Put32(*header, 0x4C + 4 * i, i < layout.m_nFatSectors ? firstFat + i : kFreeSect);

    const size_t tailSectors = size_t(layout.m_nFatSectors) + layout.m_nDifatSectors + 1;
    tail->assign(tailSectors * kSectorSize, 0);

    // FAT: the stream's chain, then the marks of the FAT's, the DIFAT's and
    // the directory's own sectors; every entry past the file is free.
    const size_t fatEntries = size_t(layout.m_nFatSectors) * kEntriesPerSector;
    for (size_t i = 0; i < fatEntries; ++i) {
        uint32_t value = kFreeSect;
        if (i < layout.m_nStreamSectors)
            value = i + 1 < layout.m_nStreamSectors ? uint32_t(i + 1) : kEndOfChain;
        else if (i < firstDifat)
            value = kFatSect;
        else if (i < layout.m_nDirectorySector)
            value = kDifSect;
        else if (i == layout.m_nDirectorySector)
            value = kEndOfChain;
        Put32(*tail, 4 * i, value);
    }

    // DIFAT sectors: 127 further FAT sector numbers each, then the next
    // DIFAT sector (the last one ends the chain).
    const size_t difatBase = fatEntries * 4;
    for (uint32_t d = 0; d < layout.m_nDifatSectors; ++d) {
        const size_t at = difatBase + size_t(d) * kSectorSize;
        for (uint32_t k = 0; k < kDifatPerSector; ++k) {
            const uint32_t fatIndex = kHeaderDifatSlots + d * kDifatPerSector + k;
            Put32(*tail, at + 4 * k,
                  fatIndex < layout.m_nFatSectors ? firstFat + fatIndex : kFreeSect);
        }
        Put32(*tail, at + 4 * kDifatPerSector,
              d + 1 < layout.m_nDifatSectors ? firstDifat + d + 1 : kEndOfChain);
    }

    // Directory: the root storage, the Workbook stream, two unused entries.
    // The root has no mini stream, so no start sector and size 0.
    const size_t dir = tail->size() - kSectorSize;
    PutEntry(*tail, dir, "Root Entry", 5, 1, kEndOfChain, 0);
    PutEntry(*tail, dir + 128, "Workbook", 2, kNoStream, 0, streamSize);
    for (size_t e = 2; e < 4; ++e) {
        Put32(*tail, dir + 128 * e + 68, kNoStream);
        Put32(*tail, dir + 128 * e + 72, kNoStream);
        Put32(*tail, dir + 128 * e + 76, kNoStream);
    }
}

bool CXlsCompoundFile::Write(const std::string& path, const std::vector<uint8_t>& stream,
                             std::string* error)
{
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    // The format counts sectors in 32 bits; keep well inside that.
    if (stream.size() > 0x7FFF0000u)
        return fail("통합 문서가 너무 커서 저장할 수 없습니다");

    const uint64_t declared = stream.size() < kMinStreamSize ? kMinStreamSize : stream.size();
    const SLayout layout = Plan(declared);
    std::vector<uint8_t> header;
    std::vector<uint8_t> tail;
    BuildFrame(declared, layout, &header, &tail);
    const size_t padding = size_t(layout.m_nStreamSectors) * kSectorSize - stream.size();
    const std::vector<uint8_t> zeros(padding, 0);

    std::FILE* file = OpenForWriting(path);
    if (!file)
        return fail("파일을 열 수 없습니다: " + path + " (" + std::strerror(errno) + ")");

    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    ok = ok && std::fwrite(stream.data(), 1, stream.size(), file) == stream.size();
    ok = ok && std::fwrite(zeros.data(), 1, zeros.size(), file) == zeros.size();
    ok = ok && std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
    ok = ok && std::fflush(file) == 0;
#ifndef _WIN32
    // The caller renames the file into place next; make sure its bytes are
    // on the disk before that, or a crash could leave an empty report.
    // Devices and some file systems cannot sync at all (EINVAL); that is
    // no failure of the write.
    if (ok && fsync(fileno(file)) != 0 && errno != EINVAL && errno != ENOTSUP)
        ok = false;
#endif
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        RemovePartialFile(path);
        return fail("파일을 끝까지 쓰지 못했습니다: " + path + " (" +
                    std::strerror(ok ? errno : writeErrno) + ")");
    }
    return true;
}
