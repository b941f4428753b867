// The window base: template layout at a fixed density, the hook order and
// resize gating, OK/Cancel, the grid look and the grid fitting, and the
// prompt seam's filter conversion.

#include "CDlgComm.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
constexpr int kGridId = 1001;

CDlgTemplate MakeTemplate(bool withFont)
{
    CDlgTemplate t;
    t.nId = 900;
    t.strCaption = "시험";
    t.cx = 200;
    t.cy = 100;
    t.dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | (withFont ? DS_SETFONT : 0u);
    // Present in both: without DS_SETFONT these must be ignored.
    t.strFontFace = "굴림체";
    t.nPointSize = -10;
    t.nWeight = 700;
    t.items = {
        {IDOK, EDlgItemKind::DefPushButton, "확인", 10, 80, 50, 14, WS_VISIBLE},
        {IDCANCEL, EDlgItemKind::PushButton, "닫 기", 70, 80, 50, 14, WS_VISIBLE},
        {IDC_STATIC, EDlgItemKind::StaticText, "라벨", 5, 5, 40, 8, WS_VISIBLE},
        {kGridId, EDlgItemKind::Grid, "", 5, 20, 190, 50, WS_VISIBLE},
        {1046, EDlgItemKind::AutoCheckBox, "값 자동 읽기", 130, 80, 60, 10, WS_VISIBLE | WS_DISABLED},
    };
    return t;
}

class CProbeDlg : public CDlgComm {
public:
    explicit CProbeDlg(const CDlgTemplate& t)
        : CDlgComm(t)
    {
    }
    std::vector<std::string> m_vCalls;
    bool m_bResizeInInit = false;

protected:
    void InitControls() override
    {
        m_vCalls.push_back("InitControls");
        if (m_bResizeInInit)
            resize(width() + 40, height() + 40);
    }
    void AfterInitControls() override { m_vCalls.push_back("AfterInitControls"); }
    void ArrangeControls() override
    {
        m_vCalls.push_back(m_bReady ? "ArrangeControls" : "ArrangeControls before ready");
    }
    void OnCancel() override
    {
        m_vCalls.push_back("OnCancel");
        CDlgComm::OnCancel();
    }
};

CSpreadSheet& Grid(CDlgComm& dlg)
{
    return *dlg.GetDlgItemAs<CSpreadSheet>(kGridId);
}
}   // namespace

TEST(DlgFontScaler, MapsDialogUnitsWithRoundedQuartersAndEighths)
{
    EXPECT_EQ(DlgFontScaler::MapDialogRect(7, 24, 563, 320, 6, 13), QRect(11, 39, 845, 520));
    // 1 x 6 / 4 = 1.5 rounds up; 3 x 13 / 8 = 4.875 rounds to 5.
    EXPECT_EQ(DlgFontScaler::MapDialogRect(1, 3, 0, 0, 6, 13), QRect(2, 5, 0, 0));
}

