// The link talking to the simulated meter across a real pseudo-terminal:
// CFt260 over the serial-port bridge on the slave side, the meter served on
// the master side by CPtyMeterServer on its own thread, in real time.
//
// Every test also holds the link's packet log against what the server saw
// on its side of the line: the bytes the link logs as sent are exactly the
// bytes the meter read, and the bytes it logs as received are exactly the
// bytes the meter wrote, so nothing is lost, doubled or invented on the way.

#include "CFt260.h"
#include "CPtyMeterServer.h"
#include "CSystemClock.h"
#include "CTrafficOwner.h"
#include "CTtyBridgeLibrary.h"
#include "MeterCommands.h"
#include "MeterRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class PtyMeterLink : public ::testing::Test {
protected:
    void Serve(const CSimMeter::Setup& setup)
    {
        m_pServer = std::make_unique<CPtyMeterServer>(setup);
        m_pServer->SetKeepTranscript(true);
        std::string error;
        ASSERT_TRUE(m_pServer->OpenPty(&error)) << error;
        ASSERT_TRUE(m_pServer->Start());
        m_pLibrary = CTtyBridgeLibrary::ForFixedPort(m_pServer->GetPath());
        m_pLink = std::make_unique<CFt260>(*m_pLibrary, m_clock);
        m_pLink->m_pOwner = &m_owner;
    }

    void TearDown() override
    {
        m_pLink.reset();   // closes the slave before the meter goes
        m_pServer.reset();
    }

    void SearchDevice()
    {
        ASSERT_EQ(m_pServer->GetPath(), m_pLink->FindDevice());
        ASSERT_NE(nullptr, m_pLink->Open()) << m_pLink->GetErrorText();
        ASSERT_EQ(LINK_OK, m_pLink->m_nResult);
    }

    std::vector<CSimMeter::Record> StoredRecords()
    {
        std::vector<CSimMeter::Record> records;
        m_pServer->WithMeter([&](CSimMeter& meter) { records = meter.GetStoredRecords(); });
        return records;
    }

    void ExpectTrafficMatchesTheLine()
    {
        EXPECT_EQ(m_pServer->GetBytesRead(), m_owner.Sent());
        EXPECT_EQ(m_pServer->GetBytesWritten(), m_owner.Received());
    }

    // A download of every stored record: from well before the oldest up to today.
    int DownloadAll(int days, int* count)
    {
        const int64_t now = m_clock.NowSeconds();
        return m_pLink->ReadMemoryRecords(now - int64_t(days + 2) * 86400, now, count);
    }

    CSystemClock m_clock;
    CTrafficOwner m_owner;
    std::unique_ptr<CPtyMeterServer> m_pServer;
    std::unique_ptr<CTtyBridgeLibrary> m_pLibrary;
    std::unique_ptr<CFt260> m_pLink;
};

TEST_F(PtyMeterLink, DeviceSearchReadsTheIdentity)
{
    CSimMeter::Setup setup;
    setup.strName = "PTY-TEST";
    setup.strSerial = "SN99887766";
    setup.strVersion = "2.31";
    setup.nRecordCount = 0;
    Serve(setup);
    SearchDevice();

    uint8_t reply[REPLY_BUFFER_LEN];
    ASSERT_EQ(LINK_OK, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_NAME), reply))
        << m_pLink->GetErrorText();
    EXPECT_EQ("PTY-TEST ", DecodeTextReply(reply, NAME_FIELD_LEN));
    ASSERT_EQ(LINK_OK, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_SERIAL), reply));
    EXPECT_EQ("SN99887766 ", SerialNumberText(reply));
    ASSERT_EQ(LINK_OK, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_VERSION), reply));
    EXPECT_EQ("2.31", DecodeTextReply(reply, VERSION_FIELD_LEN));

    // Three requests of 6 bytes, three whole replies, nothing else either way.
    EXPECT_EQ(18u, m_owner.Sent().size());
    EXPECT_EQ(14u + 16u + 9u, m_owner.Received().size());
    ExpectTrafficMatchesTheLine();
}

