// The session on the simulated meter, with a driven clock: the jobs run on
// the link's thread while this thread only waits in its event loop.

#include "CManualClock.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "LinkResult.h"
#include "MeterRecords.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace {

int64_t Local(int y, int mo, int d)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

std::vector<CSimMeter::Record> Records(int count)
{
    std::vector<CSimMeter::Record> records;
    for (int i = 0; i < count; ++i)
        records.push_back(CSimMeter::Record::Make(2026, 12, 1 + i / 3600 % 20, i / 60 % 24, i % 60, i % 60,
                                                  100 + i % 1000, i % 3));
    return records;
}

// Everything the sink is told, with the thread that told it.
class CRecordingSink : public IDownloadSink {
public:
    bool BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                       std::string*) override
    {
        calls.push_back("begin");
        this->meter = meter;
        this->request = request;
        thread = QThread::currentThread();
        return true;
    }
    bool SetOutputSummary(const uint8_t* summary, std::string*) override
    {
        calls.push_back("summary");
        announced = summary[0];
        return true;
    }
    bool AddRecords(const std::vector<DownloadedRecord>& batch, std::string* error) override
    {
        calls.push_back("batch");
        if (failFromBatch >= 0 && ++batches > failFromBatch) {
            *error = "디스크가 가득 찼습니다";
            return false;
        }
        for (const DownloadedRecord& r : batch)
            indices.push_back(r.nIndex);
        return true;
    }
    void EndDownload(int result, bool complete) override
    {
        calls.push_back("end");
        endResult = result;
        endComplete = complete;
    }

    std::vector<std::string> calls;
    std::vector<int> indices;
    DownloadMeter meter;
    DownloadRequest request;
    QThread* thread = nullptr;
    int announced = -1;
    int endResult = 1;
    bool endComplete = false;
    int failFromBatch = -1;
    int batches = 0;
};

class SessionTest : public ::testing::Test {
protected:
    SessionTest() : meter(clock), bridge(meter, clock), session(bridge, clock)
    {
        // The bridge is found as the once-a-second poll finds it.
        session.StartDetect();
        session.WaitForIdle(30000);
    }

    SessionResult Run(bool started)
    {
        EXPECT_TRUE(started);
        EXPECT_TRUE(session.WaitForIdle(30000));
        return session.LastResult();
    }
    SessionResult Search()
    {
        std::vector<SessionStep> steps;
        for (uint8_t cmd : {CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_VERSION})
            steps.push_back({MakeReadRequest(cmd), false});
        return Run(session.StartExchange(steps, true));
    }

    CManualClock clock{Local(2026, 12, 20)};
    CSimMeter meter;
    CSimBridge bridge;
    CMeterSession session;
};

TEST_F(SessionTest, MemoryDownloadArrivesInOrderedBatchesWithProgressAndReachesTheSink)
{
    meter.SetStoredRecords(Records(1200));
    CRecordingSink sink;
    session.SetDownloadSink(&sink);
    ASSERT_TRUE(Search().bOpened);
    EXPECT_EQ(session.Meter().strName, "SIM-METER");

    std::vector<int> shown;
    int batches = 0;
    std::vector<DownloadProgress> progress;
    size_t logEntries = 0;
    QObject::connect(&session, &CMeterSession::RecordsArrived, [&](EDownloadKind kind, const auto& batch) {
        EXPECT_EQ(kind, EDownloadKind::Memory);
        EXPECT_LE(int(batch.size()), CMeterSession::kBatchRecords);
        EXPECT_EQ(QThread::currentThread(), session.thread());
        ++batches;
        for (const DownloadedRecord& r : batch)
            shown.push_back(r.nIndex);
    });
    QObject::connect(&session, &CMeterSession::Progress,
                     [&](const DownloadProgress& p) { progress.push_back(p); });
    QObject::connect(&session, &CMeterSession::PacketsLogged,
                     [&](const std::vector<PacketLogEntry>& e) { logEntries += e.size(); });

    const SessionResult r = Run(session.StartMemoryDownload(Local(2026, 12, 1), Local(2026, 12, 31)));
    EXPECT_EQ(r.nResult, LINK_OK) << r.strError;
    EXPECT_TRUE(r.bComplete);
    EXPECT_FALSE(r.bCancelled);
    EXPECT_EQ(r.nRecords, 1200);
    ASSERT_EQ(shown.size(), 1200u);
    for (int i = 0; i < 1200; ++i)
        ASSERT_EQ(shown[i], i);
    EXPECT_GE(batches, 3);
    EXPECT_EQ(session.Records().size(), 1200u);
    // The request, every record frame and the end marker.
    EXPECT_GE(logEntries, 1202u);

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().nRecords, 1200);
    EXPECT_EQ(progress.back().nTotal, -1);
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i].nRecords, progress[i - 1].nRecords);

    // The sink, on the link's thread: the identity of the search, every
    // record once, then the end.
    EXPECT_NE(sink.thread, session.thread());
    EXPECT_EQ(sink.meter.strSerial, "SN250100042");
    EXPECT_EQ(sink.meter.strVersion, "1.05");
    EXPECT_EQ(sink.request.eKind, EDownloadKind::Memory);
    EXPECT_EQ(sink.calls.front(), "begin");
    EXPECT_EQ(sink.calls.back(), "end");
    EXPECT_EQ(sink.indices, shown);
    EXPECT_EQ(sink.endResult, LINK_OK);
    EXPECT_TRUE(sink.endComplete);
}

