#include "CXlsText.h"
#include "CXlsWriter.h"
#include "ReportTestSupport.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Reader = CXlsTestReader;

const std::vector<uint8_t>& XfData(const Reader& r, uint16_t xf)
{
    return r.All(0x00E0).at(xf)->m_vData;
}

// FONT records in file numbering: there is no font 4.
const std::vector<uint8_t>& FontData(const Reader& r, uint16_t font)
{
    return r.All(0x0031).at(font < 4 ? font : font - 1)->m_vData;
}

uint32_t PaletteColour(const Reader& r, uint16_t index)
{
    const std::vector<uint8_t>& d = r.All(0x0092).at(0)->m_vData;
    const size_t at = 2 + 4 * size_t(index - 8);
    return XlsRgb(d[at], d[at + 1], d[at + 2]);
}

std::u16string FontName(const std::vector<uint8_t>& font)
{
    std::u16string name;
    const uint8_t cch = font[14];
    for (size_t i = 0; i < cch; ++i)
        name.push_back(font[15] ? char16_t(Reader::U16(font, 16 + 2 * i)) : char16_t(font[16 + i]));
    return name;
}

const Reader::SCellRef& CellAt(const Reader& r, int row, int column)
{
    return r.Cells().at({row, column});
}

}  // namespace

TEST(CXlsWorkbook, EqualFormatsShareOneIdAndOneXf)
{
    CXlsWorkbook book;
    CXlsFormat bordered;
    bordered.SetBorder(EXlsLine::Thin);
    CXlsFormat same = bordered;
    CXlsFormat bold = bordered;
    bold.m_bBold = true;
    CXlsFormat plainWithColour;   // colour of an absent line does not show
    plainWithColour.m_aEdge[CXlsFormat::EdgeLeft].m_clrLine = XlsRgb(255, 0, 0);

    const int a = book.AddFormat(bordered);
    EXPECT_EQ(book.AddFormat(same), a);
    const int b = book.AddFormat(bold);
    EXPECT_NE(b, a);
    EXPECT_EQ(book.AddFormat(plainWithColour), 0);
    EXPECT_EQ(book.AddFormat(CXlsFormat()), 0);

    for (int row = 0; row < 50; ++row) {
        book.SetText(row, 0, "x", a);
        book.SetNumber(row, 1, row, b);
        book.SetText(row, 2, "y", 0);
    }
    Reader r;
    SaveAndRead(book, &r);
    EXPECT_EQ(r.All(0x00E0).size(), CXlsWriter::kFirstOwnXf + 2u);
    EXPECT_EQ(CellAt(r, 7, 0).m_nXf, CXlsWriter::kFirstOwnXf);
    EXPECT_EQ(CellAt(r, 7, 1).m_nXf, CXlsWriter::kFirstOwnXf + 1);
    EXPECT_EQ(CellAt(r, 7, 2).m_nXf, CXlsWriter::kDefaultCellXf);
    EXPECT_EQ(r.SharedStrings().size(), 2u);   // "x" and "y" once each
    EXPECT_EQ(r.SstTotal(), 100u);
}

TEST(CXlsWorkbook, CellSettersKeepToTheSheetAndTheTextLimit)
{
    CXlsWorkbook book;
    EXPECT_FALSE(book.SetText(-1, 0, "a"));
    EXPECT_FALSE(book.SetText(65536, 0, "a"));
    EXPECT_FALSE(book.SetNumber(0, 256, 1.0));
    EXPECT_FALSE(book.SetBlank(0, 0, 7));   // no such format
    EXPECT_TRUE(book.SetText(65535, 255, "last cell"));

    // Over-long text is cut at the limit (never inside a surrogate pair) and
    // the setter says so.
    std::u16string longText(CXlsWorkbook::kMaxTextUnits - 1, u'가');
    longText += u"\U0001F600tail";
    EXPECT_FALSE(book.SetText(1, 0, longText));
    EXPECT_TRUE(book.SetText(2, 0, std::u16string(CXlsWorkbook::kMaxTextUnits, u'a')));

    // Writing a cell again replaces it; an empty text leaves a formatted blank.
    const int boxed = book.AddFormat([] { CXlsFormat f; f.SetBorder(EXlsLine::Thin); return f; }());
    book.SetText(3, 1, "old");
    book.SetNumber(3, 1, 5.0);
    book.SetText(3, 3, "", boxed);
    book.SetText(3, 2, "middle");   // inserted between existing columns

    Reader r;
    SaveAndRead(book, &r);
    EXPECT_EQ(r.TextAt(1, 0), std::u16string(CXlsWorkbook::kMaxTextUnits - 1, u'가'));
    EXPECT_EQ(r.TextAt(2, 0).size(), CXlsWorkbook::kMaxTextUnits);
    EXPECT_EQ(r.TextAt(65535, 255), u"last cell");
    EXPECT_EQ(CellAt(r, 3, 1).m_nType, 0x027E);
    EXPECT_EQ(CellAt(r, 3, 1).m_dNumber, 5.0);
    EXPECT_EQ(CellAt(r, 3, 3).m_nType, 0x0201);
    EXPECT_EQ(CellAt(r, 3, 3).m_nXf, CXlsWriter::kFirstOwnXf);
    EXPECT_EQ(r.TextAt(3, 2), u"middle");
    // "old" is no longer shown, so it is not in the table.
    for (const std::u16string& s : r.SharedStrings())
        EXPECT_NE(s, u"old");
}

