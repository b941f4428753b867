// The lab's archive on a real PostgreSQL server: stations with their own
// archive files push at once, the server ends with exactly the union of
// their records whatever happens to it meanwhile, and the lab view reads it.

#include "ArchiveTestSupport.h"
#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CArchiveSync.h"
#include "CPgTestServer.h"
#include "LabTestSupport.h"
#include "CServerArchive.h"
#include "CSqliteArchive.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <tuple>

namespace {

using RecordKey = std::tuple<std::string, int64_t, int, int, int, int>;   // meter, time, source, force, cell, occurrence

const char* const kKeyQuery =
    "SELECT m.meter_key, r.stored_time, r.source, r.raw_force, r.cell_type, r.occurrence"
    " FROM records r JOIN meters m ON m.id = r.meter_id";

std::multiset<RecordKey> KeysOf(const QSqlDatabase& db)
{
    std::multiset<RecordKey> keys;
    QSqlQuery q(db);
    if (q.exec(QLatin1String(kKeyQuery)))
        while (q.next())
            keys.insert({q.value(0).toString().toStdString(), q.value(1).toLongLong(),
                         q.value(2).toString() == QLatin1String("OUTPUT") ? 1 : 0, q.value(3).toInt(),
                         q.value(4).toInt(), q.value(5).toInt()});
    return keys;
}

class LabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.Ready()) << "throw-away PostgreSQL cluster in " << m_server.Dir();
        ASSERT_TRUE(m_server.CreateDatabase("lab"));
        m_server.UsePassword(CPgTestServer::kPassword);
        m_strSetting = m_server.Setting("lab");
    }
    long long ServerCount(const std::string& sql) { return m_server.Count("lab", sql); }

    CPgTestServer m_server;
    std::string m_strSetting;
};

TEST_F(LabTest, TwoStationsPushingAtOnceLeaveTheUnionOnceAndTheLabViewShowsIt)
{
    Station east("검사실-1"), west("검사실-2");
    const DownloadMeter only1 = TestMeter("SN-EAST", "EAST"), only2 = TestMeter("SN-WEST", "WEST"),
                        both = TestMeter("SN-BOTH", "BOTH");
    const SimRecords sim1 = MakeSimRecords(3000, 40, 1), sim2 = MakeSimRecords(2500, 0, 2),
                     shared = MakeSimRecords(2000, 0, 3);
    east.Download(only1, sim1.stored);
    east.Download(only1, sim1.series, EDownloadKind::Output);
    east.Download(both, shared.stored);
    west.Download(only2, sim2.stored);
    // The shared meter at the second station: the same records and 100 more.
    const SimRecords more = MakeSimRecords(2100, 0, 3);
    west.Download(both, more.stored);

    auto syncEast = east.Sync(m_strSetting), syncWest = west.Sync(m_strSetting);
    syncEast->Start();
    syncWest->Start();
    ASSERT_TRUE(WaitFor([&] { return Settled(*syncEast) && Settled(*syncWest); }, 60000))
        << syncEast->StatusText().toStdString() << " / " << syncWest->StatusText().toStdString();
    EXPECT_TRUE(syncEast->StatusText().startsWith(QStringLiteral("서버 동기화: 0건 대기 (마지막 동기화 ")));
    // A push again after everything is there adds nothing.
    syncWest->PushSoon();
    ASSERT_TRUE(WaitFor([&] { return syncWest->GetStatus().nRounds >= 2 && Settled(*syncWest); }, 20000));
    syncEast->Stop();
    syncWest->Stop();

    std::multiset<RecordKey> expected = KeysOf(east.archive.Database());
    for (const RecordKey& key : KeysOf(west.archive.Database()))
        if (!expected.count(key))
            expected.insert(key);
    CServerArchive server;
    ASSERT_EQ(server.Open(m_strSetting), EServerOpen::Ok) << server.OpenMessage();
    EXPECT_EQ(KeysOf(server.Database()), expected);
    EXPECT_EQ(ServerCount("SELECT count(*) FROM downloads"), 5);
    EXPECT_EQ(ServerCount("SELECT count(*) FROM downloads WHERE finished IS NOT NULL AND complete = 1"), 5);
    EXPECT_EQ(ServerCount("SELECT computed_count FROM series"), 40);

    // The lab view: every meter, with the stations that downloaded it, and
    // the records model over the server's connection.
    const std::vector<CServerArchive::LabMeter> meters = server.Meters();
    ASSERT_EQ(meters.size(), 3u);
    for (const CServerArchive::LabMeter& m : meters) {
        if (m.meter.strName == "BOTH") {
            EXPECT_EQ(m.strStations, "검사실-1, 검사실-2");
            EXPECT_EQ(m.meter.nRecordCount, int64_t(more.stored.size()));
            CArchiveRecordModel model([&server] { return server.Database(); });
            CArchiveRecordModel::Filter filter;
            filter.nMeterId = m.meter.nId;
            model.SetFilter(filter);
            EXPECT_EQ(model.TotalRows(), int(more.stored.size()));
            EXPECT_EQ(model.rowCount(), CArchiveRecordModel::kPageRows);
            std::set<std::string> stations;
            for (const ArchiveDownload& d : server.Downloads(m.meter.nId))
                stations.insert(d.strStation);
            EXPECT_EQ(stations, (std::set<std::string>{"검사실-1", "검사실-2"}));
        } else {
            EXPECT_EQ(m.strStations, m.meter.strName == "EAST" ? "검사실-1" : "검사실-2");
        }
    }
}

