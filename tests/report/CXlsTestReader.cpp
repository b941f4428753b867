#include "CXlsTestReader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace {

constexpr uint32_t kFree = 0xFFFFFFFFu;
constexpr uint32_t kEnd = 0xFFFFFFFEu;
constexpr uint32_t kFat = 0xFFFFFFFDu;
constexpr uint32_t kDif = 0xFFFFFFFCu;

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

}  // namespace

uint16_t CXlsTestReader::U16(const std::vector<uint8_t>& data, size_t at)
{
    if (at + 2 > data.size())
        return 0;
    return uint16_t(data[at] | (data[at + 1] << 8));
}

uint32_t CXlsTestReader::U32(const std::vector<uint8_t>& data, size_t at)
{
    if (at + 4 > data.size())
        return 0;
    return uint32_t(data[at]) | (uint32_t(data[at + 1]) << 8) | (uint32_t(data[at + 2]) << 16) |
           (uint32_t(data[at + 3]) << 24);
}

double CXlsTestReader::DecodeRk(uint32_t rk)
{
    double value;
    if (rk & 0x2) {
        value = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x1) ? value / 100.0 : value;
}

std::string CXlsTestReader::ProblemText() const
{
    std::string text;
    for (const std::string& p : m_vProblems)
        text += p + "\n";
    return text;
}

std::vector<const CXlsTestReader::SRecord*> CXlsTestReader::All(uint16_t type) const
{
    std::vector<const SRecord*> found;
    for (const SRecord& r : m_vRecords) {
        if (r.m_nType == type)
            found.push_back(&r);
    }
    return found;
}

std::u16string CXlsTestReader::TextAt(int row, int column) const
{
    auto it = m_mapCells.find({row, column});
    if (it == m_mapCells.end() || it->second.m_nType != 0x00FD ||
        it->second.m_nSst >= m_vSst.size())
        return u"<no text>";
    return m_vSst[it->second.m_nSst];
}

bool CXlsTestReader::LoadContainer(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Problem("cannot open " + path);
        return false;
    }
    m_vFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ReadCompoundFile();
    return m_vProblems.empty();
}

bool CXlsTestReader::Load(const std::string& path)
{
    if (!LoadContainer(path))
        return false;
    const std::vector<uint8_t> stream = m_vStream;
    return LoadStream(stream);
}

bool CXlsTestReader::LoadStream(const std::vector<uint8_t>& stream)
{
    m_vStream = stream;
    SplitRecords();
    ReadSharedStrings();
    ReadCells();
    return m_vProblems.empty();
}

