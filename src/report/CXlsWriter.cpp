#include "CXlsWriter.h"

#include "CXlsCompoundFile.h"
#include "CXlsSharedStrings.h"
#include "CXlsText.h"
#include "CXlsWorkbook.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

// Record types
constexpr uint16_t kBof = 0x0809, kEof = 0x000A;
constexpr uint16_t kInterfaceHdr = 0x00E1, kMms = 0x00C1, kInterfaceEnd = 0x00E2;
constexpr uint16_t kWriteAccess = 0x005C, kCodePage = 0x0042, kDsf = 0x0161;
constexpr uint16_t kTabId = 0x013D, kWindowProtect = 0x0019, kProtect = 0x0012;
constexpr uint16_t kPassword = 0x0013, kProt4Rev = 0x01AF, kProt4RevPass = 0x01BC;
constexpr uint16_t kWindow1 = 0x003D, kBackup = 0x0040, kHideObj = 0x008D;
constexpr uint16_t kDateMode = 0x0022, kPrecision = 0x000E, kRefreshAll = 0x01B7;
constexpr uint16_t kBookBool = 0x00DA, kFont = 0x0031, kFormat = 0x041E, kXf = 0x00E0;
constexpr uint16_t kStyle = 0x0293, kPalette = 0x0092, kUsesElfs = 0x0160;
constexpr uint16_t kBoundSheet = 0x0085, kCountry = 0x008C;
constexpr uint16_t kIndex = 0x020B, kCalcMode = 0x000D, kCalcCount = 0x000C;
constexpr uint16_t kRefMode = 0x000F, kIteration = 0x0011, kDelta = 0x0010;
constexpr uint16_t kSaveRecalc = 0x005F, kPrintHeaders = 0x002A, kPrintGridlines = 0x002B;
constexpr uint16_t kGridSet = 0x0082, kGuts = 0x0080, kDefaultRowHeight = 0x0225;
constexpr uint16_t kWsBool = 0x0081, kHeader = 0x0014, kFooter = 0x0015;
constexpr uint16_t kHCenter = 0x0083, kVCenter = 0x0084, kSetup = 0x00A1;
constexpr uint16_t kDefColWidth = 0x0055, kColInfo = 0x007D, kDimensions = 0x0200;
constexpr uint16_t kRow = 0x0208, kLabelSst = 0x00FD, kRk = 0x027E, kNumber = 0x0203;
constexpr uint16_t kBlank = 0x0201, kBoolErr = 0x0205, kDbCell = 0x00D7;
constexpr uint16_t kWindow2 = 0x023E, kMergeCells = 0x00E5;
constexpr uint16_t kSupBook = 0x01AE, kExternSheet = 0x0017, kName = 0x0018;
constexpr uint8_t kBuiltInPrintTitles = 0x07;
constexpr uint8_t kPtgArea3d = 0x3B;

constexpr uint16_t kBiff8 = 0x0600;
constexpr uint16_t kAutoFontColour = 0x7FFF;
constexpr uint8_t kAutoLineColour = 0x40;     // window text colour
constexpr uint8_t kAutoFillColour = 0x41;     // window background colour
constexpr uint16_t kRowsPerBlock = 32;
constexpr size_t kMergesPerRecord = 1026;
constexpr uint8_t kCharsetHangul = 129;

// Number formats every reader knows by index; never written as FORMAT.
struct SBuiltInFormat {
    const char* m_szCode;
    uint16_t m_nIndex;
};
constexpr SBuiltInFormat kBuiltInFormats[] = {
    {"General", 0}, {"0", 1}, {"0.00", 2}, {"#,##0", 3}, {"#,##0.00", 4}, {"0%", 9},
    {"0.00%", 10}, {"0.00E+00", 11}, {"@", 49},
};

// The currency and thousands formats the built-in cell styles use; Excel
// writes them in every file, with the codes of the user's locale.
struct SLocaleFormat {
    uint16_t m_nIndex;
    const char16_t* m_szCode;
};
constexpr SLocaleFormat kLocaleFormats[] = {
    {5, u"\"\u20A9\"#,##0;\\-\"\u20A9\"#,##0"},
    {6, u"\"\u20A9\"#,##0;[Red]\\-\"\u20A9\"#,##0"},
    {7, u"\"\u20A9\"#,##0.00;\\-\"\u20A9\"#,##0.00"},
    {8, u"\"\u20A9\"#,##0.00;[Red]\\-\"\u20A9\"#,##0.00"},
    {42, u"_-\"\u20A9\"* #,##0_-;\\-\"\u20A9\"* #,##0_-;_-\"\u20A9\"* \"-\"_-;_-@_-"},
    {41, u"_-* #,##0_-;\\-* #,##0_-;_-* \"-\"_-;_-@_-"},
    {44, u"_-\"\u20A9\"* #,##0.00_-;\\-\"\u20A9\"* #,##0.00_-;_-\"\u20A9\"* \"-\"??_-;_-@_-"},
    {43, u"_-* #,##0.00_-;\\-* #,##0.00_-;_-* \"-\"??_-;_-@_-"},
};