TEST_F(LabTest, ServerAwayAtStartAndStoppedMidPushEndsWithTheWholeArchive)
{
    Station station("검사실-1");
    station.Download(TestMeter(), MakeSimRecords(30000, 0, 5).stored);
    ASSERT_TRUE(m_server.Stop());
    auto sync = station.Sync(m_strSetting, 200);
    sync->Start();
    ASSERT_TRUE(WaitFor([&] { return sync->GetStatus().nFailuresInRow >= 1; }, 20000));
    CArchiveSync::Status status = sync->GetStatus();
    EXPECT_EQ(status.nPending, 30001);   // the records and their download
    EXPECT_NE(status.strProblem.find("연결할 수 없습니다"), std::string::npos) << status.strProblem;
    EXPECT_TRUE(sync->StatusText().startsWith(QStringLiteral("서버 동기화: 30001건 대기 (동기화한 적 없음)\n")));

    // The server comes back; it goes away again in the middle of the push.
    ASSERT_TRUE(m_server.Start());
    ASSERT_TRUE(WaitFor([&] { return ServerCount("SELECT count(*) FROM records") > 2000; }, 30000));
    ASSERT_TRUE(m_server.Stop());
    const int roundsBefore = sync->GetStatus().nRounds;
    ASSERT_TRUE(WaitFor([&] { return sync->GetStatus().nRounds > roundsBefore + 1; }, 20000));
    status = sync->GetStatus();
    EXPECT_TRUE(status.bFailing);
    EXPECT_GT(status.nPending, 0);
    EXPECT_LT(status.nPending, 30001);
    EXPECT_EQ(station.archive.Records(1).size(), 30000u);

    ASSERT_TRUE(m_server.Start());
    ASSERT_TRUE(WaitFor([&] { return Settled(*sync); }, 60000)) << sync->StatusText().toStdString();
    sync->Stop();
    CServerArchive server;
    ASSERT_EQ(server.Open(m_strSetting), EServerOpen::Ok);
    EXPECT_EQ(KeysOf(server.Database()), KeysOf(station.archive.Database()));
    EXPECT_EQ(ServerCount("SELECT count(*) FROM downloads"), 1);
}

// A file system of its own for the lab's tables (a tmpfs of a few hundred
// kilobytes in the cluster's folder), so that the server's disk really fills
// up and can be given room again. Mounting needs root, as the test command
// has; elsewhere the test says why it did not run.
class CSmallDisk {
public:
    CSmallDisk(const std::string& path, const std::string& size) : m_strPath(path)
    {
        std::filesystem::create_directories(path);
        m_bMounted = std::system(("mount -t tmpfs -o size=" + size + " brevane-lab-disk " + path +
                                  " 2>/dev/null").c_str()) == 0;
        if (m_bMounted)
            std::system(("chown nobody " + path).c_str());
    }
    ~CSmallDisk()
    {
        if (m_bMounted)
            std::system(("umount -l " + m_strPath).c_str());
    }
    bool Mounted() const { return m_bMounted; }
    bool Resize(const std::string& size)
    {
        return std::system(("mount -o remount,size=" + size + " " + m_strPath).c_str()) == 0;
    }

private:
    std::string m_strPath;
    bool m_bMounted = false;
};

