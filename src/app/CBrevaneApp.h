#pragma once
// The one application object: the Qt application, the owner of the theme
// colour set (it is the CAppTheme every window reads) and of the settings
// object. Run() prepares the process, runs the main window and shuts down.

#include "CAppTheme.h"
#include "CIniSysInfo.h"

#include <QApplication>

#include <functional>
#include <string>

class CBrevaneApp : public QApplication, public CAppTheme {
    Q_OBJECT
public:
    using MainWindowRunner = std::function<int(CBrevaneApp&)>;

    CBrevaneApp(int& argc, char** argv);
    ~CBrevaneApp() override;

    // The application object of the process, or null.
    static CBrevaneApp* Instance();

    // InitInstance, then ExitInstance; the process's exit code.
    int Run();

    // Start-up: crash filter, theme, settings and folders, main window.
    // Returns false, as there is no further message loop to run once the
    // main window has closed.
    virtual bool InitInstance();
    // Shutdown; the process's exit code.
    virtual int ExitInstance();

    // The Korean locale for every widget and Qt's Korean translations of its
    // own texts (qtbase_ko.qm of the Qt installation). Done by InitInstance;
    // false when the translation file could not be loaded.
    bool InstallKoreanTranslations();

    // The program's main() supplies the main window: runner builds it, shows
    // it, runs the application's event loop until it closes and destroys it.
    // Its result is not examined.
    void SetMainWindowRunner(MainWindowRunner runner);
    int RunMainWindow();

    // The executable whose folder holds the program's files; by default the
    // running one. Tests place the program in a folder of their own.
    void SetExecutablePath(const std::string& path);
    std::string ExecutablePathForFiles() const;

    CIniSysInfo m_sysInfo;

private:
    MainWindowRunner m_fnMainWindow;
    class QTranslator* m_pQtTranslator = nullptr;
    std::string m_strExePath;
};
