// The grid: writes that skip unchanged texts, check boxes, formatting that
// survives clears and row copies, joins, and the addressed/shown sheets.

#include "CSpreadSheet.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {
constexpr int kAll = CSpreadSheet::kAll;
constexpr int kHeader = CSpreadSheet::kHeader;

void Click(CSpreadSheet& grid, int col, int row)
{
    const QRect rect = grid.visualRect(grid.model()->index(row - 1, col - 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QWidget* EditorFor(CSpreadSheet& grid, int col, int row, QWidget* parent)
{
    return grid.itemDelegate()->createEditor(parent, QStyleOptionViewItem(),
                                             grid.model()->index(row - 1, col - 1));
}
}   // namespace

TEST(CSpreadSheet, WritesATextOnlyWhenItDiffers)
{
    CSpreadSheet grid;
    grid.SetColumnCount(3);
    grid.SetRowCount(3);
    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);

    EXPECT_TRUE(grid.SetCellText(2, 3, QStringLiteral("측정 시간")));
    EXPECT_FALSE(grid.SetCellText(2, 3, QStringLiteral("측정 시간")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(grid.GetCellText(2, 3), QStringLiteral("측정 시간"));
    EXPECT_EQ(grid.model()->data(grid.model()->index(2, 1)).toString(), QStringLiteral("측정 시간"));

    // Cells outside the sheet are neither written nor reported as written.
    EXPECT_FALSE(grid.SetCellText(4, 1, QStringLiteral("x")));
    EXPECT_FALSE(grid.SetCellText(1, 0, QStringLiteral("x")));
    EXPECT_EQ(grid.GetCellText(4, 1), QString());

    // The active-cell write covers a whole column, again only where it differs.
    grid.SetCellText(3, 2, QStringLiteral("-"));
    changed.clear();
    grid.SetActiveCell(3, kAll);
    EXPECT_TRUE(grid.SetText(QStringLiteral("-")));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(grid.SetText(QStringLiteral("-")));
    EXPECT_EQ(grid.GetCellText(3, 1), QStringLiteral("-"));
    EXPECT_EQ(grid.GetCellText(3, 3), QStringLiteral("-"));

    // Header texts replace the default letters.
    EXPECT_EQ(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
    EXPECT_TRUE(grid.SetCellText(1, kHeader, QStringLiteral("CK")));
    EXPECT_EQ(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("CK"));
}

TEST(CSpreadSheet, CheckBoxesReadOneWhenTickedAndToggleWhenClicked)
{
    CSpreadSheet grid;
    grid.SetColumnCount(2);
    grid.SetRowCount(3);
    grid.SetActiveCell(1, kAll);
    grid.SetCellType(EGridCellType::CheckBox);

    int value = -1;
    grid.SetCellText(1, 1, QStringLiteral("1"));
    ASSERT_TRUE(grid.GetInteger(1, 1, &value));
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(grid.GetInteger(1, 2, &value));   // never written
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(grid.SetInteger(1, 3, 5));
    EXPECT_EQ(grid.GetCellText(1, 3), QStringLiteral("1"));
    EXPECT_TRUE(grid.SetInteger(1, 3, 0));
    EXPECT_EQ(grid.GetCellText(1, 3), QStringLiteral("0"));
    EXPECT_FALSE(grid.GetInteger(1, 4, &value));

    // Other cells read their text as a number, or fail.
    grid.SetCellText(2, 1, QStringLiteral("12.6"));
    ASSERT_TRUE(grid.GetInteger(2, 1, &value));
    EXPECT_EQ(value, 13);
    grid.SetCellText(2, 2, QStringLiteral("VR70"));
    EXPECT_FALSE(grid.GetInteger(2, 2, &value));

    grid.resize(400, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QSignalSpy clicked(&grid, &CSpreadSheet::ButtonClicked);
    Click(grid, 1, 2);
    ASSERT_TRUE(grid.GetInteger(1, 2, &value));
    EXPECT_EQ(value, 1);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][0].toInt(), 1);
    EXPECT_EQ(clicked[0][1].toInt(), 2);
    Click(grid, 1, 2);
    grid.GetInteger(1, 2, &value);
    EXPECT_EQ(value, 0);

    // A locked check box stays as it is and reports nothing.
    grid.SetActiveCell(1, 3);
    grid.SetLock(true);
    clicked.clear();
    Click(grid, 1, 3);
    EXPECT_EQ(grid.GetCellText(1, 3), QStringLiteral("0"));
    EXPECT_EQ(clicked.count(), 0);
}

TEST(CSpreadSheet, ButtonCellsReportTheirClicks)
{
    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(3);
    grid.SetActiveCell(3, kAll);
    grid.SetCellType(EGridCellType::Button);
    grid.SetButtonCaption(QStringLiteral("설정"));
    grid.resize(600, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));

    QSignalSpy clicked(&grid, &CSpreadSheet::ButtonClicked);
    Click(grid, 3, 2);
    Click(grid, 2, 2);   // an edit cell: no click event
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][0].toInt(), 3);
    EXPECT_EQ(clicked[0][1].toInt(), 2);
    EXPECT_EQ(grid.GetCellText(3, 2), QString());
}

