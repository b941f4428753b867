// The simulated FT260 in front of the meter: discovery, UART settings,
// pacing on the wire, and the faults of the USB side.
#include "CSimBridge.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

class SimBridge : public ::testing::Test {
protected:
    CManualClock clock{1741323909};
    CSimMeter meter{clock};
    CSimBridge bridge{meter, clock};

    // Opens the meter and sets the UART the way the link does.
    std::unique_ptr<IBridgeDevice> OpenConfigured()
    {
        std::unique_ptr<IBridgeDevice> dev;
        EXPECT_EQ(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
        if (dev) {
            EXPECT_EQ(dev->UartSetBaudRate(115200), BRIDGE_OK);
            EXPECT_EQ(dev->UartSetFlowControl(4), BRIDGE_OK);
            EXPECT_EQ(dev->UartSetDataCharacteristics(8, 0, 0), BRIDGE_OK);
        }
        return dev;
    }
    static int Write(IBridgeDevice& dev, const Bytes& bytes)
    {
        uint32_t written = 0;
        const int rc = dev.UartWrite(bytes.data(), 4096, uint32_t(bytes.size()), &written);
        return rc == BRIDGE_OK ? int(written) : -rc;
    }
    static uint32_t Waiting(IBridgeDevice& dev)
    {
        uint32_t n = 0;
        EXPECT_EQ(dev.UartGetQueueStatus(&n), BRIDGE_OK);
        return n;
    }
    static Bytes Read(IBridgeDevice& dev, uint32_t count)
    {
        Bytes buf(4096);
        uint32_t got = 0;
        EXPECT_EQ(dev.UartRead(buf.data(), 4096, count, &got), BRIDGE_OK);
        buf.resize(got);
        return buf;
    }
    // Time on the wire of the 0x31 exchange: 6 request bytes, 1 ms, 14 reply bytes.
    static int64_t NameReplyDoneUs() { return (CSimBridge::WireTimeNs(6 + 14) + 999) / 1000 + 1000; }
};

} // namespace

TEST_F(SimBridge, DiscoveryListsOtherInterfacesFirstThenTheMeter)
{
    const std::vector<HidInterfaceInfo> list = bridge.EnumerateHidInterfaces();
    ASSERT_GE(list.size(), 3u);
    for (size_t i = 0; i + 1 < list.size(); ++i)
        EXPECT_FALSE(list[i].vendorId == 0x0403 && list[i].productId == 0x6030);
    EXPECT_EQ(list.back().path, CSimBridge::kMeterPath);
    EXPECT_TRUE(list.back().attributesRead);
    EXPECT_EQ(list.back().vendorId, 0x0403);
    EXPECT_EQ(list.back().productId, 0x6030);

    std::unique_ptr<IBridgeDevice> dev;
    EXPECT_NE(bridge.OpenByDevicePath(list.front().path, &dev), BRIDGE_OK);
    EXPECT_FALSE(dev);
}

TEST_F(SimBridge, UartSettingsAreKeptAndTheMeterHearsOnly115200_8N1)
{
    std::unique_ptr<IBridgeDevice> dev;
    ASSERT_EQ(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
    UartConfig c;
    ASSERT_EQ(dev->UartGetConfig(&c), BRIDGE_OK);
    EXPECT_EQ(c.baudRate, 9600u);   // as the chip powers up
    EXPECT_EQ(c.flowControl, 3);

    // At the wrong rate the meter gets noise and says nothing.
    EXPECT_EQ(Write(*dev, ShortRequest(0x31, {0})), 6);
    clock.SleepMs(100);
    EXPECT_EQ(Waiting(*dev), 0u);

    EXPECT_EQ(dev->UartSetBaudRate(0), BRIDGE_INVALID_PARAMETER);
    EXPECT_EQ(dev->UartSetFlowControl(5), BRIDGE_INVALID_PARAMETER);
    EXPECT_EQ(dev->UartSetDataCharacteristics(9, 0, 0), BRIDGE_INVALID_PARAMETER);
    EXPECT_EQ(dev->UartSetBaudRate(115200), BRIDGE_OK);
    EXPECT_EQ(dev->UartSetFlowControl(4), BRIDGE_OK);
    EXPECT_EQ(dev->UartSetDataCharacteristics(8, 0, 0), BRIDGE_OK);
    dev->Close();

    // Settings live in the chip, not in the handle.
    ASSERT_EQ(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
    ASSERT_EQ(dev->UartGetConfig(&c), BRIDGE_OK);
    EXPECT_EQ(c.baudRate, 115200u);
    EXPECT_EQ(c.flowControl, 4);
    EXPECT_EQ(Write(*dev, ShortRequest(0x31, {0})), 6);
    clock.SleepMs(50);
    EXPECT_TRUE(IsFrame(Read(*dev, 14), 0x31, 9));

    const std::vector<std::string>& log = bridge.GetCallLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "UartSetBaudRate 115200"), log.end());
    EXPECT_EQ(std::count(log.begin(), log.end(), "UartGetConfig"), 2);
}

