// The link against the simulated meter when the meter misbehaves: late
// replies, a series that does not match its header, a stray byte in a long
// download, a stream without end, and a cancel from another thread.
#include "CFt260.h"
#include "CSimBridge.h"
#include "IPacketLog.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <ctime>
#include <functional>
#include <thread>

namespace {

int64_t LocalSeconds(int year, int month, int day)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return int64_t(std::mktime(&t));
}

class Receiver : public ILinkOwner, public IPacketLog {
public:
    IPacketLog* GetPacketLog() override { return this; }
    void AppendPacket(int direction, const uint8_t*, int) override
    {
        if (direction == 0 && m_onSent)
            m_onSent();
    }
    void AddMemoryRecord(int, const uint8_t* record) override
    {
        m_memory.emplace_back(record, record + 10);
        ++m_nMemory;
    }
    void SetOutputSummary(const uint8_t*) override
    {
        if (m_onSummary)
            m_onSummary();
    }
    void AddOutputRecord(int index, const uint8_t* record) override
    {
        EXPECT_EQ(index, int(m_output.size()));
        m_output.emplace_back(record, record + 10);
    }

    std::function<void()> m_onSent;
    std::function<void()> m_onSummary;
    std::vector<Bytes> m_memory;
    std::atomic<int> m_nMemory{0};
    std::vector<Bytes> m_output;
};

class LinkOnSim : public ::testing::Test {
protected:
    CManualClock clock{1741323909};
    CSimMeter meter{clock};
    CSimBridge bridge{meter, clock};
    CFt260 link{bridge, clock};
    Receiver owner;
    uint8_t reply[32] = {};

    void SetUp() override
    {
        link.m_pOwner = &owner;
        ASSERT_EQ(CSimBridge::kMeterPath, link.FindDevice());
    }
    Bytes Encoded(const CSimMeter::Record& r) const
    {
        const std::array<uint8_t, 10> bytes = r.Encode();
        return Bytes(bytes.begin(), bytes.end());
    }
    int Download(int* count)
    {
        return link.ReadMemoryRecords(LocalSeconds(2025, 1, 1), LocalSeconds(2025, 12, 31), count);
    }
    std::vector<Bytes> SeriesAs(std::initializer_list<size_t> indices) const
    {
        std::vector<Bytes> rows;
        for (size_t i : indices)
            rows.push_back(Encoded(meter.GetOutputSeries()[i]));
        return rows;
    }
};

TEST_F(LinkOnSim, SlowMeterNeverGetsOneRequestAnotherRequestsAnswer)
{
    // Calibration reads share one reply length, as do the acknowledged
    // writes: only the command byte tells a late answer from the right one.
    struct Request {
        uint8_t command;
        Bytes payload;
    };
    const std::vector<Request> requests = {
        {0x43, {0}}, {0x45, {0}}, {0x4D, {0}}, {0x44, {1}}, {0x46, {2}}, {0x47, {3, 0x08, 0x05}},
        {0x4E, {0}}, {0x4B, {0}}, {0x31, {0}}, {0x32, {0}}, {0x4B, {0}}, {0x31, {0}}};
    ASSERT_TRUE(meter.Faults().SetByName("slow:3000"));
    int nLateRefused = 0;
    for (const Request& r : requests) {
        const int result = link.SendPacket(r.command, r.payload.data(), int(r.payload.size()), reply);
        // Too late, another command's answer, or the front of a longer one.
        EXPECT_TRUE(result == LINK_READ_FAILED || result == LINK_ID_ERROR || result == LINK_ETX_ERROR)
            << std::hex << int(r.command) << " " << std::dec << result;
        if (result == LINK_ID_ERROR) {
            ++nLateRefused;
            EXPECT_NE(r.command, link.m_RxBuf[2]);
        }
    }
    EXPECT_GE(nLateRefused, 3);

    // Once the meter is quick again, each request gets its own answer.
    meter.Faults().Clear();
    clock.SleepMs(4000);
    const uint8_t zero[1] = {0};
    EXPECT_EQ(LINK_OK, link.SendPacket(0x31, zero, 1, reply));
    EXPECT_EQ(meter.GetName(), std::string(reinterpret_cast<char*>(reply), 9));
    EXPECT_EQ(LINK_OK, link.SendPacket(0x32, zero, 1, reply));
    EXPECT_EQ(meter.GetSerial(), std::string(reinterpret_cast<char*>(reply), 11));
}

TEST_F(LinkOnSim, SeriesRowsAreOnlyTheAnnouncedRecordsInOrder)
{
    meter.SetOutputSeries({Rec(2025, 3, 7, 9, 0, 0, 100), Rec(2025, 3, 7, 9, 0, 1, 200),
                           Rec(2025, 3, 7, 9, 0, 2, 300), Rec(2025, 3, 7, 9, 0, 3, 400)});
    struct Case {
        const char* fault;
        int result;
        std::vector<Bytes> rows;
    };
    const std::vector<Case> cases = {
        {"", LINK_OK, SeriesAs({0, 1, 2, 3})},
        // Nothing announced: the records that follow are not the series.
        {"series-uncounted", LINK_ID_ERROR, {}},
        // A record before the header is no row, and costs no later record.
        {"series-early-record", LINK_ID_ERROR, SeriesAs({0, 1, 2, 3})},
        {"series-repeat", LINK_ID_ERROR, SeriesAs({0, 1, 2, 3})},
        {"series-gap", LINK_ID_ERROR, SeriesAs({0, 2, 3})},
    };
    for (const Case& c : cases) {
        meter.Faults().Clear();
        if (*c.fault) {
            ASSERT_TRUE(meter.Faults().SetByName(c.fault));
        }
        owner.m_output.clear();
        EXPECT_EQ(c.result, link.ReadOutputRecords()) << c.fault;
        EXPECT_EQ(c.rows, owner.m_output) << c.fault;
        clock.SleepMs(1000);   // whatever the meter still sends is done
    }
}