TEST(CSpreadSheet, RowsAndColumnsAddedLaterTakeTheFormattingSetForThem)
{
    // Set up while empty, filled one row per record later.
    CSpreadSheet grid;
    grid.SetColumnCount(5);
    grid.SetRowCount(0);
    grid.SetActiveCell(kAll, kAll);
    grid.SetCellType(EGridCellType::StaticText);
    grid.SetHAlign(EGridHAlign::Center);
    grid.SetLock(true);
    grid.SetActiveCell(1, kAll);
    grid.SetLock(false);
    grid.SetCellType(EGridCellType::CheckBox);

    ASSERT_TRUE(grid.SetRowCount(3));
    const CGridSheet& sheet = grid.AddressedSheet();
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(sheet.Style(1, row).eType, EGridCellType::CheckBox);
        EXPECT_FALSE(sheet.Style(1, row).bLocked);
        EXPECT_EQ(sheet.Style(4, row).eType, EGridCellType::StaticText);
        EXPECT_TRUE(sheet.Style(4, row).bLocked);
        EXPECT_EQ(sheet.Style(4, row).eHAlign, EGridHAlign::Center);
        EXPECT_FALSE(grid.model()->flags(grid.model()->index(row - 1, 3)) & Qt::ItemIsEditable);
    }
    ASSERT_TRUE(grid.SetColumnCount(6));
    EXPECT_EQ(sheet.Style(6, 2).eType, EGridCellType::StaticText);
    EXPECT_TRUE(sheet.Style(6, 2).bLocked);

    // A count that cannot be held fails and leaves the sheet as it was.
    EXPECT_FALSE(grid.SetRowCount(-1));
    EXPECT_FALSE(grid.SetRowCount(2000000000));
    EXPECT_EQ(grid.GetRowCount(), 3);
}

