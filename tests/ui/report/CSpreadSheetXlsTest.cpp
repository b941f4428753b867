// The grid's "save as .xls" read back by an independent reader: shown
// headers, cell types, colours, borders, joins and sizes, and a sheet too
// large for the file format.

#include "CSpreadSheet.h"
#include "CXlsDump.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SpreadSheetXls, WritesWhatTheGridShows)
{
    QTemporaryDir dir;
    CSpreadSheet g;
    g.SetColumnCount(3);
    g.SetRowCount(3);
    g.SetHeaderColors(0x00332211, 0x00FFFFFF);
    g.SetCellText(1, CSpreadSheet::kHeader, QStringLiteral("선택"));
    g.SetColumnWidth(CSpreadSheet::kHeader, 4);
    g.SetColumnWidth(3, 30);
    g.SetRowHeight(2, 25);

    g.SetActiveCell(1, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::CheckBox);
    g.SetCellText(1, 1, QStringLiteral("1"));
    g.SetCellText(1, 2, QStringLiteral("0"));
    g.SetActiveCell(2, 1);
    g.SetCellType(EGridCellType::Button);
    g.SetButtonCaption(QStringLiteral("누르기"));
    g.SetActiveCell(2, 2);
    g.SetForeColor(0x000000FF);
    g.SetBackColor(0x0000FF00);
    g.SetCellText(2, 2, QStringLiteral("빨강"));
    g.SetActiveCell(3, 3);
    g.SetFontName(QStringLiteral("NanumGothic"));
    g.SetFontSize(12.0f);
    g.SetHAlign(EGridHAlign::Right);
    g.SetVAlign(EGridVAlign::Top);
    g.SetCellText(3, 3, QStringLiteral("12.5 톤"));
    g.SetCellBorder(3, 1, 3, 1, kGridEdgeLeft | kGridEdgeTop, 0x000000FF, EGridLine::Dash);
    ASSERT_TRUE(g.JoinCells(2, 3, 2, 1));

    const QString path = dir.path() + QStringLiteral("/a report name longer than thirty-one characters.xls");
    QString error;
    ASSERT_TRUE(g.SaveAsExcel(path, &error)) << error.toStdString();
    const CXlsDump x(path);
    ASSERT_TRUE(x.Ok()) << x.Error().toStdString();
    EXPECT_EQ(x.SheetName(), QStringLiteral("a report name longer than thirt"));
    ASSERT_EQ(x.Rows(), 4);
    ASSERT_EQ(x.Columns(), 4);

    // The header row and column come first, in the header colours.
    EXPECT_EQ(x.Text(2, 1), QStringLiteral("선택"));
    EXPECT_EQ(x.Text(3, 1), QStringLiteral("B"));
    EXPECT_EQ(x.Text(1, 4), QStringLiteral("3"));
    EXPECT_EQ(ColourName(x.Format(3, 1).value("fill")), QStringLiteral("#112233"));
    EXPECT_EQ(ColourName(x.Format(3, 1).value("colour")), QStringLiteral("#ffffff"));
    EXPECT_EQ(x.Width(1), 4.0);

    // Check boxes write their state, a button its caption.
    EXPECT_EQ(x.Text(2, 2), QStringLiteral("1"));
    EXPECT_EQ(x.Text(2, 3), QStringLiteral("0"));
    EXPECT_EQ(x.Text(2, 4), QStringLiteral("0"));
    EXPECT_EQ(x.Text(3, 2), QStringLiteral("누르기"));

    EXPECT_EQ(ColourName(x.Format(3, 3).value("colour")), QStringLiteral("#ff0000"));
    EXPECT_EQ(ColourName(x.Format(3, 3).value("fill")), QStringLiteral("#00ff00"));
    EXPECT_EQ(ColourName(x.Format(2, 2).value("fill")), QStringLiteral("#ffffff"));   // never coloured
    EXPECT_EQ(ColourName(x.Format(2, 2).value("colour")), QStringLiteral("auto"));

    const QJsonObject c33 = x.Format(4, 4);
    EXPECT_EQ(x.Text(4, 4), QStringLiteral("12.5 톤"));
    EXPECT_EQ(c33.value("font").toString(), QStringLiteral("NanumGothic"));
    EXPECT_EQ(c33.value("points").toDouble(), 12.0);
    EXPECT_EQ(c33.value("halign").toInt(), 3);
    EXPECT_EQ(c33.value("valign").toInt(), 0);
    const QJsonObject bordered = x.Format(4, 2);
    EXPECT_EQ(bordered.value("edges").toArray(), (QJsonArray{3, 0, 3, 0}));
    EXPECT_EQ(ColourName(bordered.value("edge_colours").toArray().at(0)), QStringLiteral("#ff0000"));

    EXPECT_EQ(x.Merges(), QStringList{QStringLiteral("4-4:3-4")});
    EXPECT_EQ(x.Width(4), 30.0);
    EXPECT_EQ(x.Height(3), 25.0);
    EXPECT_EQ(x.Height(2), CGridSheet::kDefaultRowHeight);
}

TEST(SpreadSheetXls, HiddenHeadersAreLeftOutAndAnOversizedSheetFailsCleanly)
{
    QTemporaryDir dir;
    CSpreadSheet g;
    g.SetColumnCount(2);
    g.SetRowCount(2);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetCellText(1, 1, QStringLiteral("첫 칸"));
    const QString path = dir.path() + QStringLiteral("/small.xls");
    QString error;
    ASSERT_TRUE(g.SaveAsExcel(path, &error)) << error.toStdString();
    const CXlsDump x(path);
    ASSERT_TRUE(x.Ok()) << x.Error().toStdString();
    EXPECT_EQ(x.Text(1, 1), QStringLiteral("첫 칸"));
    EXPECT_EQ(x.Rows(), 2);

    // One row more than the file format holds, counting the shown header row.
    g.SetColumnHeadersShown(true);
    ASSERT_TRUE(g.SetRowCount(65536));
    EXPECT_FALSE(g.SaveAsExcel(path, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("65536"))) << error.toStdString();
    const CXlsDump kept(path);
    EXPECT_EQ(kept.Text(1, 1), QStringLiteral("첫 칸"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"small.xls"});

    EXPECT_FALSE(g.SaveAsExcel(QString(), &error));
    EXPECT_FALSE(error.isEmpty());
}

}   // namespace
