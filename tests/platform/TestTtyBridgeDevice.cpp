#include "CPseudoTerminal.h"
#include "CTtyBridgeDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The pseudo-terminal moves written bytes to the other side in a kernel
// work item, so the count waiting may lag the write for a moment.
bool WaitForQueue(CTtyBridgeDevice& device, uint32_t expected)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    uint32_t waiting = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (device.UartGetQueueStatus(&waiting) != BRIDGE_OK)
            return false;
        if (waiting >= expected)
            return waiting == expected;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

struct OpenPort {
    explicit OpenPort(int writeStallMs = CTtyBridgeDevice::kDefaultWriteStallMs)
    {
        EXPECT_TRUE(pty.IsOpen());
        rc = CTtyBridgeDevice::Open(pty.SlavePath(), &device, writeStallMs);
    }
    CPseudoTerminal pty;
    std::unique_ptr<CTtyBridgeDevice> device;
    int rc = -1;
};

}   // namespace

TEST(TtyBridgeDevice, UartInitLeavesARawLineAt115200_8N1WithoutFlowControl)
{
    CPseudoTerminal pty;
    ASSERT_TRUE(pty.IsOpen());
    // A port as another program may leave it: cooked, echoing, slow, two
    // stop bits, both kinds of flow control.
    termios dirty{};
    ASSERT_TRUE(pty.GetSlaveAttributes(&dirty));
    dirty.c_lflag |= ICANON | ECHO | ISIG;
    dirty.c_iflag |= ICRNL | IXON | IXOFF;
    dirty.c_oflag |= OPOST | ONLCR;
    dirty.c_cflag |= CSTOPB | CRTSCTS;
    cfsetispeed(&dirty, B9600);
    cfsetospeed(&dirty, B9600);
    ASSERT_TRUE(pty.SetSlaveAttributes(dirty));

    std::unique_ptr<CTtyBridgeDevice> device;
    ASSERT_EQ(BRIDGE_OK, CTtyBridgeDevice::Open(pty.SlavePath(), &device));

    // Opening alone changes nothing; the read-back shows the old settings.
    UartConfig before;
    ASSERT_EQ(BRIDGE_OK, device->UartGetConfig(&before));
    EXPECT_EQ(9600u, before.baudRate);
    EXPECT_EQ(2, before.stopBits);
    EXPECT_EQ(1, before.flowControl);   // RTS/CTS is named before XON/XOFF

    ASSERT_EQ(BRIDGE_OK, device->UartInit());
    termios t{};
    ASSERT_TRUE(pty.GetSlaveAttributes(&t));
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(0u, t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY));
    EXPECT_EQ(0u, t.c_oflag & OPOST);
    EXPECT_EQ(tcflag_t(CS8), t.c_cflag & CSIZE);
    EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(tcflag_t(CLOCAL | CREAD), t.c_cflag & (CLOCAL | CREAD));
    EXPECT_EQ(speed_t(B115200), cfgetospeed(&t));
    EXPECT_EQ(speed_t(B115200), cfgetispeed(&t));

    UartConfig config;
    ASSERT_EQ(BRIDGE_OK, device->UartGetConfig(&config));
    EXPECT_EQ(115200u, config.baudRate);
    EXPECT_EQ(8, config.dataBits);
    EXPECT_EQ(0, config.parity);
    EXPECT_EQ(0, config.stopBits);
    EXPECT_EQ(4, config.flowControl);
    EXPECT_EQ(BRIDGE_OK, device->SelectGpioAFunction(3));
}

TEST(TtyBridgeDevice, EveryByteValuePassesUnchangedBothWays)
{
    OpenPort port;
    ASSERT_EQ(BRIDGE_OK, port.rc);
    ASSERT_EQ(BRIDGE_OK, port.device->UartInit());

    // CR, LF, XON, XOFF, ^C, ^D and DEL are what a cooked line would
    // translate, swallow or act on.
    std::vector<uint8_t> all(256);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = uint8_t(i);

    uint32_t written = 0;
    ASSERT_EQ(BRIDGE_OK, port.device->UartWrite(all.data(), 256, 256, &written));
    EXPECT_EQ(256u, written);
    EXPECT_EQ(all, port.pty.Read(256));

    ASSERT_TRUE(port.pty.Write(all));
    ASSERT_TRUE(WaitForQueue(*port.device, 256));
    std::vector<uint8_t> received(256);
    uint32_t read = 0;
    ASSERT_EQ(BRIDGE_OK, port.device->UartRead(received.data(), 256, 256, &read));
    EXPECT_EQ(256u, read);
    EXPECT_EQ(all, received);
}