TEST(CXlsWorkbook, NumbersReadBackBitForBit)
{
    const double values[] = {0.0, -0.0, 1.0, -1.0, 536870911.0, -536870912.0, 536870912.0,
                             0.01, -0.07, 1.23, 123456.78, 5368709.11, 0.1, 3.141592653589793,
                             1e-300, -2.5e300, 12.5, 0.125, 40.3, 7.0 / 3.0};
    CXlsWorkbook book;
    int row = 0;
    for (double v : values)
        book.SetNumber(row++, 0, v);
    book.SetNumber(row++, 0, std::numeric_limits<double>::quiet_NaN());
    book.SetNumber(row++, 0, -std::numeric_limits<double>::infinity());

    Reader r;
    SaveAndRead(book, &r);
    row = 0;
    size_t rkCount = 0;
    for (double v : values) {
        const Reader::SCellRef& cell = CellAt(r, row++, 0);
        EXPECT_EQ(std::memcmp(&cell.m_dNumber, &v, sizeof v), 0)
            << v << " came back as " << cell.m_dNumber;
        rkCount += cell.m_nType == 0x027E;
    }
    EXPECT_GE(rkCount, 8u);   // the compact form is used where it is exact
    for (int i = 0; i < 2; ++i) {
        const Reader::SCellRef& cell = CellAt(r, row++, 0);
        EXPECT_EQ(cell.m_nType, 0x0205);
        EXPECT_EQ(cell.m_nError, CXlsWorkbook::kErrorNum);
    }
}

TEST(CXlsWorkbook, MergedAreasAreCheckedAndFilledWithTheFirstCellsLook)
{
    CXlsWorkbook book;
    EXPECT_TRUE(book.MergeCells(0, 0, 0, 1));
    EXPECT_TRUE(book.MergeCells(2, 1, 4, 3));
    EXPECT_FALSE(book.MergeCells(3, 3, 3, 4));     // overlaps the second
    EXPECT_FALSE(book.MergeCells(6, 6, 6, 6));     // a single cell
    EXPECT_FALSE(book.MergeCells(5, 2, 5, 1));     // reversed
    EXPECT_FALSE(book.MergeCells(0, 2, 0, 256));   // off the sheet

    CXlsFormat titleLook;
    titleLook.m_bBold = true;
    titleLook.SetBorder(EXlsLine::Medium);
    const int title = book.AddFormat(titleLook);
    book.SetText(0, 0, "작성 일시", title);
    book.SetText(3, 2, "kept");   // inside the second area, not its first cell

    Reader r;
    SaveAndRead(book, &r);
    const auto merges = r.All(0x00E5);
    ASSERT_EQ(merges.size(), 1u);
    const std::vector<uint8_t>& m = merges[0]->m_vData;
    ASSERT_EQ(Reader::U16(m, 0), 2);
    EXPECT_EQ(std::vector<uint16_t>({Reader::U16(m, 2), Reader::U16(m, 4), Reader::U16(m, 6),
                                     Reader::U16(m, 8)}),
              std::vector<uint16_t>({0, 0, 0, 1}));
    EXPECT_EQ(std::vector<uint16_t>({Reader::U16(m, 10), Reader::U16(m, 12), Reader::U16(m, 14),
                                     Reader::U16(m, 16)}),
              std::vector<uint16_t>({2, 4, 1, 3}));

    const uint16_t titleXf = CellAt(r, 0, 0).m_nXf;
    EXPECT_EQ(CellAt(r, 0, 1).m_nType, 0x0201);
    EXPECT_EQ(CellAt(r, 0, 1).m_nXf, titleXf);
    for (int row = 2; row <= 4; ++row) {
        for (int col = 1; col <= 3; ++col) {
            if (row == 3 && col == 2)
                continue;
            EXPECT_EQ(CellAt(r, row, col).m_nType, 0x0201) << row << "," << col;
            EXPECT_EQ(CellAt(r, row, col).m_nXf, CXlsWriter::kDefaultCellXf);
        }
    }
    EXPECT_EQ(r.TextAt(3, 2), u"kept");
}

