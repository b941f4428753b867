// brevane-cli as a process against brevane-meter-sim on a pseudo-terminal:
// what it prints, the files it writes (read back by Python's csv, json and
// openpyxl, xlrd and pdftotext) and its exit codes.

#include "CCliProcess.h"
#include "CMeterSimProcess.h"
#include "CPtyMeterServer.h"
#include "ExportTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

const std::vector<std::string> kKorea = {"TZ=KST-9"};

size_t Lines(const std::string& text)
{
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

CliRun Cli(const std::vector<std::string>& args, const std::vector<std::string>& env = kKorea)
{
    return CCliProcess::Run(BREVANE_CLI_EXE, args, env);
}

// The simulated meter as a separate program, as a user starts it.
class CliOnMeterSim : public ::testing::Test {
protected:
    void Serve(const std::vector<std::string>& extra = {})
    {
        // The meter starts on the local time of its own zone: Korea's, as the tool's.
        setenv("TZ", "KST-9", 1);
        std::vector<std::string> args = {"--pty", "--records", "40", "--seed", "3"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(m_sim.Start(BREVANE_METER_SIM_EXE, args));
        m_strPort = m_sim.ReadLine(5000);
        ASSERT_EQ(0u, m_strPort.rfind("/dev/pts/", 0)) << m_strPort;
    }
    void TearDown() override { m_sim.Stop(SIGTERM, 3000); }

    CMeterSimProcess m_sim;
    std::string m_strPort;
    CScratchDir m_dir;
};

TEST_F(CliOnMeterSim, ListsReadsTheIdentityAndSetsTheClock)
{
    Serve();
    CliRun run = Cli({"list", "--port", m_strPort});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_EQ(2u, Lines(run.strOut)) << run.strOut;
    EXPECT_NE(std::string::npos, run.strOut.find("\n" + m_strPort + "  port")) << run.strOut;

    run = Cli({"info", "--port", m_strPort, "--no-archive", "--format", "json"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    const std::string info = m_dir.File("info.json");
    WriteFileBytes(info, run.strOut);
    const SPythonRun py = RunPython(R"(
import json, sys
doc = json.load(open(sys.argv[1], encoding='utf-8'))
assert (doc['name'], doc['serial'], doc['version'], doc['battery_percent']) == ('SIM-METER', 'SN250100042', '1.05', 87), doc
assert isinstance(doc['drift_s'], int) and abs(doc['drift_s']) <= 2, doc
)",
                                    {info});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput << run.strOut;

    // The meter keeps local time: set from Korea and read in UTC, it is nine
    // hours ahead, which --max-drift reports with its own exit code.
    run = Cli({"clock", "--set", "--port", m_strPort});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strOut.find("drift_after_s:")) << run.strOut;
    run = Cli({"clock", "--port", m_strPort, "--max-drift", "60"}, {"TZ=UTC0"});
    EXPECT_EQ(1, run.nExit) << run.strErr;
    const size_t plus = run.strErr.find("is +");
    ASSERT_NE(std::string::npos, plus) << run.strErr;
    // Set to the whole second, the meter may be a second behind.
    EXPECT_NEAR(32400, std::atoi(run.strErr.c_str() + plus + 4), 2) << run.strErr;
    EXPECT_EQ(1u, Lines(run.strErr));
    run = Cli({"clock", "--port", m_strPort, "--max-drift", "5", "--format", "csv"});
    EXPECT_EQ(0, run.nExit) << run.strErr << run.strOut;
    EXPECT_EQ(0u, run.strOut.rfind("meter_time,pc_time,drift_s\r\n", 0)) << run.strOut;
}

TEST_F(CliOnMeterSim, DownloadsIntoTheArchiveAndWritesWhatOtherToolsRead)
{
    Serve();
    const std::string archive = m_dir.File("archive.sqlite");
    const std::string csv = m_dir.File("memory.csv");
    CliRun run = Cli({"download", "memory", "--port", m_strPort, "--archive", archive, "--out", csv});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strErr.find("archive: 40 new, 0 already known")) << run.strErr;
    EXPECT_TRUE(run.strOut.empty());
    const char* const kReadCsv = R"(
import csv, sys
delimiter = ';' if sys.argv[2] == 'comma' else ','
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f, delimiter=delimiter))
assert rows[0][:4] == ['NO.', '구분', '측정 시간', '측정 압력 값'], rows[0]
for n, row in enumerate(rows[1:], 1):
    assert row[0] == str(n) and row[1] == 'MEMORY' and row[4] == 't', row
    assert row[2].endswith('+09:00'), row
    float(row[3].replace(',', '.'))
    if sys.argv[2] == 'comma':
        assert '.' not in row[3], row
