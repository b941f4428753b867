// brevane-meter-sim as a program (a child process with --pty), the server on
// an existing tty (--tty), and the command line.

#include "CFt260.h"
#include "CMeterSimOptions.h"
#include "CMeterSimProcess.h"
#include "CPtyMeterServer.h"
#include "CSystemClock.h"
#include "CTrafficOwner.h"
#include "CTtyBridgeLibrary.h"
#include "MeterCommands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

TEST(MeterSimProgram, ServesAPseudoTerminalUntilTerminated)
{
    CMeterSimProcess child;
    ASSERT_TRUE(child.Start(BREVANE_METER_SIM_EXE, {"--pty", "--records", "40", "--seed", "3"}));
    const std::string path = child.ReadLine(5000);
    ASSERT_EQ(0u, path.rfind("/dev/pts/", 0)) << "first line: '" << path << "'";

    CSystemClock clock;
    CTrafficOwner owner;
    auto library = CTtyBridgeLibrary::ForFixedPort(path);
    {
        CFt260 link(*library, clock);
        link.m_pOwner = &owner;
        ASSERT_EQ(path, link.FindDevice());
        uint8_t reply[REPLY_BUFFER_LEN];
        ASSERT_EQ(LINK_OK, SendMeterRequest(link, MakeReadRequest(CMD_READ_NAME), reply))
            << link.GetErrorText();
        EXPECT_EQ("SIM-METER", DecodeTextReply(reply, NAME_FIELD_LEN));

        const int64_t now = clock.NowSeconds();
        int count = 0;
        EXPECT_EQ(LINK_OK, link.ReadMemoryRecords(now - 45 * 86400LL, now, &count))
            << link.GetErrorText();
        EXPECT_EQ(40, count);
        EXPECT_EQ(40u, owner.m_memory.size());
        // 6 + 14 for the name, 12 + 41 frames of 15 for the download.
        EXPECT_EQ(6u + 12u, owner.Sent().size());
        EXPECT_EQ(14u + 41u * 15u, owner.Received().size());
    }
    // The PC closing the port is part of a normal session: still served.
    {
        CFt260 link(*library, clock);
        ASSERT_EQ(path, link.FindDevice());
        uint8_t reply[REPLY_BUFFER_LEN];
        EXPECT_EQ(LINK_OK, SendMeterRequest(link, MakeReadRequest(CMD_READ_VERSION), reply))
            << link.GetErrorText();
    }
    EXPECT_EQ(0, child.Stop(SIGTERM, 3000));
}

TEST(MeterSimProgram, RefusesBadArgumentsWithoutOpeningALine)
{
    CMeterSimProcess child;
    ASSERT_TRUE(child.Start(BREVANE_METER_SIM_EXE, {"--pty", "--fault", "slow,no-such-fault"}));
    EXPECT_EQ("", child.ReadLine(3000));   // no path: nothing was served
    EXPECT_EQ(2, child.Wait(3000));
}

