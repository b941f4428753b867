#include "CDlgExport.h"

#include "CSpreadSheet.h"

#include <initializer_list>
#include <utility>

namespace {

CDlgExport::CreateHook& Hook()
{
    static CDlgExport::CreateHook s_hook;
    return s_hook;
}

// The report is printed, so it has its own light look and not the theme's.
const QString kFace = QStringLiteral("굴림체");
constexpr float kTextPoints = 10.0f;
constexpr float kTitlePoints = 14.0f;
constexpr COLORREF kInk = 0x00000000;
constexpr COLORREF kLabelFill = 0x00F7EBDD;     // pale blue, 0x00BBGGRR
constexpr COLORREF kHeadingFill = 0x00EED7BD;   // a shade darker for column headings
constexpr int kAllEdges = kGridEdgeLeft | kGridEdgeRight | kGridEdgeTop | kGridEdgeBottom;

// Characters: number, time, force, load cell, other. Columns 1 to 4 together
// hold the title with its leading spaces.
constexpr double kWidths[CDlgExport::kColumns] = {10, 22, 22, 16, 20};
constexpr double kHeaderRowPoints = 20;
constexpr double kGapRowPoints = 8;
constexpr double kTitleRowPoints = 28;
constexpr double kHeadingRowPoints = 20;
constexpr double kDataRowPoints = 18;

const char* const kDataHeadings[CDlgExport::kColumns] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류",
                                                         "기타"};
const char* const kSummaryHeadings[CDlgExport::kColumns] = {"측정횟수", "압력 평균 값", "최소 값", "최대 값",
                                                            "압력 편차"};

// Collects whether every step of a layout took.
class CLayout {
public:
    explicit CLayout(CSpreadSheet& grid) : m_g(grid) {}

    void Text(int col, int row, const QString& text)
    {
        m_g.SetCellText(col, row, text);
        m_bOk = m_bOk && m_g.GetCellText(col, row) == text;
    }
    void Text(int col, int row, const char* utf8) { Text(col, row, QString::fromUtf8(utf8)); }
    void Check(bool step) { m_bOk = m_bOk && step; }
    // Fill, alignment and border of one rectangle of cells.
    void Box(int col, int row, int col2, int row2, COLORREF fill, EGridHAlign align)
    {
        for (int r = row; r <= row2; ++r)
            for (int c = col; c <= col2; ++c) {
                m_g.SetActiveCell(c, r);
                if (fill != CGridCellStyle::kDefaultColour)
                    m_g.SetBackColor(fill);
                m_g.SetHAlign(align);
            }
        Check(m_g.SetCellBorder(col, row, col2, row2, kAllEdges, kInk, EGridLine::Solid));
    }
    bool Ok() const { return m_bOk; }

private:
    CSpreadSheet& m_g;
    bool m_bOk = true;
};

}   // namespace

CDlgExport::CDlgExport(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QString::number(IDD));
    for (int i = 0; i < 2; ++i) {
        m_gridReport[i] = new CSpreadSheet(this);
        m_gridReport[i]->setObjectName(QString::number(i == 0 ? IDC_GRID_MEMORY : IDC_GRID_OUTPUT));
    }
    hide();
}

CDlgExport::~CDlgExport() = default;

void CDlgExport::SetCreateHook(CreateHook hook)
{
    Hook() = std::move(hook);
}

QString CDlgExport::MemoryTitle()
{
    return QString(30, QLatin1Char(' ')) + QStringLiteral("저장 압력 확인 데이터");
}

QString CDlgExport::OutputTitle()
{
    return QString(23, QLatin1Char(' ')) + QStringLiteral("연속 측정 모드 데이터");
}

bool CDlgExport::Create()
{
    bool ok = SetUpTemplate(*m_gridReport[0], false);
    ok = SetUpTemplate(*m_gridReport[1], true) && ok;
    if (ok && Hook())
        ok = Hook()(*this);
    return ok;
}