void PutRecordHeader(CXlsRecordStream& out, uint16_t type, uint16_t size)
{
    out.PutU16(type);
    out.PutU16(size);
}

// RK: a number in 30 bits. Bit 0: the value was multiplied by 100;
// bit 1: bits 2..31 are a signed integer, else the top 30 bits of a double.
bool EncodeRk(double value, uint32_t* rk)
{
    if (value == 0 && std::signbit(value))
        return false;   // keep -0 exact in a NUMBER
    const double limit = 536870912.0;   // 2^29
    if (value == std::floor(value) && value >= -limit && value < limit) {
        *rk = (uint32_t(int32_t(value)) << 2) | 0x2;
        return true;
    }
    const double hundred = value * 100.0;
    if (hundred == std::floor(hundred) && hundred >= -limit && hundred < limit &&
        double(int32_t(hundred)) / 100.0 == value) {
        *rk = (uint32_t(int32_t(hundred)) << 2) | 0x3;
        return true;
    }
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        *rk = uint32_t(bits >> 32);
        return true;
    }
    return false;
}

// A cell as it goes into the file: the model's cells plus the blanks that
// fill merged areas.
struct SOutCell {
    uint16_t m_nColumn;
    uint16_t m_nXf;
    const CXlsWorkbook::SCell* m_pCell;   // null for a merge filler
};

}  // namespace

CXlsWriter::CXlsWriter(const CXlsWorkbook& book) : m_book(book) {}

bool CXlsWriter::Save(const std::string& path, std::string* error)
{
    CXlsRecordStream stream;
    if (!BuildStream(&stream, error))
        return false;
    return CXlsCompoundFile::Write(path, stream.Bytes(), error);
}

bool CXlsWriter::BuildStream(CXlsRecordStream* out, std::string* error)
{
    PrepareFormats();
    PrepareStrings();
    PrepareMerges();

    size_t cells = 0;
    for (const CXlsWorkbook::SRow& row : m_book.Rows())
        cells += row.m_vCells.size();
    out->Reserve(8192 + cells * 18 + m_book.Rows().size() * 24 + m_vSstStrings.size() * 40);

    size_t boundSheetOffsetAt = 0;
    WriteGlobals(*out, &boundSheetOffsetAt);
    out->PatchU32(boundSheetOffsetAt, uint32_t(out->Size()));
    WriteSheet(*out);

    if (out->Overflowed()) {
        if (error)
            *error = "내부 오류: 레코드가 최대 길이를 넘었습니다";
        return false;
    }
    return true;
}

std::string CXlsWriter::FontRecordData(const std::string& utf8Face, double points, bool bold,
                                       bool italic, bool underline, uint32_t colour) const
{
    // FONT
    // @0 2  height in twips         @2 2 flags: 0x01 bold, 0x02 italic
    // @4 2  colour index (0x7FFF automatic)
    // @6 2  weight: 400 normal, 700 bold    @8 2 super/subscript 0
    // @10 1 underline: 0 none, 1 single     @11 1 family 0 (unknown)
    // @12 1 character set   @13 1 reserved  @14 face name (8-bit length)
    // Bold is in both places: Excel reads the weight, some readers the flag.
    CXlsRecordStream data;
    std::u16string face = CXlsText::Truncate(
        CXlsText::FromUtf8(utf8Face.empty() ? m_book.DefaultFontName() : utf8Face), 31);
    if (face.empty())
        face = u"Arial";
    double pt = points > 0 && std::isfinite(points) ? points : m_book.DefaultFontPoints();
    long twips = std::lround(pt * 20.0);
    twips = std::min(std::max(twips, 20L), 8180L);
    data.PutU16(uint16_t(twips));
    data.PutU16(uint16_t((bold ? 0x01 : 0) | (italic ? 0x02 : 0)));
    data.PutU16(colour == kXlsAutoColour ? kAutoFontColour : m_palette.IndexOf(colour));
    data.PutU16(bold ? 700 : 400);
    data.PutU16(0);
    data.PutU8(underline ? 1 : 0);
    data.PutU8(0);
    // A Korean face needs the Hangul character set or Windows substitutes
    // another face; a Latin face keeps the default set and Hangul in it is
    // drawn by the usual font fallback.
    data.PutU8(CXlsText::IsCompressible(face) ? 0 : kCharsetHangul);
    data.PutU8(0);
    data.PutShortUnicodeString(face);
    return std::string(data.Bytes().begin(), data.Bytes().end());
}

uint16_t CXlsWriter::NumberFormatIndex(const std::string& utf8Format)
{
    if (utf8Format.empty())
        return 0;
    for (const SBuiltInFormat& f : kBuiltInFormats) {
        if (utf8Format == f.m_szCode)
            return f.m_nIndex;
    }
    const std::u16string code = CXlsText::FromUtf8(utf8Format);
    for (const auto& own : m_vNumberFormats) {
        if (own.second == code)
            return own.first;
    }
    const uint16_t index = uint16_t(164 + m_vNumberFormats.size());
    m_vNumberFormats.emplace_back(index, CXlsText::Truncate(code, 255));
    return index;
}