TEST(TtyBridgeDevice, QueueStatusCountsWaitingBytesAndReadTakesThemInParts)
{
    OpenPort port;
    ASSERT_EQ(BRIDGE_OK, port.rc);
    ASSERT_EQ(BRIDGE_OK, port.device->UartInit());

    uint32_t waiting = 99;
    ASSERT_EQ(BRIDGE_OK, port.device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(0u, waiting);

    ASSERT_TRUE(port.pty.Write({0x02, 0x03, 0x31, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x03}));
    ASSERT_TRUE(WaitForQueue(*port.device, 10));

    uint8_t buffer[64] = {};
    uint32_t read = 0;
    ASSERT_EQ(BRIDGE_OK, port.device->UartRead(buffer, sizeof(buffer), 4, &read));
    EXPECT_EQ(4u, read);
    EXPECT_EQ(0x41, buffer[3]);
    ASSERT_EQ(BRIDGE_OK, port.device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(6u, waiting);

    // Asking for more than is waiting takes what is there and returns at once.
    ASSERT_EQ(BRIDGE_OK, port.device->UartRead(buffer, sizeof(buffer), 64, &read));
    EXPECT_EQ(6u, read);
    EXPECT_EQ(0x42, buffer[0]);
    EXPECT_EQ(0x03, buffer[5]);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(BRIDGE_OK, port.device->UartRead(buffer, sizeof(buffer), 64, &read));
    EXPECT_EQ(0u, read);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));

    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, port.device->UartRead(buffer, 8, 9, &read));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, port.device->UartWrite(buffer, 8, 9, &read));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, port.device->UartGetQueueStatus(nullptr));
}

