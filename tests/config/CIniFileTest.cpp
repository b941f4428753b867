#include "CIniFile.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>

namespace {

const std::string kSample =
    "; written by hand\r\n"
    "[Other]\r\n"
    "Key = keep me \r\n"
    "\r\n"
    "[ report ]\r\n"
    "  company =  \"  ACME  \"  \r\n"
    ";USER_NAME=commented out\r\n"
    "REPORT_NAME=first\r\n"
    "report_name=second\r\n"
    "\r\n"
    "; about the next section\r\n"
    "[Last]\r\n"
    "x=1\r\n";

} // namespace

TEST(CIniFile, LooksUpLikeThePrivateProfileFunctions)
{
    CTestFolder dir;
    WriteBytes(dir / "a.ini", kSample);
    CIniFile file(dir / "a.ini");
    ASSERT_TRUE(file.Load());

    EXPECT_EQ(file.GetString("OTHER", "KEY", "-"), "keep me");
    EXPECT_EQ(file.GetString("REPORT", "COMPANY", "-"), "  ACME  ");    // quotes kept the blanks
    EXPECT_EQ(file.GetString("REPORT", "REPORT_NAME", "-"), "first");   // first duplicate wins
    EXPECT_EQ(file.GetString("REPORT", "USER_NAME", "-"), "-");         // a comment is no key
    EXPECT_EQ(file.GetString("REPORT", "x", "-"), "-");                 // keys stay in their section
    EXPECT_EQ(file.GetString("Missing", "x", "-"), "-");
}

TEST(CIniFile, RewriteChangesOnlyTheKeysSetAndKeepsTheLineEnding)
{
    CTestFolder dir;
    WriteBytes(dir / "a.ini", kSample);
    CIniFile file(dir / "a.ini");
    ASSERT_TRUE(file.Load());
    ASSERT_TRUE(file.SetString("REPORT", "REPORT_NAME", "새 이름"));
    ASSERT_TRUE(file.SetString("REPORT", "USER_NAME", "홍길동"));
    ASSERT_TRUE(file.SetString("New", "k", "v"));
    ASSERT_TRUE(file.Save());

    const std::string expected =
        "; written by hand\r\n"
        "[Other]\r\n"
        "Key = keep me \r\n"
        "\r\n"
        "[ report ]\r\n"
        "  company =  \"  ACME  \"  \r\n"
        ";USER_NAME=commented out\r\n"
        "REPORT_NAME=새 이름\r\n"
        "report_name=second\r\n"
        "USER_NAME=홍길동\r\n"
        "\r\n"
        "; about the next section\r\n"
        "[Last]\r\n"
        "x=1\r\n"
        "\r\n"
        "[New]\r\n"
        "k=v\r\n";
    EXPECT_EQ(ReadBytes(dir / "a.ini"), expected);
}

TEST(CIniFile, ValuesReadBackAsWrittenAndCannotAddLines)
{
    CTestFolder dir;
    const std::string path = dir / "b.ini";
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "blanks", "  padded  "));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "quoted", "\"q\""));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "evil", "x\r\n[S]\r\nblanks=owned"));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "bytes", "ok\xFFok"));

    EXPECT_EQ(CIniFile::ReadString(path, "S", "blanks", "-"), "  padded  ");
    EXPECT_EQ(CIniFile::ReadString(path, "S", "quoted", "-"), "\"q\"");
    EXPECT_EQ(CIniFile::ReadString(path, "S", "evil", "-"), "x  [S]  blanks=owned");
    // An ill-formed byte is replaced, so the file stays UTF-8 for the next read.
    EXPECT_EQ(CIniFile::ReadString(path, "S", "bytes", "-"), "ok\uFFFDok");
    EXPECT_EQ(ReadBytes(path).find('\r'), std::string::npos);   // a new file gets LF here

    CIniFile file(path);
    EXPECT_FALSE(file.SetString("S]", "k", "v"));
    EXPECT_FALSE(file.SetString("S", "k=", "v"));
    EXPECT_FALSE(file.SetString("S", "", "v"));
}

TEST(CIniFile, MissingFileReadsEmptyAndIsCreatedByTheFirstWrite)
{
    CTestFolder dir;
    const std::string path = dir / "new.ini";
    EXPECT_EQ(CIniFile::ReadString(path, "S", "k", "dflt"), "dflt");
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "k", "v"));
    EXPECT_EQ(ReadBytes(path), "[S]\nk=v\n");
    // No folder to create it in: reported, nothing left behind.
    EXPECT_FALSE(CIniFile::WriteString(dir / "no/such/x.ini", "S", "k", "v"));
}

TEST(CIniFile, AFileThatCannotBeReadIsNeverOverwritten)
{
    CTestFolder dir;
    // Larger than any settings file: refused as a whole rather than cut.
    const std::string big = dir / "big.ini";
    const std::string content = "[S]\nk=v\n" + std::string(CIniFile::kMaxFileBytes, ';');
    WriteBytes(big, content);
    CIniFile file(big);
    EXPECT_FALSE(file.Load());
    file.SetString("S", "k", "new");
    EXPECT_FALSE(file.Save());
    EXPECT_EQ(ReadBytes(big), content);

    // A folder in the settings file's place.
    std::filesystem::create_directory(dir / "dir.ini");
    EXPECT_FALSE(CIniFile::WriteString(dir / "dir.ini", "S", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "dir.ini"));
}