TEST(CXlsWorkbook, MoreThan1026MergesSpreadOverSeveralRecords)
{
    CXlsWorkbook book;
    for (int i = 0; i < 1100; ++i)
        ASSERT_TRUE(book.MergeCells(i, 0, i, 1));
    Reader r;
    SaveAndRead(book, &r);
    const auto merges = r.All(0x00E5);
    ASSERT_EQ(merges.size(), 2u);
    EXPECT_EQ(Reader::U16(merges[0]->m_vData, 0), 1026);
    EXPECT_EQ(Reader::U16(merges[1]->m_vData, 0), 74);
    EXPECT_EQ(r.Cells().size(), 2200u);   // every merged cell has a record
}

TEST(CXlsWorkbook, ColumnWidthsAndRowHeightsAreStoredInFileUnits)
{
    CXlsWorkbook book;
    EXPECT_TRUE(book.SetColumnWidth(0, 8.5));
    EXPECT_TRUE(book.SetColumnWidth(2, 25));
    EXPECT_FALSE(book.SetColumnWidth(3, 300));
    EXPECT_FALSE(book.SetColumnWidth(256, 10));
    EXPECT_TRUE(book.SetRowHeight(1, 27.75));
    EXPECT_TRUE(book.SetRowHeight(40, 9));   // a row with a height and no cells
    EXPECT_FALSE(book.SetRowHeight(2, 500));
    EXPECT_FALSE(book.SetRowHeight(2, std::nan("")));
    book.SetText(0, 0, "a");
    book.SetText(1, 4, "b");

    Reader r;
    SaveAndRead(book, &r);
    const auto cols = r.All(0x007D);
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(Reader::U16(cols[0]->m_vData, 0), 0);
    EXPECT_EQ(Reader::U16(cols[0]->m_vData, 4), 2176);
    EXPECT_EQ(Reader::U16(cols[1]->m_vData, 2), 2);
    EXPECT_EQ(Reader::U16(cols[1]->m_vData, 4), 6400);

    std::map<int, std::pair<uint16_t, uint32_t>> rows;   // row -> height, flags
    for (const Reader::SRecord* row : r.All(0x0208))
        rows[Reader::U16(row->m_vData, 0)] = {Reader::U16(row->m_vData, 6),
                                              Reader::U32(row->m_vData, 12)};
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].first, 555);
    EXPECT_EQ(rows[1].second & 0x40, 0x40u);
    EXPECT_EQ(rows[40].first, 180);
    EXPECT_EQ(rows[0].second & 0x40, 0u);
    const uint16_t defaultHeight = Reader::U16(r.All(0x0225).at(0)->m_vData, 2);
    EXPECT_EQ(rows[0].first, defaultHeight);
}

