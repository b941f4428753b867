#include "CCsvExport.h"
#include "CExportFile.h"
#include "CExportText.h"
#include "ExportTestSupport.h"

#include <cmath>
#include <csignal>
#include <sys/stat.h>
#include <sys/resource.h>

namespace {

CExportReport StoredRecords()
{
    CExportReport report;
    report.AddRecord(MakeRecord(2026, 3, 5, 14, 7, 9, 1234, 1));
    report.AddRecord(MakeRecord(2026, 13, 1, 10, 0, 0, 98, 7));   // no such month, unknown load cell
    report.AddRecord(MakeRecord(2026, 3, 6, 0, 0, 0, 65535, 2));
    return report;
}

// Reads the file with Python's csv module and checks every field; the
// separator and decimal point are the arguments.
const char* const kCheckStoredRecords = R"PY(
import csv, sys
path, sep, point = sys.argv[1], sys.argv[2], sys.argv[3]
with open(path, newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f, delimiter=sep))
assert rows[0] == ['NO.', '구분', '측정 시간', '측정 압력 값', '단위', '원시 값', '로드셀 종류', '로드셀 번호'], rows[0]
assert len(rows) == 4, rows
def num(text):
    assert ('.' if point == ',' else ',') not in text, text
    return float(text.replace(point, '.'))
assert rows[1][:3] == ['1', 'MEMORY', '2026-03-05T14:07:09+09:00'], rows[1]
assert num(rows[1][3]) == 12.5 and rows[1][4] == 't' and rows[1][5:] == ['1234', 'VR150', '1'], rows[1]
assert rows[2][2] == '시간 오류 (2026-13-01 10:00:00)', rows[2]
assert num(rows[2][3]) == 1.0 and rows[2][5:] == ['98', '', '7'], rows[2]
assert num(rows[3][3]) == 668.7 and rows[3][5] == '65535', rows[3]
with open(path, 'rb') as f:
    raw = f.read()
assert raw.count(b'\r\n') == 4 and raw.count(b'\n') == 4, 'CRLF line ends'
assert not raw.startswith(b'\xef\xbb\xbf')
)PY";

TEST(CsvExport, ReadsBackInBothLocales)
{
    UseKoreanTime();
    CScratchDir dir;
    const CExportReport report = StoredRecords();
    const struct {
        ECsvLocale locale;
        const char* sep;
        const char* point;
    } cases[] = {{ECsvLocale::Point, ",", "."}, {ECsvLocale::Comma, ";", ","}};
    for (const auto& c : cases) {
        SCsvOptions options;
        options.m_eLocale = c.locale;
        const std::string path = dir.File(std::string("records") + c.sep + ".csv");
        std::string error;
        ASSERT_TRUE(CCsvExport::Write(report, path, options, &error)) << error;
        const SPythonRun run = RunPython(kCheckStoredRecords, {path, c.sep, c.point});
        EXPECT_EQ(run.m_nExit, 0) << c.sep << "\n" << run.m_strOutput;
    }
}

TEST(CsvExport, QuotesSeparatorsQuotesAndLineBreaks)
{
    CScratchDir dir;
    const std::vector<std::string> fields = {"plain", "a,b", "a;b", "say \"hi\"", "two\nlines", "cr\rlf\r\n", "",
                                             " 1.0 톤"};
    for (const char sep : {',', ';'}) {
        std::string line;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += sep;
            CCsvExport::AppendField(line, fields[i], sep);
        }
        line += "\r\n";
        const std::string path = dir.File("quoted.csv");
        WriteFileBytes(path, line);
        const SPythonRun run = RunPython(R"PY(
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f, delimiter=sys.argv[2]))
assert rows == [['plain', 'a,b', 'a;b', 'say "hi"', 'two\nlines', 'cr\rlf\r\n', '', ' 1.0 톤']], rows
)PY",
                                         {path, std::string(1, sep)});
        EXPECT_EQ(run.m_nExit, 0) << sep << "\n" << run.m_strOutput;
    }
    // Only fields that need it are quoted.
    std::string line;
    CCsvExport::AppendField(line, "a;b", ',');
    EXPECT_EQ(line, "a;b");
}

TEST(CsvExport, ByteOrderMarkOnRequest)
{
    CScratchDir dir;
    SCsvOptions options;
    options.m_bByteOrderMark = true;
    const std::string path = dir.File("bom.csv");
    ASSERT_TRUE(CCsvExport::Write(StoredRecords(), path, options, nullptr));
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(0, 6), "\xEF\xBB\xBFNO.");
    EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos);
}

// A write that fails half-way (the file-size limit stands in for a full
// disk) and targets that cannot be written: the caller hears why, the old
// file keeps its bytes and no temporary file is left in the folder.
TEST(ExportFile, FailureLeavesOldFileAndNoTemporary)
{
    CScratchDir dir;
    const std::string path = dir.File("old.csv");
    WriteFileBytes(path, "old report\r\n");

    CExportReport big;
    for (int i = 0; i < 20000; ++i)
        big.AddRecord(MakeRecord(2026, 1, 1, 0, 0, 0, uint16_t(i), 0));
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool written = CCsvExport::Write(big, path, SCsvOptions(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path), "old report\r\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string> {"old.csv"});

    error.clear();
    EXPECT_FALSE(CCsvExport::Write(big, dir.File("missing/a.csv"), SCsvOptions(), &error));
    EXPECT_NE(error.find("missing/a.csv"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(CCsvExport::Write(big, dir.File(""), SCsvOptions(), &error));
    EXPECT_FALSE(error.empty());
    std::system(("mkdir '" + dir.File("folder.csv") + "'").c_str());
    error.clear();
    EXPECT_FALSE(CCsvExport::Write(big, dir.File("folder.csv"), SCsvOptions(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(dir.Entries().size(), 2u);
}

TEST(ExportFile, ReplacesThroughLinkKeepingPermissions)
{
    CScratchDir dir;
    const std::string real = dir.File("real.csv");
    WriteFileBytes(real, "old");
    chmod(real.c_str(), 0640);
    ASSERT_EQ(symlink(real.c_str(), dir.File("link.csv").c_str()), 0);
    ASSERT_TRUE(CCsvExport::Write(CExportReport(), dir.File("link.csv"), SCsvOptions(), nullptr));
    struct stat st {};
    ASSERT_EQ(lstat(dir.File("link.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFileBytes(real).substr(0, 3), "NO.");
}

TEST(ExportText, TimesNumbersAndBrokenText)
{
    setenv("TZ", "EST5EDT", 1);
    tzset();
    EXPECT_EQ(CExportText::IsoLocalTime(0), "1969-12-31T19:00:00-05:00");
    EXPECT_EQ(CExportText::IsoLocalTime(1783000000), "2026-07-02T09:46:40-04:00");
    UseKoreanTime();

    std::string out;
    CExportText::AppendTenths(out, -5, ',');
    out += ' ';
    CExportText::AppendTenths(out, 65535);
    EXPECT_EQ(out, "-0,5 6553.5");
    EXPECT_EQ(CExportText::Number(0.1), "0.1");
    EXPECT_EQ(CExportText::Number(std::nan("")), "");

    EXPECT_EQ(CExportText::ValidUtf8("압력"), "압력");
    EXPECT_EQ(CExportText::ValidUtf8("a\xC0\xAF" "b\xED\xA0\x80"), "a\uFFFD\uFFFDb\uFFFD");
}

}   // namespace