TEST_F(SessionTest, OutputDownloadKnowsItsTotalAndAFailingSinkStopsNothing)
{
    meter.SetOutputSeries(Records(200));
    CRecordingSink sink;
    sink.failFromBatch = 0;
    session.SetDownloadSink(&sink);
    std::vector<uint8_t> summary;
    QObject::connect(&session, &CMeterSession::OutputSummaryArrived,
                     [&](const std::vector<uint8_t>& s) { summary = s; });
    int lastTotal = 0;
    QObject::connect(&session, &CMeterSession::Progress,
                     [&](const DownloadProgress& p) { lastTotal = p.nTotal; });

    const SessionResult r = Run(session.StartOutputDownload());
    EXPECT_EQ(r.nResult, LINK_OK) << r.strError;
    EXPECT_EQ(r.nRecords, 200);
    EXPECT_TRUE(r.bComplete);
    EXPECT_EQ(session.Records().size(), 200u);
    ASSERT_EQ(summary.size(), size_t(OUTPUT_SUMMARY_LEN));
    EXPECT_EQ(summary[0], 200);
    EXPECT_EQ(lastTotal, 200);
    EXPECT_EQ(sink.announced, 200);
    // The sink refused the first batch: it hears nothing more but the end,
    // and its error reaches whoever started the download.
    EXPECT_EQ(r.strSinkError, "디스크가 가득 찼습니다");
    EXPECT_EQ(std::count(sink.calls.begin(), sink.calls.end(), "batch"), 1);
    EXPECT_EQ(sink.calls.back(), "end");
}

TEST_F(SessionTest, CancelledDownloadKeepsWhatCameAndTellsTheSinkItIsIncomplete)
{
    meter.SetStoredRecords(Records(3000));
    CRecordingSink sink;
    session.SetDownloadSink(&sink);
    // The user stops the stream once some rows are there: at a known pause of
    // the link's thread (about a second of the wire), since with a driven
    // clock the whole stream may be read before a queued signal is seen.
    int pauses = 0;
    clock.SetSleepHook([&](int) {
        if (++pauses == 20)
            session.RequestCancel();
    });
    const SessionResult r = Run(session.StartMemoryDownload(Local(2026, 12, 1), Local(2026, 12, 31)));
    clock.SetSleepHook(nullptr);
    EXPECT_TRUE(r.bCancelled);
    EXPECT_EQ(r.nResult, LINK_CANCELLED);
    EXPECT_FALSE(r.bComplete);
    EXPECT_GT(r.nRecords, 0);
    EXPECT_LT(r.nRecords, 3000);
    EXPECT_EQ(int(session.Records().size()), r.nRecords);
    EXPECT_EQ(int(sink.indices.size()), r.nRecords);
    EXPECT_EQ(sink.endResult, LINK_CANCELLED);
    EXPECT_FALSE(sink.endComplete);

    // The next job starts with the request cleared.
    const SessionResult again = Run(session.StartRequest(MakeReadRequest(CMD_READ_NAME)));
    EXPECT_EQ(again.nResult, LINK_OK) << again.strError;
    EXPECT_FALSE(again.bCancelled);
}