TEST_F(LabTest, FullDiskOnTheServerIsReportedAndTheNextPushCompletesIt)
{
    CSmallDisk disk(m_server.Dir() + "/small", "400k");
    if (!disk.Mounted())
        GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root)";
    ASSERT_TRUE(m_server.Psql("postgres", "CREATE TABLESPACE small OWNER lab LOCATION '" + m_server.Dir() +
                                              "/small'"));
    ASSERT_TRUE(m_server.Psql("postgres", "ALTER DATABASE lab SET default_tablespace = small"));

    Station station("검사실-1");
    station.Download(TestMeter(), MakeSimRecords(20000, 0, 6).stored);
    auto sync = station.Sync(m_strSetting, 2000);
    std::string problem;
    EXPECT_FALSE(sync->PushOnce(&problem));
    EXPECT_NE(problem.find("디스크 공간이 부족합니다"), std::string::npos) << problem;
    const CArchiveSync::Status status = sync->GetStatus();
    EXPECT_GT(status.nPending, 0);
    EXPECT_LT(ServerCount("SELECT count(*) FROM records"), 20000);
    EXPECT_EQ(station.archive.Records(1).size(), 20000u);

    ASSERT_TRUE(disk.Resize("64m"));
    EXPECT_TRUE(sync->PushOnce(&problem)) << problem;
    EXPECT_EQ(sync->GetStatus().nPending, 0);
    CServerArchive server;
    ASSERT_EQ(server.Open(m_strSetting), EServerOpen::Ok) << server.OpenMessage();
    EXPECT_EQ(KeysOf(server.Database()), KeysOf(station.archive.Database()));
    EXPECT_EQ(ServerCount("SELECT count(*) FROM downloads WHERE complete = 1"), 1);
}

TEST_F(LabTest, WrongPasswordAndAPasswordInTheSettingAreRefusedWithTheirReason)
{
    Station station("검사실-1");
    station.Download(TestMeter(), MakeSimRecords(50, 0).stored);
    m_server.UsePassword("not-the-password");
    auto sync = station.Sync(m_strSetting);
    std::string problem;
    EXPECT_FALSE(sync->PushOnce(&problem));
    EXPECT_NE(problem.find("비밀번호"), std::string::npos) << problem;
    EXPECT_NE(problem.find(".pgpass"), std::string::npos) << problem;
    EXPECT_EQ(sync->GetStatus().nPending, 51);

    CServerArchive server;
    EXPECT_EQ(server.Open(m_strSetting + " password=" + CPgTestServer::kPassword), EServerOpen::BadSetting);
    EXPECT_NE(server.OpenMessage().find("~/.pgpass"), std::string::npos);
    EXPECT_EQ(server.Open("host=127.0.0.1 port=1"), EServerOpen::Unreachable) << server.OpenMessage();
    EXPECT_EQ(server.Open("dbname='unclosed"), EServerOpen::BadSetting);

    m_server.UsePassword(CPgTestServer::kPassword);
    EXPECT_TRUE(sync->PushOnce(&problem)) << problem;
    EXPECT_EQ(ServerCount("SELECT count(*) FROM records"), 50);
}

TEST_F(LabTest, NewerServerIsRefusedAndLeftAsItWas)
{
    Station station("검사실-1");
    station.Download(TestMeter(), MakeSimRecords(40, 0).stored);
    auto sync = station.Sync(m_strSetting);
    ASSERT_TRUE(sync->PushOnce());
    ASSERT_TRUE(m_server.Psql("lab", "UPDATE schema_version SET version = 99"));
    station.Download(TestMeter(), MakeSimRecords(60, 0, 9).stored);
    std::string problem;
    EXPECT_FALSE(sync->PushOnce(&problem));
    EXPECT_NE(problem.find("새로운 버전(형식 99"), std::string::npos) << problem;
    EXPECT_EQ(ServerCount("SELECT count(*) FROM records"), 40);
    EXPECT_EQ(ServerCount("SELECT version FROM schema_version"), 99);
}