TEST(CXlsWorkbook, FontsFillsBordersAndAlignmentReachTheXf)
{
    CXlsWorkbook book;
    CXlsFormat f;
    f.m_strFontName = "굴림체";
    f.m_dFontPoints = 14;
    f.m_bBold = true;
    f.m_clrFont = XlsRgb(0xC0, 0x00, 0x00);
    f.m_clrFill = XlsRgb(0xDD, 0xEB, 0xF7);
    f.m_aEdge[CXlsFormat::EdgeLeft] = {EXlsLine::Thin, kXlsAutoColour};
    f.m_aEdge[CXlsFormat::EdgeRight] = {EXlsLine::Medium, XlsRgb(0x12, 0x34, 0x56)};
    f.m_aEdge[CXlsFormat::EdgeTop] = {EXlsLine::Dashed, XlsRgb(0, 0, 0xFF)};
    f.m_aEdge[CXlsFormat::EdgeBottom] = {EXlsLine::Double, XlsRgb(0xAB, 0xCD, 0xEF)};
    f.m_eHAlign = EXlsHAlign::Center;
    f.m_eVAlign = EXlsVAlign::Top;
    f.m_bWrap = true;
    book.SetText(0, 0, "압력", book.AddFormat(f));

    Reader r;
    SaveAndRead(book, &r);
    const std::vector<uint8_t>& xf = XfData(r, CellAt(r, 0, 0).m_nXf);

    const uint16_t fontIndex = Reader::U16(xf, 0);
    EXPECT_GE(fontIndex, 5);
    const std::vector<uint8_t>& font = FontData(r, fontIndex);
    EXPECT_EQ(FontName(font), u"굴림체");
    EXPECT_EQ(Reader::U16(font, 0), 280);                   // 14 pt in twips
    EXPECT_EQ(Reader::U16(font, 6), 700);                   // weight
    EXPECT_EQ(Reader::U16(font, 2) & 1, 1);                 // bold flag
    EXPECT_EQ(font[12], 129);                               // Hangul character set
    EXPECT_EQ(PaletteColour(r, Reader::U16(font, 4)), f.m_clrFont);

    EXPECT_EQ(xf[6] & 0x07, 2);                 // centred
    EXPECT_EQ(xf[6] & 0x08, 0x08);              // wrapped
    EXPECT_EQ((xf[6] >> 4) & 0x07, 0);          // top
    const uint32_t lines = Reader::U32(xf, 10);
    const uint32_t more = Reader::U32(xf, 14);
    EXPECT_EQ(lines & 0xF, 1u);
    EXPECT_EQ((lines >> 4) & 0xF, 2u);
    EXPECT_EQ((lines >> 8) & 0xF, 3u);
    EXPECT_EQ((lines >> 12) & 0xF, 6u);
    EXPECT_EQ((lines >> 16) & 0x7F, 0x40u);     // automatic
    EXPECT_EQ(PaletteColour(r, uint16_t((lines >> 23) & 0x7F)), XlsRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(PaletteColour(r, uint16_t(more & 0x7F)), XlsRgb(0, 0, 0xFF));
    EXPECT_EQ(PaletteColour(r, uint16_t((more >> 7) & 0x7F)), XlsRgb(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(more >> 26, 1u);                  // solid fill
    EXPECT_EQ(PaletteColour(r, Reader::U16(xf, 18) & 0x7F), f.m_clrFill);

    // Fonts 0..3 are four copies of the default face.
    for (uint16_t i = 1; i < 4; ++i)
        EXPECT_EQ(FontData(r, i), FontData(r, 0));
    EXPECT_EQ(FontName(FontData(r, 0)), u"맑은 고딕");
}

TEST(CXlsWorkbook, StreamStructureIsConsistent)
{
    CXlsWorkbook book;
    book.SetSheetName("압력/데이터:1");
    CXlsFormat boxed;
    boxed.SetBorder(EXlsLine::Thin);
    const int cell = book.AddFormat(boxed);
    book.MergeCells(0, 0, 0, 1);
    for (int row = 0; row < 200; ++row) {
        if (row % 7 == 2)
            continue;   // gaps between rows
        book.SetText(row, 0, std::to_string(row), cell);
        book.SetNumber(row, 3, row * 0.5, cell);
    }
    book.SetRowHeight(300, 20);

    Reader r;
    SaveAndRead(book, &r);
    const auto& recs = r.Records();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].m_nType, 0x0809);
    EXPECT_EQ(Reader::U16(recs[0].m_vData, 2), 0x0005);

    // The sheet name as sanitised.
    const std::vector<uint8_t>& sheet = r.All(0x0085).at(0)->m_vData;
    std::u16string name;
    for (size_t i = 0; i < sheet[6]; ++i)
        name.push_back(char16_t(Reader::U16(sheet, 8 + 2 * i)));
    EXPECT_EQ(name, u"압력_데이터_1");

    // Every cell names a cell XF, every XF a font that exists (never 4).
    const size_t xfCount = r.All(0x00E0).size();
    const size_t fontCount = r.All(0x0031).size();
    for (const auto& c : r.Cells()) {
        EXPECT_TRUE(c.second.m_nXf == CXlsWriter::kDefaultCellXf ||
                    (c.second.m_nXf >= CXlsWriter::kFirstOwnXf && c.second.m_nXf < xfCount));
    }
    for (const Reader::SRecord* xf : r.All(0x00E0)) {
        const uint16_t font = Reader::U16(xf->m_vData, 0);
        EXPECT_NE(font, 4);
        EXPECT_LE(font, fontCount);
    }

    const std::vector<uint8_t>& dim = r.All(0x0200).at(0)->m_vData;
    EXPECT_EQ(Reader::U32(dim, 0), 0u);
    EXPECT_EQ(Reader::U32(dim, 4), 200u);
    EXPECT_EQ(Reader::U16(dim, 8), 0);
    EXPECT_EQ(Reader::U16(dim, 10), 4);

    // INDEX -> DBCELL -> first ROW of the block and first cell of each row.
    std::map<size_t, const Reader::SRecord*> at;
    for (const Reader::SRecord& rec : recs)
        at[rec.m_nOffset] = &rec;
    const std::vector<uint8_t>& index = r.All(0x020B).at(0)->m_vData;
    EXPECT_EQ(Reader::U32(index, 8), 200u);
    EXPECT_EQ(at.at(Reader::U32(index, 12))->m_nType, 0x0055);   // DEFCOLWIDTH
    const size_t blocks = (index.size() - 16) / 4;
    EXPECT_EQ(blocks, 8u);   // rows 0..199 and row 300
    EXPECT_EQ(r.All(0x00D7).size(), blocks);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t dbAt = Reader::U32(index, 16 + 4 * b);
        ASSERT_TRUE(at.count(dbAt));
        const Reader::SRecord* db = at.at(dbAt);
        ASSERT_EQ(db->m_nType, 0x00D7);
        const size_t firstRow = dbAt - Reader::U32(db->m_vData, 0);
        ASSERT_TRUE(at.count(firstRow));
        ASSERT_EQ(at.at(firstRow)->m_nType, 0x0208);
        size_t pos = firstRow + 20;
        int lastRow = -1;
        for (size_t k = 0; 4 + 2 * k < db->m_vData.size(); ++k) {
            pos += Reader::U16(db->m_vData, 4 + 2 * k);
            ASSERT_TRUE(at.count(pos)) << "block " << b << " entry " << k;
            const Reader::SRecord* first = at.at(pos);
            const int row = Reader::U16(first->m_vData, 0);
            EXPECT_GT(row, lastRow);
            lastRow = row;
            // It is the row's first cell: the record before is not a cell of it.
            auto before = at.find(pos);
            --before;
            const bool sameRowBefore = before->second->m_nType != 0x0208 &&
                                       Reader::U16(before->second->m_vData, 0) == row;
            EXPECT_FALSE(sameRowBefore);
        }
    }
}

