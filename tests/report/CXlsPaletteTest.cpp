#include "CXlsFormat.h"
#include "CXlsPalette.h"

#include <gtest/gtest.h>

TEST(CXlsPalette, StandardColoursKeepTheirSlotsAndOthersFillFromTheTop)
{
    CXlsPalette palette;
    const uint32_t lightBlue = XlsRgb(0xDD, 0xEB, 0xF7);
    const uint32_t beige = XlsRgb(0xF2, 0xEE, 0xDA);
    palette.Assign({XlsRgb(0, 0, 0), lightBlue, kXlsAutoColour, XlsRgb(0xC0, 0xC0, 0xC0), beige,
                    lightBlue});
    EXPECT_EQ(palette.IndexOf(XlsRgb(0, 0, 0)), 8);
    EXPECT_EQ(palette.IndexOf(XlsRgb(0xC0, 0xC0, 0xC0)), 22);
    EXPECT_EQ(palette.IndexOf(lightBlue), 63);
    EXPECT_EQ(palette.IndexOf(beige), 62);
    EXPECT_EQ(palette.ColourAt(63), lightBlue);
    EXPECT_EQ(palette.ColourAt(62), beige);
    // Slots nobody claimed keep the standard colours.
    EXPECT_EQ(palette.ColourAt(9), XlsRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(palette.ColourAt(61), CXlsPalette::StandardSlots()[61 - 8]);
    // The high byte of a colour is not part of it.
    EXPECT_EQ(palette.IndexOf(0xAB000000u | lightBlue), 63);
}

TEST(CXlsPalette, FiftySixColoursAreExactAndLaterOnesTakeTheNearest)
{
    // 56 greys none of which is in the standard palette, then colours just
    // off some of them.
    std::vector<uint32_t> colours;
    for (int i = 0; i < 56; ++i) {
        const uint8_t v = uint8_t(2 + i * 4);
        colours.push_back(XlsRgb(v, uint8_t(v + 1), v));
    }
    const uint32_t nearTen = XlsRgb(43, 43, 41);   // grey 10 is (42, 43, 42)
    const uint32_t nearLast = XlsRgb(255, 255, 255);
    colours.push_back(nearTen);
    colours.push_back(nearLast);

    CXlsPalette palette;
    palette.Assign(colours);
    for (int i = 0; i < 56; ++i)
        EXPECT_EQ(palette.ColourAt(palette.IndexOf(colours[size_t(i)])), colours[size_t(i)]) << i;
    EXPECT_EQ(palette.ColourAt(palette.IndexOf(nearTen)), colours[10]);
    EXPECT_EQ(palette.ColourAt(palette.IndexOf(nearLast)), colours[55]);
    // A colour never assigned maps to its nearest as well.
    EXPECT_EQ(palette.ColourAt(palette.IndexOf(XlsRgb(0, 0, 0))), colours[0]);
}

TEST(CXlsPalette, DuplicateStandardColourUsesOneSlotOnly)
{
    // Pure blue sits in two standard slots (12 and 39).
    CXlsPalette palette;
    palette.Assign({XlsRgb(0, 0, 0xFF), XlsRgb(1, 2, 3)});
    EXPECT_EQ(palette.IndexOf(XlsRgb(0, 0, 0xFF)), 12);
    EXPECT_EQ(palette.ColourAt(39), XlsRgb(0, 0, 0xFF));
    EXPECT_EQ(palette.IndexOf(XlsRgb(1, 2, 3)), 63);
}
