// Timed driver: downloads through the session with the archive's sink, as
// the program runs them.
//
// Prints
//   wall/wire ratio with archive: X.XXX   (5,000 stored records in real time at
//                                          115200 baud; target <= 1.05)
//   repeat download bytes ratio: X.XXX    (bytes on the wire of a new-records-only
//                                          download of a meter holding 20,000
//                                          records, the newest 5 % of them new,
//                                          over a full download; target <= 0.10)
// and exits with 1 when a download failed.

#include "CArchiveSink.h"
#include "CManualClock.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSqliteArchive.h"
#include "CSystemClock.h"
#include "MeterTime.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kRequestBytes = 12;   // the 0x35 request frame
constexpr int kFrameBytes = 15;     // every record frame and the end marker

bool SearchMeter(CMeterSession& session)
{
    session.StartDetect();
    session.WaitForIdle();
    std::vector<SessionStep> steps;
    for (uint8_t cmd : {CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_VERSION})
        steps.push_back({MakeReadRequest(cmd), false});
    session.StartExchange(steps, true);
    session.WaitForIdle();
    return session.LastResult().bOpened;
}

int64_t Earliest()
{
    MeterDateTime when;
    when.nYear = 2000;
    when.nMonth = 1;
    when.nDay = 1;
    int64_t t = 0;
    MeterDateTimeToTime(when, &t);
    return t;
}

// 5,000 records in real time: how much the archive's writes on the link's
// thread cost the download.
int WallOverWire(const std::string& folder)
{
    CSystemClock clock;
    CSimMeter::Setup setup;
    setup.nRecordCount = 5000;
    setup.nRecordDays = 3000;
    setup.nRecordSeed = 2024;
    CSimMeter meter(clock, setup);
    CSimBridge bridge(meter, clock);
    CArchiveSink sink(CSqliteArchive::ArchivePath(folder));
    CMeterSession session(bridge, clock);
    session.SetDownloadSink(&sink);
    if (!SearchMeter(session)) {
        std::fprintf(stderr, "cannot open the simulated meter\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    session.StartMemoryDownload(Earliest(), clock.NowSeconds());
    session.WaitForIdle();
    const double wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const SessionResult& r = session.LastResult();
    ArchiveDownload d;
    const bool archived = sink.LastDownload(&d) && d.nNew == r.nRecords && r.strSinkError.empty();
    const double wireS =
        double(CSimBridge::WireTimeNs(uint64_t(kRequestBytes) + uint64_t(r.nRecords + 1) * kFrameBytes)) / 1e9;
    std::fprintf(stderr, "(%d records, %d archived, wall %.3f s, wire %.3f s)\n", r.nRecords, d.nNew, wallS, wireS);
    std::printf("wall/wire ratio with archive: %.3f\n", wallS / wireS);
    return r.nResult == 0 && r.nRecords == 5000 && archived ? 0 : 1;
}

// 20,000 records, 50 a day over 400 days; the archive already holds all
// but the newest 20 days. Bytes are counted from the packet log, both ways.
int RepeatBytes(const std::string& folder)
{
    constexpr int kTotal = 20000, kPerDay = 50, kNew = kTotal / 20;
    CManualClock clock(1765000000);   // 2025-12-06
    const int64_t today = clock.NowSeconds();
    std::vector<CSimMeter::Record> all;
    for (int i = 0; i < kTotal; ++i) {
        const int day = kTotal / kPerDay - 1 - i / kPerDay;   // days before today, oldest first
        const MeterDateTime w = LocalDateTime(today - int64_t(day) * 86400 - 12 * 3600 + (i % kPerDay) * 60);
        all.push_back(CSimMeter::Record::Make(w.nYear, w.nMonth, w.nDay, w.nHour, w.nMinute, w.nSecond,
                                              100 + i % 900, i % 3));
    }
    CSimMeter meter(clock);
    CSimBridge bridge(meter, clock);
    const std::string path = CSqliteArchive::ArchivePath(folder);
    CArchiveSink sink(path);
    CMeterSession session(bridge, clock);
    session.SetDownloadSink(&sink);
    if (!SearchMeter(session))
        return 1;
    uint64_t bytes = 0;
    QObject::connect(&session, &CMeterSession::PacketsLogged, [&](const std::vector<PacketLogEntry>& entries) {
        for (const PacketLogEntry& e : entries)
            bytes += e.bytes.size();
    });
    const auto download = [&](int64_t from) {
        bytes = 0;
        session.StartMemoryDownload(from, today);
        session.WaitForIdle();
        return session.LastResult().nResult == 0;
    };

    // The archive as it stood before the newest 5 % were made.
    meter.SetStoredRecords(std::vector<CSimMeter::Record>(all.begin(), all.end() - kNew));
    if (!download(Earliest()))
        return 1;
    meter.SetStoredRecords(all);
    if (!download(Earliest()))
        return 1;
    const uint64_t full = bytes;

    // Forget the newest 5 % again, then fetch them as "새 기록 받기" does.
    CSqliteArchive archive;
    archive.Open(path);
    ArchiveMeter known;
    archive.FindMeter(session.Meter(), &known);
    std::vector<int64_t> newest;
    for (const ArchiveRecord& r : archive.Records(known.nId))
        newest.push_back(r.nId);
    newest.erase(newest.begin(), newest.end() - kNew);
    std::string error;
    archive.DeleteRecords(newest, &error);
    const int64_t from = archive.NewRecordsStart(session.Meter(), Earliest(), today);
    if (!download(from))
        return 1;
    ArchiveDownload d;
    sink.LastDownload(&d);
    std::fprintf(stderr, "(full %llu bytes, new-records-only %llu bytes: %d new, %d known)\n",
                 static_cast<unsigned long long>(full), static_cast<unsigned long long>(bytes), d.nNew, d.nKnown);
    std::printf("repeat download bytes ratio: %.3f\n", double(bytes) / double(full));
    return d.nNew == kNew ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir first, second;
    const int a = WallOverWire(first.path().toStdString());
    const int b = RepeatBytes(second.path().toStdString());
    return a | b;
}
