// Timed driver of the lab's server: one station's push of 100,000 records
// and the lab view's month of one meter on a server of 1,000,000 records.
// Each part starts its own throw-away PostgreSQL cluster with the server's
// ordinary settings (durable commits).

#include "ArchiveTestSupport.h"
#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CArchiveSync.h"
#include "CPgTestServer.h"
#include "CServerArchive.h"
#include "CSqliteArchive.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool Push100k()
{
    CPgTestServer server(false);
    if (!server.Ready() || !server.CreateDatabase("lab"))
        return false;
    server.UsePassword(CPgTestServer::kPassword);
    CArchiveTestFolder folder;
    {
        CSqliteArchive archive;
        archive.Open(folder / "archive.sqlite");
        CArchiveSink sink(archive);
        FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(MakeSimRecords(100000, 0, 3).stored),
                     -1, 200);
    }
    CArchiveSync sync(folder / "archive.sqlite", server.Setting("lab"));
    std::string problem;
    const auto start = Clock::now();
    const bool ok = sync.PushOnce(&problem);
    const double seconds = Seconds(start);
    if (!ok) {
        std::fprintf(stderr, "push: %s\n", problem.c_str());
        return false;
    }
    std::printf("server push 100000 records: %.2f s (%lld on the server)\n", seconds,
                server.Count("lab", "SELECT count(*) FROM records"));
    return true;
}

// 10 meters, one download per month over 3 years, the records spread over
// each month's first 28 days.
const char* const kFill[] = {
    "INSERT INTO meters (meter_key, serial, serial_unset, name, version, first_seen, last_seen)"
    " SELECT 'serial:SN' || m, 'SN' || m, 0, 'METER-' || m, '1.05', 1670000000, 1765000000"
    " FROM generate_series(0, 9) m",
    "INSERT INTO downloads (station, meter_id, kind, started, range_from, range_to, finished, result,"
    " received, new_count, complete)"
    " SELECT 'bench', m.id, 'MEMORY', 1672531200 + mo * 2629800, 1672531200 + (mo - 1) * 2629800,"
    " 1672531200 + mo * 2629800, 1672531260 + mo * 2629800, 0, 2778, 2778, 1"
    " FROM meters m, generate_series(0, 35) mo",
    "INSERT INTO records (meter_id, stored_time, source, raw_force, cell_type, occurrence, download_id,"
    " stream_index)"
    " SELECT d.meter_id, ((2023 + mo / 12) * 10000 + mo % 12 * 100 + 101 + i / 100) * 1000000"
    " + (i % 24) * 10000 + (i % 60) * 100 + i % 59, 'MEMORY', (i * 37) % 3000, i % 3, 1, d.id, i"
    " FROM (SELECT id, meter_id, (started - 1672531200) / 2629800 AS mo FROM downloads) d,"
    " generate_series(0, 2777) i",
    "ANALYZE meters, downloads, records",
};

bool QueryMonth()
{
    CPgTestServer server(false);
    if (!server.Ready() || !server.CreateDatabase("lab"))
        return false;
    server.UsePassword(CPgTestServer::kPassword);
    CServerArchive lab;
    if (lab.Open(server.Setting("lab")) != EServerOpen::Ok) {
        std::fprintf(stderr, "server: %s\n", lab.OpenMessage().c_str());
        return false;
    }
    QSqlQuery q(lab.Database());
    for (const char* sql : kFill)
        if (!q.exec(QLatin1String(sql))) {
            std::fprintf(stderr, "fill: %s\n", q.lastError().text().toUtf8().constData());
            return false;
        }
    const long long total = server.Count("lab", "SELECT count(*) FROM records");
    CArchiveRecordModel model([&lab] { return lab.Database(); });
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = lab.Meters().at(4).meter.nId;
    filter.nFromDay = 20240601;
    filter.nToDay = 20240630;
    const auto start = Clock::now();
    model.SetFilter(filter);
    const double ms = Seconds(start) * 1000.0;
    std::printf("lab query month of %lld: %.1f ms (%d records, first page %d)\n", total, ms, model.TotalRows(),
                model.rowCount());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool push = Push100k();
    const bool query = QueryMonth();
    return push && query ? 0 : 1;
}