void CXlsWriter::PrepareFormats()
{
    // Every colour a format uses, in order of first use, claims a palette
    // slot before any font or XF names a slot.
    std::vector<uint32_t> colours;
    for (int id = 1; id < m_book.FormatCount(); ++id) {
        const CXlsFormat& f = m_book.Format(id);
        colours.push_back(f.m_clrFont);
        colours.push_back(f.m_clrFill);
        for (const CXlsFormat::SEdge& edge : f.m_aEdge) {
            if (edge.m_eLine != EXlsLine::None)
                colours.push_back(edge.m_clrLine);
        }
    }
    m_palette.Assign(colours);

    const double defaultPoints = m_book.DefaultFontPoints();
    m_strDefaultFont = FontRecordData(m_book.DefaultFontName(), defaultPoints, false, false,
                                      false, kXlsAutoColour);
    // Rows tall enough for Hangul in the default face.
    m_nDefaultRowTwips = uint16_t(std::max(255L, std::lround(defaultPoints * 30.0)));

    m_vFonts.clear();
    m_vNumberFormats.clear();
    m_vCellXfs.clear();
    m_vFormatXf.assign(size_t(m_book.FormatCount()), kDefaultCellXf);
    std::unordered_map<std::string, uint16_t> fontIndex;
    std::unordered_map<std::string, uint16_t> xfIndex;

    for (int id = 1; id < m_book.FormatCount(); ++id) {
        const CXlsFormat& f = m_book.Format(id);
        const std::string font = FontRecordData(f.m_strFontName, f.m_dFontPoints, f.m_bBold,
                                                f.m_bItalic, f.m_bUnderline, f.m_clrFont);
        uint16_t ifnt = 0;
        if (font != m_strDefaultFont) {
            auto it = fontIndex.find(font);
            if (it == fontIndex.end()) {
                // Index 4 does not exist in the file: the fifth FONT is 5.
                it = fontIndex.emplace(font, uint16_t(5 + m_vFonts.size())).first;
                m_vFonts.push_back(font);
            }
            ifnt = it->second;
        }
        const uint16_t ifmt = NumberFormatIndex(f.m_strNumberFormat);

        auto lineColour = [&](const CXlsFormat::SEdge& edge) -> uint32_t {
            if (edge.m_eLine == EXlsLine::None)
                return 0;
            return edge.m_clrLine == kXlsAutoColour ? kAutoLineColour
                                                    : m_palette.IndexOf(edge.m_clrLine);
        };
        const CXlsFormat::SEdge& left = f.m_aEdge[CXlsFormat::EdgeLeft];
        const CXlsFormat::SEdge& right = f.m_aEdge[CXlsFormat::EdgeRight];
        const CXlsFormat::SEdge& top = f.m_aEdge[CXlsFormat::EdgeTop];
        const CXlsFormat::SEdge& bottom = f.m_aEdge[CXlsFormat::EdgeBottom];
        const bool filled = f.m_clrFill != kXlsAutoColour;

        // Cell XF
        // @0 2  font index        @2 2 number format index
        // @4 2  0x0001: locked, a cell XF whose parent is style XF 0
        // @6 1  bits 0-2 horizontal, bit 3 wrap, bits 4-6 vertical alignment
        // @7 1  rotation 0        @8 1 indent, shrink, reading order 0
        // @9 1  attributes this XF sets itself: 0x04 number format, 0x08 font,
        //       0x10 alignment, 0x20 border, 0x40 fill, 0x80 protection
        // @10 4 line styles: bits 0-3 left, 4-7 right, 8-11 top, 12-15 bottom;
        //       colours: bits 16-22 left, 23-29 right
        // @14 4 bits 0-6 top colour, 7-13 bottom colour, 26-31 fill pattern
        // @18 2 bits 0-6 pattern colour, 7-13 pattern background colour
        XfBytes xf{};
        auto put16 = [&xf](size_t at, uint16_t v) {
            xf[at] = uint8_t(v);
            xf[at + 1] = uint8_t(v >> 8);
        };
        auto put32 = [&xf](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                xf[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        put16(0, ifnt);
        put16(2, ifmt);
        put16(4, 0x0001);
        // Masked so that a value cast in from outside the enums cannot
        // spill into the neighbouring fields.
        xf[6] = uint8_t((uint8_t(f.m_eHAlign) & 0x07) | (f.m_bWrap ? 0x08 : 0) |
                        ((uint8_t(f.m_eVAlign) & 0x07) << 4));
        xf[9] = uint8_t(0xF8 | (ifmt != 0 ? 0x04 : 0));
        auto line = [](const CXlsFormat::SEdge& edge) { return uint32_t(edge.m_eLine) & 0x0F; };
        put32(10, line(left) | (line(right) << 4) | (line(top) << 8) | (line(bottom) << 12) |
                      (lineColour(left) << 16) | (lineColour(right) << 23));
        put32(14, lineColour(top) | (lineColour(bottom) << 7) | (uint32_t(filled ? 1 : 0) << 26));
        const uint32_t fillColour = filled ? m_palette.IndexOf(f.m_clrFill) : kAutoLineColour;
        put16(18, uint16_t(fillColour | (uint32_t(kAutoFillColour) << 7)));

        const std::string key(xf.begin(), xf.end());
        auto it = xfIndex.find(key);
        if (it == xfIndex.end()) {
            it = xfIndex.emplace(key, uint16_t(kFirstOwnXf + m_vCellXfs.size())).first;
            m_vCellXfs.push_back(xf);
        }
        m_vFormatXf[size_t(id)] = it->second;
    }
}

void CXlsWriter::PrepareStrings()
{
    // Only texts some cell still shows go into the table, numbered in the
    // order the cells use them.
    constexpr uint32_t kUnused = 0xFFFFFFFFu;
    m_vSstIndex.assign(m_book.TextCount(), kUnused);
    m_vSstStrings.clear();
    m_nSstReferences = 0;
    for (const CXlsWorkbook::SRow& row : m_book.Rows()) {
        for (const CXlsWorkbook::SCell& cell : row.m_vCells) {
            if (cell.m_eKind != CXlsWorkbook::CellText)
                continue;
            ++m_nSstReferences;
            uint32_t& index = m_vSstIndex[cell.m_nText];
            if (index == kUnused) {
                index = uint32_t(m_vSstStrings.size());
                m_vSstStrings.push_back(&m_book.Text(cell.m_nText));
            }
        }
    }
}

void CXlsWriter::WriteStyleXf(CXlsRecordStream& out, uint16_t font, uint16_t numberFormat,
                              uint8_t usedFlags)
{
    // Style XF: as a cell XF, but @4 0xFFF5 (locked, a style, no parent),
    // and the flags at @9 name the attributes the style leaves alone.
    PutRecordHeader(out, kXf, 20);
    out.PutU16(font);
    out.PutU16(numberFormat);
    out.PutU16(0xFFF5);
    out.PutU8(0x20);   // bottom aligned
    out.PutU8(0);
    out.PutU8(0);
    out.PutU8(usedFlags);
    out.PutU32(0);
    out.PutU32(0);
    out.PutU16(0x20C0);   // automatic pattern colours
}

void CXlsWriter::WriteGlobals(CXlsRecordStream& out, size_t* boundSheetOffsetAt)
{
    // BOF
    // @0 2 BIFF version 0x0600   @2 2 substream: 0x0005 globals, 0x0010 worksheet
    // @4 2 build   @6 2 build year   @8 4 file history flags   @12 4 lowest version 6
    out.BeginRecord(kBof);
    out.PutU16(kBiff8);
    out.PutU16(0x0005);
    out.PutU16(0x0DBB);
    out.PutU16(0x07CC);
    out.PutU32(0);
    out.PutU32(6);
    out.EndRecord();

    out.PutRecordU16(kInterfaceHdr, 1200);
    out.PutRecordU16(kMms, 0);
    out.PutEmptyRecord(kInterfaceEnd);

    // WRITEACCESS: the saving user's name, space-padded to 112 bytes.
    out.BeginRecord(kWriteAccess);
    out.PutUnicodeString(u"Brevane");
    out.Bytes().insert(out.Bytes().end(), 112 - out.RecordDataSize(), uint8_t(' '));
    out.EndRecord();

    out.PutRecordU16(kCodePage, 1200);   // all strings are UTF-16
    out.PutRecordU16(kDsf, 0);
    out.PutRecordU16(kTabId, 1);
    out.PutRecordU16(kWindowProtect, 0);
    out.PutRecordU16(kProtect, 0);
    out.PutRecordU16(kPassword, 0);
    out.PutRecordU16(kProt4Rev, 0);
    out.PutRecordU16(kProt4RevPass, 0);

    // WINDOW1
    // @0 2 x  @2 2 y  @4 2 width  @6 2 height (twips)
    // @8 2 0x0038: scroll bars and sheet tabs shown
    // @10 2 active sheet  @12 2 first visible tab  @14 2 selected tabs  @16 2 tab bar width ‰
    out.BeginRecord(kWindow1);
    out.PutU16(360);
    out.PutU16(270);
    out.PutU16(14940);
    out.PutU16(9150);
    out.PutU16(0x0038);
    out.PutU16(0);
    out.PutU16(0);
    out.PutU16(1);
    out.PutU16(600);
    out.EndRecord();

    out.PutRecordU16(kBackup, 0);
    out.PutRecordU16(kHideObj, 0);
    out.PutRecordU16(kDateMode, 0);    // dates count from 1900
    out.PutRecordU16(kPrecision, 1);   // full precision
    out.PutRecordU16(kRefreshAll, 0);
    out.PutRecordU16(kBookBool, 0);

    // Fonts 0..3 are the default face (the built-in styles name 0 and 1);
    // then the fonts of the formats, numbered from 5.
    for (int i = 0; i < 4; ++i) {
        PutRecordHeader(out, kFont, uint16_t(m_strDefaultFont.size()));
        out.Bytes().insert(out.Bytes().end(), m_strDefaultFont.begin(), m_strDefaultFont.end());
    }
    for (const std::string& font : m_vFonts) {
        PutRecordHeader(out, kFont, uint16_t(font.size()));
        out.Bytes().insert(out.Bytes().end(), font.begin(), font.end());
    }

    // FORMAT: @0 2 index, @2 the code (16-bit length)
    for (const SLocaleFormat& f : kLocaleFormats) {
        out.BeginRecord(kFormat);
        out.PutU16(f.m_nIndex);
        out.PutUnicodeString(f.m_szCode);
        out.EndRecord();
    }
    for (const auto& own : m_vNumberFormats) {
        out.BeginRecord(kFormat);
        out.PutU16(own.first);
        out.PutUnicodeString(own.second);
        out.EndRecord();
    }

    // XF 0: Normal; 1..14: outline level styles (font only); 15: the plain
    // cell; 16..20: Comma, Comma [0], Currency, Currency [0], Percent.
    WriteStyleXf(out, 0, 0, 0x00);
    for (int i = 1; i <= 14; ++i)
        WriteStyleXf(out, i <= 2 ? 1 : (i <= 4 ? 2 : 0), 0, 0xF4);
    PutRecordHeader(out, kXf, 20);
    out.PutU16(0);
    out.PutU16(0);
    out.PutU16(0x0001);
    out.PutU8(0x20);
    out.PutU8(0);
    out.PutU8(0);
    out.PutU8(0x00);   // everything from the Normal style
    out.PutU32(0);
    out.PutU32(0);
    out.PutU16(0x20C0);
    WriteStyleXf(out, 1, 43, 0xF8);
    WriteStyleXf(out, 1, 41, 0xF8);
    WriteStyleXf(out, 1, 44, 0xF8);
    WriteStyleXf(out, 1, 42, 0xF8);
    WriteStyleXf(out, 1, 9, 0xF8);
    for (const XfBytes& xf : m_vCellXfs) {
        PutRecordHeader(out, kXf, uint16_t(xf.size()));
        out.Bytes().insert(out.Bytes().end(), xf.begin(), xf.end());
    }

    // STYLE: @0 2 0x8000 | XF index, @2 1 built-in style id, @3 1 level 0xFF
    static const uint8_t kStyles[][2] = {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};
    for (const auto& style : kStyles) {
        out.BeginRecord(kStyle);
        out.PutU16(uint16_t(0x8000 | style[0]));
        out.PutU8(style[1]);
        out.PutU8(0xFF);
        out.EndRecord();
    }

    // PALETTE: @0 2 56, then R, G, B, 0 for colour indexes 8..63
    out.BeginRecord(kPalette);
    out.PutU16(CXlsPalette::kSlotCount);
    for (uint32_t colour : m_palette.Slots()) {
        out.PutU8(uint8_t(colour));
        out.PutU8(uint8_t(colour >> 8));
        out.PutU8(uint8_t(colour >> 16));
        out.PutU8(0);
    }
    out.EndRecord();

    out.PutRecordU16(kUsesElfs, 0);

    // BOUNDSHEET
    // @0 4 stream position of the sheet's BOF (patched once known)
    // @4 1 visible 0   @5 1 worksheet 0   @6 name (8-bit length)
    out.BeginRecord(kBoundSheet);
    *boundSheetOffsetAt = out.Size();
    out.PutU32(0);
    out.PutU8(0);
    out.PutU8(0);
    out.PutShortUnicodeString(m_book.SheetName());
    out.EndRecord();

    // COUNTRY: @0 2 the user interface's country, @2 2 the system's (82 Korea)
    out.BeginRecord(kCountry);
    out.PutU16(82);
    out.PutU16(82);
    out.EndRecord();

    if (m_book.HasPrintTitleRows())
        WritePrintTitles(out);

    CXlsSharedStrings::Write(out, m_vSstStrings, m_nSstReferences);

    out.PutEmptyRecord(kEof);
}

void CXlsWriter::WritePrintTitles(CXlsRecordStream& out)
{
    // A defined name refers to its sheet through the book's list of sheet
    // references, which in turn names this book as its own supporting book.

    // SUPBOOK, this workbook: @0 2 number of sheets  @2 2 0x0401 (self)
    out.BeginRecord(kSupBook);
    out.PutU16(1);
    out.PutU16(0x0401);
    out.EndRecord();

    // EXTERNSHEET: @0 2 count, then per reference @0 2 supporting book,
    // @2 2 first sheet, @4 2 last sheet
    out.BeginRecord(kExternSheet);
    out.PutU16(1);
    out.PutU16(0);
    out.PutU16(0);
    out.PutU16(0);
    out.EndRecord();

    // NAME, the built-in Print_Titles of sheet 1:
    // @0 2 flags 0x0020 built-in  @2 1 shortcut key  @3 1 name length (1)
    // @4 2 formula size  @6 2 reserved  @8 2 sheet (1-based; the name's scope)
    // @10 4 lengths of menu, description, help and status texts (none)
    // @14 1 name flags (8-bit characters)  @15 1 the built-in name's code
    // @16 formula: ptgArea3d @0 1 token  @1 2 reference  @3 2 first row
    //   @5 2 last row  @7 2 first column  @9 2 last column (absolute)
    out.BeginRecord(kName);
    out.PutU16(0x0020);
    out.PutU8(0);
    out.PutU8(1);
    out.PutU16(11);
    out.PutU16(0);
    out.PutU16(1);
    out.PutZeros(4);
    out.PutU8(0);
    out.PutU8(kBuiltInPrintTitles);
    out.PutU8(kPtgArea3d);
    out.PutU16(0);
    out.PutU16(uint16_t(m_book.PrintTitleFirstRow()));
    out.PutU16(uint16_t(m_book.PrintTitleLastRow()));
    out.PutU16(0);
    out.PutU16(uint16_t(CXlsWorkbook::kMaxColumns - 1));
    out.EndRecord();
}

void CXlsWriter::PrepareMerges()
{
    // Every cell of a merged area the model lacks becomes a blank in the
    // look of the area's first cell, so borders and fill span the area.
    const std::vector<CXlsWorkbook::SRow>& rows = m_book.Rows();
    m_vSpans.clear();
    for (const CXlsWorkbook::SMerge& m : m_book.Merges()) {
        uint16_t xf = kDefaultCellXf;
        if (m.m_nFirstRow < rows.size()) {
            for (const CXlsWorkbook::SCell& cell : rows[m.m_nFirstRow].m_vCells) {
                if (cell.m_nColumn == m.m_nFirstColumn)
                    xf = m_vFormatXf[cell.m_nFormat];
            }
        }
        if (m_vSpans.size() <= m.m_nLastRow)
            m_vSpans.resize(size_t(m.m_nLastRow) + 1);
        for (size_t r = m.m_nFirstRow; r <= m.m_nLastRow; ++r)
            m_vSpans[r].push_back({m.m_nFirstColumn, m.m_nLastColumn, xf});
    }
    m_nRowCount = std::max(rows.size(), m_vSpans.size());
}

bool CXlsWriter::RowExists(size_t row) const
{
    const std::vector<CXlsWorkbook::SRow>& rows = m_book.Rows();
    return (row < rows.size() &&
            (!rows[row].m_vCells.empty() || rows[row].m_nHeightTwips != 0)) ||
           (row < m_vSpans.size() && !m_vSpans[row].empty());
}

void CXlsWriter::WriteSheet(CXlsRecordStream& out)
{
    out.BeginRecord(kBof);
    out.PutU16(kBiff8);
    out.PutU16(0x0010);
    out.PutU16(0x0DBB);
    out.PutU16(0x07CC);
    out.PutU32(0);
    out.PutU32(6);
    out.EndRecord();

    // INDEX is completed once the row blocks are written; its size depends
    // on their number, so count them first.
    size_t blocks = 0;
    for (size_t first = 0; first < m_nRowCount; first += kRowsPerBlock) {
        const size_t last = std::min(first + kRowsPerBlock, m_nRowCount);
        for (size_t r = first; r < last; ++r) {
            if (RowExists(r)) {
                ++blocks;
                break;
            }
        }
    }

    // INDEX
    // @0 4 reserved  @4 4 first row with cells  @8 4 last row with cells + 1
    // @12 4 stream position of DEFCOLWIDTH  @16 4 per row block: position of its DBCELL
    const size_t indexAt = out.Size();
    out.BeginRecord(kIndex);
    out.PutZeros(16 + 4 * blocks);
    out.EndRecord();

    out.PutRecordU16(kCalcMode, 1);      // automatic
    out.PutRecordU16(kCalcCount, 100);
    out.PutRecordU16(kRefMode, 1);       // A1 references
    out.PutRecordU16(kIteration, 0);
    out.BeginRecord(kDelta);
    out.PutF64(0.001);
    out.EndRecord();
    out.PutRecordU16(kSaveRecalc, 1);
    out.PutRecordU16(kPrintHeaders, 0);
    out.PutRecordU16(kPrintGridlines, 0);
    out.PutRecordU16(kGridSet, 1);

    // GUTS: no outline, so no room for its symbols.
    out.BeginRecord(kGuts);
    out.PutZeros(8);
    out.EndRecord();

    // DEFAULTROWHEIGHT: @0 2 flags 0, @2 2 height in twips
    out.BeginRecord(kDefaultRowHeight);
    out.PutU16(0);
    out.PutU16(m_nDefaultRowTwips);
    out.EndRecord();

    // WSBOOL: 0x04C1 automatic page breaks and outline symbols shown,
    // summary rows below and right; 0x0100 print fitted to pages.
    out.PutRecordU16(kWsBool, uint16_t(0x04C1 | (m_book.FitToPageWidth() ? 0x0100 : 0)));

    // HEADER, FOOTER: empty for none, else the text with its page codes.
    out.PutEmptyRecord(kHeader);
    if (m_book.Footer().empty()) {
        out.PutEmptyRecord(kFooter);
    } else {
        out.BeginRecord(kFooter);
        out.PutUnicodeString(m_book.Footer());
        out.EndRecord();
    }
    out.PutRecordU16(kHCenter, 0);
    out.PutRecordU16(kVCenter, 0);

    // SETUP
    // @0 2 paper 9 (A4)  @2 2 scale %  @4 2 first page number
    // @6 2 pages across, @8 2 pages down when fitting (0: as many as needed)
    // @10 2 flags 0x0002 portrait  @12 2 @14 2 print resolution
    // @16 8 header margin  @24 8 footer margin (inches)  @32 2 copies
    out.BeginRecord(kSetup);
    out.PutU16(9);
    out.PutU16(100);
    out.PutU16(1);
    out.PutU16(1);
    out.PutU16(m_book.FitToPageWidth() ? 0 : 1);
    out.PutU16(0x0002);
    out.PutU16(600);
    out.PutU16(600);
    out.PutF64(0.3);
    out.PutF64(0.3);
    out.PutU16(1);
    out.EndRecord();

    out.PatchU32(indexAt + 4 + 12, uint32_t(out.Size()));
    out.PutRecordU16(kDefColWidth, 8);

    // COLINFO
    // @0 2 first column  @2 2 last column  @4 2 width in 1/256 of a '0'
    // @6 2 XF of the column (15: plain)  @8 2 flags (bit 0 hidden)  @10 2 reserved
    for (const auto& width : m_book.ColumnWidths()) {
        out.BeginRecord(kColInfo);
        out.PutU16(uint16_t(width.first));
        out.PutU16(uint16_t(width.first));
        out.PutU16(width.second);
        out.PutU16(kDefaultCellXf);
        out.PutU16(0);
        out.PutU16(0);
        out.EndRecord();
    }

    WriteCellTable(out, indexAt);

    // WINDOW2
    // @0 2 0x06B6: grid lines, headers, zeros, automatic grid colour, outline
    //      symbols, this tab selected and shown
    // @2 2 top row  @4 2 left column  @6 2 grid colour 64 (automatic)
    // @8 2 reserved  @10 2 page break preview zoom  @12 2 normal zoom (0: 100 %)
    // @14 4 reserved
    out.BeginRecord(kWindow2);
    out.PutU16(0x06B6);
    out.PutU16(0);
    out.PutU16(0);
    out.PutU16(64);
    out.PutZeros(10);
    out.EndRecord();

    // MERGECELLS: @0 2 count, then per area @0 2 first row @2 2 last row
    // @4 2 first column @6 2 last column; at most 1026 areas a record.
    const std::vector<CXlsWorkbook::SMerge>& merges = m_book.Merges();
    for (size_t first = 0; first < merges.size(); first += kMergesPerRecord) {
        const size_t count = std::min(kMergesPerRecord, merges.size() - first);
        out.BeginRecord(kMergeCells);
        out.PutU16(uint16_t(count));
        for (size_t i = first; i < first + count; ++i) {
            out.PutU16(merges[i].m_nFirstRow);
            out.PutU16(merges[i].m_nLastRow);
            out.PutU16(merges[i].m_nFirstColumn);
            out.PutU16(merges[i].m_nLastColumn);
        }
        out.EndRecord();
    }

    out.PutEmptyRecord(kEof);
}

void CXlsWriter::WriteCellTable(CXlsRecordStream& out, size_t indexAt)
{
    const std::vector<CXlsWorkbook::SRow>& rows = m_book.Rows();

    const size_t rowCount = m_nRowCount;

    // The cells of one row in column order, merge fillers included.
    std::vector<SOutCell> line;
    auto collect = [&](size_t r) {
        line.clear();
        if (r < rows.size()) {
            for (const CXlsWorkbook::SCell& cell : rows[r].m_vCells)
                line.push_back({cell.m_nColumn, m_vFormatXf[cell.m_nFormat], &cell});
        }
        if (r < m_vSpans.size() && !m_vSpans[r].empty()) {
            const size_t own = line.size();
            for (const SSpan& span : m_vSpans[r]) {
                for (uint32_t c = span.m_nFirst; c <= span.m_nLast; ++c) {
                    const bool present = std::binary_search(
                        line.begin(), line.begin() + long(own), SOutCell{uint16_t(c), 0, nullptr},
                        [](const SOutCell& a, const SOutCell& b) { return a.m_nColumn < b.m_nColumn; });
                    if (!present)
                        line.push_back({uint16_t(c), span.m_nXf, nullptr});
                }
            }
            std::sort(line.begin(), line.end(),
                      [](const SOutCell& a, const SOutCell& b) { return a.m_nColumn < b.m_nColumn; });
        }
    };

    // DIMENSIONS
    // @0 4 first row  @4 4 last row + 1  @8 2 first column  @10 2 last column + 1
    // @12 2 reserved; all zero on an empty sheet
    uint32_t firstRow = 0, lastRow = 0;
    uint16_t firstColumn = 0xFFFF, lastColumn = 0;
    bool any = false;
    for (size_t r = 0; r < rowCount; ++r) {
        collect(r);
        if (line.empty())
            continue;
        if (!any)
            firstRow = uint32_t(r);
        any = true;
        lastRow = uint32_t(r) + 1;
        firstColumn = std::min(firstColumn, line.front().m_nColumn);
        lastColumn = std::max(lastColumn, uint16_t(line.back().m_nColumn + 1));
    }
    if (!any)
        firstColumn = 0;
    out.BeginRecord(kDimensions);
    out.PutU32(firstRow);
    out.PutU32(lastRow);
    out.PutU16(firstColumn);
    out.PutU16(lastColumn);
    out.PutU16(0);
    out.EndRecord();
    out.PatchU32(indexAt + 4 + 4, firstRow);
    out.PatchU32(indexAt + 4 + 8, lastRow);

    size_t blockNumber = 0;
    std::vector<size_t> firstCellAt;   // per row with cells in the block
    for (size_t blockStart = 0; blockStart < rowCount; blockStart += kRowsPerBlock) {
        const size_t blockEnd = std::min(blockStart + kRowsPerBlock, rowCount);
        bool anyRow = false;
        for (size_t r = blockStart; r < blockEnd && !anyRow; ++r)
            anyRow = RowExists(r);
        if (!anyRow)
            continue;

        // ROW
        // @0 2 row  @2 2 first column  @4 2 last column + 1  @6 2 height in twips
        // @8 2 reserved  @10 2 unused
        // @12 4 flags: 0x100 always set, 0x40 height set by hand
        const size_t firstRowAt = out.Size();
        for (size_t r = blockStart; r < blockEnd; ++r) {
            if (!RowExists(r))
                continue;
            collect(r);
            const uint16_t height = r < rows.size() ? rows[r].m_nHeightTwips : 0;
            PutRecordHeader(out, kRow, 16);
            out.PutU16(uint16_t(r));
            out.PutU16(line.empty() ? 0 : line.front().m_nColumn);
            out.PutU16(line.empty() ? 0 : uint16_t(line.back().m_nColumn + 1));
            out.PutU16(height ? height : m_nDefaultRowTwips);
            out.PutU16(0);
            out.PutU16(0);
            out.PutU32(0x100 | (height ? 0x40 : 0));
        }
        const size_t secondRowAt = firstRowAt + 20;

        // Cells: @0 2 row, @2 2 column, @4 2 XF, then per kind
        //   LABELSST @6 4 shared string index     RK     @6 4 RK number
        //   NUMBER   @6 8 IEEE double             BLANK  (nothing)
        //   BOOLERR  @6 1 error code, @7 1 1 (an error, not a boolean)
        firstCellAt.clear();
        for (size_t r = blockStart; r < blockEnd; ++r) {
            collect(r);
            if (line.empty())
                continue;
            firstCellAt.push_back(out.Size());
            const uint16_t rw = uint16_t(r);
            for (const SOutCell& oc : line) {
                const CXlsWorkbook::SCell* cell = oc.m_pCell;
                const CXlsWorkbook::ECellKind kind = cell ? cell->m_eKind : CXlsWorkbook::CellBlank;
                uint32_t rk = 0;
                switch (kind) {
                case CXlsWorkbook::CellText:
                    PutRecordHeader(out, kLabelSst, 10);
                    out.PutU16(rw);
                    out.PutU16(oc.m_nColumn);
                    out.PutU16(oc.m_nXf);
                    out.PutU32(m_vSstIndex[cell->m_nText]);
                    break;
                case CXlsWorkbook::CellNumber:
                    if (EncodeRk(cell->m_dNumber, &rk)) {
                        PutRecordHeader(out, kRk, 10);
                        out.PutU16(rw);
                        out.PutU16(oc.m_nColumn);
                        out.PutU16(oc.m_nXf);
                        out.PutU32(rk);
                    } else {
                        PutRecordHeader(out, kNumber, 14);
                        out.PutU16(rw);
                        out.PutU16(oc.m_nColumn);
                        out.PutU16(oc.m_nXf);
                        out.PutF64(cell->m_dNumber);
                    }
                    break;
                case CXlsWorkbook::CellError:
                    PutRecordHeader(out, kBoolErr, 8);
                    out.PutU16(rw);
                    out.PutU16(oc.m_nColumn);
                    out.PutU16(oc.m_nXf);
                    out.PutU8(cell->m_nError);
                    out.PutU8(1);
                    break;
                case CXlsWorkbook::CellBlank:
                    PutRecordHeader(out, kBlank, 6);
                    out.PutU16(rw);
                    out.PutU16(oc.m_nColumn);
                    out.PutU16(oc.m_nXf);
                    break;
                }
            }
        }

        // DBCELL
        // @0 4 distance back from this record to the block's first ROW
        // @4   per row with cells, 2 bytes: the distance to its first cell
        //      from the previous row's first cell (the first row's: from
        //      the end of the first ROW record)
        const size_t dbCellAt = out.Size();
        out.BeginRecord(kDbCell);
        out.PutU32(uint32_t(dbCellAt - firstRowAt));
        size_t base = secondRowAt;
        for (size_t at : firstCellAt) {
            out.PutU16(uint16_t(at - base));
            base = at;
        }
        out.EndRecord();
        out.PatchU32(indexAt + 4 + 16 + 4 * blockNumber, uint32_t(dbCellAt));
        ++blockNumber;
    }
}
