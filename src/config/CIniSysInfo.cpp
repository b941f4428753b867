#include "CIniSysInfo.h"

#include "CIniFile.h"
#include "FileSystem.h"
#include "TextCodec.h"


namespace {

const char* const kSection = "REPORT";
const char* const kKeyCompany = "COMPANY";
const char* const kKeyReportName = "REPORT_NAME";
const char* const kKeyUserName = "USER_NAME";
const char* const kKeyReportDir = "SAVE_DIR";
const char* const kSectionAdmin = "ADMIN";
const char* const kKeyAdminPassword = "PASSWORD";
const char* const kSectionClock = "CLOCK";
const char* const kKeyMaxClockDrift = "MAX_DRIFT";

// A whole number of seconds from 1 to a day; anything else is the default.
int ParseMaxDrift(const std::string& text, int defaultValue)
{
    if (text.empty() || text.size() > 5)
        return defaultValue;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return defaultValue;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 86400 ? value : defaultValue;
}

std::size_t LastSeparator(const std::string& path)
{
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1]))
            return i - 1;
    return std::string::npos;
}

// The executable's name without the platform's executable suffix.
std::string BaseName(const std::string& fileName)
{
#ifdef _WIN32
    if (fileName.size() > 4) {
        std::string ext = fileName.substr(fileName.size() - 4);
        for (char& c : ext)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        if (ext == ".exe")
            return fileName.substr(0, fileName.size() - 4);
    }
#endif
    return fileName;
}

// Sets one key in the settings file, keeping the rest of it; a file Load
// cannot read makes Save refuse with the reason.
bool SaveValue(const std::string& iniPath, const char* section, const char* key, const std::string& value,
               EFileWrite* failure)
{
    if (iniPath.empty()) {
        if (failure)
            *failure = EFileWrite::Failed;
        return false;
    }
    CIniFile file(iniPath);
    file.Load();
    file.SetString(section, key, value);
    return file.Save(failure);
}

} // namespace

std::string CIniSysInfo::ChooseProgramDir(const std::string& exeDir, const WritableProbe& isWritable)
{
    if (isWritable(exeDir))
        return exeDir;
    const std::string userDir = UserDataDir();
    // With no per-user folder either, the executable's folder is still the
    // best guess; writes there fail silently like any other.
    return userDir.empty() ? exeDir : userDir;
}

void CIniSysInfo::ComposePaths(const std::string& exePath, const WritableProbe& isWritable)
{
    m_szExePath = exePath;
    m_szExeDir.clear();
    m_szDataDir.clear();
    m_szIniPath.clear();
    m_szLogDir.clear();
    m_szDumpDir.clear();
    if (exePath.empty())
        return;

    std::string fileName;
    const std::size_t b = LastSeparator(exePath);
    if (b != std::string::npos) {
        m_szExeDir = exePath.substr(0, b);
        fileName = exePath.substr(b + 1);
    } else {
        m_szExeDir = ".";   // a bare file name lives in the current folder
        fileName = exePath;
    }
    m_szDataDir = ChooseProgramDir(m_szExeDir, isWritable);
    const std::string sep(1, kPathSeparator);
    m_szLogDir = m_szDataDir + sep + "Log" + sep;
    m_szDumpDir = m_szDataDir + sep + "Dmp" + sep;
    m_szIniPath = m_szDataDir + sep + BaseName(fileName) + ".ini";
}

void CIniSysInfo::LoadSettings()
{
    LoadSettings(ExecutablePath());
}

void CIniSysInfo::LoadSettings(const std::string& exePath)
{
    LoadSettings(exePath, IsProgramDirUsable);
}

void CIniSysInfo::LoadSettings(const std::string& exePath, const WritableProbe& isWritable)
{
    ComposePaths(exePath, isWritable);
    m_szCompany.clear();
    m_szReportName.clear();
    m_szUserName.clear();
    m_szReportDir.clear();
    m_szAdminPassword.clear();
    m_szArchiveServer.clear();
    m_nMaxClockDrift = kDefaultMaxClockDrift;
    if (m_szExePath.empty())
        return;

    MakeDirectoryPath(m_szDumpDir);
    MakeDirectoryPath(m_szLogDir);

    CIniFile file(m_szIniPath);
    file.Load();
    m_szCompany = TruncateUtf8(file.GetString(kSection, kKeyCompany, ""), kMaxReportChars);
    m_szReportName = TruncateUtf8(file.GetString(kSection, kKeyReportName, ""), kMaxReportChars);
    m_szUserName = TruncateUtf8(file.GetString(kSection, kKeyUserName, ""), kMaxReportChars);
    m_szReportDir = file.GetString(kSection, kKeyReportDir, "");
    m_szAdminPassword = file.GetString(kSectionAdmin, kKeyAdminPassword, "");
    m_szArchiveServer = file.GetString("ARCHIVE", "SERVER", "");
    m_nMaxClockDrift = ParseMaxDrift(file.GetString(kSectionClock, kKeyMaxClockDrift, ""), kDefaultMaxClockDrift);
}

bool CIniSysInfo::SaveAdminPassword(const std::string& stored, EFileWrite* failure)
{
    m_szAdminPassword = stored;
    return SaveValue(m_szIniPath, kSectionAdmin, kKeyAdminPassword, m_szAdminPassword, failure);
}

bool CIniSysInfo::SaveReportDir(const std::string& dir, EFileWrite* failure)
{
    m_szReportDir = dir;
    return SaveValue(m_szIniPath, kSection, kKeyReportDir, m_szReportDir, failure);
}

bool CIniSysInfo::SaveReportHeader(const std::string& company, const std::string& reportName,
                                   const std::string& userName, EFileWrite* failure)
{
    m_szCompany = TruncateUtf8(company, kMaxReportChars);
    m_szReportName = TruncateUtf8(reportName, kMaxReportChars);
    m_szUserName = TruncateUtf8(userName, kMaxReportChars);
    if (m_szIniPath.empty()) {
        if (failure)
            *failure = EFileWrite::Failed;
        return false;
    }
    // A file Load cannot read makes Save refuse with the reason.
    CIniFile file(m_szIniPath);
    file.Load();
    file.SetString(kSection, kKeyCompany, m_szCompany);
    file.SetString(kSection, kKeyReportName, m_szReportName);
    file.SetString(kSection, kKeyUserName, m_szUserName);
    return file.Save(failure);
}
