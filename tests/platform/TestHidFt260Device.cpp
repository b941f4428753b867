#include "CFakeFt260Chip.h"
#include "CHidFt260Device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>

namespace {

// The reader thread works on its own time: wait for what it should do.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 2000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

uint32_t Waiting(CHidFt260Device& device)
{
    uint32_t n = 0;
    EXPECT_EQ(BRIDGE_OK, device.UartGetQueueStatus(&n));
    return n;
}

Bytes ReadBytes(CHidFt260Device& device, uint32_t count)
{
    Bytes buf(count + 8, 0xEE);
    uint32_t got = 0;
    EXPECT_EQ(BRIDGE_OK, device.UartRead(buf.data(), uint32_t(buf.size()), count, &got));
    buf.resize(got);
    return buf;
}

class HidFt260Device : public ::testing::Test {
protected:
    void Open(int keepAliveMs = 0)
    {
        m_pDevice = std::make_unique<CHidFt260Device>(m_pChip->OpenHandle(), keepAliveMs);
        ASSERT_EQ(BRIDGE_OK, m_pDevice->Start(1));
    }

    std::shared_ptr<CFakeFt260Chip> m_pChip = std::make_shared<CFakeFt260Chip>();
    std::unique_ptr<CHidFt260Device> m_pDevice;
};

TEST_F(HidFt260Device, InitConfiguresTheLinkSettingsAndReadsThemBack)
{
    Open();
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartInit());
    const std::vector<Bytes> expected = {
        {0xA1, 0x40},
        {0xA1, 0x41, 0x04, 0x00, 0xC2, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00},
    };
    EXPECT_EQ(expected, m_pChip->FeatureSets());

    UartConfig config;
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartGetConfig(&config));
    EXPECT_EQ(4, config.flowControl);
    EXPECT_EQ(115200u, config.baudRate);
    EXPECT_EQ(8, config.dataBits);
    EXPECT_EQ(0, config.parity);
    EXPECT_EQ(0, config.stopBits);
}

TEST_F(HidFt260Device, SingleSettingsUseTheirOwnRequests)
{
    Open();
    EXPECT_EQ(BRIDGE_OK, m_pDevice->UartSetBaudRate(115200));
    EXPECT_EQ(BRIDGE_OK, m_pDevice->UartSetFlowControl(4));
    EXPECT_EQ(BRIDGE_OK, m_pDevice->UartSetDataCharacteristics(8, 0, 0));
    EXPECT_EQ(BRIDGE_OK, m_pDevice->SelectGpioAFunction(3));
    const std::vector<Bytes> expected = {
        {0xA1, 0x42, 0x00, 0xC2, 0x01, 0x00},
        {0xA1, 0x03, 0x04},
        {0xA1, 0x43, 0x08},
        {0xA1, 0x44, 0x00},
        {0xA1, 0x45, 0x00},
        {0xA1, 0x08, 0x03},
    };
    EXPECT_EQ(expected, m_pChip->FeatureSets());

    UartConfig config;
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartGetConfig(&config));
    EXPECT_EQ(115200u, config.baudRate);
    EXPECT_EQ(4, config.flowControl);

    // Values the chip cannot take are refused before anything is sent;
    // flow control 0 is allowed (it switches the UART off).
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartSetBaudRate(0));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartSetFlowControl(5));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartSetDataCharacteristics(9, 0, 0));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartSetDataCharacteristics(8, 1, 0));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartSetDataCharacteristics(8, 0, 5));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->SelectGpioAFunction(1));
    EXPECT_EQ(expected.size(), m_pChip->FeatureSets().size());
}

TEST_F(HidFt260Device, ConfigurationDecodesAnotherBaudRateAndFailsOnNoAnswer)
{
    m_pChip->m_nBaudRate = 9600;   // 80 25 00 00 on the wire
    m_pChip->m_nFlowControl = 3;
    m_pChip->m_nStopBits = 2;
    Open();
    UartConfig config;
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartGetConfig(&config));
    EXPECT_EQ(9600u, config.baudRate);
    EXPECT_EQ(3, config.flowControl);
    EXPECT_EQ(2, config.stopBits);

    m_pChip->m_bFailFeatureGet = true;
    EXPECT_EQ(BRIDGE_IO_ERROR, m_pDevice->UartGetConfig(&config));
}

