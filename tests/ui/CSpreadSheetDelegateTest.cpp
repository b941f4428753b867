// Check boxes in grid cells stand out from the cell at least 3:1, ticked or
// not, on light, dark and mid-grey cells and with a text colour that would
// vanish on them.

#include "CSpreadSheet.h"
#include "CSpreadSheetDelegate.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

TEST(CSpreadSheetDelegate, ContrastRatioFollowsRelativeLuminance)
{
    EXPECT_NEAR(CSpreadSheetDelegate::ContrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(CSpreadSheetDelegate::ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_DOUBLE_EQ(CSpreadSheetDelegate::ContrastRatio(Qt::red, Qt::red), 1.0);
    // A text colour that stands out is kept; one that does not is replaced.
    EXPECT_EQ(CSpreadSheetDelegate::CheckBoxColour(Qt::white, QColor(0x30, 0x30, 0x30)), QColor(0x30, 0x30, 0x30));
    EXPECT_EQ(CSpreadSheetDelegate::CheckBoxColour(QColor(0x53, 0x53, 0x53), QColor(0x60, 0x60, 0x60)),
              QColor(Qt::white));
}

TEST(CSpreadSheetDelegate, PaintedCheckBoxesStandOutFromTheirCell)
{
    // Cell colours 0x00BBGGRR with a text colour close to each.
    const std::pair<COLORREF, COLORREF> cases[] = {
        {0xFFFFFF, 0xEEEEEE}, {0x535353, 0x606060}, {0x777777, 0x777777}, {0x312C29, 0x312C29}, {0xF7F3F7, 0xFFFFFF}};
    for (const auto& [back, fore] : cases) {
        CSpreadSheet grid;
        grid.SetColumnCount(1);
        grid.SetRowCount(2);
        grid.SetActiveCell(1, CSpreadSheet::kAll);
        grid.SetCellType(EGridCellType::CheckBox);
        grid.SetBackColor(back);
        grid.SetForeColor(fore);
        grid.SetCellText(1, 2, QStringLiteral("1"));
        grid.resize(200, 120);
        grid.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
        const QImage shot = grid.viewport()->grab().toImage();
        for (int row = 1; row <= 2; ++row) {
            const QRect cell = grid.visualRect(grid.model()->index(row - 1, 0)).adjusted(3, 3, -3, -3);
            const QColor cellColour = shot.pixelColor(cell.topLeft());
            double best = 1.0;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    best = std::max(best, CSpreadSheetDelegate::ContrastRatio(shot.pixelColor(x, y), cellColour));
            EXPECT_GE(best, 3.0) << "cell " << std::hex << back << " row " << row;
        }
    }
}
