#pragma once
// The workbook's 56 custom colour slots (indexes 8..63). Fonts, borders and
// fills name a slot, not an RGB value, so the arbitrary colours of a report
// are written into the slots and every format points at its colour's slot.

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

class CXlsPalette {
public:
    static constexpr int kFirstIndex = 8;
    static constexpr int kSlotCount = 56;

    CXlsPalette();   // the standard palette, nothing assigned

    // Gives every colour (0x00BBGGRR, duplicates allowed, order = first use)
    // a slot. A colour already in the standard palette keeps its standard
    // slot; others overwrite the remaining slots from index 63 downwards.
    // When more than 56 distinct colours are used, the first 56 are exact
    // and every later one takes the nearest colour of the final palette.
    void Assign(const std::vector<uint32_t>& colours);

    // Slot index (8..63) for a colour: its own slot, else the nearest one.
    uint16_t IndexOf(uint32_t colour) const;

    uint32_t ColourAt(int index) const { return m_aSlot[index - kFirstIndex]; }
    const std::array<uint32_t, kSlotCount>& Slots() const { return m_aSlot; }

    // The palette every reader assumes when a file carries none.
    static const std::array<uint32_t, kSlotCount>& StandardSlots();

private:
    uint16_t Nearest(uint32_t colour) const;

    std::array<uint32_t, kSlotCount> m_aSlot;
    std::unordered_map<uint32_t, uint16_t> m_mapExact;   // colour -> slot index
};
