#include "CXlsPalette.h"

#include "CXlsFormat.h"

#include <limits>
#include <unordered_set>

namespace {

constexpr uint32_t Rgb(uint32_t rrggbb)
{
    // Written as 0xRRGGBB for reading; stored as 0x00BBGGRR.
    return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

}  // namespace

const std::array<uint32_t, CXlsPalette::kSlotCount>& CXlsPalette::StandardSlots()
{
    static const std::array<uint32_t, kSlotCount> slots = {
        Rgb(0x000000), Rgb(0xFFFFFF), Rgb(0xFF0000), Rgb(0x00FF00),   //  8
        Rgb(0x0000FF), Rgb(0xFFFF00), Rgb(0xFF00FF), Rgb(0x00FFFF),   // 12
        Rgb(0x800000), Rgb(0x008000), Rgb(0x000080), Rgb(0x808000),   // 16
        Rgb(0x800080), Rgb(0x008080), Rgb(0xC0C0C0), Rgb(0x808080),   // 20
        Rgb(0x9999FF), Rgb(0x993366), Rgb(0xFFFFCC), Rgb(0xCCFFFF),   // 24
        Rgb(0x660066), Rgb(0xFF8080), Rgb(0x0066CC), Rgb(0xCCCCFF),   // 28
        Rgb(0x000080), Rgb(0xFF00FF), Rgb(0xFFFF00), Rgb(0x00FFFF),   // 32
        Rgb(0x800080), Rgb(0x800000), Rgb(0x008080), Rgb(0x0000FF),   // 36
        Rgb(0x00CCFF), Rgb(0xCCFFFF), Rgb(0xCCFFCC), Rgb(0xFFFF99),   // 40
        Rgb(0x99CCFF), Rgb(0xFF99CC), Rgb(0xCC99FF), Rgb(0xFFCC99),   // 44
        Rgb(0x3366FF), Rgb(0x33CCCC), Rgb(0x99CC00), Rgb(0xFFCC00),   // 48
        Rgb(0xFF9900), Rgb(0xFF6600), Rgb(0x666699), Rgb(0x969696),   // 52
        Rgb(0x003366), Rgb(0x339966), Rgb(0x003300), Rgb(0x333300),   // 56
        Rgb(0x993300), Rgb(0x993366), Rgb(0x333399), Rgb(0x333333),   // 60
    };
    return slots;
}

CXlsPalette::CXlsPalette() : m_aSlot(StandardSlots()) {}

void CXlsPalette::Assign(const std::vector<uint32_t>& colours)
{
    m_aSlot = StandardSlots();
    m_mapExact.clear();

    std::vector<uint32_t> distinct;
    std::unordered_set<uint32_t> seen;
    for (uint32_t colour : colours) {
        if (colour == kXlsAutoColour)
            continue;
        colour = CXlsFormat::NormaliseColour(colour);
        if (seen.insert(colour).second)
            distinct.push_back(colour);
    }
    const size_t exactCount = distinct.size() < size_t(kSlotCount) ? distinct.size()
                                                                     : size_t(kSlotCount);

    std::array<bool, kSlotCount> taken{};
    std::vector<uint32_t> homeless;
    for (size_t i = 0; i < exactCount; ++i) {
        bool placed = false;
        for (int s = 0; s < kSlotCount; ++s) {
            if (!taken[s] && m_aSlot[s] == distinct[i]) {
                taken[s] = true;
                m_mapExact[distinct[i]] = uint16_t(kFirstIndex + s);
                placed = true;
                break;
            }
        }
        if (!placed)
            homeless.push_back(distinct[i]);
    }
    // At most 56 colours in all, so a free slot is always left for each.
    int s = kSlotCount - 1;
    for (uint32_t colour : homeless) {
        while (taken[s])
            --s;
        taken[s] = true;
        m_aSlot[s] = colour;
        m_mapExact[colour] = uint16_t(kFirstIndex + s);
    }
    for (size_t i = exactCount; i < distinct.size(); ++i)
        m_mapExact[distinct[i]] = Nearest(distinct[i]);
}

uint16_t CXlsPalette::IndexOf(uint32_t colour) const
{
    colour = CXlsFormat::NormaliseColour(colour);
    auto it = m_mapExact.find(colour);
    if (it != m_mapExact.end())
        return it->second;
    return Nearest(colour);
}

uint16_t CXlsPalette::Nearest(uint32_t colour) const
{
    const int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int s = 0; s < kSlotCount; ++s) {
        const int dr = r - int(m_aSlot[s] & 0xFF);
        const int dg = g - int((m_aSlot[s] >> 8) & 0xFF);
        const int db = b - int((m_aSlot[s] >> 16) & 0xFF);
        // Green weighs most and blue least, roughly as the eye sees them.
        const long distance = 3L * dr * dr + 4L * dg * dg + 2L * db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = s;
        }
    }
    return uint16_t(kFirstIndex + best);
}