TEST_F(SimBridge, ReplyBytesArriveOneByteTimeApartAfterTheRequest)
{
    auto dev = OpenConfigured();
    ASSERT_EQ(Write(*dev, ShortRequest(0x31, {0})), 6);
    // Nothing before the request has crossed and the meter has thought.
    clock.AdvanceUs((CSimBridge::WireTimeNs(7) / 1000) + 1000 - 1);
    EXPECT_EQ(Waiting(*dev), 0u);
    clock.AdvanceUs(NameReplyDoneUs() - clock.MonotonicUs() - 2);
    EXPECT_EQ(Waiting(*dev), 13u);
    clock.AdvanceUs(4);
    EXPECT_EQ(Waiting(*dev), 14u);
    // A read takes only what has arrived and never waits.
    EXPECT_EQ(Read(*dev, 100).size(), 14u);
    EXPECT_EQ(Waiting(*dev), 0u);
    EXPECT_TRUE(Read(*dev, 15).empty());
}

TEST_F(SimBridge, FiftyMillisecondsBringAtMost576BytesOfAStream)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 5000;
    setup.nRecordDays = 2000;
    CSimMeter big(clock, setup);
    CSimBridge wire(big, clock);
    std::unique_ptr<IBridgeDevice> dev;
    ASSERT_EQ(wire.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
    dev->UartSetBaudRate(115200);
    dev->UartSetFlowControl(4);

    const Bytes request = ShortRequest(0x35, {0x07, 0xB2, 1, 1, 0, 0, 0});
    ASSERT_EQ(Write(*dev, request), 12);
    const size_t total = 5001 * 15;
    size_t got = 0;
    int polls = 0;
    while (got < total && polls < 1000) {
        clock.SleepMs(50);
        ++polls;
        const uint32_t n = Waiting(*dev);
        EXPECT_LE(n, 576u);
        // The first poll also covers the request and the meter's delay, the
        // last one only the tail.
        if (polls > 1 && got + n < total) {
            EXPECT_GE(n, 575u);
        }
        got += Read(*dev, n).size();
    }
    EXPECT_EQ(got, total);
    // Pure wire time of the stream, rounded up to the next poll.
    const int64_t wireMs = (CSimBridge::WireTimeNs(total + 12) / 1000 + 1000) / 1000;
    EXPECT_EQ(polls, int(wireMs / 50 + 1));
    EXPECT_EQ(wire.BytesInFlight(), 0u);
}

