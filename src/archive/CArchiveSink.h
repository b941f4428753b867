#pragma once
// The archive as the keeper of downloads: the session hands every batch of
// records here while the stream runs. The sink opens its own connection to
// the archive file on the thread that calls BeginDownload (the link's) and
// closes it at EndDownload, so the windows keep theirs undisturbed.
//
// What the user is told about the last download (new and already known
// records, or why the archive could not take it) is read from any thread.

#include "ArchiveTypes.h"
#include "IDownloadSink.h"

#include <memory>
#include <mutex>
#include <string>

class CSqliteArchive;
class IMeasurementArchive;

class CArchiveSink : public IDownloadSink {
public:
    // Opens the archive file at each download.
    explicit CArchiveSink(std::string archivePath);
    // Writes through an archive the caller keeps open (same thread).
    explicit CArchiveSink(IMeasurementArchive& archive);
    ~CArchiveSink() override;

    bool BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                       std::string* error) override;
    bool SetOutputSummary(const uint8_t* summary, std::string* error) override;
    bool AddRecords(const std::vector<DownloadedRecord>& batch, std::string* error) override;
    void EndDownload(int result, bool complete) override;

    // The row of the last download as it stands after its EndDownload
    // (received, new and known counts); false when none was archived.
    bool LastDownload(ArchiveDownload* out) const;
    // The first failure of the last download, empty when it was all kept.
    std::string LastError() const;
    // "새 기록 N건, 이미 보관된 기록 M건" for the last download.
    std::string LastSummaryText() const;

private:
    void NoteError(const std::string& error);

    std::string m_strPath;
    IMeasurementArchive* m_pArchive = nullptr;     // the one in use
    std::unique_ptr<CSqliteArchive> m_pOwned;      // opened per download
    int64_t m_nDownload = 0;

    mutable std::mutex m_mutex;
    bool m_bHaveLast = false;
    ArchiveDownload m_last;
    std::string m_strLastError;
};
