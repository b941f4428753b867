#pragma once
// Where a download goes besides the windows: the session hands every record
// to an optional sink while the stream runs, so what arrived is kept even
// when the download fails half-way or the program dies. The archive is the
// sink of the program; tests may give their own.
//
// Every call comes on the link's thread, in this order: BeginDownload, then
// for a continuous series SetOutputSummary, then AddRecords any number of
// times (batches in stream order), then EndDownload exactly once.

#include <cstdint>
#include <string>
#include <vector>

enum class EDownloadKind { Memory, Output };

// The meter as the last device search read it.
struct DownloadMeter {
    std::string strName;      // as shown (UTF-8)
    std::string strSerial;    // as shown; "-" when the meter has none set
    std::string strVersion;
};

struct DownloadRequest {
    EDownloadKind eKind = EDownloadKind::Memory;
    int64_t tFrom = 0;        // stored records: first local day asked for (00:00:00)
    int64_t tTo = 0;          // stored records: last local day asked for (23:59:59)
    int64_t tStarted = 0;     // PC time the download began, seconds since 1970
};

// One measurement record as the meter sent it: stream position from 0 and
// the 10-byte record (stored time, raw force, load-cell type).
struct DownloadedRecord {
    int nIndex = 0;
    uint8_t bytes[10] = {};
};

class IDownloadSink {
public:
    virtual ~IDownloadSink() = default;

    // False when the sink cannot take this download at all; *error says why
    // (shown to the user). The download itself goes on for the windows.
    virtual bool BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                               std::string* error) = 0;
    // summary: the 9-byte payload of the series' 'A' frame.
    virtual bool SetOutputSummary(const uint8_t* summary, std::string* error) = 0;
    // False when the batch could not be kept (disk full, file gone); the
    // rows stay in the windows and *error says what happened.
    virtual bool AddRecords(const std::vector<DownloadedRecord>& batch, std::string* error) = 0;
    // result: the link's result code (0 success); complete: every record the
    // meter announced or held arrived.
    virtual void EndDownload(int result, bool complete) = 0;
};
