// Downloads kept by the archive: what is stored, what counts as known, and
// where a "new records only" download starts.

#include "ArchiveTestSupport.h"
#include "CArchiveSink.h"
#include "CSqliteArchive.h"
#include "MeterTime.h"

#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

namespace {

int64_t StoredTimeOfSim(const CSimMeter::Record& r)
{
    return StoredTimeOf(r.nYear, r.nMonth, r.nDay, r.nHour, r.nMinute, r.nSecond);
}

int64_t Midnight(int y, int mo, int d)
{
    MeterDateTime when;
    when.nYear = y;
    when.nMonth = mo;
    when.nDay = d;
    int64_t t = 0;
    MeterDateTimeToTime(when, &t);
    return t;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_archive.Open(m_folder / "archive.sqlite"), EArchiveOpen::Created);
    }
    int64_t MeterId(const DownloadMeter& meter = TestMeter())
    {
        ArchiveMeter m;
        return m_archive.FindMeter(meter, &m) ? m.nId : 0;
    }
    ArchiveDownload LastDownload(CArchiveSink& sink)
    {
        ArchiveDownload d;
        EXPECT_TRUE(sink.LastDownload(&d));
        return d;
    }

    CArchiveTestFolder m_folder;
    CSqliteArchive m_archive;
};

TEST_F(ArchiveTest, StoredRecordsAndSeriesComeBackAsTheMeterSentThem)
{
    const SimRecords sim = MakeSimRecords(150, 20);
    CArchiveSink sink(m_archive);
    EXPECT_EQ(FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(sim.stored)).nBatchesKept, 3);
    ArchiveDownload memory = LastDownload(sink);
    EXPECT_TRUE(memory.bEnded && memory.bComplete);
    EXPECT_EQ(memory.nResult, 0);
    EXPECT_EQ(memory.nReceived, 150);
    EXPECT_EQ(memory.nNew + memory.nKnown, 150);
    EXPECT_EQ(memory.strStation, m_archive.StationId());
    EXPECT_EQ(sink.LastSummaryText(),
              "새 기록 " + std::to_string(memory.nNew) + "건, 이미 보관된 기록 " +
                  std::to_string(memory.nKnown) + "건");

    FeedDownload(sink, TestMeter(), EDownloadKind::Output, ToDownloaded(sim.series));
    const ArchiveDownload output = LastDownload(sink);
    EXPECT_EQ(output.eKind, EDownloadKind::Output);
    EXPECT_EQ(output.nNew, 20);

    // Each record, with its source, as a multiset of its fields.
    std::multiset<std::tuple<int, int64_t, int, int>> expected, stored;
    for (const auto& r : sim.stored)
        expected.insert({0, StoredTimeOfSim(r), r.nForce, r.nCellType});
    for (const auto& r : sim.series)
        expected.insert({1, StoredTimeOfSim(r), r.nForce, r.nCellType});
    const int64_t meterId = MeterId();
    for (const ArchiveRecord& r : m_archive.Records(meterId))
        stored.insert({r.eSource == EDownloadKind::Output ? 1 : 0, r.nStoredTime, r.nRawForce, r.nCellType});
    EXPECT_EQ(stored, expected);

    const std::vector<ArchiveMeter> meters = m_archive.Meters();
    ASSERT_EQ(meters.size(), 1u);
    EXPECT_EQ(meters[0].strSerial, "SN250100042");
    EXPECT_EQ(meters[0].strName, "SIM-METER");
    EXPECT_EQ(meters[0].nRecordCount, int64_t(expected.size()));
    EXPECT_EQ(m_archive.Downloads(meterId).size(), 2u);

    // The series summary as the meter gave it and as computed from its records.
    QSqlQuery q(m_archive.Database());
    ASSERT_TRUE(q.exec("SELECT meter_count, meter_average, computed_count, computed_minimum,"
                       " computed_maximum, computed_average FROM series") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 20);
    EXPECT_EQ(q.value(1).toInt(), 0x04D2);
    EXPECT_EQ(q.value(2).toInt(), 20);
    int lo = 65535, hi = 0;
    double sum = 0;
    for (const auto& r : sim.series) {
        lo = std::min<int>(lo, r.nForce);
        hi = std::max<int>(hi, r.nForce);
        sum += r.nForce;
    }
    EXPECT_EQ(q.value(3).toInt(), lo * 10);
    EXPECT_EQ(q.value(4).toInt(), hi * 10);
    EXPECT_EQ(q.value(5).toLongLong(), std::llround(sum / 20 * 10));
}

