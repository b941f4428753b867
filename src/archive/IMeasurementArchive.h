#pragma once
// The archive of every measurement ever downloaded, per meter. Downloads are
// written as they arrive (BeginDownload, batches of records, EndDownload);
// nothing a download brings changes what is stored already. Records leave
// the archive only through DeleteRecords, an explicit act of the user.
//
// One object serves one thread: the session's thread writes through its own
// object (CArchiveSink opens one there), the windows read through theirs.

#include "ArchiveTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class IMeasurementArchive {
public:
    virtual ~IMeasurementArchive() = default;

    virtual bool IsOpen() const = 0;
    virtual bool IsReadOnly() const = 0;

    // ---- writing a download ----
    // The id of the new download row, 0 when it could not be made (*error says why).
    virtual int64_t BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                                  std::string* error) = 0;
    // The 9-byte summary of a continuous series as the meter sent it.
    virtual bool SetOutputSummary(int64_t download, const uint8_t* summary, std::string* error) = 0;
    // One batch in one transaction: all of it is kept, or none of it.
    virtual bool AddRecords(int64_t download, const std::vector<DownloadedRecord>& batch,
                            std::string* error) = 0;
    // Result code and completeness; until this runs a download counts as broken off.
    virtual bool EndDownload(int64_t download, int result, bool complete, std::string* error) = 0;

    // ---- reading ----
    virtual std::vector<ArchiveMeter> Meters() = 0;
    // Newest first.
    virtual std::vector<ArchiveDownload> Downloads(int64_t meterId) = 0;
    virtual bool FindDownload(int64_t download, ArchiveDownload* out) = 0;
    virtual bool FindMeter(const DownloadMeter& meter, ArchiveMeter* out) = 0;
    // Records of a meter in stored-time order (both sources); for checks and tools.
    virtual std::vector<ArchiveRecord> Records(int64_t meterId) = 0;

    // First day a "new records only" download of this meter asks for: the
    // day of its newest archived stored record, or earliest when it has none.
    // Local midnight, seconds since 1970.
    virtual int64_t NewRecordsStart(const DownloadMeter& meter, int64_t earliest) = 0;

    // ---- the user's acts ----
    // Removes the records with these ids; the number removed, -1 on failure.
    virtual int DeleteRecords(const std::vector<int64_t>& ids, std::string* error) = 0;
    // A consistent copy of the whole archive, taken while it is in use.
    virtual bool Backup(const std::string& path, std::string* error) = 0;
};
