// Downloads kept by the archive as the program keeps them: the session on the
// simulated meter hands every batch to a CArchiveSink over a real SQLite file,
// and the archive is read back afterwards through its own connection.

#include "ArchiveTestSupport.h"
#include "CArchiveSink.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSqliteArchive.h"
#include "LinkResult.h"
#include "MeterTime.h"

#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

int64_t LocalMidnight(int y, int mo, int d)
{
    MeterDateTime when;
    when.nYear = y;
    when.nMonth = mo;
    when.nDay = d;
    int64_t t = 0;
    MeterDateTimeToTime(when, &t);
    return t;
}

using RecordKey = std::tuple<int64_t, int, int>;   // stored time, raw force, cell type

RecordKey KeyOf(const CSimMeter::Record& r)
{
    return {StoredTimeOf(r.nYear, r.nMonth, r.nDay, r.nHour, r.nMinute, r.nSecond), r.nForce, r.nCellType};
}

// The sink on an archive whose file may grow by a few pages only, like a
// nearly full disk. The limit belongs to the connection, and a connection
// serves the thread that opened it, so the archive is opened at the start
// of each download, on the link's thread.
class CSmallDiskSink : public IDownloadSink {
public:
    CSmallDiskSink(std::string path, int sparePages) : m_strPath(std::move(path)), m_nSpare(sparePages) {}

    bool BeginDownload(const DownloadMeter& meter, const DownloadRequest& request, std::string* error) override
    {
        m_pArchive = std::make_unique<CSqliteArchive>();
        if (m_pArchive->Open(m_strPath, false) != EArchiveOpen::Ok)
            return false;
        QSqlQuery q(m_pArchive->Database());
        if (!q.exec("PRAGMA page_count") || !q.next())
            return false;
        const int pages = q.value(0).toInt();
        if (!q.exec(QString("PRAGMA max_page_count = %1").arg(pages + m_nSpare)))
            return false;
        q.finish();
        m_pSink = std::make_unique<CArchiveSink>(*m_pArchive);
        return m_pSink->BeginDownload(meter, request, error);
    }
    bool SetOutputSummary(const uint8_t* summary, std::string* error) override
    {
        return m_pSink->SetOutputSummary(summary, error);
    }
    bool AddRecords(const std::vector<DownloadedRecord>& batch, std::string* error) override
    {
        return m_pSink->AddRecords(batch, error);
    }
    void EndDownload(int result, bool complete) override
    {
        m_pSink->EndDownload(result, complete);
        m_pSink->LastDownload(&m_last);
        m_pSink.reset();
        m_pArchive.reset();
    }

    ArchiveDownload m_last;

private:
    std::string m_strPath;
    int m_nSpare = 0;
    std::unique_ptr<CSqliteArchive> m_pArchive;
    std::unique_ptr<CArchiveSink> m_pSink;
};

class ArchivedDownloadTest : public ::testing::Test {
protected:
    ArchivedDownloadTest()
        : clock(kArchiveTestNow), meter(clock), bridge(meter, clock), session(bridge, clock),
          sink(CSqliteArchive::ArchivePath(folder.Path()))
    {
        // The program's own connection makes the file; the sink opens its own.
        EXPECT_EQ(archive.Open(CSqliteArchive::ArchivePath(folder.Path())), EArchiveOpen::Created);
        session.SetDownloadSink(&sink);
        session.StartDetect();
        session.WaitForIdle(30000);
    }

    SessionResult Run(bool started)
    {
        EXPECT_TRUE(started);
        EXPECT_TRUE(session.WaitForIdle(60000));
        return session.LastResult();
    }
    void Search()
    {
        std::vector<SessionStep> steps;
        for (uint8_t cmd : {CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_VERSION})
            steps.push_back({MakeReadRequest(cmd), false});
        ASSERT_TRUE(Run(session.StartExchange(steps, true)).bOpened);
    }
    SessionResult DownloadAll()
    {
        return Run(session.StartMemoryDownload(LocalMidnight(2000, 1, 1), kArchiveTestNow));
    }
    std::vector<ArchiveRecord> Archived(EDownloadKind source)
    {
        ArchiveMeter m;
        if (!archive.FindMeter(TestMeter(), &m))
            return {};
        std::vector<ArchiveRecord> out;
        for (const ArchiveRecord& r : archive.Records(m.nId))
            if (r.eSource == source)
                out.push_back(r);
        return out;
    }
    ArchiveDownload Last()
    {
        ArchiveDownload d;
        EXPECT_TRUE(sink.LastDownload(&d));
        return d;
    }