print(len(rows) - 1)
)";
    SPythonRun py = RunPython(kReadCsv, {csv, "point"});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;
    EXPECT_EQ("40\n", py.m_strOutput);

    // Asked again for new records only, it starts at the newest archived day
    // and finds nothing new.
    const std::string again = m_dir.File("again.csv");
    run = Cli({"download", "memory", "--new", "--port", m_strPort, "--archive", archive, "--out", again,
               "--csv-locale", "comma"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strErr.find("archive: 0 new, ")) << run.strErr;
    py = RunPython(kReadCsv, {again, "comma"});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;
    EXPECT_GT(std::stoi(py.m_strOutput), 0);
    EXPECT_LT(std::stoi(py.m_strOutput), 40);

    // The continuous series with its summary, as JSON on standard output.
    run = Cli({"download", "output", "--port", m_strPort, "--archive", archive, "--format", "json"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    const std::string json = m_dir.File("output.json");
    WriteFileBytes(json, run.strOut);
    py = RunPython(R"(
import json, sys
doc = json.load(open(sys.argv[1], encoding='utf-8'))
assert doc['kind'] == 'OUTPUT' and doc['meter']['serial_number'] == 'SN250100042', doc['meter']
assert doc['result'] == {'code': 0, 'ok': True, 'complete': True, 'count': 20, 'message': ''}, doc['result']
assert doc['query']['summary']['count'] == 20 and len(doc['records']) == 20
)",
                   {json});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;

    // Without --out the rows are a table on standard output.
    run = Cli({"download", "memory", "--port", m_strPort, "--no-archive", "--quiet"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_EQ(41u, Lines(run.strOut));
    EXPECT_EQ("", run.strErr);

    // The archive: its meters, one meter's records as .xlsx, the windows'
    // .xls report and the PDF report.
    run = Cli({"archive", "meters", "--archive", archive, "--format", "csv"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strOut.find("\r\nSN250100042,SIM-METER,1.05,")) << run.strOut;

    const std::string xlsx = m_dir.File("memory.xlsx");
    run = Cli({"archive", "export", "--meter", "SN250100042", "--archive", archive, "--out", xlsx});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    py = RunPython(R"(
import openpyxl, sys
sheet = openpyxl.load_workbook(sys.argv[1]).active
rows = [r for r in sheet.iter_rows(values_only=True)]
head = [i for i, r in enumerate(rows) if r[0] == 'NO.'][0]
data = rows[head + 1:]
assert all(isinstance(r[2], (int, float)) and r[3] == 't' for r in data), data[:3]
print(len(data))
)",
                   {xlsx});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;
    EXPECT_EQ("40\n", py.m_strOutput);

    const std::string xls = m_dir.File("report.xls");
    run = Cli({"report", "--meter", "SN250100042", "--archive", archive, "--out", xls});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    py = RunPython(R"(
import xlrd, sys
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
assert sheet.cell_value(2, 2) == 'SIM-METER' and sheet.cell_value(2, 4) == 'SN250100042'
assert sheet.cell_value(7, 0) == '1' and sheet.cell_value(7 + 39, 0) == '40'
print(sheet.nrows)
)",
                   {xls});
    EXPECT_EQ(0, py.m_nExit) << py.m_strOutput;

    const std::string pdf = m_dir.File("report.pdf");
    run = Cli({"report", "--meter", "SN250100042", "--archive", archive, "--out", pdf, "--quiet"});
    ASSERT_EQ(0, run.nExit) << run.strErr;
    EXPECT_EQ("", run.strErr);
    FILE* text = popen(("pdftotext '" + pdf + "' -").c_str(), "r");
    ASSERT_NE(nullptr, text);
    std::string shown;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, text)) > 0;)
        shown.append(buffer, n);
    pclose(text);
    EXPECT_NE(std::string::npos, shown.find("저장 압력 확인 데이터"));
    EXPECT_NE(std::string::npos, shown.find("SN250100042"));
}

