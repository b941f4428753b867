#include "LinkTestSupport.h"

namespace {

class DiscoveryTest : public ::testing::Test {
protected:
    DiscoveryTest() : m_library(m_clock), m_link(m_library, m_clock) {}

    CManualClock m_clock;
    CFakeBridgeLibrary m_library;
    CFt260 m_link;
};

TEST_F(DiscoveryTest, FirstBridgeInEnumerationOrderWins)
{
    m_library.AddInterface("/dev/hidraw0", 0x046D, 0xC52B);        // a mouse
    m_library.AddInterface("/dev/hidraw1", 0x0403, 0x6030, false);  // attributes unreadable
    m_library.AddInterface("/dev/hidraw2", 0x0403, 0x6001);         // another FTDI part
    m_library.AddInterface("/dev/hidraw3");
    m_library.AddInterface("/dev/hidraw4");
    EXPECT_EQ("/dev/hidraw3", m_link.FindDevice());
    EXPECT_EQ("/dev/hidraw3", m_link.m_strDevicePath);
    EXPECT_FALSE(m_link.m_hDevice);   // discovery does not open
}

TEST_F(DiscoveryTest, PathsNeedingADetailRecordOf255BytesOrMoreAreIgnored)
{
    // 4 + 2 * (124 + 1) = 254 fits; 125 characters need 256.
    const std::string fits(124, 'a');
    const std::string tooLong(125, 'b');
    m_library.AddInterface(tooLong);
    m_library.AddInterface(fits);
    EXPECT_EQ(fits, m_link.FindDevice());

    // Characters are counted in UTF-16 units, not UTF-8 bytes: 120 ASCII + 4
    // Hangul (12 bytes) is 124 units; a character outside the BMP takes two.
    m_library.m_interfaces.clear();
    const std::string hangul = std::string(120, 'c') + "장비경로";
    const std::string astral = std::string(123, 'd') + "\xF0\x9F\x94\x8C";
    m_library.AddInterface(astral);
    m_library.AddInterface(hangul);
    EXPECT_EQ(hangul, m_link.FindDevice());
}

TEST_F(DiscoveryTest, ScansAnyNumberOfInterfaces)
{
    for (int i = 0; i < 300; ++i)
        m_library.AddInterface("/dev/hid" + std::to_string(i), 0x1234, static_cast<uint16_t>(i));
    m_library.AddInterface("/dev/bridge");
    EXPECT_EQ("/dev/bridge", m_link.FindDevice());
}

TEST_F(DiscoveryTest, FindingNothingClosesTheLinkAndForgetsTheDevice)
{
    m_library.AddInterface("/dev/bridge");
    m_link.FindDevice();
    ASSERT_TRUE(m_link.Open());
    FakeBridgeState& state = m_library.State("/dev/bridge");

    m_library.m_interfaces.clear();
    EXPECT_EQ("", m_link.FindDevice());
    EXPECT_FALSE(m_link.m_hDevice);
    EXPECT_TRUE(m_link.m_strOpenPath.empty());
    EXPECT_TRUE(m_link.m_strDevicePath.empty());
    EXPECT_EQ(1, state.m_nResetCalls);
    EXPECT_EQ(1, state.m_nCloseCalls);

    EXPECT_FALSE(m_link.Open());
    EXPECT_EQ(LINK_OPEN_FAILED, m_link.m_nResult);
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, m_link.m_nOpenStatus);
}

TEST_F(DiscoveryTest, OpenKeepsTheHandleForTheSamePathAndReplacesItForANewOne)
{
    m_library.AddInterface("/dev/first");
    m_link.FindDevice();
    IBridgeDevice* first = m_link.Open();
    ASSERT_TRUE(first);
    EXPECT_EQ(LINK_OK, m_link.m_nResult);

    m_link.m_nResult = LINK_CRC_ERROR;
    EXPECT_EQ(first, m_link.Open());
    EXPECT_EQ(LINK_CRC_ERROR, m_link.m_nResult);   // untouched
    EXPECT_EQ(1u, m_library.m_openedPaths.size());

    // The bridge moved to another path between two discoveries.
    m_library.m_interfaces.clear();
    m_library.AddInterface("/dev/second");
    m_link.FindDevice();
    EXPECT_TRUE(m_link.m_hDevice);   // discovery alone leaves the handle
    ASSERT_TRUE(m_link.Open());
    EXPECT_EQ("/dev/second", m_link.m_strOpenPath);
    EXPECT_EQ(1, m_library.State("/dev/first").m_nResetCalls);
    EXPECT_EQ(1, m_library.State("/dev/first").m_nCloseCalls);
}