// SQLite gives the highest id out again once its row is deleted: records
// deleted at the top after a push must not hide the next download's.
TEST_F(LabTest, RecordsUnderTheMarkWithReusedIdsAreStillPushed)
{
    Station station("검사실-1");
    const std::vector<CSimMeter::Record> first = MakeSimRecords(100, 0, 1).stored;
    station.Download(TestMeter(), first);
    auto sync = station.Sync(m_strSetting, 30);
    ASSERT_TRUE(sync->PushOnce());
    std::vector<int64_t> newest;
    for (const ArchiveRecord& r : station.archive.Records(1))
        if (r.nId > 90)
            newest.push_back(r.nId);
    std::string error;
    ASSERT_EQ(station.archive.DeleteRecords(newest, &error), 10);
    const std::vector<CSimMeter::Record> later = MakeSimRecords(10, 0, 77).stored;
    station.Download(TestMeter(), later);
    ASSERT_EQ(station.archive.Records(1).back().nId <= 100, true);   // the ids came again
    ASSERT_TRUE(sync->PushOnce());
    EXPECT_EQ(ServerCount("SELECT count(*) FROM records"), 110);
    const std::multiset<RecordKey> local = KeysOf(station.archive.Database());
    CServerArchive server;
    ASSERT_EQ(server.Open(m_strSetting), EServerOpen::Ok);
    const std::multiset<RecordKey> onServer = KeysOf(server.Database());
    for (const RecordKey& key : local)
        EXPECT_EQ(onServer.count(key), 1u);
}

}  // namespace

namespace {

// Calibration snapshots, clock readings and firmware uploads are the
// station's rows: each arrives once, and an upload still names its snapshot.
TEST_F(LabTest, StationRowsOfEveryTableArriveOnceWithTheirReferences)
{
    Station station("검사실-1");
    QSqlQuery q(station.archive.Database());
    const QString station1 = QString::fromStdString(station.archive.StationId());
    const QString meter = QStringLiteral("'%1', 'serial:SN1', 'M', 'SN1', '1.05'").arg(station1);
    ASSERT_TRUE(q.exec("INSERT INTO calibration_snapshots (station, meter_key, meter_name, meter_serial,"
                       " meter_version, taken, reason, user_name, content) VALUES (" + meter +
                       ", 1765000000, 'as-found', '홍길동', 'text')"));
    ASSERT_TRUE(q.exec("INSERT INTO calibration_snapshots (station, meter_key, meter_name, meter_serial,"
                       " meter_version, taken, reason, user_name, content) VALUES (" + meter +
                       ", 1765000100, 'before-firmware', '홍길동', 'text 2')"));
    ASSERT_TRUE(q.exec("INSERT INTO firmware_uploads (station, meter_key, meter_name, meter_serial, meter_version,"
                       " started, finished, version_before, image_sha256, image_size, result, result_text,"
                       " version_after, snapshot_id) VALUES (" + meter +
                       ", 1765000200, 1765000300, '1.04', 'ab', 1024, 'ok', '성공', '1.05', 2)"));
    ASSERT_TRUE(q.exec("INSERT INTO clock_readings (station, meter_key, meter_name, meter_serial, meter_version,"
                       " pc_time, meter_time, drift, drift_limit, source) VALUES (" + meter +
                       ", 1765000000, NULL, NULL, 60, 'search')"));
    auto sync = station.Sync(m_strSetting);
    std::string problem;
    ASSERT_TRUE(sync->PushOnce(&problem)) << problem;
    ASSERT_TRUE(sync->PushOnce(&problem)) << problem;
    EXPECT_EQ(sync->GetStatus().nPending, 0);
    EXPECT_EQ(ServerCount("SELECT count(*) FROM calibration_snapshots"), 2);
    EXPECT_EQ(ServerCount("SELECT count(*) FROM clock_readings WHERE drift IS NULL"), 1);
    EXPECT_EQ(ServerCount("SELECT count(*) FROM firmware_uploads f JOIN calibration_snapshots s"
                          " ON s.id = f.snapshot_id WHERE s.content = 'text 2'"),
              1);
}

}  // namespace