TEST(DlgFontScaler, TemplateFontComesFromTheTemplateOrIsTahomaEightPoints)
{
    const QFont fallback = DlgFontScaler::TemplateFont(MakeTemplate(false), 96.0);
    EXPECT_EQ(fallback.family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(fallback.pixelSize(), 11);   // 8 pt x 96 / 72 = 10.67
    EXPECT_EQ(fallback.weight(), QFont::Normal);
    EXPECT_FALSE(fallback.italic());

    const QFont own = DlgFontScaler::TemplateFont(MakeTemplate(true), 96.0);
    EXPECT_EQ(own.family(), QStringLiteral("굴림체"));
    EXPECT_EQ(own.pixelSize(), 13);        // |-10| pt x 96 / 72 = 13.33
    EXPECT_EQ(own.weight(), QFont::Bold);
    EXPECT_EQ(DlgFontScaler::TemplateFont(MakeTemplate(true), 92.0).pixelSize(), 13);   // 12.78
    EXPECT_EQ(DlgFontScaler::TemplateFont(MakeTemplate(false), 92.0).pixelSize(), 10);  // 10.22

    // The Windows face names land on an installed face that has Hangul.
    DlgFontScaler::InstallFontSubstitutions();
    EXPECT_TRUE(QFontInfo(own).family().startsWith(QStringLiteral("Nanum")));
    EXPECT_TRUE(QFontInfo(QFont(QStringLiteral("MS Shell Dlg"))).family().startsWith(QStringLiteral("Nanum")));
}

TEST(DlgFontScaler, LaysOutWindowAndControlsFromTheFontAndRestoresFonts)
{
    for (bool withFont : {false, true}) {
        SCOPED_TRACE(withFont ? "with font" : "without font");
        const CDlgTemplate t = MakeTemplate(withFont);
        CProbeDlg dlg(t);
        QLabel* label = dlg.GetDlgItemAs<QLabel>(IDC_STATIC);
        ASSERT_NE(label, nullptr);
        const QFont before = label->font();
        dlg.InitDialog();

        const DlgFontScaler& s = dlg.m_Scaler;
        EXPECT_EQ(s.m_nTemplateId, 900);
        int bx = 0, by = 0;
        DlgFontScaler::BaseUnits(DlgFontScaler::TemplateFont(t, 96.0), &bx, &by);
        ASSERT_GT(bx, 0);
        EXPECT_EQ(s.m_nBaseX, bx);
        EXPECT_EQ(s.m_nBaseY, by);
        EXPECT_EQ(dlg.size(), QSize(int(200 * bx / 4.0 + 0.5), int(100 * by / 8.0 + 0.5)));
        EXPECT_EQ(dlg.GetDlgItem(kGridId)->geometry(), DlgFontScaler::MapDialogRect(5, 20, 190, 50, bx, by));
        EXPECT_EQ(dlg.GetDlgItem(IDCANCEL)->geometry(), DlgFontScaler::MapDialogRect(70, 80, 50, 14, bx, by));
        EXPECT_EQ(label->font().pixelSize(), withFont ? 13 : 11);

        dlg.m_Scaler.Detach();
        EXPECT_EQ(label->font(), before);
        EXPECT_FALSE(dlg.m_Scaler.IsAttached());
    }
}

TEST(CDlgComm, CreatesTheControlsOfTheTemplate)
{
    CProbeDlg dlg(MakeTemplate(true));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("시험"));
    ASSERT_NE(dlg.m_btnOK, nullptr);
    ASSERT_NE(dlg.m_btnCancel, nullptr);
    EXPECT_EQ(dlg.m_btnOK->objectName(), QStringLiteral("1"));
    EXPECT_TRUE(dlg.m_btnOK->isDefault());
    EXPECT_EQ(dlg.m_btnCancel->text(), QStringLiteral("닫 기"));
    EXPECT_NE(dlg.GetDlgItemAs<CSpreadSheet>(kGridId), nullptr);
    EXPECT_FALSE(dlg.GetDlgItem(1046)->isEnabled());
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
    EXPECT_EQ(dlg.m_clrFrame, CAppTheme::Current().m_clrBorder);
}

TEST(CDlgComm, HooksRunOnceInOrderAndResizesWaitForReady)
{
    CProbeDlg dlg(MakeTemplate(true));
    dlg.m_bResizeInInit = true;

    // A size message before the set-up lays nothing out.
    QResizeEvent early(QSize(300, 200), QSize());
    QCoreApplication::sendEvent(&dlg, &early);
    EXPECT_TRUE(dlg.m_vCalls.empty());
    EXPECT_FALSE(dlg.m_bReady);

    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QCoreApplication::processEvents();
    const std::vector<std::string> expected{"InitControls", "AfterInitControls", "ArrangeControls"};
    EXPECT_EQ(dlg.m_vCalls, expected);
    EXPECT_TRUE(dlg.m_bReady);

    dlg.InitDialog();   // runs once only
    dlg.hide();
    dlg.show();
    EXPECT_EQ(dlg.m_vCalls, expected);

    dlg.resize(dlg.width() + 50, dlg.height() + 30);
    ASSERT_EQ(dlg.m_vCalls.size(), 4u);
    EXPECT_EQ(dlg.m_vCalls.back(), "ArrangeControls");
}