TEST_F(SimBridge, ReopenedHandleSeesOnlyWhatArrivesAfterwards)
{
    auto dev = OpenConfigured();
    meter.SetStoredRecords(std::vector<CSimMeter::Record>(100, Rec(2025, 3, 7, 1, 0, 0)));
    ASSERT_EQ(Write(*dev, ShortRequest(0x35, {0x07, 0xE9, 1, 1, 0, 0, 0})), 12);
    clock.SleepMs(20);
    const uint32_t early = Waiting(*dev);
    ASSERT_GT(early, 0u);
    dev->Close();
    EXPECT_EQ(dev->UartGetQueueStatus(nullptr), BRIDGE_INVALID_HANDLE);

    ASSERT_EQ(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
    EXPECT_EQ(Waiting(*dev), 0u);
    clock.SleepMs(1000);
    EXPECT_EQ(Waiting(*dev), 101u * 15 - early);
}

TEST_F(SimBridge, InjectedBytesAreWaitingAtOnce)
{
    auto dev = OpenConfigured();
    const Bytes stray = {0x31, 0x00, 0x03};
    bridge.InjectIncoming(stray.data(), stray.size());
    EXPECT_EQ(Waiting(*dev), 3u);
    EXPECT_EQ(Read(*dev, 3), stray);
}

TEST_F(SimBridge, FailingWriteReachesNothing)
{
    auto dev = OpenConfigured();
    ASSERT_TRUE(bridge.SetFault("write-fail"));
    uint32_t written = 99;
    const Bytes request = ShortRequest(0x31, {0});
    EXPECT_NE(dev->UartWrite(request.data(), 4096, 6, &written), BRIDGE_OK);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(meter.GetRequestCount(), 0);
    bridge.ClearFaults();
    EXPECT_EQ(Write(*dev, request), 6);
    EXPECT_EQ(meter.GetRequestCount(), 1);
    // The buffer size bounds what may be written or read.
    EXPECT_EQ(dev->UartWrite(request.data(), 4, 6, &written), BRIDGE_INVALID_PARAMETER);
    uint8_t small[4];
    uint32_t got = 0;
    EXPECT_EQ(dev->UartRead(small, 4, 6, &got), BRIDGE_INVALID_PARAMETER);
}

TEST_F(SimBridge, UnpluggedMeterVanishesAndItsOldHandleStaysDead)
{
    auto dev = OpenConfigured();
    ASSERT_EQ(Write(*dev, ShortRequest(0x31, {0})), 6);
    ASSERT_TRUE(bridge.SetFault("unplugged"));

    for (const HidInterfaceInfo& info : bridge.EnumerateHidInterfaces())
        EXPECT_NE(info.path, CSimBridge::kMeterPath);
    std::unique_ptr<IBridgeDevice> other;
    EXPECT_NE(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &other), BRIDGE_OK);
    uint32_t n = 0;
    EXPECT_NE(dev->UartGetQueueStatus(&n), BRIDGE_OK);
    EXPECT_LT(Write(*dev, ShortRequest(0x30, {0})), 0);
    UartConfig c;
    EXPECT_NE(dev->UartGetConfig(&c), BRIDGE_OK);

    bridge.SetFault("unplugged", false);
    clock.SleepMs(100);
    EXPECT_NE(dev->UartGetQueueStatus(&n), BRIDGE_OK);
    std::unique_ptr<IBridgeDevice> fresh;
    ASSERT_EQ(bridge.OpenByDevicePath(CSimBridge::kMeterPath, &fresh), BRIDGE_OK);
    EXPECT_EQ(Waiting(*fresh), 0u);   // the reply in flight went with the cable
    ASSERT_EQ(fresh->UartGetConfig(&c), BRIDGE_OK);
    EXPECT_EQ(c.baudRate, CSimBridge::PowerUpConfig().baudRate);
}

TEST_F(SimBridge, FaultListIsAllOrNothing)
{
    EXPECT_FALSE(bridge.SetFaults("no-reply, write-fail, nonsense"));
    EXPECT_FALSE(meter.Faults().AnySet());
    auto dev = OpenConfigured();
    EXPECT_EQ(Write(*dev, ShortRequest(0x31, {0})), 6);

    EXPECT_TRUE(bridge.SetFaults("bad-check, slow:200,write-fail"));
    EXPECT_TRUE(meter.Faults().m_bBadCheck);
    EXPECT_EQ(meter.Faults().m_nSlowMs, 200);
    EXPECT_LT(Write(*dev, ShortRequest(0x31, {0})), 0);
}

TEST_F(SimBridge, HandleOutlivingTheBridgeFailsInsteadOfCrashing)
{
    std::unique_ptr<IBridgeDevice> dev;
    {
        CSimBridge shortLived(meter, clock);
        ASSERT_EQ(shortLived.OpenByDevicePath(CSimBridge::kMeterPath, &dev), BRIDGE_OK);
    }
    uint32_t n = 0;
    EXPECT_NE(dev->UartGetQueueStatus(&n), BRIDGE_OK);
    EXPECT_NE(dev->Close(), BRIDGE_OK);
}