    CArchiveTestFolder folder;
    CManualClock clock;
    CSimMeter meter;
    CSimBridge bridge;
    CMeterSession session;
    CArchiveSink sink;
    CSqliteArchive archive;
};

TEST_F(ArchivedDownloadTest, BothStreamsComeBackAsTheMeterSentThemAndARepeatAddsNothing)
{
    const SimRecords sim = MakeSimRecords(150, 20);
    meter.SetStoredRecords(sim.stored);
    meter.SetOutputSeries(sim.series);
    Search();

    const SessionResult memory = DownloadAll();
    ASSERT_EQ(memory.nResult, LINK_OK) << memory.strError;
    EXPECT_TRUE(memory.strSinkError.empty()) << memory.strSinkError;
    EXPECT_EQ(Last().nNew, 150);
    const SessionResult output = Run(session.StartOutputDownload());
    ASSERT_EQ(output.nResult, LINK_OK) << output.strError;
    EXPECT_EQ(Last().nNew, 20);
    EXPECT_TRUE(Last().bComplete);

    for (const auto& [source, expected] :
         {std::pair{EDownloadKind::Memory, sim.stored}, std::pair{EDownloadKind::Output, sim.series}}) {
        const std::vector<ArchiveRecord> kept = Archived(source);
        std::vector<RecordKey> got, want;
        for (const ArchiveRecord& r : kept)
            got.emplace_back(r.nStoredTime, r.nRawForce, r.nCellType);
        for (const CSimMeter::Record& r : expected)
            want.push_back(KeyOf(r));
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << (source == EDownloadKind::Memory ? "MEMORY" : "OUTPUT");
    }

    // The same two downloads again, as on the next day at the same meter:
    // every record is known, nothing is stored twice.
    DownloadAll();
    EXPECT_EQ(Last().nNew, 0);
    EXPECT_EQ(Last().nKnown, 150);
    Run(session.StartOutputDownload());
    EXPECT_EQ(Last().nNew, 0);
    EXPECT_EQ(Last().nKnown, 20);
    EXPECT_EQ(Archived(EDownloadKind::Memory).size(), 150u);
    EXPECT_EQ(Archived(EDownloadKind::Output).size(), 20u);
}

TEST_F(ArchivedDownloadTest, IdenticalTwinsInOneDownloadAreBothKept)
{
    // Two measurements in the same second with the same force: the meter
    // stores both, and so does the archive; a repeat brings neither again.
    meter.SetStoredRecords({SimRec(2025, 12, 1, 9, 0, 0, 500, 0), SimRec(2025, 12, 1, 9, 0, 0, 500, 0),
                            SimRec(2025, 12, 1, 9, 0, 1, 500, 0)});
    Search();
    DownloadAll();
    EXPECT_EQ(Last().nNew, 3);
    const std::vector<ArchiveRecord> kept = Archived(EDownloadKind::Memory);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(std::count_if(kept.begin(), kept.end(), [](const ArchiveRecord& r) { return r.nOccurrence == 2; }),
              1);
    DownloadAll();
    EXPECT_EQ(Last().nKnown, 3);
    EXPECT_EQ(Archived(EDownloadKind::Memory).size(), 3u);
}

TEST_F(ArchivedDownloadTest, InterruptedDownloadKeepsItsRowsAndIsMarkedIncomplete)
{
    meter.SetStoredRecords(MakeSimRecords(3000, 0).stored);
    Search();
    QObject::connect(&session, &CMeterSession::RecordsArrived,
                     [&](EDownloadKind, const auto&) { session.RequestCancel(); });
    const SessionResult r = DownloadAll();
    ASSERT_TRUE(r.bCancelled);
    ASSERT_GT(r.nRecords, 0);
    ASSERT_LT(r.nRecords, 3000);

    const ArchiveDownload d = Last();
    EXPECT_TRUE(d.bEnded);
    EXPECT_FALSE(d.bComplete);
    EXPECT_EQ(d.nReceived, r.nRecords);
    EXPECT_EQ(int(Archived(EDownloadKind::Memory).size()), r.nRecords);
    // The downloads list marks it for the archive window.
    ArchiveMeter m;
    ASSERT_TRUE(archive.FindMeter(TestMeter(), &m));
    const std::vector<ArchiveDownload> downloads = archive.Downloads(m.nId);
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_FALSE(downloads[0].bComplete);
}