TEST(CDlgComm, EscapeActsAsControlTwoAndOkAccepts)
{
    CProbeDlg dlg(MakeTemplate(true));
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.m_vCalls.back(), "OnCancel");
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);

    dlg.show();
    dlg.m_btnOK->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(CDlgComm, FitGridColumnsKeepsProportionsAndFillsTheWidthExactly)
{
    CProbeDlg dlg(MakeTemplate(true));
    dlg.SetDensityOverride(96.0, 96.0);
    CSpreadSheet& grid = Grid(dlg);
    grid.SetColumnCount(3);
    grid.SetColumnWidth(1, 10);
    grid.SetColumnWidth(2, 20);
    grid.SetColumnWidth(3, 30);
    grid.SetRowHeadersShown(false);
    grid.SetScrollBars(0);

    // 105 twips a character at 96 dpi: 7 pixels.
    dlg.FitGridColumns(grid, QRect(0, 0, 400, 100));
    const double available = (400 - 3) / 7.0;
    EXPECT_NEAR(grid.GetColumnWidth(2) / grid.GetColumnWidth(1), 2.0, 1e-12);
    EXPECT_NEAR(grid.GetColumnWidth(3) / grid.GetColumnWidth(1), 3.0, 1e-12);
    EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1) + grid.GetColumnWidth(2) + grid.GetColumnWidth(3), available);

    // Shown row headers take their share; a vertical scroll bar its room.
    grid.SetRowHeadersShown(true);
    grid.SetColumnWidth(CSpreadSheet::kHeader, 5);
    grid.SetScrollBars(2);
    const int bar = grid.GetVerticalScrollBarWidth();
    const double header = grid.GetColumnWidth(CSpreadSheet::kHeader);
    const double first = grid.GetColumnWidth(1);
    dlg.FitGridColumns(grid, QRect(0, 0, 600, 100));
    const double sum = grid.GetColumnWidth(CSpreadSheet::kHeader) + grid.GetColumnWidth(1)
                     + grid.GetColumnWidth(2) + grid.GetColumnWidth(3);
    EXPECT_DOUBLE_EQ(sum, (600 - 3 - 1 - bar) / 7.0);
    EXPECT_NEAR(grid.GetColumnWidth(CSpreadSheet::kHeader) / grid.GetColumnWidth(1), header / first, 1e-12);

    // Too narrow a rectangle leaves the widths alone.
    const double before = grid.GetColumnWidth(1);
    dlg.FitGridColumns(grid, QRect(0, 0, 10, 100));
    EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1), before);
}

TEST(CDlgComm, FitGridSharesHeightAmongRowsAndWidthAmongColumns)
{
    CProbeDlg dlg(MakeTemplate(true));
    dlg.SetDensityOverride(96.0, 96.0);
    CSpreadSheet& grid = Grid(dlg);
    grid.SetColumnCount(4);
    grid.SetRowCount(4);
    grid.SetColumnHeadersShown(false);
    grid.SetRowHeadersShown(false);
    grid.SetScrollBars(0);

    dlg.FitGrid(grid, true, QRect(10, 20, 405, 206));
    EXPECT_EQ(grid.geometry(), QRect(10, 20, 405, 206));
    for (int c = 1; c <= 4; ++c)
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(c), ((405 - 5) / 7.0) / 4 - 0.1);
    // 20 twips a point at 96 dpi: 4/3 pixel; 1.5 pixels a row for the lines.
    for (int r = 1; r <= 4; ++r)
        EXPECT_DOUBLE_EQ(grid.GetRowHeight(r), (206 - 6) / (96.0 / 72.0) / 4);

    // A shown header row shares the height; unequal columns keep their widths.
    grid.SetColumnHeadersShown(true);
    grid.SetColumnWidth(1, 3);
    dlg.FitGrid(grid, false, QRect(0, 0, 405, 206));
    EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1), 3.0);
    EXPECT_DOUBLE_EQ(grid.GetRowHeight(CSpreadSheet::kHeader), (206 - 6) / (96.0 / 72.0) / 5);

    // A sheet without rows or headers, or a window too small, changes nothing.
    grid.SetRowCount(0);
    grid.SetColumnHeadersShown(false);
    dlg.FitGrid(grid, true, QRect(0, 0, 4, 0));
    EXPECT_DOUBLE_EQ(grid.GetColumnWidth(2), ((405 - 5) / 7.0) / 4 - 0.1);
}