TEST_F(HidFt260Device, WritesAreSplitIntoReportsOfAtMostSixtyBytes)
{
    Open();
    Bytes data(1030);
    std::iota(data.begin(), data.end(), uint8_t(0));
    uint32_t written = 0;
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartWrite(data.data(), 1030, 1030, &written));
    EXPECT_EQ(1030u, written);

    const std::vector<Bytes> reports = m_pChip->OutputReports();
    ASSERT_EQ(18u, reports.size());
    Bytes sent;
    for (size_t i = 0; i < 17; ++i) {
        ASSERT_EQ(62u, reports[i].size());
        EXPECT_EQ(0xFE, reports[i][0]);
        EXPECT_EQ(60, reports[i][1]);
        sent.insert(sent.end(), reports[i].begin() + 2, reports[i].end());
    }
    ASSERT_EQ(12u, reports[17].size());
    EXPECT_EQ(0xF2, reports[17][0]);   // 10 bytes need the 12-byte report
    EXPECT_EQ(10, reports[17][1]);
    sent.insert(sent.end(), reports[17].begin() + 2, reports[17].end());
    EXPECT_EQ(data, sent);
}

TEST_F(HidFt260Device, ShortWritesTakeTheSmallestReportThatHoldsThem)
{
    Open();
    const Bytes frame = {0x02, 0x02, 0x31, 0x00, 0x31};
    uint32_t written = 0;
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartWrite(frame.data(), 5, 5, &written));
    Bytes four(4, 0x55), sixtyOne(61, 0x66);
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartWrite(four.data(), 4, 4, &written));
    ASSERT_EQ(BRIDGE_OK, m_pDevice->UartWrite(sixtyOne.data(), 61, 61, &written));

    const std::vector<Bytes> reports = m_pChip->OutputReports();
    ASSERT_EQ(4u, reports.size());
    EXPECT_EQ((Bytes{0xF1, 0x05, 0x02, 0x02, 0x31, 0x00, 0x31}), reports[0]);
    EXPECT_EQ((Bytes{0xF0, 0x04, 0x55, 0x55, 0x55, 0x55}), reports[1]);
    EXPECT_EQ(0xFE, reports[2][0]);
    EXPECT_EQ((Bytes{0xF0, 0x01, 0x66}), reports[3]);
}

TEST_F(HidFt260Device, FailedWriteReportsWhatWentOut)
{
    m_pChip->m_nFailOutputAt = 2;
    Open();
    Bytes data(200, 0x11);
    uint32_t written = 0;
    EXPECT_EQ(BRIDGE_IO_ERROR, m_pDevice->UartWrite(data.data(), 200, 200, &written));
    EXPECT_EQ(120u, written);
    // A count beyond the caller's buffer is refused, not read past.
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartWrite(data.data(), 200, 201, &written));
    EXPECT_EQ(0u, written);
}

TEST_F(HidFt260Device, InputReportsAreBufferedAndReadInPieces)
{
    Open();
    EXPECT_EQ(0u, Waiting(*m_pDevice));
    EXPECT_TRUE(ReadBytes(*m_pDevice, 4).empty());

    m_pChip->PushInput({0xF1, 0x05, 'a', 'b', 'c', 'd', 'e', 0, 0, 0});
    m_pChip->PushInput({0xF0, 0x03, 'x', 'y', 'z', 0});
    ASSERT_TRUE(WaitFor([&] { return Waiting(*m_pDevice) == 8; }));

    EXPECT_EQ((Bytes{'a', 'b', 'c'}), ReadBytes(*m_pDevice, 3));
    EXPECT_EQ(5u, Waiting(*m_pDevice));
    EXPECT_EQ((Bytes{'d', 'e', 'x', 'y', 'z'}), ReadBytes(*m_pDevice, 10));
    EXPECT_EQ(0u, Waiting(*m_pDevice));

    uint8_t small[2];
    uint32_t got = 0;
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, m_pDevice->UartRead(small, 2, 3, &got));
}

