// The command line and the text outputs of brevane-cli, without a process.

#include "CCliOptions.h"
#include "CCliOutput.h"
#include "CCliProgress.h"
#include "MeterTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

class CliOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "KST-9", 1);
        tzset();
        MeterDateTimeToTime({2026, 12, 7, 15, 0, 0}, &m_tToday);
    }

    bool Parse(std::vector<std::string> words, std::string* error = nullptr)
    {
        std::vector<const char*> argv{"brevane-cli"};
        for (const std::string& w : words)
            argv.push_back(w.c_str());
        m_options = CCliOptions();
        std::string why;
        const bool ok = m_options.Parse(int(argv.size()), argv.data(), m_tToday, &why);
        if (error)
            *error = why;
        return ok;
    }

    int64_t m_tToday = 0;
    CCliOptions m_options;
};

TEST_F(CliOptions, DatesAreCalendarDaysOnly)
{
    int64_t midnight = 0;
    ASSERT_TRUE(CCliOptions::ParseDate("2024-02-29", &midnight));
    EXPECT_EQ("2024-02-29 00:00:00", FormatLocalTime(midnight));
    for (const char* bad : {"2025-02-29", "2026-04-31", "2026-13-01", "2026-00-10", "2026-1-07", "2026-01-07x",
                            "07.01.2026", "", "1969-12-31"})
        EXPECT_FALSE(CCliOptions::ParseDate(bad, &midnight)) << bad;
}

TEST_F(CliOptions, TheFormatFollowsTheFileUnlessGiven)
{
    ASSERT_TRUE(Parse({"download", "memory", "--out", "/tmp/a.XLSX"}));
    EXPECT_EQ(ECliFormat::Xlsx, m_options.m_eFormat);
    ASSERT_TRUE(Parse({"download", "output", "--out=/tmp/rows.txt"}));
    EXPECT_EQ(ECliFormat::Table, m_options.m_eFormat);
    ASSERT_TRUE(Parse({"archive", "export", "--meter", "SN1", "--format", "json", "--out", "/tmp/x.csv"}));
    EXPECT_EQ(ECliFormat::Json, m_options.m_eFormat);
    ASSERT_TRUE(Parse({"report", "--meter", "SN1", "--out", "/tmp/r.pdf"}));
    EXPECT_EQ(ECliFormat::Pdf, m_options.m_eFormat);
    ASSERT_TRUE(Parse({"-q", "download", "memory", "--from", "2026-12-07", "--format", "csv", "--csv-locale",
                       "comma", "--bom"}));
    EXPECT_TRUE(m_options.m_bQuiet);
    EXPECT_EQ(ECsvLocale::Comma, m_options.m_csv.m_eLocale);
}

TEST_F(CliOptions, RefusesWhatItCannotDo)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"download"},
        {"archive", "export", "--format", "csv"},                 // no --meter
        {"report", "--meter", "SN1"},                             // no --out
        {"report", "--meter", "SN1", "--out", "r.csv"},
        {"info", "--format", "xlsx", "--out", "i.xlsx"},
        {"list", "extra"},
        {"list", "--simulate", "--port", "/dev/ttyFT0"},
        {"download", "memory", "--from", "2026-12-08"},           // after today
        {"download", "memory", "--new", "--from", "2026-12-01"},
        {"download", "memory", "--archive", "a.sqlite", "--no-archive"},
        {"clock", "--max-drift", "-5"},
        {"clock", "--max-drift", "5s"},
        {"clock", "--set=yes"},
        {"info", "--format", "json", "--csv-locale", "comma"},
        {"download", "output", "--from", "2026-12-01"},
        {"archive", "meters", "--port", "/dev/pts/1"},
        {"download", "memory", "--out"},
    };
    for (const auto& words : bad) {
        std::string error;
        std::string shown;
        for (const std::string& w : words)
            shown += w + " ";
        EXPECT_FALSE(Parse(words, &error)) << shown;
        EXPECT_FALSE(error.empty()) << shown;
        EXPECT_EQ(std::string::npos, error.find('\n')) << error;
    }
}

TEST(CliOutput, TablesLineUpWideCharactersAndCsvFollowsTheLocale)
{
    CliTable table;
    table.columns = {"이름", "value"};
    table.numeric = {false, true};
    table.rows = {{"측정기", "+1.5"}, {"a", ""}};
    EXPECT_EQ("이름    value\n측정기  +1.5\na\n", CCliOutput::TableText(table));
    EXPECT_EQ("이름;value\r\n측정기;+1,5\r\na;\r\n", CCliOutput::CsvText(table, {ECsvLocale::Comma, false}));
    EXPECT_EQ("[\n  {\"이름\": \"측정기\", \"value\": 1.5},\n  {\"이름\": \"a\", \"value\": null}\n]\n",
              CCliOutput::JsonText(table));
    table.bOneRecord = true;
    EXPECT_EQ("이름:   측정기\nvalue:  +1.5\n", CCliOutput::TableText(table));
}

TEST(CliProgress, SaysCountRateAndTimeLeft)
{
    DownloadProgress p;
    p.nRecords = 1234;
    p.dRate = 380.4;
    EXPECT_EQ("1234 records, 380/s", CCliProgress::Line(p));
    p.nTotal = 2000;
    p.dRemainingS = 125.4;
    EXPECT_EQ("1234/2000 records, 380/s, 2 min 05 s left", CCliProgress::Line(p));
}

} // namespace