TEST(CSpreadSheet, BordersOnWholeColumnsReachRowsAddedLater)
{
    // A records sheet: bordered while empty, then one row per record.
    constexpr COLORREF kBorder = 0x00808080;
    CSpreadSheet grid;
    grid.SetSheetCount(2);
    grid.SetColumnCount(5);
    grid.SetRowCount(0);
    EXPECT_TRUE(grid.SetCellBorder(1, kAll, 5, kAll, 15, kBorder, EGridLine::Solid));

    // The second sheet has fixed rows already; rows past them get borders too.
    grid.SetAddressedSheet(2);
    grid.SetColumnCount(6);
    grid.SetRowCount(3);
    EXPECT_TRUE(grid.SetCellBorder(1, kAll, 5, kAll, 15, kBorder, EGridLine::Solid));

    for (int sheetNo : {1, 2}) {
        grid.SetAddressedSheet(sheetNo);
        ASSERT_TRUE(grid.SetRowCount(2));
        ASSERT_TRUE(grid.SetRowCount(7));   // shrinking and growing again keeps them
        grid.SetCellText(3, 7, QStringLiteral("2026-12-07 10:00:00"));
        const CGridSheet& sheet = grid.AddressedSheet();
        for (int row = 1; row <= 7; ++row) {
            for (int col = 1; col <= 5; ++col) {
                for (const CGridBorderEdge& edge : sheet.Style(col, row).edges) {
                    EXPECT_EQ(edge.eLine, EGridLine::Solid) << sheetNo << ' ' << col << ' ' << row;
                    EXPECT_EQ(edge.clr, kBorder);
                }
            }
        }
        // Only the named columns, and never the header row.
        EXPECT_EQ(sheet.Style(1, kHeader).edges[0].eLine, EGridLine::None);
        if (sheetNo == 2)
            EXPECT_EQ(sheet.Style(6, 5).edges[3].eLine, EGridLine::None);
    }

    // A rectangle of single rows still has to lie inside the sheet.
    grid.SetAddressedSheet(1);
    EXPECT_FALSE(grid.SetCellBorder(1, 8, 5, 8, 15, kBorder, EGridLine::Dash));
    EXPECT_FALSE(grid.SetCellBorder(1, kAll, 6, kAll, 15, kBorder, EGridLine::Dash));
    EXPECT_EQ(grid.AddressedSheet().Style(1, 7).edges[0].eLine, EGridLine::Solid);
}

TEST(CSpreadSheet, EditorsFollowTheCellTypeAndLock)
{
    CSpreadSheet grid;
    grid.SetColumnCount(4);
    grid.SetRowCount(2);
    grid.SetActiveCell(1, 1);
    grid.SetEditMaxLength(9);
    grid.SetActiveCell(2, 1);
    grid.SetCellType(EGridCellType::Number);
    grid.SetNumberMin(-1000);
    grid.SetNumberMax(1000);
    grid.SetNumberDecimals(0);
    grid.SetActiveCell(3, 1);
    grid.SetCellType(EGridCellType::StaticText);
    grid.SetActiveCell(4, 1);
    grid.SetLock(true);

    QWidget parent;
    std::unique_ptr<QWidget> edit(EditorFor(grid, 1, 1, &parent));
    auto* line = qobject_cast<QLineEdit*>(edit.get());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->maxLength(), 9);

    std::unique_ptr<QWidget> number(EditorFor(grid, 2, 1, &parent));
    auto* spin = qobject_cast<QSpinBox*>(number.get());
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), -1000);
    EXPECT_EQ(spin->maximum(), 1000);
    // A typed value beyond the range is held to it when written back.
    spin->setValue(5000);
    grid.itemDelegate()->setModelData(spin, grid.model(), grid.model()->index(0, 1));
    EXPECT_EQ(grid.GetCellText(2, 1), QStringLiteral("1000"));

    std::unique_ptr<QWidget> none(EditorFor(grid, 3, 1, &parent));
    EXPECT_EQ(none.get(), nullptr);   // static text
    none.reset(EditorFor(grid, 4, 1, &parent));
    EXPECT_EQ(none.get(), nullptr);   // locked
    EXPECT_TRUE(grid.model()->flags(grid.model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, 3)) & Qt::ItemIsEditable);
}

TEST(CSpreadSheet, ClearingARangeKeepsItsFormatting)
{
    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(9);
    grid.SetActiveCell(2, kAll);
    grid.SetBackColor(0x00535353);
    grid.SetCellType(EGridCellType::StaticText);
    for (int row = 1; row <= 9; ++row)
        grid.SetCellText(2, row, QString::number(row * 100));

    ASSERT_TRUE(grid.ClearRange(2, 2, 2, 6));
    EXPECT_EQ(grid.GetCellText(2, 1), QStringLiteral("100"));
    for (int row = 2; row <= 6; ++row) {
        EXPECT_EQ(grid.GetCellText(2, row), QString());
        EXPECT_EQ(grid.CellBackColor(2, row), 0x00535353u);
        EXPECT_EQ(grid.AddressedSheet().Style(2, row).eType, EGridCellType::StaticText);
    }
    EXPECT_EQ(grid.GetCellText(2, 7), QStringLiteral("700"));
    EXPECT_FALSE(grid.ClearRange(2, 2, 7, 2));   // past the last column
}