void CXlsTestReader::ReadCompoundFile()
{
    const std::vector<uint8_t>& f = m_vFile;
    if (f.size() < 512 * 4 || f.size() % 512 != 0) {
        Problem("file size " + std::to_string(f.size()) + " is not a whole number of sectors");
        return;
    }
    static const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (std::memcmp(f.data(), kSignature, 8) != 0)
        Problem("bad signature");
    for (size_t i = 8; i < 24; ++i) {
        if (f[i])
            Problem("header class id not zero");
    }
    if (U16(f, 0x18) != 0x3E || U16(f, 0x1A) != 3)
        Problem("version not 3.62");
    if (U16(f, 0x1C) != 0xFFFE || U16(f, 0x1E) != 9 || U16(f, 0x20) != 6)
        Problem("byte order or sector shifts wrong");
    if (U32(f, 0x28) != 0)
        Problem("directory sector count must be 0 in version 3");
    if (U32(f, 0x38) != 4096)
        Problem("mini stream cutoff not 4096");
    if (U32(f, 0x3C) != kEnd || U32(f, 0x40) != 0)
        Problem("unexpected mini FAT");

    const uint32_t sectorCount = uint32_t(f.size() / 512 - 1);
    auto sectorAt = [&](uint32_t s) { return size_t(s + 1) * 512; };
    const uint32_t nFat = U32(f, 0x2C);
    const uint32_t nDifat = U32(f, 0x48);

    std::vector<uint32_t> fatSectors;
    for (uint32_t i = 0; i < 109; ++i) {
        const uint32_t s = U32(f, 0x4C + 4 * i);
        if (i < nFat && i < 109)
            fatSectors.push_back(s);
        else if (s != kFree)
            Problem("header DIFAT slot " + std::to_string(i) + " not free");
    }
    std::vector<uint32_t> difatSectors;
    uint32_t next = U32(f, 0x44);
    if (nDifat == 0 && next != kEnd)
        Problem("first DIFAT sector set without DIFAT sectors");
    for (uint32_t d = 0; d < nDifat; ++d) {
        if (next >= sectorCount) {
            Problem("DIFAT chain leaves the file at " + Hex(next));
            return;
        }
        difatSectors.push_back(next);
        const size_t at = sectorAt(next);
        for (uint32_t k = 0; k < 127; ++k) {
            const uint32_t s = U32(f, at + 4 * k);
            if (fatSectors.size() < nFat)
                fatSectors.push_back(s);
            else if (s != kFree)
                Problem("spare DIFAT entry not free");
        }
        next = U32(f, at + 508);
    }
    if (nDifat && next != kEnd)
        Problem("last DIFAT sector does not end the chain");
    if (fatSectors.size() != nFat) {
        Problem("FAT sector list has " + std::to_string(fatSectors.size()) + " of " +
                std::to_string(nFat));
        return;
    }

    std::vector<uint32_t> fat;
    for (uint32_t s : fatSectors) {
        if (s >= sectorCount) {
            Problem("FAT sector outside the file");
            return;
        }
        for (uint32_t k = 0; k < 128; ++k)
            fat.push_back(U32(f, sectorAt(s) + 4 * k));
    }
    if (fat.size() < sectorCount) {
        Problem("FAT too short for the file");
        return;
    }
    for (uint32_t s : fatSectors) {
        if (fat[s] != kFat)
            Problem("FAT sector " + std::to_string(s) + " not marked as FAT");
    }
    for (uint32_t s : difatSectors) {
        if (fat[s] != kDif)
            Problem("DIFAT sector " + std::to_string(s) + " not marked as DIFAT");
    }
    for (size_t s = sectorCount; s < fat.size(); ++s) {
        if (fat[s] != kFree) {
            Problem("FAT entry past the file end not free");
            break;
        }
    }

    std::vector<int> owner(sectorCount, 0);
    for (uint32_t s : fatSectors)
        owner[s]++;
    for (uint32_t s : difatSectors)
        owner[s]++;
    auto chain = [&](uint32_t start, const char* what) {
        std::vector<uint32_t> sectors;
        for (uint32_t s = start; s != kEnd;) {
            if (s >= sectorCount) {
                Problem(std::string(what) + " chain leaves the file at " + Hex(s));
                break;
            }
            if (++owner[s] > 1) {
                Problem(std::string(what) + " chain reuses sector " + std::to_string(s));
                break;
            }
            sectors.push_back(s);
            s = fat[s];
        }
        return sectors;
    };

    const std::vector<uint32_t> dirSectors = chain(U32(f, 0x30), "directory");
    std::vector<uint8_t> dir;
    for (uint32_t s : dirSectors)
        dir.insert(dir.end(), f.begin() + long(sectorAt(s)), f.begin() + long(sectorAt(s) + 512));
    if (dir.size() < 256) {
        Problem("directory too small");
        return;
    }
    auto entryName = [&](size_t e) {
        std::string name;
        const uint16_t bytes = U16(dir, e * 128 + 64);
        for (size_t i = 0; i + 2 < bytes; i += 2)
            name.push_back(char(dir[e * 128 + i]));
        if (bytes >= 2 && U16(dir, e * 128 + bytes - 2) != 0)
            Problem("entry name length does not count the NUL");
        return name;
    };
    if (entryName(0) != "Root Entry" || dir[66] != 5)
        Problem("entry 0 is not the root");
    const uint32_t child = U32(dir, 76);
    if (child * 128 + 128 > dir.size()) {
        Problem("root child outside the directory");
        return;
    }
    if (entryName(child) != "Workbook" || dir[child * 128 + 66] != 2)
        Problem("root child is not the Workbook stream");
    if (U32(dir, child * 128 + 124) != 0)
        Problem("stream size high word not zero");
    m_nDeclaredSize = U32(dir, child * 128 + 120);
    if (m_nDeclaredSize < 4096)
        Problem("stream below the mini stream cutoff without a mini stream");
    const std::vector<uint32_t> sectors = chain(U32(dir, child * 128 + 116), "Workbook");
    if (sectors.size() != (m_nDeclaredSize + 511) / 512)
        Problem("Workbook chain has " + std::to_string(sectors.size()) + " sectors for " +
                std::to_string(m_nDeclaredSize) + " bytes");
    for (uint32_t s = 0; s < sectorCount; ++s) {
        if (owner[s] == 0 && fat[s] != kFree)
            Problem("sector " + std::to_string(s) + " is in no chain but not free");
        if (owner[s] == 0 && fat[s] == kFree)
            Problem("sector " + std::to_string(s) + " wasted (free inside the file)");
    }
    for (uint32_t s : sectors) {
        m_vStream.insert(m_vStream.end(), f.begin() + long(sectorAt(s)),
                         f.begin() + long(sectorAt(s) + 512));
    }
    if (m_vStream.size() > m_nDeclaredSize)
        m_vStream.resize(m_nDeclaredSize);
}

