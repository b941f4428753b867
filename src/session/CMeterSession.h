#pragma once
// The session with the meter: it owns the one link (CFt260 and its bridge)
// on a thread of its own and runs every meter operation there as a job, one
// at a time. Whoever starts a job (a window, the command-line tool, a test)
// stays responsive: records, progress and packet-log entries come back as
// queued signals on the thread that made the session, and the job's result
// comes back the same way, last.
//
// All public functions are called on the thread that made the session; the
// signals are emitted on it. A Start... call is refused (returns false) while
// another job runs. The session is the link's owner and packet log; a
// download also goes to the optional IDownloadSink, on the link's thread.

#include "CFt260.h"
#include "ILinkOwner.h"
#include "IPacketLog.h"
#include "SessionTypes.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

class IBridgeLibrary;
class ILinkClock;

class CMeterSession : public QObject, private ILinkOwner, private IPacketLog {
    Q_OBJECT
public:
    using Done = std::function<void(const SessionResult&)>;

    // Records are handed on in batches of at most this many, and at least
    // every kBatchIntervalMs while they keep coming.
    static constexpr int kBatchRecords = 500;
    static constexpr int kBatchIntervalMs = 40;
    // Once a firmware upload has ended, the meter starts its new firmware:
    // its version is asked this many times, kVersionRetryMs apart.
    static constexpr int kVersionRetries = 8;
    static constexpr int kVersionRetryMs = 1000;
    // After a cancelled download the rest of the stream is read off until
    // the line is quiet for kDrainQuietPolls polls, for at most kDrainLimitMs.
    static constexpr int kDrainPollMs = 50;
    static constexpr int kDrainQuietPolls = 4;
    static constexpr int kDrainLimitMs = 60000;

    CMeterSession(IBridgeLibrary& bridge, ILinkClock& clock, QObject* parent = nullptr);
    // Stops the job that runs (as a cancel would) and waits for the thread.
    ~CMeterSession() override;

    CMeterSession(const CMeterSession&) = delete;
    CMeterSession& operator=(const CMeterSession&) = delete;

    // The download sink, or null. Set it while no job runs; the session does
    // not own it.
    void SetDownloadSink(IDownloadSink* sink);

    // ---- jobs ----
    // done (optional) runs on this thread with the result, unless receiver
    // was given and has been destroyed by then. JobFinished follows it.
    bool StartDetect(QObject* receiver = nullptr, Done done = Done());
    // The steps in order. openFirst: open the link before the first step and
    // end with bOpened false when it does not open.
    bool StartExchange(std::vector<SessionStep> steps, bool openFirst, QObject* receiver = nullptr,
                       Done done = Done());
    // One request.
    bool StartRequest(const MeterRequest& request, QObject* receiver = nullptr, Done done = Done());
    // Stored records from the local day of from to the local day of to.
    bool StartMemoryDownload(int64_t from, int64_t to, QObject* receiver = nullptr,
                             Done done = Done());
    bool StartOutputDownload(QObject* receiver = nullptr, Done done = Done());
    // The image (head marker and body) in the three phases; pauses through
    // the link's clock. The version is read before it and, when it is done,
    // again once the meter answers.
    bool StartFirmwareUpload(std::vector<uint8_t> image, QObject* receiver = nullptr,
                             Done done = Done());

    // Asks the running job to stop: a download at its next poll (what came
    // stays), a firmware upload before its next piece. Any thread.
    void RequestCancel();

    // ---- state, on this thread ----
    bool IsBusy() const { return m_eJob != ESessionJob::None; }
    ESessionJob CurrentJob() const { return m_eJob; }
    // Spins the event loop until no job runs; false when timeoutMs passed
    // first (a negative timeout waits as long as it takes).
    bool WaitForIdle(int timeoutMs = -1);
    // The result of the last job that ended, and its last exchange.
    const SessionResult& LastResult() const { return m_lastResult; }
    // The records of the last download, in stream order, and the summary of
    // the last continuous series (empty before one arrived).
    const std::vector<DownloadedRecord>& Records() const { return m_vRecords; }
    const std::vector<uint8_t>& OutputSummary() const { return m_vSummary; }
    // The identity the last device search read (name, serial, version).
    const DownloadMeter& Meter() const { return m_meterShown; }

    // The link, for what may be read while no job runs (tests, the frame
    // bytes of the last exchange). Never use it while IsBusy().
    CFt260& Link() { return m_link; }

signals:
    void JobStarted(ESessionJob job);
    void JobFinished(const SessionResult& result);
    // A download began: the rows of the previous one are void.
    void DownloadStarted(EDownloadKind kind);
    void RecordsArrived(EDownloadKind kind, const std::vector<DownloadedRecord>& batch);
    void OutputSummaryArrived(const std::vector<uint8_t>& summary);
    void Progress(const DownloadProgress& progress);
    // Firmware: value on the 0..100 bar; percent of the image sent so far.
    void FirmwareProgress(int value, double percent);
    // Firmware: the meter's version as read before the upload, and again
    // once it came back with the new firmware (empty when it did not answer).
    void FirmwareVersion(const QString& version, bool afterUpload);
    void PacketsLogged(const std::vector<PacketLogEntry>& entries);

private:
    // ILinkOwner and IPacketLog, called on the link's thread.
    IPacketLog* GetPacketLog() override;
    void AddMemoryRecord(int index, const uint8_t* record) override;
    void SetOutputSummary(const uint8_t* summary) override;
    void AddOutputRecord(int index, const uint8_t* record) override;
    void AppendPacket(int direction, const uint8_t* bytes, int count) override;

    // Runs work on the link's thread as job.
    bool Post(ESessionJob job, QObject* receiver, Done done,
              std::function<void(SessionResult&)> work);
    // Link thread: runs fn on this object's thread.
    void Deliver(std::function<void()> fn);
    // Link thread: hands on the records and log entries gathered so far.
    void FlushBatch();
    void FlushLog();
    void AddRecord(int index, const uint8_t* record);
    DownloadProgress MakeProgress() const;
    void Snapshot(SessionResult& result) const;

    void RunExchange(const std::vector<SessionStep>& steps, bool openFirst, SessionResult& r);
    void RunDownload(EDownloadKind kind, int64_t from, int64_t to, SessionResult& r);
    void RunFirmware(const std::vector<uint8_t>& image, SessionResult& r);
    void ReadVersionAfterUpload(SessionResult& r);
    void DrainStoppedStream();

    ILinkClock& m_clock;
    CFt260 m_link;
    QThread m_thread;
    QObject* m_pWorker = nullptr;   // lives on m_thread; the context of posted work
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bStreamJob{false};

    // This thread.
    ESessionJob m_eJob = ESessionJob::None;
    SessionResult m_lastResult;
    std::vector<DownloadedRecord> m_vRecords;
    std::vector<uint8_t> m_vSummary;
    DownloadMeter m_meterShown;

    // Link thread.
    IDownloadSink* m_pSink = nullptr;
    bool m_bSinkOpen = false;
    std::string m_strSinkError;
    DownloadMeter m_meter;
    EDownloadKind m_eKind = EDownloadKind::Memory;
    DownloadRequest m_request;
    std::vector<DownloadedRecord> m_vBatch;
    int m_nReceived = 0;
    int m_nAnnounced = -1;
    int64_t m_tLastRecord = 0;
    std::chrono::steady_clock::time_point m_tStart;
    std::chrono::steady_clock::time_point m_tLastFlush;
    std::vector<PacketLogEntry> m_vLog;
};
