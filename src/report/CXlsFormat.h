#pragma once
// The look of one cell: font, fill, the four border edges, alignment and
// number format. A workbook turns each distinct look into one cell XF.
//
// Colours are 0x00BBGGRR (red in the low byte) as everywhere in our code;
// kXlsAutoColour means "automatic" (font and border: the window text
// colour; fill: no fill at all).

#include <cstdint>
#include <string>

constexpr uint32_t kXlsAutoColour = 0xFFFFFFFFu;

constexpr uint32_t XlsRgb(uint8_t red, uint8_t green, uint8_t blue)
{
    return uint32_t(red) | (uint32_t(green) << 8) | (uint32_t(blue) << 16);
}

// Values are the file's own codes.
enum class EXlsHAlign : uint8_t { General = 0, Left = 1, Center = 2, Right = 3 };
enum class EXlsVAlign : uint8_t { Top = 0, Center = 1, Bottom = 2 };
enum class EXlsLine : uint8_t {
    None = 0, Thin = 1, Medium = 2, Dashed = 3, Dotted = 4, Thick = 5, Double = 6, Hair = 7
};

class CXlsFormat {
public:
    enum EEdge { EdgeLeft = 0, EdgeRight, EdgeTop, EdgeBottom, EdgeCount };

    struct SEdge {
        EXlsLine m_eLine = EXlsLine::None;
        uint32_t m_clrLine = kXlsAutoColour;
    };

    // The colour as stored: the high byte is ignored unless the value is
    // kXlsAutoColour.
    static uint32_t NormaliseColour(uint32_t colour)
    {
        return colour == kXlsAutoColour ? colour : (colour & 0x00FFFFFFu);
    }

    // The same line on all four edges.
    void SetBorder(EXlsLine line, uint32_t colour = kXlsAutoColour);

    // A byte string that is equal for two formats exactly when they look
    // the same; the workbook deduplicates on it.
    std::string Key() const;
    bool operator==(const CXlsFormat& other) const { return Key() == other.Key(); }
    bool operator!=(const CXlsFormat& other) const { return !(*this == other); }

    std::string m_strFontName;          // UTF-8; empty = the workbook's default face
    double m_dFontPoints = 0;           // 0 = the workbook's default size
    bool m_bBold = false;
    bool m_bItalic = false;
    bool m_bUnderline = false;
    uint32_t m_clrFont = kXlsAutoColour;
    uint32_t m_clrFill = kXlsAutoColour;   // solid fill; automatic = none
    SEdge m_aEdge[EdgeCount];
    EXlsHAlign m_eHAlign = EXlsHAlign::General;
    EXlsVAlign m_eVAlign = EXlsVAlign::Bottom;
    bool m_bWrap = false;
    std::string m_strNumberFormat;      // e.g. "0.00"; empty = General
};