TEST_F(ArchiveTest, RecordsAlreadyArchivedAreCountedKnownAndNotStoredTwice)
{
    const std::vector<DownloadedRecord> all = ToDownloaded(MakeSimRecords(150, 0).stored);
    const std::vector<DownloadedRecord> first(all.begin(), all.begin() + 100);
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, first);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, all, -1, 7);
    const ArchiveDownload second = LastDownload(sink);
    EXPECT_EQ(second.nReceived, 150);
    EXPECT_EQ(second.nNew, 50);
    EXPECT_EQ(second.nKnown, 100);
    EXPECT_EQ(m_archive.Records(MeterId()).size(), 150u);

    // The same records from another meter are that meter's own.
    FeedDownload(sink, TestMeter("SN999"), EDownloadKind::Memory, all);
    EXPECT_EQ(LastDownload(sink).nNew, 150);
    EXPECT_EQ(m_archive.Records(MeterId()).size(), 150u);
}

TEST_F(ArchiveTest, IdenticalRecordsInOneDownloadAreBothKeptOnce)
{
    std::vector<CSimMeter::Record> records = MakeSimRecords(10, 0).stored;
    records.insert(records.begin() + 5, records[4]);   // the meter holds a twin
    records.push_back(records[4]);                     // and a third copy, later on
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(records), -1, 3);
    EXPECT_EQ(LastDownload(sink).nNew, 12);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(records));
    EXPECT_EQ(LastDownload(sink).nNew, 0);
    EXPECT_EQ(LastDownload(sink).nKnown, 12);

    const std::vector<ArchiveRecord> stored = m_archive.Records(MeterId());
    ASSERT_EQ(stored.size(), 12u);
    const int64_t twin = StoredTimeOfSim(records[4]);
    std::vector<int> occurrences;
    for (const ArchiveRecord& r : stored)
        if (r.nStoredTime == twin && r.nRawForce == records[4].nForce)
            occurrences.push_back(r.nOccurrence);
    std::sort(occurrences.begin(), occurrences.end());
    EXPECT_EQ(occurrences, (std::vector<int>{1, 2, 3}));
}

TEST_F(ArchiveTest, BrokenOffDownloadKeepsWhatArrivedAndIsMarkedIncomplete)
{
    const std::vector<DownloadedRecord> all = ToDownloaded(MakeSimRecords(150, 0).stored);
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, all, 120);
    ArchiveDownload d = LastDownload(sink);
    EXPECT_TRUE(d.bEnded);
    EXPECT_FALSE(d.bComplete);
    EXPECT_EQ(d.nResult, -1090);
    EXPECT_EQ(d.nReceived, 120);
    EXPECT_EQ(m_archive.Records(MeterId()).size(), 120u);

    // The program dies mid-stream: the sink's own connection goes without
    // ending the download; every batch it had taken stays.
    {
        CArchiveSink dying(m_archive.Path());
        DownloadRequest request;
        request.tStarted = kArchiveTestNow + 60;
        std::string error;
        ASSERT_TRUE(dying.BeginDownload(TestMeter("SN-DEAD"), request, &error)) << error;
        ASSERT_TRUE(dying.AddRecords({all.begin(), all.begin() + 50}, &error));
        ASSERT_TRUE(dying.AddRecords({all.begin() + 50, all.begin() + 80}, &error));
    }
    const std::vector<ArchiveDownload> downloads = m_archive.Downloads(MeterId(TestMeter("SN-DEAD")));
    ASSERT_EQ(downloads.size(), 1u);
    EXPECT_FALSE(downloads[0].bEnded);
    EXPECT_FALSE(downloads[0].bComplete);
    EXPECT_EQ(downloads[0].nReceived, 80);
    EXPECT_EQ(m_archive.Records(MeterId(TestMeter("SN-DEAD"))).size(), 80u);
}

TEST_F(ArchiveTest, MeterWithoutSerialIsKeptUnderItsName)
{
    const std::vector<DownloadedRecord> records = ToDownloaded(MakeSimRecords(5, 0).stored);
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter("-", "METER-A"), EDownloadKind::Memory, records);
    FeedDownload(sink, TestMeter("-", "METER-B"), EDownloadKind::Memory, records);
    FeedDownload(sink, TestMeter("-", "METER-A"), EDownloadKind::Memory, records);
    EXPECT_EQ(LastDownload(sink).nKnown, 5);
    const std::vector<ArchiveMeter> meters = m_archive.Meters();
    ASSERT_EQ(meters.size(), 2u);
    for (const ArchiveMeter& m : meters) {
        EXPECT_TRUE(m.bSerialUnset);
        EXPECT_TRUE(m.strSerial.empty());
        EXPECT_EQ(m.strKey, "name:" + m.strName);
        EXPECT_EQ(m.nRecordCount, 5);
    }
}

