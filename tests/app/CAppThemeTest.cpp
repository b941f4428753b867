#include "CBrevaneApp.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPushButton>
#include <QWidget>

namespace {

int g_argc = 1;
char g_arg0[] = "brevane_app_tests";
char* g_argv[] = {g_arg0, nullptr};

class CAppThemeTest : public ::testing::Test {
protected:
    CBrevaneApp m_app {g_argc, g_argv};
    CTestFolder m_dir;

    // The platform's palette, with roles the fallbacks can be told apart by.
    void SetSystemPalette()
    {
        QPalette palette;
        palette.setColor(QPalette::WindowText, QColor(1, 2, 3));
        palette.setColor(QPalette::Base, QColor(4, 5, 6));
        palette.setColor(QPalette::Window, QColor(11, 12, 13));
        palette.setColor(QPalette::Dark, QColor(7, 8, 9));
        m_app.m_palSystem = palette;
    }
};

} // namespace

TEST_F(CAppThemeTest, MissingOrBadKeysTakeTheSystemColourNotTheInitialOne)
{
    WriteBytes(m_dir / "theme.ini",
               "[DockingPane.Inactive]\nTextColor=10 20 30\nCaptionColor=dark\n"
               "[Controls.Button]\nBorder=300 0 0\n"
               "[DockingPane.Tabs]\nButtonBorder = 40, 50, 60 \n");
    m_app.m_strThemeFile = QString::fromStdString(m_dir / "theme.ini");
    SetSystemPalette();
    m_app.LoadThemeColors(nullptr);

    EXPECT_EQ(m_app.m_clrText, 0x1E140Au);
    EXPECT_EQ(m_app.m_clrBack, 0x060504u);          // window
    EXPECT_EQ(m_app.m_clrHilite, 0x060504u);        // window
    EXPECT_EQ(m_app.m_clrSelected, 0x060504u);      // window
    EXPECT_EQ(m_app.m_clrBorder, 0x090807u);        // button shadow
    EXPECT_EQ(m_app.m_clrButtonBorder, 0x3C3228u);
    EXPECT_EQ(m_app.m_clrEditBack, 0x535353u);
    EXPECT_EQ(m_app.m_clrDark, 0x302D2Du);
    EXPECT_EQ(m_app.m_nControlTheme, 16);
    EXPECT_EQ(m_app.m_brBack.color(), QColor(4, 5, 6));
    // The loaded set is now what every window is drawn with.
    EXPECT_EQ(QApplication::palette().color(QPalette::WindowText), QColor(10, 20, 30));
    EXPECT_TRUE(m_app.styleSheet().contains(QColor(40, 50, 60).name()));
}

TEST_F(CAppThemeTest, FallbacksComeFromThePlatformNotFromTheProgramsOwnPalette)
{
    // The application object keeps the palette it started with; what it
    // puts in place afterwards (the dark set) is no fallback.
    const QPalette platform = m_app.m_palSystem;
    m_app.ApplyTheme(nullptr);   // as start-up does before the main window loads the theme
    EXPECT_NE(QApplication::palette().color(QPalette::WindowText),
              platform.color(QPalette::WindowText));
    m_app.m_strThemeFile = QString::fromStdString(m_dir / "missing.ini");
    m_app.LoadThemeColors(nullptr);
    EXPECT_EQ(m_app.m_clrText, CAppTheme::FromQColor(platform.color(QPalette::WindowText)));
    EXPECT_EQ(m_app.m_clrBack, CAppTheme::FromQColor(platform.color(QPalette::Base)));
    EXPECT_EQ(m_app.m_clrBorder, CAppTheme::FromQColor(platform.color(QPalette::Dark)));
}

TEST_F(CAppThemeTest, WithoutAThemeFileEveryColourIsASystemColour)
{
    m_app.m_strThemeFile = QString::fromStdString(m_dir / "missing.ini");
    SetSystemPalette();
    m_app.LoadThemeColors(nullptr);
    EXPECT_EQ(m_app.m_clrText, 0x030201u);
    EXPECT_EQ(m_app.m_clrBack, 0x060504u);
    EXPECT_EQ(m_app.m_clrBorder, 0x090807u);
    EXPECT_EQ(m_app.m_clrButtonBorder, 0x090807u);
}

TEST_F(CAppThemeTest, TheShippedThemeIsTheDarkSetAndTravelsWithTheExecutables)
{
    // Loaded over a light palette, so a key that failed to parse would show.
    QApplication::setPalette(QPalette(Qt::white));
    m_app.m_strThemeFile = BREVANE_SHIPPED_THEME;
    m_app.LoadThemeColors(nullptr);
    EXPECT_EQ(m_app.m_clrText, 0xF7F3F7u);
    EXPECT_EQ(m_app.m_clrBack, 0x312C29u);
    EXPECT_EQ(m_app.m_clrBorder, 0x464343u);
    EXPECT_EQ(m_app.m_clrHilite, 0xCC7A00u);
    EXPECT_EQ(m_app.m_clrSelected, 0x212421u);
    EXPECT_EQ(m_app.m_clrButtonBorder, 0x423C39u);

    m_app.m_strThemeFile.clear();
    const QString beside = m_app.ThemeFilePath();
    EXPECT_TRUE(beside.endsWith(QStringLiteral("/theme/VisualStudio2015Dark.ini"))) << beside.toStdString();
    EXPECT_TRUE(QFileInfo::exists(beside)) << beside.toStdString();
}

TEST_F(CAppThemeTest, WindowsAreRedrawnInTheLoadedColours)
{
    WriteBytes(m_dir / "theme.ini", "[DockingPane.Inactive]\nTextColor=200 201 202\nCaptionColor=11 12 13\n");
    m_app.m_strThemeFile = QString::fromStdString(m_dir / "theme.ini");
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("확인"), &window);
    window.show();
    m_app.LoadThemeColors(&window);
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(11, 12, 13));
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(200, 201, 202));
    EXPECT_EQ(window.palette().color(QPalette::Base), CAppTheme::ToQColor(m_app.m_clrEditBack));
}

TEST(CAppTheme, ColourTriples)
{
    COLORREF c = 0;
    EXPECT_TRUE(CAppTheme::ParseColorTriple("0 122 204", c));
    EXPECT_EQ(c, 0xCC7A00u);
    EXPECT_TRUE(CAppTheme::ParseColorTriple("1,2,3", c));
    EXPECT_EQ(c, 0x030201u);
    for (const char* bad : {"", "1 2", "1 2 3 4", "-1 2 3", "256 0 0", "a b c", "1 2 3x", "99999999999999999999 0 0"})
        EXPECT_FALSE(CAppTheme::ParseColorTriple(bad, c)) << bad;
}
