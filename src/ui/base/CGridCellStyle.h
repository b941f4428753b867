#pragma once
// The formatting of one grid cell. A sheet keeps each distinct style once and
// its cells refer to it by index, the way a workbook shares its cell formats:
// a 10,000-row sheet with five formats holds five of these, and a writer of
// workbooks can map style indexes to its own format records one to one.

#include <QHashFunctions>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>

using COLORREF = uint32_t;   // 0x00BBGGRR, as in CAppTheme.h

enum class EGridCellType : uint8_t {
    Edit,        // typed text, editable in place unless locked
    StaticText,  // shown only
    Button,      // a push button with a caption; a click emits ButtonClicked
    CheckBox,    // a check box with a caption; its text is "1" ticked, "0" or empty not
    Number,      // a number within [min, max] with a fixed count of decimals
};

enum class EGridHAlign : uint8_t { Left, Right, Center };
enum class EGridVAlign : uint8_t { Top, Bottom, Center };

// Line styles of cell borders.
enum class EGridLine : uint8_t { None, Solid, Dash, Dot, DashDot, DashDotDot };

// Edge bits of SetCellBorder; 15 draws all four sides of every cell.
constexpr int kGridEdgeLeft = 1;
constexpr int kGridEdgeRight = 2;
constexpr int kGridEdgeTop = 4;
constexpr int kGridEdgeBottom = 8;

struct CGridBorderEdge {
    EGridLine eLine = EGridLine::None;
    COLORREF clr = 0;

    bool operator==(const CGridBorderEdge& o) const { return eLine == o.eLine && clr == o.clr; }
};

struct CGridCellStyle {
    // A colour that has not been set: data cells show white on black text,
    // header cells the header colours of the grid.
    static constexpr COLORREF kDefaultColour = 0xFFFFFFFFu;
    static constexpr COLORREF kDefaultBack = 0x00FFFFFFu;
    static constexpr COLORREF kDefaultFore = 0x00000000u;

    EGridCellType eType = EGridCellType::Edit;
    EGridHAlign eHAlign = EGridHAlign::Left;
    EGridVAlign eVAlign = EGridVAlign::Center;
    bool bLocked = false;
    COLORREF clrBack = kDefaultColour;
    COLORREF clrFore = kDefaultColour;
    QString strFontName = QStringLiteral("굴림체");
    float fFontSize = 9.0f;                     // points
    bool bBold = false;
    CGridBorderEdge edges[4];                   // left, right, top, bottom
    QString strCaption;                         // button and check-box cells
    int nMaxLength = 0;                         // edit cells; 0 = no limit
    double dMin = -99999999.0;                  // number cells
    double dMax = 99999999.0;
    int nDecimals = 0;

    COLORREF BackOr(COLORREF fallback) const { return clrBack == kDefaultColour ? fallback : clrBack; }
    COLORREF ForeOr(COLORREF fallback) const { return clrFore == kDefaultColour ? fallback : clrFore; }

    bool operator==(const CGridCellStyle& o) const
    {
        return eType == o.eType && eHAlign == o.eHAlign && eVAlign == o.eVAlign
            && bLocked == o.bLocked && clrBack == o.clrBack && clrFore == o.clrFore
            && strFontName == o.strFontName && fFontSize == o.fFontSize && bBold == o.bBold
            && edges[0] == o.edges[0] && edges[1] == o.edges[1] && edges[2] == o.edges[2]
            && edges[3] == o.edges[3] && strCaption == o.strCaption
            && nMaxLength == o.nMaxLength && dMin == o.dMin && dMax == o.dMax
            && nDecimals == o.nDecimals;
    }
    bool operator!=(const CGridCellStyle& o) const { return !(*this == o); }
};

struct CGridCellStyleHash {
    std::size_t operator()(const CGridCellStyle& s) const
    {
        std::size_t h = qHash(s.strFontName) ^ (qHash(s.strCaption) << 1);
        auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
        mix(std::size_t(s.eType) | (std::size_t(s.eHAlign) << 8) | (std::size_t(s.eVAlign) << 16)
            | (std::size_t(s.bLocked) << 24) | (std::size_t(s.bBold) << 25));
        mix(s.clrBack);
        mix(s.clrFore);
        mix(std::hash<float>()(s.fFontSize));
        for (const CGridBorderEdge& e : s.edges)
            mix((std::size_t(e.eLine) << 32) ^ e.clr);
        mix(std::size_t(s.nMaxLength));
        mix(std::hash<double>()(s.dMin));
        mix(std::hash<double>()(s.dMax));
        mix(std::size_t(s.nDecimals));
        return h;
    }
};
