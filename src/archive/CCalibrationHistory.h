#pragma once
// What the archive keeps about a meter besides its records: the calibration
// snapshots (as found before a write, as left after it, before a firmware
// upload, on demand), the clock readings of every device search and the
// firmware uploads with the versions before and after.
//
// A snapshot is kept as the backup file's own text (with its checksum), so
// that a snapshot read back from the archive is checked exactly as a file
// is. Every row carries the archive's station id beside its local id, as
// downloads do, so that rows pushed to a server from several PCs stay apart.
//
// Works on the caller's open archive, on the caller's thread.

#include "IDownloadSink.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CSqliteArchive;

struct StoredSnapshot {
    int64_t nId = 0;
    std::string strStation;
    DownloadMeter meter;
    int64_t tTaken = 0;          // PC time, seconds since 1970
    std::string strReason;       // "as-found", "as-left", "before-firmware", "backup"
    std::string strUser;
    QByteArray content;          // the backup file's bytes
};

struct StoredClockReading {
    int64_t nId = 0;
    std::string strStation;
    DownloadMeter meter;
    int64_t tPc = 0;                    // PC time of the reading
    std::optional<int64_t> tMeter;      // the meter's clock; none when it was not set
    std::optional<int64_t> nDrift;      // meter − PC in seconds
    int nLimit = 0;                     // the tolerated drift at the time
    std::string strSource;              // "main", "admin", "cli"
};

struct StoredFirmwareUpload {
    int64_t nId = 0;
    std::string strStation;
    DownloadMeter meter;
    int64_t tStarted = 0;
    int64_t tFinished = 0;
    std::string strVersionBefore;
    std::string strImageSha256;          // hex
    int64_t nImageSize = 0;
    std::string strResult;               // "done", "crc-error", ... (the outcome's key)
    std::string strResultText;           // what the window said
    std::string strVersionAfter;         // empty when the meter did not answer
    int64_t nSnapshotId = 0;             // the snapshot taken before it; 0 none
};

class CCalibrationHistory {
public:
    explicit CCalibrationHistory(CSqliteArchive& archive);

    // Each Add returns the new row's local id, or 0 with the user's text in
    // *error (archive closed, read-only, full disk).
    int64_t AddSnapshot(const StoredSnapshot& snapshot, std::string* error);
    int64_t AddClockReading(const StoredClockReading& reading, std::string* error);
    int64_t AddFirmwareUpload(const StoredFirmwareUpload& upload, std::string* error);

    // One meter's rows, newest first (an empty list when the archive cannot
    // be read). limit 0: all.
    std::vector<StoredSnapshot> Snapshots(const DownloadMeter& meter, int limit = 0);
    std::vector<StoredClockReading> ClockReadings(const DownloadMeter& meter, int limit = 0);
    std::vector<StoredFirmwareUpload> FirmwareUploads(const DownloadMeter& meter, int limit = 0);

private:
    bool CheckWritable(std::string* error) const;

    CSqliteArchive& m_archive;
};
