// brevane-cli's archive commands on the lab's server: the meters of every
// station with the stations named, one meter's records exported from the
// server, and a server that cannot be used reported in one line with the
// archive's exit code.

#include "CCliProcess.h"
#include "CPgTestServer.h"
#include "LabTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

size_t Lines(const std::string& text)
{
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

CliRun Cli(const std::vector<std::string>& args)
{
    return CCliProcess::Run(BREVANE_CLI_EXE, args, {"TZ=KST-9"});
}

TEST(LabCli, ArchiveCommandsReadTheServerAndRefuseOneThatCannotBeUsed)
{
    CPgTestServer pg;
    ASSERT_TRUE(pg.Ready()) << pg.Dir();
    ASSERT_TRUE(pg.CreateDatabase("lab"));
    pg.UsePassword(CPgTestServer::kPassword);   // PGPASSFILE, inherited by the tool
    const std::string setting = pg.Setting("lab");

    Station east("검사실-1"), west("검사실-2");
    const SimRecords records = MakeSimRecords(300, 0, 4);
    east.Download(TestMeter("SN-EAST", "EAST"), records.stored);
    west.Download(TestMeter("SN-EAST", "EAST"), records.stored);
    west.Download(TestMeter("SN-WEST", "WEST"), MakeSimRecords(20, 0, 5).stored);
    ASSERT_TRUE(east.Sync(setting)->PushOnce());
    ASSERT_TRUE(west.Sync(setting)->PushOnce());

    CliRun run = Cli({"archive", "meters", "--server", setting, "--format", "csv"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    ASSERT_EQ(Lines(run.strOut), 3u) << run.strOut;
    EXPECT_EQ(run.strErr, "");   // not even the server's notices
    EXPECT_NE(run.strOut.find(",stations"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("SN-EAST,EAST,1.05,300,"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("\"검사실-1, 검사실-2\""), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("SN-WEST,WEST,1.05,20,"), std::string::npos) << run.strOut;

    CTestFolder folder;
    const std::string csv = folder / "east.csv";
    run = Cli({"archive", "export", "--server", setting, "--meter", "SN-EAST", "--out", csv, "--quiet"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    std::ifstream in(csv);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Lines(text), 301u);   // heading and the records, once though both stations pushed them

    run = Cli({"archive", "export", "--server", setting, "--meter", "SN-NONE"});
    EXPECT_EQ(run.nExit, 6);
    EXPECT_NE(run.strErr.find("not in the lab's archive on the server"), std::string::npos) << run.strErr;

    // Unreachable, and a password the server refuses: one line each, exit 6.
    run = Cli({"archive", "meters", "--server", "host=127.0.0.1 port=1 connect_timeout=2"});
    EXPECT_EQ(run.nExit, 6);
    EXPECT_EQ(Lines(run.strErr), 1u) << run.strErr;
    EXPECT_TRUE(run.strOut.empty());
    pg.UsePassword("not-the-password");
    run = Cli({"archive", "meters", "--server", setting});
    EXPECT_EQ(run.nExit, 6);
    EXPECT_NE(run.strErr.find("비밀번호"), std::string::npos) << run.strErr;
    EXPECT_EQ(Lines(run.strErr), 1u) << run.strErr;

    run = Cli({"archive", "meters", "--server", setting, "--archive", csv});
    EXPECT_EQ(run.nExit, 2) << run.strErr;
    run = Cli({"download", "memory", "--simulate", "--server", setting});
    EXPECT_EQ(run.nExit, 2) << run.strErr;
}

}  // namespace