TEST_F(DiscoveryTest, ConfiguredUartGetsNoSetCalls)
{
    m_library.AddInterface("/dev/bridge");
    m_link.FindDevice();
    ASSERT_TRUE(m_link.Open());
    const FakeBridgeState& state = m_library.State("/dev/bridge");
    EXPECT_EQ(1, state.m_nInitCalls);
    EXPECT_EQ(3, state.m_nGpioFunction);
    EXPECT_EQ(0, state.m_nSetBaudCalls + state.m_nSetFlowCalls + state.m_nSetDataCalls);
}

TEST_F(DiscoveryTest, UnconfiguredUartIsSetTo115200EightNoneOneWithoutFlowControl)
{
    m_library.AddInterface("/dev/bridge");
    FakeBridgeState& state = m_library.State("/dev/bridge");
    state.m_config = UartConfig{3, 9600, 7, 2, 2, 0};
    m_link.FindDevice();
    ASSERT_TRUE(m_link.Open());
    EXPECT_EQ(LINK_OK, m_link.m_nResult);
    EXPECT_EQ(1, state.m_nSetBaudCalls);
    EXPECT_EQ(1, state.m_nSetFlowCalls);
    EXPECT_EQ(1, state.m_nSetDataCalls);
    EXPECT_EQ(115200u, state.m_config.baudRate);
    EXPECT_EQ(4, state.m_config.flowControl);
    EXPECT_EQ(8, state.m_config.dataBits);
    EXPECT_EQ(0, state.m_config.parity);
    EXPECT_EQ(0, state.m_config.stopBits);

    // Only the setting that is wrong is written.
    CFt260 other(m_library, m_clock);
    state.m_config.parity = 1;
    other.FindDevice();
    ASSERT_TRUE(other.Open());
    EXPECT_EQ(1, state.m_nSetBaudCalls);
    EXPECT_EQ(2, state.m_nSetDataCalls);
}

TEST_F(DiscoveryTest, ConfigurationFailuresKeepTheHandleOpen)
{
    struct Step {
        int FakeBridgeState::*pSwitch;
        int nExpected;
    };
    const Step steps[] = {
        {&FakeBridgeState::m_nInitStatus, LINK_UART_INIT_FAILED},
        {&FakeBridgeState::m_nGetConfigStatus, LINK_UART_GET_CONFIG_FAILED},
        {&FakeBridgeState::m_nSetBaudStatus, LINK_UART_BAUD_FAILED},
        {&FakeBridgeState::m_nSetFlowStatus, LINK_UART_FLOW_FAILED},
        {&FakeBridgeState::m_nSetDataStatus, LINK_UART_DATA_FAILED},
    };
    int n = 0;
    for (const Step& step : steps) {
        const std::string path = "/dev/bridge" + std::to_string(n++);
        m_library.m_interfaces.clear();
        m_library.AddInterface(path);
        FakeBridgeState& state = m_library.State(path);
        state.m_config = UartConfig{0, 9600, 7, 1, 2, 0};
        state.*step.pSwitch = BRIDGE_IO_ERROR;
        CFt260 link(m_library, m_clock);
        link.FindDevice();
        EXPECT_TRUE(link.Open());
        EXPECT_EQ(step.nExpected, link.m_nResult);
        EXPECT_EQ(path, link.m_strOpenPath);
    }
}

TEST_F(DiscoveryTest, DestructionClosesAnOpenLink)
{
    m_library.AddInterface("/dev/bridge");
    {
        CFt260 link(m_library, m_clock);
        link.FindDevice();
        ASSERT_TRUE(link.Open());
    }
    EXPECT_EQ(1, m_library.State("/dev/bridge").m_nResetCalls);
    EXPECT_EQ(1, m_library.State("/dev/bridge").m_nCloseCalls);
}

TEST(LinkResultText, MessagesCarryTheCode)
{
    EXPECT_EQ("성공 (0)", LinkResultText(0));
    EXPECT_EQ("", LinkResultText(-1095));
    EXPECT_EQ("", LinkResultText(-1094));
    EXPECT_EQ("패킷 수신 실패 (타임아웃) (-1086)", LinkResultText(LINK_TIMEOUT));
    EXPECT_EQ("펌웨어 업로드 CRC 에러 (-1084)", LinkResultText(-1084));
    EXPECT_EQ("", LinkResultText(-1101));
    EXPECT_EQ("", LinkResultText(-1083));
    EXPECT_EQ("", LinkResultText(1));
    // Every code from -1100 to -1084 but the two blank ones has a message.
    for (int code = -1100; code <= -1084; ++code) {
        if (code != -1095 && code != -1094) {
            EXPECT_NE(std::string::npos, LinkResultText(code).find(std::to_string(code))) << code;
        }
    }
}

} // namespace