TEST(CXlsWorkbook, FormatAndFontLimitsAreEnforced)
{
    CXlsWorkbook book;
    CXlsFormat f;
    f.SetBorder(EXlsLine::Thin);
    int accepted = 0;
    for (int i = 0; i < CXlsWorkbook::kMaxFormats + 5; ++i) {
        f.m_clrFill = uint32_t(i);
        accepted += book.AddFormat(f) > 0;
    }
    EXPECT_EQ(accepted, CXlsWorkbook::kMaxFormats);
    for (int i = 0; i < 60; ++i)
        book.SetNumber(i, 0, i, i * 67 + 1);
    Reader r;
    SaveAndRead(book, &r);

    CXlsWorkbook fonts;
    CXlsFormat g;
    accepted = 0;
    for (int i = 0; i < CXlsWorkbook::kMaxFonts + 5; ++i) {
        g.m_dFontPoints = 6 + i * 0.5;
        accepted += fonts.AddFormat(g) > 0;
    }
    EXPECT_EQ(accepted, CXlsWorkbook::kMaxFonts);

    CXlsFormat longCode;
    longCode.m_strNumberFormat = std::string(256, '0');
    EXPECT_EQ(fonts.AddFormat(longCode), -1);
}

TEST(CXlsWorkbook, EmptyWorkbookIsStillAWholeFile)
{
    CXlsWorkbook book;
    Reader r;
    SaveAndRead(book, &r);
    EXPECT_TRUE(r.Cells().empty());
    const std::vector<uint8_t>& dim = r.All(0x0200).at(0)->m_vData;
    EXPECT_EQ(Reader::U32(dim, 4), 0u);
    EXPECT_EQ(r.All(0x020B).at(0)->m_vData.size(), 16u);
    EXPECT_EQ(r.DeclaredStreamSize(), 4096u);
}

