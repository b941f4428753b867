#include "CBrevaneApp.h"
#include "CrashFilter.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <QLocale>


#include <filesystem>

namespace fs = std::filesystem;

namespace {

int g_argc = 1;
char g_arg0[] = "brevane_app_tests";
char* g_argv[] = {g_arg0, nullptr};

class CBrevaneAppTest : public ::testing::Test {
protected:
    // The filter stays installed in the program; not in the test process.
    ~CBrevaneAppTest() override { RemoveCrashFilter(); }

    CTestFolder m_dir;
};

} // namespace

TEST_F(CBrevaneAppTest, StartUpPreparesEverythingBeforeTheMainWindowRuns)
{
    CBrevaneApp app(g_argc, g_argv);
    app.SetExecutablePath(m_dir / "meter");
    WriteBytes(m_dir / "meter.ini", "[REPORT]\nCOMPANY=한국 계측\n");

    int calls = 0;
    app.SetMainWindowRunner([&](CBrevaneApp& running) {
        ++calls;
        EXPECT_EQ(&running, &app);
        EXPECT_EQ(CBrevaneApp::Instance(), &app);
        EXPECT_EQ(&CAppTheme::Current(), static_cast<CAppTheme*>(&app));
        EXPECT_EQ(app.styleSheet(), app.BuildStyleSheet());
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), CAppTheme::ToQColor(app.m_clrBack));
        EXPECT_TRUE(fs::is_directory(m_dir / "Dmp"));
        EXPECT_TRUE(fs::is_directory(m_dir / "Log"));
        EXPECT_EQ(running.m_sysInfo.m_szIniPath, m_dir / "meter.ini");
        EXPECT_EQ(running.m_sysInfo.m_szCompany, "한국 계측");
        EXPECT_TRUE(IsCrashFilterInstalled());
        EXPECT_EQ(BuildDumpPath().rfind(m_dir / "Dmp/", 0), 0u);
        return 7;   // the main window's result does not become the exit code
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(CBrevaneAppTest, WithoutAMainWindowStartUpStillPreparesAndEnds)
{
    CBrevaneApp app(g_argc, g_argv);
    app.SetExecutablePath(m_dir / "meter");
    EXPECT_EQ(app.RunMainWindow(), 0);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(fs::is_directory(m_dir / "Dmp"));
    EXPECT_FALSE(fs::exists(m_dir / "meter.ini"));
    EXPECT_EQ(app.ExitInstance(), 0);
}

TEST_F(CBrevaneAppTest, QtsOwnTextsAndTheLocaleAreKorean)
{
    CBrevaneApp app(g_argc, g_argv);
    ASSERT_TRUE(app.InstallKoreanTranslations());
    EXPECT_EQ(QLocale().language(), QLocale::Korean);
    // A standard button text of Qt's own catalogue.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("취소"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("다른 이름으로 저장"));
    EXPECT_TRUE(app.InstallKoreanTranslations());   // once only, and again true
}
