#include "CFakeSysfs.h"
#include "CFt260.h"
#include "CManualClock.h"
#include "CPseudoTerminal.h"
#include "CSystemClock.h"
#include "CTtyBridgeLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <termios.h>
#include <unistd.h>

namespace {

std::vector<std::string> Paths(const std::vector<HidInterfaceInfo>& interfaces)
{
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : interfaces)
        paths.push_back(info.path);
    return paths;
}

}   // namespace

TEST(TtyBridgeLibrary, NaturalOrderComparesNumbersByValue)
{
    std::vector<std::string> names = {"ttyFT10", "ttyUSB0", "ttyFT2", "ttyACM1", "ttyFT1",
                                      "ttyFT02", "ttyFT", "ttyFT100"};
    std::sort(names.begin(), names.end(), CTtyBridgeLibrary::NaturalLess);
    EXPECT_EQ((std::vector<std::string>{"ttyACM1", "ttyFT", "ttyFT1", "ttyFT02", "ttyFT2",
                                        "ttyFT10", "ttyFT100", "ttyUSB0"}),
              names);
    // A strict order: never both ways, never an item before itself.
    EXPECT_FALSE(CTtyBridgeLibrary::NaturalLess("ttyFT2", "ttyFT2"));
    EXPECT_NE(CTtyBridgeLibrary::NaturalLess("ttyFT02", "ttyFT2"),
              CTtyBridgeLibrary::NaturalLess("ttyFT2", "ttyFT02"));
}

TEST(TtyBridgeLibrary, ScanListsOnlyTheBridgesInNaturalOrder)
{
    CFakeSysfs sys;
    sys.AddHidSerialTty("ttyFT10", 0x0403, 0x6030);
    sys.AddUsbSerialTty("ttyUSB0", 0x0403, 0x6001);   // another FTDI chip
    sys.AddHidSerialTty("ttyFT2", 0x0403, 0x6030);
    sys.AddUsbSerialTty("ttyUSB1", 0x0403, 0x6030);   // the bridge behind a USB serial driver
    sys.AddHidSerialTty("ttyFT3", 0x0403, 0x6030);    // no /dev node yet
    sys.AddPlatformTty("ttyS0");
    sys.AddVirtualTty("tty0");
    for (const char* name : {"ttyFT10", "ttyUSB0", "ttyFT2", "ttyUSB1", "ttyS0", "tty0"})
        sys.AddDevNode(name);

    CTtyBridgeLibrary library(sys.SysRoot(), sys.DevRoot());
    const std::vector<HidInterfaceInfo> found = library.EnumerateHidInterfaces();
    EXPECT_EQ((std::vector<std::string>{sys.DevPath("ttyFT2"), sys.DevPath("ttyFT10"),
                                        sys.DevPath("ttyUSB1")}),
              Paths(found));
    for (const HidInterfaceInfo& info : found) {
        EXPECT_TRUE(info.attributesRead);
        EXPECT_EQ(0x0403, info.vendorId);
        EXPECT_EQ(0x6030, info.productId);
    }

    // Once its node appears, the late port takes its place in the order.
    sys.AddDevNode("ttyFT3");
    EXPECT_EQ((std::vector<std::string>{sys.DevPath("ttyFT2"), sys.DevPath("ttyFT3"),
                                        sys.DevPath("ttyFT10"), sys.DevPath("ttyUSB1")}),
              Paths(library.EnumerateHidInterfaces()));
}

TEST(TtyBridgeLibrary, WithoutASysfsTtyClassTheFt260NodesAreTaken)
{
    CFakeSysfs sys;
    sys.AddDevNode("ttyFT1");
    sys.AddDevNode("ttyUSB0");
    sys.AddDevNode("ttyFT0");
    sys.RemoveTtyClass();
    CTtyBridgeLibrary library(sys.SysRoot(), sys.DevRoot());
    EXPECT_EQ((std::vector<std::string>{sys.DevPath("ttyFT0"), sys.DevPath("ttyFT1")}),
              Paths(library.EnumerateHidInterfaces()));

    CTtyBridgeLibrary nothing(sys.SysRoot() + "/absent", sys.DevRoot() + "/absent");
    EXPECT_TRUE(nothing.EnumerateHidInterfaces().empty());
}

TEST(TtyBridgeLibrary, ScanOpensOnlyAListedBridge)
{
    CPseudoTerminal pty;
    ASSERT_TRUE(pty.IsOpen());
    CFakeSysfs sys;
    sys.AddHidSerialTty("ttyFT0", 0x0403, 0x6030);
    sys.AddDevNode("ttyFT0", pty.SlavePath());
    sys.AddUsbSerialTty("ttyUSB0", 0x067B, 0x2303);
    sys.AddDevNode("ttyUSB0", pty.SlavePath());
    CTtyBridgeLibrary library(sys.SysRoot(), sys.DevRoot());

    std::unique_ptr<IBridgeDevice> device;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, library.OpenByDevicePath(sys.DevPath("ttyUSB0"), &device));
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, library.OpenByDevicePath(pty.SlavePath(), &device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, library.OpenByDevicePath(sys.DevPath("ttyFT0"), nullptr));

    ASSERT_EQ(BRIDGE_OK, library.OpenByDevicePath(sys.DevPath("ttyFT0"), &device));
    ASSERT_NE(nullptr, device);
    ASSERT_EQ(BRIDGE_OK, device->UartInit());
    const uint8_t frame[] = {0x02, 0x02, 0x30, 0x32, 0x03};
    uint32_t written = 0;
    ASSERT_EQ(BRIDGE_OK, device->UartWrite(frame, sizeof(frame), sizeof(frame), &written));
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + sizeof(frame)), pty.Read(sizeof(frame)));
}

