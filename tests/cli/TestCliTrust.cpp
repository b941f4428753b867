// brevane-cli's part in trusting the meter: info keeps its clock reading in
// the archive, and support writes the support file (read by Python).

#include "CCliProcess.h"
#include "ExportTestSupport.h"

#include <gtest/gtest.h>

TEST(CliTrust, InfoKeepsTheClockReadingAndSupportWritesTheZip)
{
    CScratchDir dir;
    const std::string archive = dir.File("archive.sqlite");
    CliRun run = CCliProcess::Run(BREVANE_CLI_EXE, {"info", "--simulate", "--archive", archive});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    run = CCliProcess::Run(BREVANE_CLI_EXE, {"info", "--simulate", "--no-archive"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    SPythonRun py = RunPython(R"(
import sqlite3, sys
rows = sqlite3.connect(sys.argv[1]).execute(
    'SELECT meter_key, drift, drift_limit, source, station FROM clock_readings').fetchall()
assert len(rows) == 1, rows
key, drift, limit, source, station = rows[0]
assert (key, source) == ('serial:SN250100042', 'cli') and abs(drift) <= 2 and limit > 0 and station, rows
)",
                              {archive});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;

    const std::string zip = dir.File("support.zip");
    run = CCliProcess::Run(BREVANE_CLI_EXE, {"support", "--out", zip, "--archive", archive});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    py = RunPython(R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
about = z.read('about.txt').decode('utf-8')
assert 'devices.txt' in z.namelist(), z.namelist()
assert '계측기' in about and '1' in about, about
)",
                   {zip});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;

    // Standard output is no place for a zip.
    run = CCliProcess::Run(BREVANE_CLI_EXE, {"support", "--out", "-"});
    EXPECT_EQ(2, run.nExit);
    EXPECT_NE(std::string::npos, run.strErr.find("support needs --out FILE.zip")) << run.strErr;
}