TEST_F(CliOnMeterSim, AnIncompleteDownloadWritesWhatCameAndSaysSo)
{
    // The meter's last frame, the end marker, is cut short: every record
    // arrives, the end never does.
    Serve({"--fault", "cut-short"});
    const std::string csv = m_dir.File("cut.csv");
    const CliRun run = Cli({"download", "memory", "--port", m_strPort, "--no-archive", "--out", csv});
    EXPECT_EQ(5, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strErr.find("incomplete download: 40 records, ")) << run.strErr;
    EXPECT_NE(std::string::npos, run.strErr.find("(-1086)")) << run.strErr;
    EXPECT_EQ(41u, Lines(ReadFileBytes(csv)));
}

TEST_F(CliOnMeterSim, ASeriesShortOfItsCountIsIncomplete)
{
    // The second record is left out but still counted in the header.
    Serve({"--fault", "series-gap"});
    const CliRun run = Cli({"download", "output", "--port", m_strPort, "--no-archive", "--format", "csv"});
    EXPECT_EQ(5, run.nExit) << run.strErr;
    EXPECT_NE(std::string::npos, run.strErr.find("incomplete download: 19 records")) << run.strErr;
    EXPECT_EQ(20u, Lines(run.strOut));
}

// Bad arguments end before anything is sent: the meter is served in this
// process, which keeps every byte the line brought.
TEST(CliBadArguments, ReachNeitherTheMeterNorAnyFile)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 5;
    CPtyMeterServer server(setup);
    server.SetKeepTranscript(true);
    std::string error;
    ASSERT_TRUE(server.OpenPty(&error) && server.Start()) << error;
    const std::string port = server.GetPath();
    CScratchDir dir;

    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        {"download", "everything"},
        {"info", "--colour"},
        {"clock", "--from", "2026-01-01"},
        {"download", "memory", "--from", "2026-02-30"},
        {"download", "memory", "--from", "yesterday"},
        {"download", "memory", "--from", "2026-03-05", "--to", "2026-03-01"},
        {"download", "memory", "--format", "xlsx"},
        {"download", "memory", "--out", dir.File("no/such/folder.csv")},
        {"download", "memory", "--out", dir.File("")},
        {"download", "memory", "--new", "--no-archive"},
        {"report", "--meter", "SN1", "--out", dir.File("report.txt")},
    };
    for (std::vector<std::string> args : cases) {
        if (args[0] != "report")
            args.insert(args.end(), {"--port", port});
        const CliRun run = Cli(args);
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        EXPECT_EQ(2, run.nExit) << shown << run.strErr;
        EXPECT_EQ(1u, Lines(run.strErr)) << shown << run.strErr;
        EXPECT_EQ("", run.strOut) << shown;
    }
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_TRUE(server.GetBytesRead().empty());

    // The same line does carry a good command, and a path with nothing
    // behind it is no meter.
    const CliRun good = Cli({"info", "--port", port, "--no-archive"});
    EXPECT_EQ(0, good.nExit) << good.strErr;
    EXPECT_FALSE(server.GetBytesRead().empty());
    const CliRun none = Cli({"info", "--port", dir.File("nothing"), "--no-archive"});
    EXPECT_EQ(3, none.nExit) << none.strErr;
    server.RequestStop();
    server.Join();
}

} // namespace
