#pragma once
// Shared helpers of the export tests: a scratch folder per test, reports
// made from record bytes as the meter sends them, and independent readers
// (Python's csv, json and openpyxl) run on the written files.

#include "CExportReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// A fresh folder, removed with everything in it at the end of the test.
class CScratchDir {
public:
    CScratchDir()
    {
        std::string pattern = ::testing::TempDir() + "brevane_export_XXXXXX";
        if (mkdtemp(pattern.data()))
            m_strPath = pattern;
    }
    ~CScratchDir()
    {
        if (!m_strPath.empty())
            std::system(("rm -rf '" + m_strPath + "'").c_str());
    }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }
    // Every entry but . and .., hidden ones included.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        if (DIR* dir = opendir(m_strPath.c_str())) {
            while (dirent* e = readdir(dir))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(dir);
        }
        return names;
    }

private:
    std::string m_strPath;
};

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A record as the meter sends it: time fields, raw force (0.1 kN), type.
inline MeasurementRecord MakeRecord(int year, int month, int day, int hour, int minute, int second, uint16_t raw,
                                    uint8_t type)
{
    const uint8_t bytes[MEASUREMENT_RECORD_LEN] = {uint8_t(year >> 8), uint8_t(year), uint8_t(month),
                                                   uint8_t(day),       uint8_t(hour), uint8_t(minute),
                                                   uint8_t(second),    uint8_t(raw >> 8), uint8_t(raw),
                                                   type};
    return DecodeMeasurementRecord(bytes);
}

// A report of either kind with awkward header texts (a line break, a
// control character, bytes that are not UTF-8, a formula-like text, quotes
// and a backslash), tolerance limits (a NaN one for OUTPUT), a failed
// download and three records: a normal one, one whose fields make no time
// with an unknown load cell, and the largest raw force.
inline CExportReport FilledReport(EExportKind kind)
{
    CExportReport report;
    report.m_query.m_eKind = kind;
    report.m_header = {"2026-03-07 09:00:00", "정기\n점검\x01", "회사\xFF", "=1+1", "계측기 \"A\"", "SN\\0042", "1.07"};
    MeterDateTimeToTime({2026, 3, 1, 0, 0, 0}, &report.m_query.m_tFrom);
    MeterDateTimeToTime({2026, 3, 6, 23, 59, 59}, &report.m_query.m_tTo);
    report.m_limits.lower = kind == EExportKind::Output ? std::nan("") : 1.0;
    report.m_limits.upper = kind == EExportKind::Output ? 10.0 : 100.0;
    if (kind == EExportKind::Output) {
        report.m_query.m_bHasSummary = true;
        report.m_query.m_summary = {2, 12345, 5, 65535, 250};
    }
    report.m_result = {-1086, false, 3};
    report.AddRecord(MakeRecord(2026, 3, 5, 14, 7, 9, 1234, 1));
    report.AddRecord(MakeRecord(2026, 0, 5, 8, 0, 0, 98, 3));   // month 0: no time
    report.AddRecord(MakeRecord(2026, 3, 6, 23, 59, 59, 65535, 2));
    return report;
}

// Runs a Python 3 script (the system interpreter, where the Debian readers
// live) with the arguments; the exit code and everything it printed.
struct SPythonRun {
    int m_nExit = -1;
    std::string m_strOutput;
};

inline SPythonRun RunPython(const std::string& script, const std::vector<std::string>& args)
{
    CScratchDir dir;
    const std::string file = dir.File("check.py");
    WriteFileBytes(file, script);
    std::string command = "/usr/bin/python3 '" + file + "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " 2>&1";
    SPythonRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.m_strOutput.append(buffer, n);
    const int status = pclose(pipe);
    run.m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The local zone of every export test: Korea, +09:00 all year.
inline void UseKoreanTime()
{
    setenv("TZ", "KST-9", 1);
    tzset();
}