TEST(CSpreadSheet, JoinedCellsActAsOneAndRefuseOverlaps)
{
    CSpreadSheet grid;
    grid.SetColumnCount(4);
    grid.SetRowCount(9);
    for (int row = 1; row <= 6; ++row)
        ASSERT_TRUE(grid.JoinCells(2, row, 2, 1));
    EXPECT_EQ(grid.columnSpan(0, 1), 2);
    EXPECT_EQ(grid.columnSpan(6, 1), 1);
    EXPECT_EQ(grid.AddressedSheet().Spans().size(), 6u);

    EXPECT_TRUE(grid.JoinCells(2, 1, 2, 1));     // the same join again
    EXPECT_FALSE(grid.JoinCells(3, 2, 2, 1));    // overlaps (2..3, 2)
    EXPECT_FALSE(grid.JoinCells(4, 8, 2, 1));    // leaves the sheet
    EXPECT_EQ(grid.AddressedSheet().Spans().size(), 6u);

    const CGridSheet::CSpan* span = grid.AddressedSheet().SpanAt(3, 4);
    ASSERT_NE(span, nullptr);
    EXPECT_EQ(span->nCol, 2);
    EXPECT_EQ(span->nRow, 4);

    // A sheet shrunk below a join drops it.
    grid.SetRowCount(3);
    EXPECT_EQ(grid.AddressedSheet().Spans().size(), 3u);
}

TEST(CSpreadSheet, CopiedRowsCarryTextsAndFormatting)
{
    // A report template: row 8 is the data row every further row copies.
    CSpreadSheet grid;
    grid.SetColumnCount(5);
    grid.SetRowCount(8);
    const char* texts[] = {"1", "-", "-", "-", "-"};
    for (int col = 1; col <= 5; ++col)
        grid.SetCellText(col, 8, QString::fromUtf8(texts[col - 1]));
    grid.SetActiveCell(kAll, 8);
    grid.SetBackColor(0x00DDEBF7);
    grid.SetHAlign(EGridHAlign::Center);
    grid.SetCellBorder(1, 8, 5, 8, 15, 0x00464343, EGridLine::Solid);
    grid.SetRowHeight(8, 20.0);
    grid.JoinCells(2, 8, 2, 1);

    ASSERT_TRUE(grid.CopyRowRange(8, 8, 9));
    ASSERT_TRUE(grid.CopyRowRange(8, 8, 10));
    EXPECT_EQ(grid.GetRowCount(), 10);
    const CGridSheet& sheet = grid.AddressedSheet();
    for (int row = 9; row <= 10; ++row) {
        for (int col = 1; col <= 5; ++col) {
            EXPECT_EQ(grid.GetCellText(col, row), QString::fromUtf8(texts[col - 1]));
            EXPECT_EQ(grid.CellBackColor(col, row), 0x00DDEBF7u);
            EXPECT_EQ(sheet.Style(col, row).eHAlign, EGridHAlign::Center);
            EXPECT_EQ(sheet.Style(col, row).edges[3].eLine, EGridLine::Solid);
        }
        EXPECT_DOUBLE_EQ(grid.GetRowHeight(row), 20.0);
        ASSERT_NE(sheet.SpanAt(3, row), nullptr);
        EXPECT_EQ(sheet.SpanAt(3, row)->nCol, 2);
    }
    EXPECT_EQ(grid.CellBackColor(1, 7), CGridCellStyle::kDefaultBack);
}

