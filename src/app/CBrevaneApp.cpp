#include "CBrevaneApp.h"

#include "CrashFilter.h"
#include "FileSystem.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include <utility>

CBrevaneApp::CBrevaneApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

CBrevaneApp::~CBrevaneApp() = default;

CBrevaneApp* CBrevaneApp::Instance()
{
    return dynamic_cast<CBrevaneApp*>(QCoreApplication::instance());
}

int CBrevaneApp::Run()
{
    InitInstance();
    return ExitInstance();
}

bool CBrevaneApp::InitInstance()
{
    const std::string exePath = ExecutablePathForFiles();

    // The record of a crash during start-up goes where LoadSettings will put
    // the Dmp folder; until that folder exists such a crash leaves none.
    CIniSysInfo paths;
    paths.ComposePaths(exePath, IsProgramDirUsable);
    InstallCrashFilter(paths.m_szDumpDir);

    InstallKoreanTranslations();

    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);   // the application takes ownership
    ApplyTheme(nullptr);

    m_sysInfo.LoadSettings(exePath);
    SetCrashDumpDir(m_sysInfo.m_szDumpDir);

    RunMainWindow();
    return false;
}

bool CBrevaneApp::InstallKoreanTranslations()
{
    // The program speaks Korean whatever the desktop's language: dates,
    // numbers, calendars, and Qt's own texts (file dialogs, standard buttons,
    // edit menus) come from Qt's Korean catalogue.
    const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
    QLocale::setDefault(korean);
    if (!m_pQtTranslator) {
        m_pQtTranslator = new QTranslator(this);
        if (!m_pQtTranslator->load(korean, QStringLiteral("qtbase"), QStringLiteral("_"),
                                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete m_pQtTranslator;
            m_pQtTranslator = nullptr;
            return false;   // without the catalogue Qt's texts stay in English
        }
        installTranslator(m_pQtTranslator);
    }
    return true;
}

int CBrevaneApp::ExitInstance()
{
    // Qt's own teardown happens when the application object is destroyed.
    return 0;
}

void CBrevaneApp::SetMainWindowRunner(MainWindowRunner runner)
{
    m_fnMainWindow = std::move(runner);
}

int CBrevaneApp::RunMainWindow()
{
    return m_fnMainWindow ? m_fnMainWindow(*this) : 0;
}

void CBrevaneApp::SetExecutablePath(const std::string& path)
{
    m_strExePath = path;
}

std::string CBrevaneApp::ExecutablePathForFiles() const
{
    return m_strExePath.empty() ? ExecutablePath() : m_strExePath;
}