TEST(TtyBridgeDevice, ResetDropsWhatWasReceivedAndNotRead)
{
    OpenPort port;
    ASSERT_EQ(BRIDGE_OK, port.rc);
    ASSERT_EQ(BRIDGE_OK, port.device->UartInit());
    ASSERT_TRUE(port.pty.Write({1, 2, 3, 4, 5}));
    ASSERT_TRUE(WaitForQueue(*port.device, 5));

    EXPECT_EQ(BRIDGE_OK, port.device->UartReset());
    uint32_t waiting = 99;
    ASSERT_EQ(BRIDGE_OK, port.device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(0u, waiting);

    // The line still works after the reset.
    ASSERT_TRUE(port.pty.Write({6}));
    EXPECT_TRUE(WaitForQueue(*port.device, 1));
}

TEST(TtyBridgeDevice, HangUpOfTheOtherSideFailsQueueStatusReadAndWrite)
{
    OpenPort port;
    ASSERT_EQ(BRIDGE_OK, port.rc);
    ASSERT_EQ(BRIDGE_OK, port.device->UartInit());
    port.pty.CloseMaster();

    uint32_t waiting = 99;
    EXPECT_EQ(BRIDGE_IO_ERROR, port.device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(0u, waiting);
    uint8_t buffer[16] = {};
    uint32_t count = 99;
    EXPECT_EQ(BRIDGE_IO_ERROR, port.device->UartRead(buffer, sizeof(buffer), 16, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(BRIDGE_IO_ERROR, port.device->UartWrite(buffer, sizeof(buffer), 16, &count));
    EXPECT_EQ(0u, count);
    // Closing what is left succeeds once; the descriptor number is then
    // free for other files and must not be used again.
    EXPECT_EQ(BRIDGE_OK, port.device->Close());
    EXPECT_EQ(BRIDGE_INVALID_HANDLE, port.device->Close());
    EXPECT_EQ(BRIDGE_INVALID_HANDLE, port.device->UartWrite(buffer, sizeof(buffer), 16, &count));
}

// The master side of a pseudo-terminal whose slave has closed keeps a queue
// count of 0 and only poll tells that nobody is there any more. Bytes sent
// before the close are still handed out first.
TEST(TtyBridgeDevice, AnEmptyQueueOnAHungUpLineIsAFailureNotSilence)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, ::grantpt(master));
    ASSERT_EQ(0, ::unlockpt(master));
    const std::string slavePath = ::ptsname(master);
    auto device = CTtyBridgeDevice::Adopt(master);
    ASSERT_NE(nullptr, device);

    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    termios raw{};
    ASSERT_EQ(0, ::tcgetattr(slave, &raw));
    ::cfmakeraw(&raw);
    ASSERT_EQ(0, ::tcsetattr(slave, TCSANOW, &raw));
    uint32_t waiting = 99;
    ASSERT_EQ(BRIDGE_OK, device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(0u, waiting);

    ASSERT_EQ(3, ::write(slave, "\x02\x41\x03", 3));
    ASSERT_TRUE(WaitForQueue(*device, 3));
    ::close(slave);
    ASSERT_EQ(BRIDGE_OK, device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(3u, waiting);
    uint8_t buffer[8] = {};
    uint32_t read = 0;
    ASSERT_EQ(BRIDGE_OK, device->UartRead(buffer, sizeof(buffer), 8, &read));
    EXPECT_EQ(3u, read);
    EXPECT_EQ(0x41, buffer[1]);

    EXPECT_EQ(BRIDGE_IO_ERROR, device->UartGetQueueStatus(&waiting));
    EXPECT_EQ(BRIDGE_IO_ERROR, device->UartRead(buffer, sizeof(buffer), 8, &read));
    EXPECT_EQ(0u, read);

    EXPECT_EQ(nullptr, CTtyBridgeDevice::Adopt(-1));
}

TEST(TtyBridgeDevice, WriteGivesUpWhenThePeerStopsReading)
{
    OpenPort port(100);
    ASSERT_EQ(BRIDGE_OK, port.rc);
    ASSERT_EQ(BRIDGE_OK, port.device->UartInit());

    // Far more than the kernel buffers between the two sides.
    std::vector<uint8_t> big(4u << 20, 0x55);
    uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BRIDGE_IO_ERROR,
              port.device->UartWrite(big.data(), uint32_t(big.size()), uint32_t(big.size()),
                                     &written));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

TEST(TtyBridgeDevice, SettingStepsChangeTheLineAndRefuseWhatItCannotDo)
{
    OpenPort port;
    ASSERT_EQ(BRIDGE_OK, port.rc);
    CTtyBridgeDevice& device = *port.device;
    ASSERT_EQ(BRIDGE_OK, device.UartInit());
    UartConfig config;

    ASSERT_EQ(BRIDGE_OK, device.UartSetBaudRate(9600));
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(9600u, config.baudRate);
    // 0 would hang the line up rather than pick a rate.
    for (uint32_t rate : {0u, 115201u, 12345u})
        EXPECT_EQ(BRIDGE_INVALID_PARAMETER, device.UartSetBaudRate(rate)) << rate;
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(9600u, config.baudRate);

    ASSERT_EQ(BRIDGE_OK, device.UartSetFlowControl(3));
    termios t{};
    ASSERT_TRUE(port.pty.GetSlaveAttributes(&t));
    EXPECT_EQ(tcflag_t(IXON | IXOFF), t.c_iflag & (IXON | IXOFF));
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(3, config.flowControl);
    ASSERT_EQ(BRIDGE_OK, device.UartSetFlowControl(1));
    ASSERT_TRUE(port.pty.GetSlaveAttributes(&t));
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF));
    EXPECT_NE(0u, t.c_cflag & CRTSCTS);
    for (int mode : {0, 2, 5, -1})
        EXPECT_EQ(BRIDGE_INVALID_PARAMETER, device.UartSetFlowControl(mode)) << mode;
    ASSERT_EQ(BRIDGE_OK, device.UartSetFlowControl(4));
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(4, config.flowControl);

    ASSERT_EQ(BRIDGE_OK, device.UartSetDataCharacteristics(8, 2, 0));
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(2, config.stopBits);
    const int invalid[][3] = {{9, 0, 0}, {6, 0, 0}, {8, 1, 0}, {8, 0, 3}, {8, 0, -1}};
    for (const auto& c : invalid)
        EXPECT_EQ(BRIDGE_INVALID_PARAMETER, device.UartSetDataCharacteristics(c[0], c[1], c[2]));
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    EXPECT_EQ(2, config.stopBits);

    // A pseudo-terminal keeps 8 bits without parity whatever it is told; a
    // real port takes 7 bits with odd parity. Either way the answer must
    // agree with what the line then has.
    const int rc = device.UartSetDataCharacteristics(7, 0, 1);
    ASSERT_EQ(BRIDGE_OK, device.UartGetConfig(&config));
    if (rc == BRIDGE_OK) {
        EXPECT_EQ(7, config.dataBits);
        EXPECT_EQ(1, config.parity);
    } else {
        EXPECT_EQ(8, config.dataBits);
        EXPECT_EQ(0, config.parity);
    }
}

TEST(TtyBridgeDevice, OpenRefusesWhatIsNotATerminalAndReportsWhy)
{
    std::unique_ptr<CTtyBridgeDevice> device;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, CTtyBridgeDevice::Open("/nonexistent/ttyFT0", &device));
    // A character device that is no serial port.
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, CTtyBridgeDevice::Open("/dev/null", &device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, CTtyBridgeDevice::Open("/dev/null", nullptr));

    CPseudoTerminal pty;
    ASSERT_TRUE(pty.IsOpen());
    // The C library would stop at the NUL and open the port itself.
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER,
              CTtyBridgeDevice::Open(pty.SlavePath() + std::string(1, '\0') + "x", &device));

    const std::string file = (std::filesystem::temp_directory_path()
                              / ("brevane-tty-" + std::to_string(::getpid())))
                                 .string();
    std::ofstream(file) << "not a port";
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, CTtyBridgeDevice::Open(file, &device));
    ::chmod(file.c_str(), 0);
    // root opens anything, so the refusal can only be seen without it.
    if (::geteuid() != 0) {
        EXPECT_EQ(BRIDGE_ACCESS_DENIED, CTtyBridgeDevice::Open(file, &device));
    }
    std::remove(file.c_str());
}