void CXlsTestReader::SplitRecords()
{
    const std::vector<uint8_t>& s = m_vStream;
    size_t at = 0;
    int open = 0;
    int substreams = 0;
    while (at + 4 <= s.size()) {
        const uint16_t type = U16(s, at);
        const uint16_t size = U16(s, at + 2);
        if (type == 0 && size == 0 && open == 0 && substreams > 0) {
            for (size_t i = at; i < s.size(); ++i) {
                if (s[i]) {
                    Problem("non-zero bytes after the last substream");
                    break;
                }
            }
            return;
        }
        if (size > 8224)
            Problem("record " + Hex(type) + " at " + std::to_string(at) + " has " +
                    std::to_string(size) + " bytes");
        if (at + 4 + size > s.size()) {
            Problem("record " + Hex(type) + " runs past the stream end");
            return;
        }
        if (type == 0x0809) {
            if (open)
                Problem("BOF inside a substream");
            open = 1;
            ++substreams;
        } else if (type == 0x000A) {
            if (!open)
                Problem("EOF outside a substream");
            open = 0;
        } else if (!open) {
            Problem("record " + Hex(type) + " outside any substream");
        }
        m_vRecords.push_back({type, at, std::vector<uint8_t>(s.begin() + long(at + 4),
                                                             s.begin() + long(at + 4 + size))});
        at += 4 + size;
    }
    if (open)
        Problem("last substream has no EOF");
    if (at != s.size())
        Problem("stray bytes at the stream end");
}

void CXlsTestReader::ReadSharedStrings()
{
    size_t i = 0;
    while (i < m_vRecords.size() && m_vRecords[i].m_nType != 0x00FC)
        ++i;
    if (i == m_vRecords.size())
        return;
    std::vector<const std::vector<uint8_t>*> chunks{&m_vRecords[i].m_vData};
    for (size_t j = i + 1; j < m_vRecords.size() && m_vRecords[j].m_nType == 0x003C; ++j)
        chunks.push_back(&m_vRecords[j].m_vData);

    m_nSstTotal = U32(*chunks[0], 0);
    const uint32_t unique = U32(*chunks[0], 4);
    size_t c = 0;
    size_t at = 8;
    for (uint32_t n = 0; n < unique; ++n) {
        if (at == chunks[c]->size() && c + 1 < chunks.size()) {
            ++c;
            at = 0;
        }
        const std::vector<uint8_t>& d = *chunks[c];
        if (at + 3 > d.size()) {
            Problem("string " + std::to_string(n) + " header split across records");
            return;
        }
        const uint16_t cch = U16(d, at);
        uint8_t flags = d[at + 2];
        if (flags & ~0x01)
            Problem("string " + std::to_string(n) + " has rich/extended flags");
        at += 3;
        const size_t firstSize = (flags & 1) ? 2 : 1;
        if (cch > 0 && at + firstSize > d.size())
            Problem("string " + std::to_string(n) + " first character not with its header");
        std::u16string text;
        while (text.size() < cch) {
            const std::vector<uint8_t>& cur = *chunks[c];
            if (at == cur.size()) {
                if (++c == chunks.size()) {
                    Problem("SST ends inside string " + std::to_string(n));
                    return;
                }
                at = 0;
                flags = (*chunks[c])[0];   // a continued string repeats its flags
                if (flags > 1)
                    Problem("bad continuation flags");
                at = 1;
                continue;
            }
            if (flags & 1) {
                if (at + 2 > cur.size()) {
                    Problem("UTF-16 character split across records");
                    return;
                }
                text.push_back(char16_t(U16(cur, at)));
                at += 2;
            } else {
                text.push_back(char16_t(cur[at]));
                at += 1;
            }
        }
        m_vSst.push_back(text);
    }
    if (c + 1 != chunks.size() || at != chunks[c]->size())
        Problem("SST has bytes after its last string");
}

void CXlsTestReader::ReadCells()
{
    const std::vector<const SRecord*> sheets = All(0x0085);
    if (sheets.size() != 1) {
        Problem("expected one BOUNDSHEET");
        return;
    }
    const uint32_t bof = U32(sheets[0]->m_vData, 0);
    size_t i = 0;
    while (i < m_vRecords.size() && m_vRecords[i].m_nOffset != bof)
        ++i;
    if (i == m_vRecords.size() || m_vRecords[i].m_nType != 0x0809 ||
        U16(m_vRecords[i].m_vData, 2) != 0x0010) {
        Problem("BOUNDSHEET offset does not point at a worksheet BOF");
        return;
    }
    for (++i; i < m_vRecords.size() && m_vRecords[i].m_nType != 0x000A; ++i) {
        const SRecord& r = m_vRecords[i];
        SCellRef cell{};
        cell.m_nType = r.m_nType;
        switch (r.m_nType) {
        case 0x00FD: cell.m_nSst = U32(r.m_vData, 6); break;
        case 0x027E: cell.m_dNumber = DecodeRk(U32(r.m_vData, 6)); break;
        case 0x0203: std::memcpy(&cell.m_dNumber, r.m_vData.data() + 6, 8); break;
        case 0x0201: break;
        case 0x0205: cell.m_nError = r.m_vData[6]; break;
        default: continue;
        }
        cell.m_nXf = U16(r.m_vData, 4);
        const std::pair<int, int> key{U16(r.m_vData, 0), U16(r.m_vData, 2)};
        if (!m_mapCells.emplace(key, cell).second)
            Problem("cell " + std::to_string(key.first) + "," + std::to_string(key.second) +
                    " written twice");
    }
}