TEST_F(ArchiveTest, NewRecordsStartAtTheNewestArchivedDayAndNeverAfterToday)
{
    const int64_t earliest = Midnight(2000, 1, 1);
    const int64_t today = Midnight(2025, 12, 6) + 3600;
    EXPECT_EQ(m_archive.NewRecordsStart(TestMeter(), earliest, today), earliest);

    std::vector<CSimMeter::Record> old = {SimRec(2025, 11, 2, 8, 0, 0), SimRec(2025, 11, 20, 17, 30, 0),
                                          SimRec(2025, 11, 20, 18, 0, 0)};
    // A continuous series of a later day does not move the stored records' start.
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(old));
    FeedDownload(sink, TestMeter(), EDownloadKind::Output, ToDownloaded({SimRec(2025, 12, 1, 9, 0, 0)}));
    EXPECT_EQ(m_archive.NewRecordsStart(TestMeter(), earliest, today), Midnight(2025, 11, 20));

    // The meter's memory from that day on: the day's two records are known.
    const std::vector<CSimMeter::Record> fromStart = {old[1], old[2], SimRec(2025, 11, 25, 7, 0, 0),
                                                      SimRec(2025, 12, 6, 0, 30, 0)};
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(fromStart));
    EXPECT_EQ(LastDownload(sink).nNew, 2);
    EXPECT_EQ(LastDownload(sink).nKnown, 2);
    EXPECT_EQ(m_archive.NewRecordsStart(TestMeter(), earliest, today), Midnight(2025, 12, 6));

    // A record dated in the future (the clock once ran ahead) or with fields
    // that make no date does not push the start past today.
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                 ToDownloaded({SimRec(2031, 1, 1, 0, 0, 0), SimRec(2040, 13, 40, 0, 0, 0)}));
    EXPECT_EQ(m_archive.NewRecordsStart(TestMeter(), earliest, today), Midnight(2025, 12, 6));
}

TEST_F(ArchiveTest, DeletingASelectionRemovesOnlyThoseRecords)
{
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(MakeSimRecords(20, 0).stored));
    std::vector<ArchiveRecord> before = m_archive.Records(MeterId());
    std::string error;
    EXPECT_EQ(m_archive.DeleteRecords({before[3].nId, before[7].nId, 999999}, &error), 2);
    std::vector<ArchiveRecord> after = m_archive.Records(MeterId());
    ASSERT_EQ(after.size(), 18u);
    for (const ArchiveRecord& r : after)
        EXPECT_TRUE(r.nId != before[3].nId && r.nId != before[7].nId);
}

TEST_F(ArchiveTest, BackupIsAConsistentCopyTakenDuringADownload)
{
    const std::vector<DownloadedRecord> all = ToDownloaded(MakeSimRecords(150, 0).stored);
    CArchiveSink sink(m_archive);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, {all.begin(), all.begin() + 60});

    // A second connection is in the middle of a download while the copy is taken.
    CSqliteArchive writer;
    ASSERT_EQ(writer.Open(m_archive.Path()), EArchiveOpen::Ok);
    CArchiveSink running(writer);
    DownloadRequest request;
    request.tStarted = kArchiveTestNow + 10;
    std::string error;
    ASSERT_TRUE(running.BeginDownload(TestMeter(), request, &error));
    ASSERT_TRUE(running.AddRecords({all.begin() + 60, all.begin() + 110}, &error));

    const std::string copy = m_folder / "backup.sqlite";
    WriteBytes(copy, "an older backup");
    ASSERT_TRUE(m_archive.Backup(copy, &error)) << error;
    ASSERT_TRUE(running.AddRecords({all.begin() + 110, all.end()}, &error));
    running.EndDownload(0, true);

    CSqliteArchive restored;
    ASSERT_EQ(restored.Open(copy), EArchiveOpen::Ok);
    ArchiveMeter meter;
    ASSERT_TRUE(restored.FindMeter(TestMeter(), &meter));
    EXPECT_EQ(restored.Records(meter.nId).size(), 110u);
    EXPECT_EQ(restored.StationId(), m_archive.StationId());
    EXPECT_EQ(m_archive.Records(MeterId()).size(), 150u);
}

}  // namespace