TEST_F(LinkOnSim, StrayByteInALongDownloadCostsOneRecord)
{
    std::vector<CSimMeter::Record> stored;
    for (int i = 0; i < 5000; ++i)
        stored.push_back(Rec(2025, 3, 1 + i / 1440, i / 60 % 24, i % 60, 0, i % 3000));
    meter.SetStoredRecords(stored);
    ASSERT_TRUE(meter.Faults().SetByName("garbage-in-stream:2500"));
    int count = 0;
    const int result = Download(&count);
    // The damaged frame is reported; every other record is there, in order.
    EXPECT_TRUE(result == LINK_ETX_ERROR || result == LINK_CRC_ERROR || result == LINK_LENGTH_ERROR)
        << result;
    ASSERT_EQ(4999, count);
    stored.erase(stored.begin() + 2499);
    for (size_t i = 0; i < stored.size(); i += 499)
        EXPECT_EQ(Encoded(stored[i]), owner.m_memory[i]) << i;
    EXPECT_EQ(Encoded(stored.back()), owner.m_memory.back());
}

TEST_F(LinkOnSim, EndlessDownloadStopsAtItsBoundAndLeavesNoTailForTheNextRequest)
{
    meter.SetStoredRecords({Rec(2025, 3, 1, 8, 0, 0), Rec(2025, 3, 1, 9, 0, 0)});
    ASSERT_TRUE(meter.Faults().SetByName("endless-stream"));
    int count = 0;
    EXPECT_EQ(LINK_TIMEOUT, Download(&count));
    EXPECT_EQ(CFt260::MAX_MEMORY_RECORDS, count);
    EXPECT_EQ(nullptr, link.m_hDevice);

    // The meter keeps sending: a request meanwhile may fail, never take a
    // stream frame for its answer.
    const uint8_t zero[1] = {0};
    const int result = link.SendPacket(0x31, zero, 1, reply);
    EXPECT_NE(LINK_OK, result);
    meter.Faults().Clear();
    clock.SleepMs(500);
    EXPECT_EQ(LINK_OK, link.SendPacket(0x31, zero, 1, reply));
    EXPECT_EQ(meter.GetName(), std::string(reinterpret_cast<char*>(reply), 9));
}

TEST_F(LinkOnSim, CancelFromAnotherThreadEndsTheDownloadAndHoldsUntilCleared)
{
    meter.SetStoredRecords({Rec(2025, 3, 1, 8, 0, 0)});
    ASSERT_TRUE(meter.Faults().SetByName("endless-stream"));
    int count = 0;
    int result = 0;
    std::thread download([&] { result = Download(&count); });
    while (owner.m_nMemory.load() < 1000)
        std::this_thread::yield();
    link.RequestCancel();
    download.join();
    EXPECT_EQ(LINK_CANCELLED, result);
    EXPECT_EQ("사용자 취소 (-1110)", link.GetErrorText());
    EXPECT_GE(count, 1000);
    EXPECT_LT(count, CFt260::MAX_MEMORY_RECORDS);
    EXPECT_EQ(nullptr, link.m_hDevice);

    // Still set: nothing is sent until the request is cleared.
    meter.Faults().Clear();
    clock.SleepMs(500);
    const uint64_t written = bridge.GetBytesWritten();
    const uint8_t zero[1] = {0};
    EXPECT_EQ(LINK_CANCELLED, link.SendPacket(0x31, zero, 1, reply));
    EXPECT_EQ(LINK_CANCELLED, link.ReadOutputRecords());
    EXPECT_EQ(written, bridge.GetBytesWritten());
    EXPECT_TRUE(link.IsCancelRequested());
    link.ClearCancel();
    EXPECT_EQ(LINK_OK, link.SendPacket(0x31, zero, 1, reply));
}

TEST_F(LinkOnSim, CancelWhileWaitingForAReplyOrASeriesEndsAtTheNextPoll)
{
    // The request goes out, then the cancel comes: the slow answer is never awaited.
    ASSERT_TRUE(meter.Faults().SetByName("slow:2000"));
    owner.m_onSent = [this] { link.RequestCancel(); };
    const uint8_t zero[1] = {0};
    const int64_t before = clock.SleptMs();
    EXPECT_EQ(LINK_CANCELLED, link.SendPacket(0x43, zero, 1, reply));
    EXPECT_EQ(50, clock.SleptMs() - before);
    EXPECT_EQ(nullptr, link.m_hDevice);
    owner.m_onSent = nullptr;
    link.ClearCancel();
    meter.Faults().Clear();
    clock.SleepMs(3000);

    // A series cancelled after its header: no rows, the link closed.
    owner.m_onSummary = [this] { link.RequestCancel(); };
    EXPECT_EQ(LINK_CANCELLED, link.ReadOutputRecords());
    EXPECT_TRUE(owner.m_output.size() < meter.GetOutputSeries().size());
    EXPECT_EQ(nullptr, link.m_hDevice);
}

} // namespace