TEST(CSpreadSheet, OverlappingRowCopiesReadTheSourceBeforeWriting)
{
    CSpreadSheet grid;
    grid.SetColumnCount(1);
    grid.SetRowCount(5);
    const QStringList rows{"a", "b", "c", "d", "e"};
    for (int r = 1; r <= 5; ++r)
        grid.SetCellText(1, r, rows[r - 1]);

    ASSERT_TRUE(grid.CopyRowRange(1, 3, 2));   // down by one
    QStringList got;
    for (int r = 1; r <= 5; ++r)
        got << grid.GetCellText(1, r);
    EXPECT_EQ(got, (QStringList{"a", "a", "b", "c", "e"}));

    ASSERT_TRUE(grid.CopyRowRange(3, 5, 2));   // up by one
    got.clear();
    for (int r = 1; r <= 5; ++r)
        got << grid.GetCellText(1, r);
    EXPECT_EQ(got, (QStringList{"a", "b", "c", "e", "e"}));

    EXPECT_FALSE(grid.CopyRowRange(4, 6, 1));   // source past the end
    EXPECT_FALSE(grid.CopyRowRange(3, 2, 1));
}

TEST(CSpreadSheet, OperationsActOnTheAddressedSheetAndTheViewShowsTheShownOne)
{
    CSpreadSheet grid;
    ASSERT_TRUE(grid.SetSheetCount(2));
    grid.SetColumnCount(5);
    grid.SetRowCount(0);
    ASSERT_TRUE(grid.SetAddressedSheet(2));
    grid.SetColumnCount(5);
    grid.SetRowCount(3);
    grid.SetColumnHeadersShown(false);

    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    grid.SetCellText(1, 1, QStringLiteral("측정횟수"));
    EXPECT_EQ(changed.count(), 0);   // sheet 2 is not on screen
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_FALSE(grid.horizontalHeader()->isHidden());

    ASSERT_TRUE(grid.SetAddressedSheet(1));
    EXPECT_EQ(grid.GetCellText(1, 1), QString());
    EXPECT_EQ(grid.GetRowCount(), 0);

    ASSERT_TRUE(grid.SetShownSheet(2));
    EXPECT_EQ(grid.GetAddressedSheet(), 1);
    EXPECT_EQ(grid.model()->rowCount(), 3);
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 0)).toString(), QStringLiteral("측정횟수"));
    EXPECT_TRUE(grid.horizontalHeader()->isHidden());

    EXPECT_FALSE(grid.SetAddressedSheet(3));
    EXPECT_FALSE(grid.SetShownSheet(0));
    EXPECT_EQ(grid.GetShownSheet(), 2);
}

namespace {
// The union of what the grid's viewport painted while events ran.
class CPaintedArea : public QObject {
public:
    explicit CPaintedArea(QWidget* viewport) { viewport->installEventFilter(this); }
    QRegion Take()
    {
        QTest::qWait(50);
        QRegion r = m_region;
        m_region = QRegion();
        return r;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            m_region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QRegion m_region;
};
}   // namespace

TEST(CSpreadSheet, RowsAddedAtTheEndRepaintOnlyThemselves)
{
    CSpreadSheet grid;
    grid.SetColumnCount(3);
    grid.SetRowCount(2);
    grid.resize(400, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    CPaintedArea painted(grid.viewport());
    painted.Take();
    const QRect firstRow = grid.visualRect(grid.model()->index(0, 0));

    // New rows inside the view are drawn, the rows above them are not.
    grid.SetRowCount(4);
    grid.SetCellText(1, 4, QStringLiteral("새 행"));
    QRegion area = painted.Take();
    EXPECT_TRUE(area.contains(grid.visualRect(grid.model()->index(3, 0))));
    EXPECT_FALSE(area.intersects(firstRow));

    // Rows far below the view draw nothing but the scroll range grows.
    grid.SetRowCount(500);
    area = painted.Take();
    EXPECT_FALSE(area.intersects(firstRow));
    EXPECT_GT(grid.verticalScrollBar()->maximum(), 0);

    // Any other change lays out and draws the whole view again.
    grid.SetRowCount(1);
    grid.SetRowCount(3);
    EXPECT_TRUE(painted.Take().intersects(firstRow));
    grid.SetColumnCount(4);
    grid.SetRowCount(6);
    EXPECT_TRUE(painted.Take().intersects(firstRow));
}