bool CDlgExport::SetUpTemplate(CSpreadSheet& g, bool output)
{
    CLayout t(g);
    const int lastRow = output ? kOutputDataRow : kMemoryDataRow;
    g.SetRedraw(false);
    t.Check(g.SetColumnCount(kColumns));
    t.Check(g.SetRowCount(lastRow));
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);

    g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::StaticText);
    g.SetLock(true);
    g.SetFontName(kFace);
    g.SetFontSize(kTextPoints);
    g.SetHAlign(EGridHAlign::Center);
    g.SetVAlign(EGridVAlign::Center);
    for (int c = 1; c <= kColumns; ++c)
        t.Check(g.SetColumnWidth(c, kWidths[c - 1]));
    for (int r = 1; r <= lastRow; ++r)
        t.Check(g.SetRowHeight(r, r <= 4 ? kHeaderRowPoints
                                  : r == 5 ? kGapRowPoints
                                  : r == 6 ? kTitleRowPoints
                                           : kDataRowPoints));

    // Report header: each label of column 1 spans column 2 as well, so that
    // its value in column 3 lines up with the data columns below.
    static const char* const kLeftLabels[3] = {"작성 일시", "보고서 명", "측정기 명"};
    static const char* const kRightLabels[4] = {"회사 명", "작성자 명", "측정기 S/N", "버전 정보"};
    for (int r = 1; r <= 3; ++r) {
        t.Check(g.JoinCells(1, r, 2, 1));
        t.Box(1, r, 2, r, kLabelFill, EGridHAlign::Center);
        t.Text(1, r, kLeftLabels[r - 1]);
        t.Box(3, r, 3, r, CGridCellStyle::kDefaultColour, EGridHAlign::Center);
        t.Text(3, r, "-");
    }
    for (int r = 1; r <= 4; ++r) {
        t.Box(4, r, 4, r, kLabelFill, EGridHAlign::Center);
        t.Text(4, r, kRightLabels[r - 1]);
        t.Box(5, r, 5, r, CGridCellStyle::kDefaultColour, EGridHAlign::Center);
        t.Text(5, r, "-");
    }

    // Title row: the title runs over columns 1 to 4, its leading spaces
    // moving it towards the middle of the page; the unit sits over column 5.
    t.Check(g.JoinCells(1, 6, 4, 1));
    g.SetActiveCell(1, 6);
    g.SetFontSize(kTitlePoints);
    g.SetFontBold(true);
    g.SetHAlign(EGridHAlign::Left);
    g.SetVAlign(EGridVAlign::Bottom);
    t.Text(1, 6, output ? OutputTitle() : MemoryTitle());
    g.SetActiveCell(5, 6);
    g.SetHAlign(EGridHAlign::Right);
    g.SetVAlign(EGridVAlign::Bottom);
    t.Text(5, 6, output ? "(단위: KN)" : " (단위: 톤)");

    // Column headings and data rows.
    const auto headings = [&](int row, const char* const* texts) {
        t.Check(g.SetRowHeight(row, kHeadingRowPoints));
        t.Box(1, row, kColumns, row, kHeadingFill, EGridHAlign::Center);
        for (int c = 1; c <= kColumns; ++c) {
            g.SetActiveCell(c, row);
            g.SetFontBold(true);
            t.Text(c, row, texts[c - 1]);
        }
    };
    if (output) {
        headings(7, kSummaryHeadings);
        t.Box(1, kOutputSummaryRow, kColumns, kOutputSummaryRow, CGridCellStyle::kDefaultColour,
              EGridHAlign::Center);
        for (int c = 1; c <= kColumns; ++c)
            t.Text(c, kOutputSummaryRow, "-");
        headings(9, kDataHeadings);
        t.Box(1, kOutputDataRow, kColumns, kOutputDataRow, CGridCellStyle::kDefaultColour, EGridHAlign::Center);
        for (int c = 1; c <= 4; ++c)
            t.Text(c, kOutputDataRow, "-");
    } else {
        headings(7, kDataHeadings);
        t.Box(1, kMemoryDataRow, kColumns, kMemoryDataRow, CGridCellStyle::kDefaultColour, EGridHAlign::Center);
        t.Text(1, kMemoryDataRow, "1");
        for (int c = 2; c <= kColumns; ++c)
            t.Text(c, kMemoryDataRow, "-");
    }
    // On paper: the data headings again at the top of every page, and the
    // page number with the page count at the foot.
    const int headingRow = output ? kOutputDataRow - 1 : kMemoryDataRow - 1;
    g.SetPrintTitleRows(headingRow, headingRow);
    g.SetPrintFooter(QStringLiteral("&C페이지 &P / &N"));
    g.SetRedraw(true);
    return t.Ok();
}