TEST_F(ArchivedDownloadTest, NewRecordsOnlyAsksFromTheNewestArchivedDayAndStoresOnlyNewRows)
{
    // The archive holds the meter's memory up to 2025-11-20; since then the
    // meter stored two more records on that day and three on later days.
    const std::vector<CSimMeter::Record> old = {SimRec(2025, 11, 2, 8, 0, 0), SimRec(2025, 11, 20, 7, 0, 0)};
    meter.SetStoredRecords(old);
    Search();
    DownloadAll();
    ASSERT_EQ(Last().nNew, 2);
    std::vector<CSimMeter::Record> now = old;
    for (const CSimMeter::Record& r : {SimRec(2025, 11, 20, 18, 0, 0), SimRec(2025, 11, 20, 19, 0, 0),
                                       SimRec(2025, 11, 28, 9, 0, 0), SimRec(2025, 12, 3, 9, 0, 0),
                                       SimRec(2025, 12, 6, 10, 0, 0)})
        now.push_back(r);
    meter.SetStoredRecords(now);

    // The main window's "새 기록 받기": the start the archive gives, to today.
    const int64_t from = archive.NewRecordsStart(session.Meter(), LocalMidnight(2000, 1, 1), kArchiveTestNow);
    EXPECT_EQ(from, LocalMidnight(2025, 11, 20));
    std::vector<std::vector<uint8_t>> written;
    QObject::connect(&session, &CMeterSession::PacketsLogged, [&](const std::vector<PacketLogEntry>& entries) {
        for (const PacketLogEntry& e : entries)
            if (e.nDirection == 0)
                written.push_back(e.bytes);
    });
    const SessionResult r = Run(session.StartMemoryDownload(from, kArchiveTestNow));
    ASSERT_EQ(r.nResult, LINK_OK) << r.strError;

    // On the wire: 02 08 35 YH YL MM DD 00 00 00 check 03, from 2025-11-20 00:00:00.
    ASSERT_EQ(written.size(), 1u);
    const std::vector<uint8_t> expected = {0x02, 0x08, 0x35, 0x07, 0xE9, 11, 20, 0, 0, 0};
    ASSERT_EQ(written[0].size(), 12u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), written[0].begin()));
    EXPECT_EQ(r.nRecords, 6);
    EXPECT_EQ(Last().nNew, 5);
    EXPECT_EQ(Last().nKnown, 1);
    EXPECT_EQ(Archived(EDownloadKind::Memory).size(), 7u);
}

TEST(ArchivedDownloadFullDisk, BatchesTheDiskCannotTakeAreReportedAndTheRowsStillArrive)
{
    CArchiveTestFolder folder;
    CManualClock clock(kArchiveTestNow);
    CSimMeter meter(clock);
    CSimBridge bridge(meter, clock);
    const std::string path = CSqliteArchive::ArchivePath(folder.Path());
    {
        CSqliteArchive made;
        ASSERT_EQ(made.Open(path), EArchiveOpen::Created);
    }
    meter.SetStoredRecords(MakeSimRecords(4000, 0, 5).stored);
    CSmallDiskSink sink(path, 6);
    CMeterSession session(bridge, clock);
    session.SetDownloadSink(&sink);
    session.StartDetect();
    ASSERT_TRUE(session.WaitForIdle(30000));
    ASSERT_TRUE(session.StartMemoryDownload(LocalMidnight(2000, 1, 1), kArchiveTestNow));
    ASSERT_TRUE(session.WaitForIdle(60000));
    const SessionResult r = session.LastResult();

    EXPECT_EQ(r.nResult, LINK_OK) << r.strError;
    EXPECT_EQ(r.nRecords, 4000);   // the window gets every row
    EXPECT_EQ(session.Records().size(), 4000u);
    EXPECT_NE(r.strSinkError.find("디스크 공간이 부족"), std::string::npos) << r.strSinkError;
    EXPECT_FALSE(sink.m_last.bComplete);
    EXPECT_LT(sink.m_last.nReceived, 4000);
}

}  // namespace