TEST(CDlgComm, GridLookScalesOnlyAboveNinetySixDpi)
{
    const double root = std::sqrt(1.25);
    struct Case { double dpi; float font; double scale; };
    for (const Case& c : {Case{96.0, 11.0f, 1.0}, Case{120.0, 8.0f, root},
                          Case{144.0, 7.0f, std::sqrt(1.5)}, Case{192.0, 5.0f, std::sqrt(2.0)}}) {
        SCOPED_TRACE(c.dpi);
        CProbeDlg dlg(MakeTemplate(true));
        dlg.SetDensityOverride(c.dpi, c.dpi);
        CSpreadSheet& grid = Grid(dlg);
        grid.SetColumnCount(2);
        grid.SetRowCount(3);
        grid.SetColumnWidth(1, 10);
        grid.SetColumnWidth(2, 20);
        grid.SetColumnWidth(CSpreadSheet::kHeader, 4);
        grid.SetRowHeight(CSpreadSheet::kAll, 15);
        grid.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
        grid.SetFontSize(11.0f);

        dlg.ApplyGridLook(grid);
        EXPECT_FLOAT_EQ(grid.AddressedSheet().Style(2, 3).fFontSize, c.font);
        EXPECT_EQ(grid.AddressedSheet().Style(2, 3).strFontName, QStringLiteral("굴림체"));
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1), 10 / c.scale);
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(2), 20 / c.scale);
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(CSpreadSheet::kHeader), 4 / c.scale);
        EXPECT_DOUBLE_EQ(grid.GetRowHeight(3), 15 / c.scale);
        EXPECT_EQ(grid.CellBackColor(1, 1), CAppTheme::Current().m_clrBack);
        EXPECT_EQ(grid.CellForeColor(1, 1), CAppTheme::Current().m_clrText);
    }
}

TEST(CUiPrompts, FiltersBecomeQtFiltersAndHooksAnswer)
{
    EXPECT_EQ(CUiPrompts::ConvertFilter(QStringLiteral("Excel Files (*.xls)|*.xls;| All Files(*.*)|*.*||")),
              QStringLiteral("Excel Files (*.xls);;All Files (*.*)"));
    EXPECT_EQ(CUiPrompts::ConvertFilter(QStringLiteral("Firmware|*.bin;*.BIN|")),
              QStringLiteral("Firmware (*.bin *.BIN)"));
    EXPECT_EQ(CUiPrompts::ConvertFilter(QString()), QString());

    QString asked;
    CUiPrompts::SetYesNoHook([&asked](const QString& text, const QString& caption) {
        asked = caption + QLatin1Char('|') + text;
        return false;
    });
    CUiPrompts::SetSaveFileHook([](const QString&, const QString& filter, const QString&) {
        return filter;
    });
    EXPECT_FALSE(CUiPrompts::AskYesNo(nullptr, QStringLiteral("장비시간을 설정하시겠습니까?"),
                                      QStringLiteral("설정")));
    EXPECT_EQ(asked, QStringLiteral("설정|장비시간을 설정하시겠습니까?"));
    EXPECT_EQ(CUiPrompts::ChooseSaveFile(nullptr, QString(), QStringLiteral("Excel Files (*.xls)|*.xls;||")),
              QStringLiteral("Excel Files (*.xls)"));
    CUiPrompts::ClearHooks();
}