TEST(TtyBridgeLibrary, FixedPortIsListedAsABridgeOnlyWhileItIsThere)
{
    auto pty = std::make_unique<CPseudoTerminal>();
    ASSERT_TRUE(pty->IsOpen());
    const std::string path = pty->SlavePath();
    auto library = CTtyBridgeLibrary::ForFixedPort(path);

    const std::vector<HidInterfaceInfo> found = library->EnumerateHidInterfaces();
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(path, found[0].path);
    EXPECT_TRUE(found[0].attributesRead);
    EXPECT_EQ(0x0403, found[0].vendorId);
    EXPECT_EQ(0x6030, found[0].productId);

    std::unique_ptr<IBridgeDevice> device;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, library->OpenByDevicePath("/dev/null", &device));
    ASSERT_EQ(BRIDGE_OK, library->OpenByDevicePath(path, &device));
    ASSERT_NE(nullptr, device);
    device.reset();

    // Closing the master removes the slave's node: the meter is unplugged.
    pty.reset();
    EXPECT_TRUE(library->EnumerateHidInterfaces().empty());
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, library->OpenByDevicePath(path, &device));

    for (const char* gone : {"/nonexistent/ttyUSB9", ""}) {
        EXPECT_TRUE(CTtyBridgeLibrary::ForFixedPort(gone)->EnumerateHidInterfaces().empty())
            << gone;
    }
    // A plain file is no port, even when it may be opened.
    const std::string file = (std::filesystem::temp_directory_path()
                              / ("brevane-port-" + std::to_string(::getpid())))
                                 .string();
    std::ofstream(file) << "x";
    EXPECT_TRUE(CTtyBridgeLibrary::ForFixedPort(file)->EnumerateHidInterfaces().empty());
    std::remove(file.c_str());
}

// The link itself over a fixed port: found like a plugged meter, opened and
// configured, and lost when the other side goes away.
TEST(TtyBridgeLibrary, TheLinkFindsOpensAndLosesAFixedPort)
{
    auto pty = std::make_unique<CPseudoTerminal>();
    ASSERT_TRUE(pty->IsOpen());
    auto library = CTtyBridgeLibrary::ForFixedPort(pty->SlavePath());
    CManualClock clock;
    CFt260 link(*library, clock);

    EXPECT_EQ(pty->SlavePath(), link.FindDevice());
    ASSERT_NE(nullptr, link.Open());
    EXPECT_EQ(0, link.m_nResult);
    termios t{};
    ASSERT_TRUE(pty->GetSlaveAttributes(&t));
    EXPECT_EQ(speed_t(B115200), cfgetospeed(&t));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO));
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF));

    pty.reset();
    EXPECT_EQ("", link.FindDevice());
    EXPECT_EQ(nullptr, link.m_hDevice);
}

// A whole request and reply with the test as the meter, then the meter going
// away in the middle of an exchange: the link must report the failure at its
// next poll, not after waiting out the reply time.
TEST(TtyBridgeLibrary, TheLinkTalksToAMeterBehindAPseudoTerminalAndNoticesItLeave)
{
    auto pty = std::make_unique<CPseudoTerminal>();
    ASSERT_TRUE(pty->IsOpen());
    auto library = CTtyBridgeLibrary::ForFixedPort(pty->SlavePath());
    CSystemClock clock;
    CFt260 link(*library, clock);
    ASSERT_EQ(pty->SlavePath(), link.FindDevice());

    // The frame format is the link's own; a second link builds the answer.
    CFt260 framer(*library, clock);
    const uint8_t answer = 0x5A;
    ASSERT_TRUE(framer.MakePacket(0x33, &answer, 1));
    const std::vector<uint8_t> replyFrame(framer.m_TxBuf, framer.m_TxBuf + framer.m_nTxLen);
    ASSERT_EQ(size_t(link.ReplyLength(0x33)), replyFrame.size());

    std::vector<uint8_t> request;
    std::thread meter([&] {
        request = pty->Read(5);
        pty->Write(replyFrame);
    });
    uint8_t reply[CFt260::REPLY_CLEAR_SIZE] = {};
    EXPECT_EQ(LINK_OK, link.SendPacket(0x33, nullptr, 0, reply));
    meter.join();
    EXPECT_EQ((std::vector<uint8_t>{0x02, 0x01, 0x33, 0x02 ^ 0x01 ^ 0x33, 0x03}), request);
    EXPECT_EQ(answer, reply[0]);

    std::thread leaving([&] {
        pty->Read(5);
        pty->CloseMaster();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LINK_READ_FAILED, link.SendPacket(0x33, nullptr, 0, reply));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    leaving.join();
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_EQ(nullptr, link.m_hDevice);
}
