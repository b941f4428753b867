#include "CIniSysInfo.h"
#include "FileSystem.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool Writable(const std::string&) { return true; }
bool ReadOnly(const std::string&) { return false; }

// Points the per-user data folder at a test folder for one test.
class CUserDataHome {
public:
    explicit CUserDataHome(const std::string& path)
    {
        if (const char* old = std::getenv("XDG_DATA_HOME")) {
            m_bHad = true;
            m_strOld = old;
        }
        setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~CUserDataHome()
    {
        if (m_bHad)
            setenv("XDG_DATA_HOME", m_strOld.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

private:
    bool m_bHad = false;
    std::string m_strOld;
};

std::string Repeat(const std::string& piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

} // namespace

TEST(CIniSysInfo, FirstRunCreatesTheFoldersButNoSettingsFile)
{
    CTestFolder dir;
    CIniSysInfo info;
    info.LoadSettings(dir / "meter");

    EXPECT_EQ(info.m_szExePath, dir / "meter");
    EXPECT_EQ(info.m_szExeDir, dir.Path());
    EXPECT_EQ(info.m_szDataDir, dir.Path());
    EXPECT_EQ(info.m_szIniPath, dir / "meter.ini");
    EXPECT_EQ(info.m_szLogDir, dir / "Log/");
    EXPECT_EQ(info.m_szDumpDir, dir / "Dmp/");
    EXPECT_TRUE(fs::is_directory(dir / "Log"));
    EXPECT_TRUE(fs::is_directory(dir / "Dmp"));
    EXPECT_FALSE(fs::exists(info.m_szIniPath));
    EXPECT_EQ(info.m_szCompany + info.m_szReportName + info.m_szUserName, "");

    ASSERT_TRUE(info.SaveReportHeader("회사", "보고서", "작성자"));
    EXPECT_EQ(ReadBytes(info.m_szIniPath), "[REPORT]\nCOMPANY=회사\nREPORT_NAME=보고서\nUSER_NAME=작성자\n");
}

TEST(CIniSysInfo, ReportTextsAreCutTo127CharactersAndRoundTrip)
{
    CTestFolder dir;
    const std::string longHangul = Repeat("가", 150) + Repeat("b", 50);   // 200 characters
    WriteBytes(dir / "meter.ini",
               "[Window]\nPos=1 2\n\n[REPORT]\nCOMPANY=" + longHangul + "\nUSER_NAME=홍길동\n");
    CIniSysInfo info;
    info.LoadSettings(dir / "meter", Writable);
    EXPECT_EQ(info.m_szCompany, Repeat("가", 127));
    EXPECT_EQ(info.m_szReportName, "");
    EXPECT_EQ(info.m_szUserName, "홍길동");

    ASSERT_TRUE(info.SaveReportHeader(Repeat("a", 100) + Repeat("나", 100), "압력 보고서", info.m_szUserName));
    CIniSysInfo again;
    again.LoadSettings(dir / "meter", Writable);
    EXPECT_EQ(again.m_szCompany, Repeat("a", 100) + Repeat("나", 27));
    EXPECT_EQ(again.m_szReportName, "압력 보고서");
    EXPECT_EQ(again.m_szUserName, "홍길동");
    EXPECT_NE(ReadBytes(dir / "meter.ini").find("[Window]\nPos=1 2\n"), std::string::npos);
}

TEST(CIniSysInfo, ReadsSettingsFilesFromAKoreanWindowsPc)
{
    CTestFolder dir;
    // CP949 with CRLF, as the platform's profile functions write it there.
    WriteBytes(dir / "cp.ini",
               "[REPORT]\r\nCOMPANY=\xC7\xD1\xB1\xB9 \xB0\xE8\xC3\xF8\r\nUSER_NAME=\x8C\x63\r\n[Old]\r\nNote=\xC7\xD1\r\n");
    CIniSysInfo cp;
    cp.LoadSettings(dir / "cp", Writable);
    EXPECT_EQ(cp.m_szCompany, "한국 계측");
    EXPECT_EQ(cp.m_szUserName, "똠");

    // The lines written become UTF-8; the other section keeps its CP949 bytes
    // and still reads as Hangul.
    ASSERT_TRUE(cp.SaveReportHeader(cp.m_szCompany, "새 보고서", cp.m_szUserName));
    EXPECT_EQ(ReadBytes(dir / "cp.ini"),
              "[REPORT]\r\nCOMPANY=한국 계측\r\nUSER_NAME=똠\r\nREPORT_NAME=새 보고서\r\n[Old]\r\nNote=\xC7\xD1\r\n");
    CIniSysInfo again;
    again.LoadSettings(dir / "cp", Writable);
    EXPECT_EQ(again.m_szCompany, "한국 계측");
    EXPECT_EQ(again.m_szReportName, "새 보고서");

    // UTF-16LE with BOM: "[REPORT]\r\nCOMPANY=회사\r\n".
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[REPORT]\r\nCOMPANY="))
        utf16 += std::string{c, '\0'};
    utf16 += std::string("\x8C\xD6\xAC\xC0\r\0\n\0", 8);
    WriteBytes(dir / "wide.ini", utf16);
    CIniSysInfo wide;
    wide.LoadSettings(dir / "wide", Writable);
    EXPECT_EQ(wide.m_szCompany, "회사");
}

TEST(CIniSysInfo, AFolderThatCannotBeWrittenIsAnsweredSilently)
{
    CTestFolder dir;
    WriteBytes(dir / "file", "not a folder");
    CIniSysInfo info;
    // Claimed writable, but every folder and file under a regular file fails.
    info.LoadSettings(dir / "file/meter", Writable);
    EXPECT_EQ(info.m_szDumpDir, dir / "file/Dmp/");
    EXPECT_EQ(info.m_szCompany, "");
    EXPECT_FALSE(info.SaveReportHeader("a", "b", "c"));
    EXPECT_EQ(info.m_szCompany, "a");   // the texts of this run are still kept

    CIniSysInfo none;
    none.LoadSettings("", Writable);
    EXPECT_EQ(none.m_szIniPath, "");
    EXPECT_FALSE(none.SaveReportHeader("a", "b", "c"));
}

TEST(CIniSysInfo, AReadOnlySettingsFileIsReportedAndKept)
{
    CTestFolder dir;
    const std::string old = "[REPORT]\nCOMPANY=old\n";
    WriteBytes(dir / "meter.ini", old);
    chmod((dir / "meter.ini").c_str(), 0444);
    CIniSysInfo info;
    info.LoadSettings(dir / "meter", Writable);
    EXPECT_EQ(info.m_szCompany, "old");

    EFileWrite why = EFileWrite::Ok;
    EXPECT_FALSE(info.SaveReportHeader("new", "b", "c", &why));
    EXPECT_EQ(why, EFileWrite::ReadOnly);
    EXPECT_EQ(info.m_szIniPath, dir / "meter.ini");   // the file a message names
    EXPECT_EQ(ReadBytes(dir / "meter.ini"), old);
    EXPECT_EQ(info.m_szCompany, "new");

    chmod((dir / "meter.ini").c_str(), 0644);
    EXPECT_TRUE(info.SaveReportHeader("new", "b", "c", &why));
    EXPECT_EQ(why, EFileWrite::Ok);
}

TEST(CIniSysInfo, UnwritableProgramFolderUsesThePerUserFolder)
{
    CTestFolder exeDir, home;
    CUserDataHome xdg(home.Path());
    CIniSysInfo info;
    info.LoadSettings(exeDir / "meter", ReadOnly);

    const std::string user = home / "brevane";
    EXPECT_EQ(info.m_szExeDir, exeDir.Path());   // the help text is still looked for here
    EXPECT_EQ(info.m_szDataDir, user);
    EXPECT_EQ(info.m_szIniPath, user + "/meter.ini");
    EXPECT_TRUE(fs::is_directory(user + "/Log"));
    EXPECT_TRUE(fs::is_directory(user + "/Dmp"));
    EXPECT_FALSE(fs::exists(exeDir / "Log"));
    EXPECT_TRUE(info.SaveReportHeader("a", "b", "c"));
    EXPECT_TRUE(fs::exists(user + "/meter.ini"));
}

TEST(CIniSysInfo, WritabilityIsTriedForReal)
{
    CTestFolder dir;
    EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
    EXPECT_TRUE(fs::is_empty(dir.Path())) << "the probe file must be removed";
    WriteBytes(dir / "file", "x");
    EXPECT_FALSE(IsDirectoryWritable(dir / "file"));
    EXPECT_FALSE(IsDirectoryWritable("/proc/self"));   // not even for root
    EXPECT_FALSE(IsDirectoryWritable(dir / "missing"));
    if (geteuid() != 0) {   // permission bits do not stop root
        fs::create_directory(dir / "ro");
        chmod((dir / "ro").c_str(), 0555);
        EXPECT_FALSE(IsDirectoryWritable(dir / "ro"));
    }

    CTestFolder home;
    CUserDataHome xdg(home.Path());
    EXPECT_EQ(CIniSysInfo::ChooseProgramDir(dir.Path(), IsDirectoryWritable), dir.Path());
    EXPECT_EQ(CIniSysInfo::ChooseProgramDir("/proc/self", IsDirectoryWritable), home / "brevane");

    // An installed program keeps its files per user even where it could
    // write beside itself, as root can in /usr/bin.
    EXPECT_TRUE(IsSystemProgramDir("/usr/bin"));
    EXPECT_TRUE(IsSystemProgramDir("/opt/brevane"));
    EXPECT_FALSE(IsSystemProgramDir("/usrlocal/brevane"));
    EXPECT_FALSE(IsSystemProgramDir(dir.Path()));
    EXPECT_EQ(CIniSysInfo::ChooseProgramDir("/usr/bin", IsProgramDirUsable), home / "brevane");
    EXPECT_EQ(CIniSysInfo::ChooseProgramDir(dir.Path(), IsProgramDirUsable), dir.Path());
}

TEST(MakeDirectoryPath, CreatesEveryPrefixAndStopsAtANonDirectory)
{
    CTestFolder dir;
    EXPECT_TRUE(MakeDirectoryPath(dir / "a/b/c/2024-01-01_10.log"));
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
    EXPECT_FALSE(fs::exists(dir / "a/b/c/2024-01-01_10.log"));   // the file part is not made
    EXPECT_TRUE(MakeDirectoryPath(dir / "a/b/c/"));               // existing folders are fine

    WriteBytes(dir / "a/file", "x");
    EXPECT_FALSE(MakeDirectoryPath(dir / "a/file/x/y/"));
    EXPECT_FALSE(fs::exists(dir / "a/file/x"));
    EXPECT_TRUE(fs::is_regular_file(dir / "a/file"));
    EXPECT_FALSE(MakeDirectoryPath("/proc/self/brevane/x/"));
}

TEST(ExecutablePath, NamesTheRunningProgram)
{
    const std::string path = ExecutablePath();
    EXPECT_EQ(fs::path(path).filename(), "brevane_config_tests");
    EXPECT_TRUE(fs::equivalent(path, "/proc/self/exe"));
}