TEST_F(PtyMeterLink, MemoryDownloadBringsEveryRecordAtTheLinesPace)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 300;
    setup.nRecordDays = 60;
    setup.nRecordSeed = 11;
    Serve(setup);
    SearchDevice();

    int count = -1;
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(LINK_OK, DownloadAll(setup.nRecordDays, &count)) << m_pLink->GetErrorText();
    const double elapsed = SecondsSince(start);

    const std::vector<CSimMeter::Record> stored = StoredRecords();
    ASSERT_EQ(300u, stored.size());
    ASSERT_EQ(300, count);
    ASSERT_EQ(stored.size(), m_owner.m_memory.size());
    EXPECT_FALSE(m_owner.m_bIndexOutOfOrder);
    for (size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(stored[i].Encode(), m_owner.m_memory[i]) << "record " << i;

    // 301 frames of 15 bytes cannot cross a 115200-baud line faster than
    // their wire time; a meter that dumped them at once would finish early.
    const double wire = double(CPtyMeterServer::WireTimeNs(301 * 15)) / 1e9;
    EXPECT_GE(elapsed, wire * 0.95);
    EXPECT_LT(elapsed, wire + 1.0);
    ExpectTrafficMatchesTheLine();
    EXPECT_NE(nullptr, m_pLink->m_hDevice);
}

TEST_F(PtyMeterLink, OutputDownloadBringsTheSummaryAndTheSeries)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 0;
    setup.nSeriesCount = 12;
    setup.nSeriesSeed = 5;
    Serve(setup);
    SearchDevice();

    ASSERT_EQ(LINK_OK, m_pLink->ReadOutputRecords()) << m_pLink->GetErrorText();

    std::vector<CSimMeter::Record> series;
    m_pServer->WithMeter([&](CSimMeter& meter) { series = meter.GetOutputSeries(); });
    ASSERT_EQ(12u, series.size());
    ASSERT_EQ(9u, m_owner.m_summary.size());
    const OutputSummary summary = DecodeOutputSummary(m_owner.m_summary.data());
    EXPECT_EQ(12, summary.nCount);
    const auto [lo, hi] = std::minmax_element(
        series.begin(), series.end(),
        [](const CSimMeter::Record& a, const CSimMeter::Record& b) { return a.nForce < b.nForce; });
    EXPECT_EQ(lo->nForce * 10, summary.nMinimum);   // the summary counts in 0.01 kN
    EXPECT_EQ(hi->nForce * 10, summary.nMaximum);

    ASSERT_EQ(series.size(), m_owner.m_output.size());
    EXPECT_FALSE(m_owner.m_bIndexOutOfOrder);
    for (size_t i = 0; i < series.size(); ++i)
        EXPECT_EQ(series[i].Encode(), m_owner.m_output[i]) << "record " << i;
    ExpectTrafficMatchesTheLine();
}

TEST_F(PtyMeterLink, ReplyCutShortTimesOutClosesAndTheNextRequestReopens)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 0;
    Serve(setup);
    SearchDevice();
    ASSERT_TRUE(m_pServer->SetFaults("cut-short"));

    uint8_t reply[REPLY_BUFFER_LEN];
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(LINK_READ_FAILED, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_NAME), reply));
    EXPECT_LT(SecondsSince(start), 4.0);
    EXPECT_EQ(nullptr, m_pLink->m_hDevice);
    EXPECT_TRUE(m_pLink->m_strOpenPath.empty());
    EXPECT_EQ(std::vector<uint8_t>(REPLY_BUFFER_LEN, 0),
              std::vector<uint8_t>(reply, reply + REPLY_BUFFER_LEN));
    // The half frame that did come is read and logged, not lost.
    EXPECT_EQ(7u, m_owner.Received().size());
    ExpectTrafficMatchesTheLine();

    // The PC closed its side; the meter keeps serving, and the next request
    // opens the port again.
    m_pServer->ClearFaults();
    ASSERT_EQ(LINK_OK, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_NAME), reply))
        << m_pLink->GetErrorText();
    EXPECT_EQ("SIM-METER", DecodeTextReply(reply, NAME_FIELD_LEN));
    EXPECT_NE(nullptr, m_pLink->m_hDevice);
    ExpectTrafficMatchesTheLine();
}