TEST_F(SessionTest, OneJobAtATimeAndExchangesStopAtTheFirstFailure)
{
    std::vector<ESessionJob> started;
    QObject::connect(&session, &CMeterSession::JobStarted, [&](ESessionJob j) { started.push_back(j); });
    ASSERT_TRUE(session.StartDetect());
    EXPECT_TRUE(session.IsBusy());
    EXPECT_EQ(session.CurrentJob(), ESessionJob::Detect);
    EXPECT_FALSE(session.StartOutputDownload());
    EXPECT_FALSE(session.StartRequest(MakeReadRequest(CMD_READ_NAME)));
    ASSERT_TRUE(session.WaitForIdle(30000));
    EXPECT_TRUE(session.LastResult().bFound);
    EXPECT_EQ(started, std::vector<ESessionJob>{ESessionJob::Detect});

    // A silent meter: the first step times out and the ones after it that
    // must not be sent alone are not.
    meter.Faults().SetByName("no-reply");
    const SessionResult r = Run(session.StartExchange(
        {{MakeReadRequest(CMD_READ_NAME), true}, {MakeReadRequest(CMD_READ_CLOCK), true}}, true));
    ASSERT_EQ(r.steps.size(), 1u);
    EXPECT_EQ(r.steps[0].nResult, LINK_READ_FAILED);
    EXPECT_EQ(r.nResult, LINK_READ_FAILED);
    EXPECT_EQ(r.strError, LinkResultText(LINK_READ_FAILED));
    // The request went out: its frame is the last exchange.
    ASSERT_GE(r.exchange.tx.size(), 3u);
    EXPECT_EQ(r.exchange.tx[2], CMD_READ_NAME);

    // The result reaches its receiver only while the receiver lives.
    meter.Faults().Clear();
    bool called = false;
    {
        QObject receiver;
        ASSERT_TRUE(session.StartDetect(&receiver, [&](const SessionResult&) { called = true; }));
    }
    ASSERT_TRUE(session.WaitForIdle(30000));
    EXPECT_FALSE(called);
}

TEST_F(SessionTest, FirmwareUploadStopsBetweenPiecesWhenCancelled)
{
    std::vector<uint8_t> image(10 * 1024 + 2, 0x5A);
    image[0] = 0x33;
    image[1] = 0x55;
    std::vector<int> values;
    QObject::connect(&session, &CMeterSession::FirmwareProgress,
                     [&](int value, double) { values.push_back(value); });
    // The user stops it in the pause before the third piece: that piece
    // still goes whole, the fourth does not.
    int pauses = 0;
    clock.SetSleepHook([&](int ms) {
        if (ms == 100 && ++pauses == 4)
            session.RequestCancel();
    });
    const SessionResult r = Run(session.StartFirmwareUpload(image));
    clock.SetSleepHook(nullptr);
    EXPECT_EQ(r.eFirmware, EFirmwareOutcome::Cancelled);
    EXPECT_TRUE(r.bCancelled);
    EXPECT_EQ(r.nPiecesSent, 3);
    EXPECT_EQ(meter.GetFirmwareChunks(), 3);
    ASSERT_GE(values.size(), 4u);
    EXPECT_EQ((std::vector<int>{values[0], values[1], values[2], values[3]}),
              (std::vector<int>{5, 10, 15, 20}));

    // Uncancelled, every piece goes and the version is read again after.
    const SessionResult whole = Run(session.StartFirmwareUpload(image));
    EXPECT_EQ(whole.eFirmware, EFirmwareOutcome::Done);
    EXPECT_EQ(whole.nPiecesSent, 10);
    EXPECT_EQ(whole.strVersionAfter, "1.05");

    // Without a head marker nothing is sent at all.
    const SessionResult none = Run(session.StartFirmwareUpload({0x00, 0x01, 0x02}));
    EXPECT_EQ(none.eFirmware, EFirmwareOutcome::NoImage);
}

}   // namespace