TEST(MeterSimOptions, ParsesWhatItCanUseAndRefusesTheRest)
{
    {
        const char* argv[] = {"sim", "--fault", "cut-short", "--fault", "slow:300,extra-bytes",
                              "--records", "0", "--series", "255", "--seed", "4294967295"};
        CMeterSimOptions o;
        std::string error;
        ASSERT_TRUE(o.Parse(11, argv, &error)) << error;
        EXPECT_TRUE(o.m_bPty);
        EXPECT_EQ("cut-short,slow:300,extra-bytes", o.m_strFaults);
        EXPECT_EQ(0, o.m_setup.nRecordCount);
        EXPECT_EQ(255, o.m_setup.nSeriesCount);
        EXPECT_EQ(4294967295u, o.m_setup.nRecordSeed);
        CSimFaults faults;
        ASSERT_TRUE(CPtyMeterServer::ParseFaults(o.m_strFaults, &faults));
        EXPECT_TRUE(faults.m_bCutShort && faults.m_bSlow && faults.m_bExtraBytes);
        EXPECT_EQ(300, faults.m_nSlowMs);
    }
    {
        const char* argv[] = {"sim", "--tty", "/dev/ttyS7"};
        CMeterSimOptions o;
        ASSERT_TRUE(o.Parse(3, argv, nullptr));
        EXPECT_FALSE(o.m_bPty);
        EXPECT_EQ("/dev/ttyS7", o.m_strTtyPath);
    }
    const std::vector<std::vector<const char*>> bad = {
        {"sim", "--records", "100001"}, {"sim", "--records", "-1"}, {"sim", "--records", "1e3"},
        {"sim", "--series", "256"},     {"sim", "--seed", "4294967296"}, {"sim", "--seed"},
        {"sim", "--fault", "slow:x"},   {"sim", "--tty", ""},       {"sim", "--pty", "--tty", "/dev/x"},
        {"sim", "--bogus"},
    };
    for (const auto& args : bad) {
        CMeterSimOptions o;
        std::string error;
        EXPECT_FALSE(o.Parse(int(args.size()), args.data(), &error)) << args[1];
        EXPECT_FALSE(error.empty()) << args[1];
    }
    // One bad name in a list changes none of the switches.
    CSimFaults faults;
    EXPECT_FALSE(CPtyMeterServer::ParseFaults("bad-check,nonsense", &faults));
    EXPECT_FALSE(faults.AnySet());
}

// A tty made by someone else (here: the test holds the master of a
// pseudo-terminal and plays the PC): the server answers on it and ends when
// the other side hangs up.
TEST(PtyMeterServer, ServesAnExistingTtyAndEndsWhenItHangsUp)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, ::grantpt(master));
    ASSERT_EQ(0, ::unlockpt(master));
    const std::string slavePath = ::ptsname(master);

    CSimMeter::Setup setup;
    setup.nRecordCount = 0;
    CPtyMeterServer server(setup);
    server.SetKeepTranscript(true);
    std::string error;
    ASSERT_TRUE(server.OpenTty(slavePath, &error)) << error;
    EXPECT_EQ(slavePath, server.GetPath());
    ASSERT_TRUE(server.Start());

    // The payload byte is XON (0x11): a line left with XON/XOFF would
    // swallow it and the meter would never answer.
    const std::vector<uint8_t> request = {0x02, 0x02, 0x33, 0x11, 0x22, 0x03};
    ASSERT_EQ(ssize_t(request.size()), ::write(master, request.data(), request.size()));
    std::vector<uint8_t> reply;
    while (reply.size() < 6) {
        pollfd entry{master, POLLIN, 0};
        ASSERT_GT(::poll(&entry, 1, 2000), 0) << "no reply";
        uint8_t chunk[64];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        ASSERT_GT(n, 0);
        reply.insert(reply.end(), chunk, chunk + n);
    }
    // Battery reply: STX, 2, 0x33, 87 %, check, ETX.
    EXPECT_EQ((std::vector<uint8_t>{0x02, 0x02, 0x33, 87, uint8_t(0x02 ^ 0x02 ^ 0x33 ^ 87), 0x03}),
              reply);
    EXPECT_EQ(request, server.GetBytesRead());
    EXPECT_EQ(reply, server.GetBytesWritten());

    ::close(master);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CPtyMeterServer::END_HANGUP, server.Join());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(PtyMeterServer, StopsWhenAskedAndRefusesASecondLine)
{
    CPtyMeterServer server(CSimMeter::Setup{});
    std::string error;
    EXPECT_FALSE(server.Start());   // nothing to serve yet
    ASSERT_TRUE(server.OpenPty(&error)) << error;
    EXPECT_FALSE(server.OpenTty("/dev/null", &error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(server.Start());
    EXPECT_FALSE(server.Start());
    server.RequestStop();
    EXPECT_EQ(CPtyMeterServer::END_STOPPED, server.Join());

    CPtyMeterServer other(CSimMeter::Setup{});
    EXPECT_FALSE(other.OpenTty("/dev/null", &error));   // not a terminal
    EXPECT_NE(std::string::npos, error.find("not a terminal"));
}

} // namespace