TEST(CXlsWorkbook, SaveReportsAPathThatCannotBeWritten)
{
    CXlsWorkbook book;
    book.SetText(0, 0, "a");
    std::string error;
    EXPECT_FALSE(book.Save(::testing::TempDir(), &error));   // a folder
    EXPECT_FALSE(error.empty());
    error.clear();
    const std::string path = ScratchPath("missing") + "/x.xls";
    EXPECT_FALSE(book.Save(path, &error));
    EXPECT_NE(error.find(path), std::string::npos);
}

TEST(CXlsWorkbook, PrintTitlesAndFooterReachTheFile)
{
    CXlsWorkbook book;
    book.SetText(0, 0, "a");
    Reader plain;
    SaveAndRead(book, &plain);
    EXPECT_TRUE(plain.All(0x0018).empty());                     // no NAME
    EXPECT_TRUE(plain.All(0x0015).at(0)->m_vData.empty());      // empty FOOTER

    EXPECT_FALSE(book.SetPrintTitleRows(3, 2));
    EXPECT_FALSE(book.SetPrintTitleRows(-1, 0));
    EXPECT_FALSE(book.SetPrintTitleRows(0, CXlsWorkbook::kMaxRows));
    EXPECT_FALSE(book.HasPrintTitleRows());
    ASSERT_TRUE(book.SetPrintTitleRows(6, 7));
    EXPECT_FALSE(book.SetFooter(std::string(256, 'x')));
    ASSERT_TRUE(book.SetFooter("&C페이지 &P / &N"));
    Reader r;
    SaveAndRead(book, &r);
    ASSERT_TRUE(r.Problems().empty()) << r.ProblemText();

    // The name refers through EXTERNSHEET entry 0 to sheet 0 of this book.
    ASSERT_EQ(r.All(0x01AE).size(), 1u);
    EXPECT_EQ(r.All(0x01AE)[0]->m_vData, (std::vector<uint8_t>{1, 0, 0x01, 0x04}));
    ASSERT_EQ(r.All(0x0017).size(), 1u);
    EXPECT_EQ(r.All(0x0017)[0]->m_vData, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(r.All(0x0018).size(), 1u);
    const std::vector<uint8_t>& name = r.All(0x0018)[0]->m_vData;
    ASSERT_EQ(name.size(), 27u);
    EXPECT_EQ(Reader::U16(name, 0), 0x0020);   // built-in
    EXPECT_EQ(name[3], 1);                     // one-character name
    EXPECT_EQ(Reader::U16(name, 4), 11);       // formula size
    EXPECT_EQ(Reader::U16(name, 8), 1);        // scope: the first sheet
    EXPECT_EQ(name[15], 0x07);                 // Print_Titles
    EXPECT_EQ(name[16], 0x3B);                 // ptgArea3d
    EXPECT_EQ(Reader::U16(name, 19), 6);
    EXPECT_EQ(Reader::U16(name, 21), 7);
    EXPECT_EQ(Reader::U16(name, 23), 0);
    EXPECT_EQ(Reader::U16(name, 25), 255);
    // Names come before the shared strings, which end the globals.
    EXPECT_LT(r.All(0x0018)[0]->m_nOffset, r.All(0x00FC).at(0)->m_nOffset);

    const std::vector<uint8_t>& footer = r.All(0x0015).at(0)->m_vData;
    const std::u16string expected = CXlsText::FromUtf8("&C페이지 &P / &N");
    ASSERT_EQ(Reader::U16(footer, 0), expected.size());
    ASSERT_EQ(footer[2], 1);   // two bytes a character
    std::u16string text;
    for (size_t i = 0; i < expected.size(); ++i)
        text.push_back(char16_t(Reader::U16(footer, 3 + 2 * i)));
    EXPECT_EQ(text, expected);
}
