// Timed driver of the archive: the sink's cost per record while a download
// runs, and the window's first page on a large archive.

#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CManualClock.h"
#include "CSimMeter.h"
#include "CSqliteArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

double ElapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

constexpr int kBatch = 50;

double InsertPerRecordUs(const std::string& path)
{
    CManualClock clock(1765000000);
    CSimMeter::Setup setup;
    setup.nRecordCount = 5000;
    setup.nRecordDays = 365;
    const std::vector<CSimMeter::Record> records = CSimMeter(clock, setup).GetStoredRecords();
    std::vector<DownloadedRecord> batch;

    // The program keeps the archive open from its start (here it creates
    // it); the download's own connection is part of the time.
    CSqliteArchive program;
    program.Open(path);
    CArchiveSink sink(path);
    DownloadMeter meter{"SIM-METER", "SN250100042", "1.05"};
    DownloadRequest request;
    request.tStarted = 1765000000;
    std::string error;
    const auto start = Clock::now();
    if (!sink.BeginDownload(meter, request, &error)) {
        std::fprintf(stderr, "archive: %s\n", error.c_str());
        return -1;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        DownloadedRecord rec;
        rec.nIndex = int(i);
        const auto bytes = records[i].Encode();
        std::memcpy(rec.bytes, bytes.data(), bytes.size());
        batch.push_back(rec);
        if (batch.size() == kBatch || i + 1 == records.size()) {
            if (!sink.AddRecords(batch, &error))
                std::fprintf(stderr, "archive: %s\n", error.c_str());
            batch.clear();
        }
    }
    sink.EndDownload(0, true);
    return ElapsedMs(start) * 1000.0 / double(records.size());
}

// 10 meters, each with one download per month over 3 years and the records
// spread evenly over those days.
bool BuildLargeArchive(const std::string& path, int total)
{
    CSqliteArchive archive;
    if (archive.Open(path) != EArchiveOpen::Created)
        return false;
    QSqlDatabase db = archive.Database();
    QSqlQuery q(db);
    db.transaction();
    constexpr int kMeters = 10;
    constexpr int kMonths = 36;
    const int perMeter = total / kMeters;
    std::mt19937 rnd(7);
    QSqlQuery meter(db), download(db), record(db);
    meter.prepare("INSERT INTO meters (meter_key, serial, name, version, first_seen, last_seen)"
                  " VALUES (?, ?, ?, '1.05', 1670000000, 1765000000)");
    download.prepare("INSERT INTO downloads (station, meter_id, kind, started, range_from, range_to,"
                     " finished, result, received, new_count, complete)"
                     " VALUES (?, ?, 'MEMORY', ?, ?, ?, ?, 0, ?, ?, 1)");
    record.prepare("INSERT INTO records (meter_id, stored_time, source, raw_force, cell_type,"
                   " occurrence, download_id, stream_index) VALUES (?, ?, 'MEMORY', ?, ?, 1, ?, ?)");
    for (int m = 0; m < kMeters; ++m) {
        const QString serial = QString("SN2023%1").arg(m, 5, 10, QChar('0'));
        meter.addBindValue("serial:" + serial);
        meter.addBindValue(serial);
        meter.addBindValue(QString("METER-%1").arg(m));
        if (!meter.exec())
            return false;
        const qint64 meterId = meter.lastInsertId().toLongLong();
        const int perMonth = perMeter / kMonths;
        for (int month = 0; month < kMonths; ++month) {
            const int year = 2023 + month / 12;
            const int mon = month % 12 + 1;
            const qint64 started = 1672531200LL + qint64(month) * 2629800;
            download.addBindValue(QString::fromStdString(archive.StationId()));
            download.addBindValue(meterId);
            download.addBindValue(started);
            download.addBindValue(started - 2629800);
            download.addBindValue(started);
            download.addBindValue(started + 60);
            download.addBindValue(perMonth);
            download.addBindValue(perMonth);
            if (!download.exec())
                return false;
            const qint64 downloadId = download.lastInsertId().toLongLong();
            for (int i = 0; i < perMonth; ++i) {
                const int day = 1 + i * 28 / perMonth;
                const int second = int(rnd() % 86400);
                const qint64 stored = qint64(year) * 10000000000LL + qint64(mon) * 100000000LL +
                                      qint64(day) * 1000000LL + (second / 3600) * 10000 +
                                      (second / 60 % 60) * 100 + second % 60;
                record.bindValue(0, meterId);
                record.bindValue(1, stored);
                record.bindValue(2, int(rnd() % 3000));
                record.bindValue(3, int(rnd() % 3));
                record.bindValue(4, downloadId);
                record.bindValue(5, i);
                if (!record.exec())
                    return false;
            }
        }
    }
    meter.finish();
    download.finish();
    record.finish();
    if (!db.commit())
        return false;
    q.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int total = 1000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--records") == 0)
            total = std::max(1000, std::atoi(argv[i + 1]));

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const double perRecord = InsertPerRecordUs(dir.filePath("insert.sqlite").toStdString());
    std::printf("archive insert per record: %.1f us\n", perRecord);

    const std::string big = dir.filePath("archive.sqlite").toStdString();
    const auto built = Clock::now();
    if (!BuildLargeArchive(big, total)) {
        std::fprintf(stderr, "could not build the large archive\n");
        return 1;
    }
    std::fprintf(stderr, "(built %d records in %.1f s)\n", total, ElapsedMs(built) / 1000.0);

    const auto start = Clock::now();
    CSqliteArchive archive;
    archive.Open(big);
    CArchiveRecordModel model(archive);
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = 4;
    filter.nFromDay = 20240501;
    filter.nToDay = 20240531;
    model.SetFilter(filter);
    const double queryMs = ElapsedMs(start);
    if (model.rowCount() == 0) {
        std::fprintf(stderr, "the month came back empty\n");
        return 1;
    }
    std::fprintf(stderr, "(%d records in the month, %d fetched)\n", model.TotalRows(), model.rowCount());
    std::printf("archive query month of %d: %.1f ms\n", total, queryMs);
    archive.Close();
    std::uintmax_t bytes = std::filesystem::file_size(big);
    std::error_code ec;
    bytes += std::filesystem::file_size(big + "-wal", ec) * (ec ? 0 : 1);
    std::printf("archive bytes per record: %.1f\n", double(bytes) / total);
    return 0;
}
