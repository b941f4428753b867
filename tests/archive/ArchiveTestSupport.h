#pragma once
// What the archive tests share, and what the session's tests can take over
// to drive the same cases through a download: a temporary folder, records
// made by the simulated meter's generator, and a download fed to any sink in
// batches as the session feeds it.

#include "CManualClock.h"
#include "CSimMeter.h"
#include "IDownloadSink.h"
#include "TestFolder.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

// Korean time without daylight saving, so that days do not depend on the
// machine's zone.
inline const bool g_bArchiveTimeZone = [] {
    setenv("TZ", "KST-9", 1);
    tzset();
    return true;
}();

// A temporary folder removed with everything in it afterwards.
using CArchiveTestFolder = CTestFolder;

// The simulated meter's wall clock in these tests: 2025-12-06 05:46:40 UTC.
constexpr int64_t kArchiveTestNow = 1765000000;
constexpr int kSessionBatch = 50;

inline CSimMeter::Record SimRec(int y, int mo, int d, int h, int mi, int s, int force = 1234, int type = 1)
{
    return CSimMeter::Record::Make(y, mo, d, h, mi, s, force, type);
}

inline DownloadMeter TestMeter(const std::string& serial = "SN250100042",
                               const std::string& name = "SIM-METER")
{
    DownloadMeter meter;
    meter.strName = name;
    meter.strSerial = serial;
    meter.strVersion = "1.05";
    return meter;
}

// The meter's stored records and continuous series as its generator makes them.
struct SimRecords {
    std::vector<CSimMeter::Record> stored;
    std::vector<CSimMeter::Record> series;
};

inline SimRecords MakeSimRecords(int storedCount = 150, int seriesCount = 20, uint32_t seed = 1)
{
    CManualClock clock(kArchiveTestNow);
    CSimMeter::Setup setup;
    setup.nRecordCount = storedCount;
    setup.nSeriesCount = seriesCount;
    setup.nRecordSeed = seed;
    setup.nSeriesSeed = seed + 6;
    CSimMeter meter(clock, setup);
    return {meter.GetStoredRecords(), meter.GetOutputSeries()};
}

inline std::vector<DownloadedRecord> ToDownloaded(const std::vector<CSimMeter::Record>& records)
{
    std::vector<DownloadedRecord> out;
    out.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        DownloadedRecord rec;
        rec.nIndex = int(i);
        const auto bytes = records[i].Encode();
        std::copy(bytes.begin(), bytes.end(), rec.bytes);
        out.push_back(rec);
    }
    return out;
}

inline uint8_t SeriesSummaryCount(const std::vector<CSimMeter::Record>& series)
{
    return uint8_t(series.size());
}

struct FedDownload {
    bool bBegun = false;
    int nBatchesKept = 0;
    int nBatchesRefused = 0;
    std::string strError;   // the first refusal
};

// Feeds a download to the sink the way the session does: Begin, summary for
// a series, batches in stream order, End. stopAfter >= 0 breaks the stream
// off after that many records (an unplugged meter): End then gets the
// failure result and complete = false.
inline FedDownload FeedDownload(IDownloadSink& sink, const DownloadMeter& meter, EDownloadKind kind,
                                const std::vector<DownloadedRecord>& records, int stopAfter = -1,
                                int batch = kSessionBatch, int64_t started = kArchiveTestNow)
{
    FedDownload fed;
    DownloadRequest request;
    request.eKind = kind;
    request.tFrom = started - 40 * 86400;
    request.tTo = started;
    request.tStarted = started;
    std::string error;
    fed.bBegun = sink.BeginDownload(meter, request, &error);
    if (!fed.bBegun) {
        fed.strError = error;
        return fed;
    }
    if (kind == EDownloadKind::Output) {
        const uint8_t summary[9] = {uint8_t(records.size()), 0x04, 0xD2, 0, 100, 0x30, 0x39, 0, 50};
        if (!sink.SetOutputSummary(summary, &error) && fed.strError.empty())
            fed.strError = error;
    }
    const size_t end = stopAfter >= 0 ? std::min(records.size(), size_t(stopAfter)) : records.size();
    for (size_t i = 0; i < end; i += size_t(batch)) {
        const std::vector<DownloadedRecord> part(records.begin() + long(i),
                                                 records.begin() + long(std::min(end, i + size_t(batch))));
        if (sink.AddRecords(part, &error)) {
            ++fed.nBatchesKept;
        } else {
            ++fed.nBatchesRefused;
            if (fed.strError.empty())
                fed.strError = error;
        }
    }
    const bool broken = stopAfter >= 0 && size_t(stopAfter) < records.size();
    sink.EndDownload(broken ? -1090 : 0, !broken);
    return fed;
}
