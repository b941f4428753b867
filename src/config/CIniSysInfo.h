#pragma once
// The program's paths and the three report-header texts kept in the settings
// file between runs. Filled once at start-up by LoadSettings; afterwards only
// SaveReportHeader changes it (on each report export).
//
// The program keeps its files (settings, packet logs, crash records) beside
// the executable, so that a copy of the program folder carries them along.
// When that folder cannot be written (a system-wide install), the per-user
// data folder takes its place with the same names inside.

#include "FileSystem.h"

#include <cstddef>
#include <functional>
#include <string>

class CIniSysInfo {
public:
    using WritableProbe = std::function<bool(const std::string& dir)>;

    CIniSysInfo() = default;
    virtual ~CIniSysInfo() = default;

    // Fills the paths for the running executable, creates the Dmp and Log
    // folders and reads the report texts. Failures are silent: a folder that
    // cannot be made is noticed by whoever writes into it, an unreadable
    // settings file gives empty texts.
    void LoadSettings();
    void LoadSettings(const std::string& exePath);
    void LoadSettings(const std::string& exePath, const WritableProbe& isWritable);

    // Fills only the path fields (nothing is created or read).
    void ComposePaths(const std::string& exePath, const WritableProbe& isWritable);

    // Keeps at most kMaxReportChars characters of each text and writes the
    // three keys to the settings file (m_szIniPath) in one atomic rewrite.
    // False when the file was not written, with the reason in *failure when
    // given (ReadOnly for a file marked read-only, which is never replaced),
    // so that the caller can tell the user which file it could not write.
    // The texts of this run are kept either way.
    bool SaveReportHeader(const std::string& company, const std::string& reportName,
                          const std::string& userName, EFileWrite* failure = nullptr);

    // Keeps the folder the last report was saved in (REPORT / SAVE_DIR), so
    // that the next save dialog opens there; false as SaveReportHeader.
    bool SaveReportDir(const std::string& dir, EFileWrite* failure = nullptr);

    // Keeps the administrator password's stored form (ADMIN / PASSWORD, the
    // salted hash text, never the password; empty removes it) and writes it;
    // false as SaveReportHeader.
    bool SaveAdminPassword(const std::string& stored, EFileWrite* failure = nullptr);

    // The folder the program writes into for an executable in exeDir.
    static std::string ChooseProgramDir(const std::string& exeDir, const WritableProbe& isWritable);

    static constexpr std::size_t kMaxReportChars = 127;

    std::string m_szExePath;     // full path of the executable
    std::string m_szExeDir;      // its folder, without trailing separator
    std::string m_szDataDir;     // folder of the program's own files (m_szExeDir or the per-user one)
    std::string m_szIniPath;     // <data dir>/<executable base name>.ini
    std::string m_szLogDir;      // <data dir>/Log/  (ends with a separator)
    std::string m_szDumpDir;     // <data dir>/Dmp/  (ends with a separator)
    std::string m_szCompany;     // REPORT / COMPANY
    std::string m_szReportName;  // REPORT / REPORT_NAME
    std::string m_szUserName;    // REPORT / USER_NAME
    std::string m_szReportDir;   // REPORT / SAVE_DIR: folder of the last saved report, or empty
    // ARCHIVE / SERVER: the lab's archive server as a libpq connection
    // string or service name, empty for none. Read only; never a password
    // (that comes from ~/.pgpass or the service file).
    std::string m_szArchiveServer;
    std::string m_szAdminPassword;   // ADMIN / PASSWORD: salted hash of the administrator password, or empty
    int m_nMaxClockDrift = kDefaultMaxClockDrift;   // CLOCK / MAX_DRIFT: seconds the meter's clock may be off

    static constexpr int kDefaultMaxClockDrift = 60;
};