TEST_F(PtyMeterLink, MeterVanishingMidStreamEndsTheDownloadWithAFailureAndKeepsWhatCame)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 300;
    setup.nRecordDays = 60;
    Serve(setup);
    SearchDevice();
    // 100 whole frames and half of the next, then the line goes dead.
    m_pServer->VanishAfter(100 * 15 + 7, 300);

    int count = -1;
    const Clock::time_point start = Clock::now();
    const int result = DownloadAll(setup.nRecordDays, &count);
    const double elapsed = SecondsSince(start);

    // A hung-up line fails the queue query (-1092); a kernel that still
    // counted the half frame as waiting would end through the idle limit.
    EXPECT_TRUE(result == LINK_READ_FAILED || result == LINK_TIMEOUT) << "result " << result;
    EXPECT_NE(LINK_OK, m_pLink->m_nResult);
    EXPECT_LT(elapsed, 3.5);
    EXPECT_EQ(CPtyMeterServer::END_VANISHED, m_pServer->Join());

    const std::vector<CSimMeter::Record> stored = StoredRecords();
    ASSERT_EQ(100, count);
    ASSERT_EQ(100u, m_owner.m_memory.size());
    for (size_t i = 0; i < m_owner.m_memory.size(); ++i)
        ASSERT_EQ(stored[i].Encode(), m_owner.m_memory[i]) << "record " << i;

    // Every whole frame the meter sent reached the log; the half frame died
    // with the line.
    EXPECT_EQ(m_pServer->GetBytesRead(), m_owner.Sent());
    const std::vector<uint8_t> written = m_pServer->GetBytesWritten();
    ASSERT_EQ(100u * 15 + 7, written.size());
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.begin() + 1500), m_owner.Received());

    // The meter is gone: the next request fails instead of waiting.
    uint8_t reply[REPLY_BUFFER_LEN];
    EXPECT_LE(SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_NAME), reply), -1);
    EXPECT_TRUE(m_pLink->FindDevice().empty());
}

TEST_F(PtyMeterLink, EndlessStreamRunsUntilCancelledFromAnotherThread)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 20;
    Serve(setup);
    SearchDevice();
    ASSERT_TRUE(m_pServer->SetFaults("endless-stream"));

    // 20 records take 26 ms on the line; a second later the meter is still
    // sending, and only the cancel ends the download.
    int count = -1;
    int result = 0;
    std::thread download([&] { result = DownloadAll(setup.nRecordDays, &count); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    m_pLink->RequestCancel();
    const Clock::time_point cancelled = Clock::now();
    download.join();
    EXPECT_LT(SecondsSince(cancelled), 0.5);
    EXPECT_EQ(LINK_CANCELLED, result);
    // More than the meter holds: the stream went on until the cancel.
    EXPECT_GT(count, setup.nRecordCount);
    EXPECT_EQ(nullptr, m_pLink->m_hDevice);

    m_pServer->ClearFaults();
    m_pLink->ClearCancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    uint8_t reply[REPLY_BUFFER_LEN];
    ASSERT_EQ(LINK_OK, SendMeterRequest(*m_pLink, MakeReadRequest(CMD_READ_NAME), reply))
        << m_pLink->GetErrorText();
    EXPECT_EQ("SIM-METER", DecodeTextReply(reply, NAME_FIELD_LEN));
}

} // namespace