TEST_F(HidFt260Device, ReportsWithoutUartDataOrWithABadLengthAreSkipped)
{
    Open();
    m_pChip->PushInput({0xB1, 0x01, 0x03});                 // pin interrupt status
    m_pChip->PushInput({0xF0, 0x40, 'b', 'a', 'd', 0, 0});  // claims 64 bytes, carries 5
    m_pChip->PushInput({0xF0, 0x05, 'b', 'a', 'd'});        // claims 5, carries 3
    m_pChip->PushInput({0xF0});                             // no length byte
    m_pChip->PushInput({0xC0, 0x02, 'n', 'o'});             // not a UART report
    Bytes full(64, 'f');
    full[0] = 0xFE;
    full[1] = 62;                                           // the largest input report
    m_pChip->PushInput(full);
    m_pChip->PushInput({0xF0, 0x02, 'o', 'k'});
    ASSERT_TRUE(WaitFor([&] { return Waiting(*m_pDevice) >= 64; }));
    EXPECT_EQ(64u, Waiting(*m_pDevice));
    const Bytes got = ReadBytes(*m_pDevice, 64);
    EXPECT_EQ(Bytes(62, 'f'), Bytes(got.begin(), got.begin() + 62));
    EXPECT_EQ((Bytes{'o', 'k'}), Bytes(got.begin() + 62, got.end()));
}

TEST_F(HidFt260Device, ResetSendsTheRequestAndForgetsReceivedBytes)
{
    Open();
    m_pChip->PushInput({0xF0, 0x02, 's', 't'});
    ASSERT_TRUE(WaitFor([&] { return Waiting(*m_pDevice) == 2; }));
    EXPECT_EQ(BRIDGE_OK, m_pDevice->UartReset());
    EXPECT_EQ((std::vector<Bytes>{{0xA1, 0x40}}), m_pChip->FeatureSets());
    EXPECT_EQ(0u, Waiting(*m_pDevice));
}

TEST_F(HidFt260Device, UnpluggedChipHandsOutWhatCameAndThenFails)
{
    Open();
    m_pChip->PushInput({0xF0, 0x03, 'e', 'n', 'd'});
    ASSERT_TRUE(WaitFor([&] { return Waiting(*m_pDevice) == 3; }));
    m_pChip->Unplug();
    EXPECT_EQ((Bytes{'e', 'n', 'd'}), ReadBytes(*m_pDevice, 3));
    ASSERT_TRUE(WaitFor([&] {
        uint32_t n = 0;
        return m_pDevice->UartGetQueueStatus(&n) == BRIDGE_IO_ERROR;
    }));
    uint8_t buf[4];
    uint32_t got = 0;
    EXPECT_EQ(BRIDGE_IO_ERROR, m_pDevice->UartRead(buf, 4, 4, &got));
    uint32_t written = 0;
    EXPECT_EQ(BRIDGE_IO_ERROR, m_pDevice->UartWrite(buf, 4, 4, &written));
}

TEST_F(HidFt260Device, CloseStopsTheReaderAndClosesTheHandle)
{
    Open();
    EXPECT_EQ(BRIDGE_OK, m_pDevice->Close());
    EXPECT_TRUE(m_pChip->Closed());
    uint32_t n = 0;
    EXPECT_EQ(BRIDGE_INVALID_HANDLE, m_pDevice->UartGetQueueStatus(&n));
    EXPECT_EQ(BRIDGE_INVALID_HANDLE, m_pDevice->UartInit());
    EXPECT_EQ(BRIDGE_INVALID_HANDLE, m_pDevice->Close());

    // The destructor closes a device nobody closed.
    auto other = std::make_shared<CFakeFt260Chip>();
    {
        CHidFt260Device device(other->OpenHandle(), 0);
        ASSERT_EQ(BRIDGE_OK, device.Start(1));
    }
    EXPECT_TRUE(other->Closed());
}

TEST_F(HidFt260Device, KeepsAPowerSavingChipAwake)
{
    Open(20);
    EXPECT_TRUE(WaitFor([&] { return m_pChip->FeatureGets(0xA0) >= 3; }));

    auto awake = std::make_shared<CFakeFt260Chip>();
    awake->m_nPowerSaving = 0;
    CHidFt260Device device(awake->OpenHandle(), 20);
    ASSERT_EQ(BRIDGE_OK, device.Start(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(0, awake->FeatureGets(0xA0));
}

}   // namespace