TEST(CIniFile, AFailedWriteLeavesTheOldFileWhole)
{
    CTestFolder dir;
    const std::string path = dir / "c.ini";
    const std::string old = "[REPORT]\nCOMPANY=old\n";
    WriteBytes(path, old);

    // A file size limit makes the write fail part-way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = CIniFile::WriteString(path, "REPORT", "COMPANY", std::string(500, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(path), old);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u) << "the temporary file must be removed";
}

TEST(CIniFile, RewriteKeepsPermissionsAndWritesThroughALink)
{
    CTestFolder dir;
    const std::string real = dir / "real.ini";
    const std::string link = dir / "link.ini";
    WriteBytes(real, "[S]\nk=1\n");
    chmod(real.c_str(), 0600);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);

    ASSERT_TRUE(CIniFile::WriteString(link, "S", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "[S]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(CIniFile, EncodingIsDecidedPerLineAndUntouchedLinesKeepTheirBytes)
{
    CTestFolder dir;
    const std::string path = dir / "mixed.ini";
    // UTF-8 with BOM and one stray byte in another section.
    const std::string head = "\xEF\xBB\xBF[REPORT]\r\nCOMPANY=한국 계측\r\n";
    const std::string tail = "[Other]\r\nstray=a\xC7z\r\nold=\xC7\xD1\xB1\xB9\r\n";
    WriteBytes(path, head + tail);

    CIniFile file(path);
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.GetString("REPORT", "COMPANY", "-"), "한국 계측");
    EXPECT_EQ(file.GetString("Other", "old", "-"), "한국");   // a CP949 line
    ASSERT_TRUE(file.SetString("REPORT", "USER_NAME", "홍길동"));
    ASSERT_TRUE(file.Save());
    EXPECT_EQ(ReadBytes(path), head + "USER_NAME=홍길동\r\n" + tail);

    // Read again, nothing has turned into mojibake, and a second save of the
    // same keys changes nothing.
    CIniFile again(path);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.GetString("REPORT", "COMPANY", "-"), "한국 계측");
    EXPECT_EQ(again.GetString("REPORT", "USER_NAME", "-"), "홍길동");
    ASSERT_TRUE(again.SetString("REPORT", "USER_NAME", "홍길동"));
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(ReadBytes(path), head + "USER_NAME=홍길동\r\n" + tail);
}

TEST(CIniFile, ARandomByteFileIsKeptAsItWas)
{
    CTestFolder dir;
    const std::string path = dir / "noise.ini";
    std::mt19937 random(20261207);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise)
        c = char(random() & 0xFF);
    noise[0] = 'x';   // no byte order mark
    noise.back() = 'x';
    WriteBytes(path, noise);

    ASSERT_TRUE(CIniFile::WriteString(path, "REPORT", "COMPANY", "회사"));
    const std::string written = ReadBytes(path);
    ASSERT_GE(written.size(), noise.size());
    EXPECT_EQ(written.compare(0, noise.size(), noise), 0) << "the old bytes must stay as they were";
    EXPECT_EQ(CIniFile::ReadString(path, "REPORT", "COMPANY", "-"), "회사");
}

TEST(CIniFile, LinesEndingInCrCrLfKeepBothCrs)
{
    CTestFolder dir;
    const std::string path = dir / "crcr.ini";
    WriteBytes(path, "[S]\r\r\nk=1\r\r\nother=x\r\r\n");
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "k", "2"));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "k", "3"));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "new", "n"));
    EXPECT_EQ(ReadBytes(path), "[S]\r\r\nk=3\r\r\nother=x\r\r\nnew=n\r\r\n");
    EXPECT_EQ(CIniFile::ReadString(path, "S", "other", "-"), "x");

    // Each line keeps its own ending; added lines take the first line's.
    WriteBytes(path, "[S]\nk=1\r\r\nz=2\r\nlast=3");
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "k", "9"));
    ASSERT_TRUE(CIniFile::WriteString(path, "S", "added", "a"));
    EXPECT_EQ(ReadBytes(path), "[S]\nk=9\r\r\nz=2\r\nlast=3\nadded=a\n");
}

TEST(CIniFile, AReadOnlyFileOrAFifoIsLeftAlone)
{
    CTestFolder dir;
    const std::string path = dir / "ro.ini";
    WriteBytes(path, "[S]\nk=1\n");
    chmod(path.c_str(), 0444);   // read-only even for root: no write bit at all
    CIniFile file(path);
    ASSERT_TRUE(file.Load());
    file.SetString("S", "k", "2");
    EFileWrite why = EFileWrite::Ok;
    EXPECT_FALSE(file.Save(&why));
    EXPECT_EQ(why, EFileWrite::ReadOnly);
    EXPECT_EQ(ReadBytes(path), "[S]\nk=1\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    // A FIFO would block the open until something writes into it.
    const std::string fifo = dir / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto reading = std::async(std::launch::async, [&] {
        CIniFile pipe(fifo);
        const bool loaded = pipe.Load();
        pipe.SetString("S", "k", "v");
        EFileWrite saved = EFileWrite::Ok;
        pipe.Save(&saved);
        return std::make_pair(loaded, saved);
    });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));   // release the reader
        FAIL() << "reading a FIFO blocked";
    }
    const auto [loaded, saved] = reading.get();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(saved, EFileWrite::NotRegular);
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
