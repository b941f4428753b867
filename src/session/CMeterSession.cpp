#include "CMeterSession.h"

#include "CCrashAltStack.h"
#include "ILinkClock.h"
#include "LinkResult.h"
#include "MeterRecords.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Pauses that give the meter time to erase and to write what it received.
constexpr int kWaitBeforeRequestMs = 100;
constexpr int kWaitAfterRequestMs = 300;
constexpr int kWaitBeforeHeadMs = 300;
constexpr int kWaitAfterHeadMs = 300;
constexpr int kWaitBeforePieceMs = 100;

// The firmware bar: the request at 5 and 10, the head at 15 and 20, the
// body from 20 to 100.
constexpr int kDataPhaseStart = 20;
constexpr int kDataPhaseSpan = 80;

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}   // namespace

CMeterSession::CMeterSession(IBridgeLibrary& bridge, ILinkClock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_link(bridge, clock)
{
    qRegisterMetaType<SessionResult>();
    qRegisterMetaType<DownloadProgress>();
    m_link.m_pOwner = this;
    m_thread.setObjectName(QStringLiteral("brevane-link"));
    m_pWorker = new QObject;
    m_pWorker->moveToThread(&m_thread);
    // The link's thread gets a signal stack of its own first thing, so that
    // a crash there (a stack overflow included) still leaves its record.
    connect(&m_thread, &QThread::started, [] { CCrashAltStack::ForThisThread(); });
    m_thread.start();
}

CMeterSession::~CMeterSession()
{
    RequestCancel();
    m_thread.quit();
    m_thread.wait();
    delete m_pWorker;
    m_link.m_pOwner = nullptr;
}

void CMeterSession::SetDownloadSink(IDownloadSink* sink)
{
    if (IsBusy())
        return;
    m_pSink = sink;
}

// ---- posting ----

bool CMeterSession::Post(ESessionJob job, QObject* receiver, Done done,
                         std::function<void(SessionResult&)> work)
{
    if (IsBusy())
        return false;
    m_eJob = job;
    m_bCancel = false;
    // Only a record stream is cut short by the link; an upload stops between
    // pieces, and a short exchange always runs to its reply or time-out.
    m_bStreamJob = job == ESessionJob::MemoryDownload || job == ESessionJob::OutputDownload;
    // No job runs, so the link is idle: a stop asked for from now on, even
    // before the link's thread takes the job up, belongs to this job.
    m_link.ClearCancel();
    emit JobStarted(job);

    const bool hasReceiver = receiver != nullptr;
    QPointer<QObject> guard(receiver);
    QMetaObject::invokeMethod(m_pWorker, [this, job, work = std::move(work), done = std::move(done),
                                          hasReceiver, guard]() {
        SessionResult result;
        result.eJob = job;
        work(result);
        Snapshot(result);
        FlushLog();
        Deliver([this, result, done, hasReceiver, guard]() {
            m_eJob = ESessionJob::None;
            m_lastResult = result;
            if (done && (!hasReceiver || guard))
                done(result);
            emit JobFinished(result);
        });
    }, Qt::QueuedConnection);
    return true;
}

void CMeterSession::Deliver(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CMeterSession::RequestCancel()
{
    m_bCancel = true;
    if (m_bStreamJob.load())
        m_link.RequestCancel();
}

bool CMeterSession::WaitForIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                          : QDeadlineTimer(timeoutMs));
    // The thread sleeps until an event comes (the job's queued signals) or
    // the timer looks again; processEvents with a time limit would not
    // sleep at all, and the wait would spin a core.
    QTimer look;
    look.start(20);
    while (IsBusy()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void CMeterSession::Snapshot(SessionResult& r) const
{
    r.nResult = m_link.m_nResult;
    r.strError = m_link.GetErrorText();
    r.nOpenStatus = m_link.m_nOpenStatus;
    if (r.nResult == LINK_CANCELLED)
        r.bCancelled = true;
    LinkExchange& x = r.exchange;
    x.nTxLen = m_link.m_nTxLen;
    x.nRxLen = int(m_link.m_nRxLen);
    x.tTx = m_link.m_tTx;
    x.tRx = m_link.m_tRx;
    const int tx = std::clamp(x.nTxLen, 0, int(CFt260::LINK_BUFFER_SIZE));
    const int rx = std::clamp(x.nRxLen, 0, int(CFt260::LINK_BUFFER_SIZE));
    x.tx.assign(m_link.m_TxBuf, m_link.m_TxBuf + tx);
    x.rx.assign(m_link.m_RxBuf, m_link.m_RxBuf + rx);
}

// ---- jobs ----

bool CMeterSession::StartDetect(QObject* receiver, Done done)
{
    return Post(ESessionJob::Detect, receiver, std::move(done), [this](SessionResult& r) {
        r.bFound = !m_link.FindDevice().empty();
    });
}

bool CMeterSession::StartExchange(std::vector<SessionStep> steps, bool openFirst, QObject* receiver,
                                  Done done)
{
    return Post(ESessionJob::Exchange, receiver, std::move(done),
                [this, steps = std::move(steps), openFirst](SessionResult& r) {
                    RunExchange(steps, openFirst, r);
                });
}

bool CMeterSession::StartRequest(const MeterRequest& request, QObject* receiver, Done done)
{
    return StartExchange({SessionStep{request, true}}, false, receiver, std::move(done));
}

bool CMeterSession::StartMemoryDownload(int64_t from, int64_t to, QObject* receiver, Done done)
{
    if (IsBusy())
        return false;
    m_vRecords.clear();
    emit DownloadStarted(EDownloadKind::Memory);
    return Post(ESessionJob::MemoryDownload, receiver, std::move(done), [this, from, to](SessionResult& r) {
        RunDownload(EDownloadKind::Memory, from, to, r);
    });
}

bool CMeterSession::StartOutputDownload(QObject* receiver, Done done)
{
    if (IsBusy())
        return false;
    m_vRecords.clear();
    m_vSummary.clear();
    emit DownloadStarted(EDownloadKind::Output);
    return Post(ESessionJob::OutputDownload, receiver, std::move(done), [this](SessionResult& r) {
        RunDownload(EDownloadKind::Output, 0, 0, r);
    });
}

bool CMeterSession::StartFirmwareUpload(std::vector<uint8_t> image, QObject* receiver, Done done)
{
    return Post(ESessionJob::FirmwareUpload, receiver, std::move(done),
                [this, image = std::move(image)](SessionResult& r) { RunFirmware(image, r); });
}

// ---- link thread ----

void CMeterSession::RunExchange(const std::vector<SessionStep>& steps, bool openFirst, SessionResult& r)
{
    if (openFirst && !m_link.Open()) {
        r.bOpened = false;
        return;
    }
    for (const SessionStep& step : steps) {
        SessionStepResult out;
        out.nCommand = step.request.nCommand;
        out.nResult = SendMeterRequest(m_link, step.request, out.reply);
        r.steps.push_back(out);
        if (out.nResult >= 0) {
            // What a device search reads is the identity a download is kept under.
            switch (step.request.nCommand) {
            case CMD_READ_NAME:
                m_meter.strName = DecodeTextReply(out.reply, NAME_FIELD_LEN);
                break;
            case CMD_READ_SERIAL:
                m_meter.strSerial = SerialNumberText(out.reply);
                break;
            case CMD_READ_VERSION:
                m_meter.strVersion = DecodeTextReply(out.reply, VERSION_FIELD_LEN);
                break;
            default:
                break;
            }
        } else if (step.request.nCommand == CMD_READ_NAME) {
            // A search that cannot read the name has found no meter to name.
            m_meter = DownloadMeter();
        }
        if (out.nResult < 0 && step.bStopOnFailure)
            break;
    }
    const DownloadMeter meter = m_meter;
    Deliver([this, meter] { m_meterShown = meter; });
}

void CMeterSession::RunDownload(EDownloadKind kind, int64_t from, int64_t to, SessionResult& r)
{
    m_eKind = kind;
    m_vBatch.clear();
    m_nReceived = 0;
    m_nAnnounced = -1;
    m_tLastRecord = 0;
    m_request = DownloadRequest();
    m_request.eKind = kind;
    m_request.tFrom = from;
    m_request.tTo = to;
    m_request.tStarted = m_clock.NowSeconds();
    m_tStart = m_tLastFlush = std::chrono::steady_clock::now();

    m_strSinkError.clear();
    m_bSinkOpen = false;
    if (m_pSink) {
        std::string error;
        m_bSinkOpen = m_pSink->BeginDownload(m_meter, m_request, &error);
        if (!m_bSinkOpen)
            m_strSinkError = error.empty() ? std::string("download sink refused the download") : error;
    }

    int result = LINK_OK;
    if (kind == EDownloadKind::Memory) {
        int count = 0;
        result = m_link.ReadMemoryRecords(from, to, &count);
    } else {
        result = m_link.ReadOutputRecords();
    }
    FlushBatch();
    if (result == LINK_CANCELLED)
        DrainStoppedStream();

    r.nRecords = m_nReceived;
    r.bComplete = result == LINK_OK
                  && (kind == EDownloadKind::Memory || m_nAnnounced < 0 || m_nReceived >= m_nAnnounced);
    if (m_bSinkOpen)
        m_pSink->EndDownload(result, r.bComplete);
    m_bSinkOpen = false;
    r.strSinkError = m_strSinkError;
}

// The meter has no stop command: after a cancel it goes on sending the rest
// of the stream, which would garble the replies of whatever comes next. The
// rest is read off (and logged) until the line has been quiet for a few
// polls, for at most kDrainLimitMs. The link closes the bridge when it stops
// a stream, which empties the bridge's buffer but not the meter's sending,
// so the bridge is opened again for this.
void CMeterSession::DrainStoppedStream()
{
    const int32_t result = m_link.m_nResult;
    if (!m_link.m_hDevice)
        m_link.Open();
    std::vector<uint8_t> buffer(CFt260::LINK_BUFFER_SIZE);
    int quiet = 0;
    for (int waited = 0; waited < kDrainLimitMs && quiet < kDrainQuietPolls; waited += kDrainPollMs) {
        m_clock.SleepMs(kDrainPollMs);
        uint32_t waiting = 0;
        if (!m_link.m_hDevice || m_link.m_hDevice->UartGetQueueStatus(&waiting) != BRIDGE_OK)
            break;
        if (waiting == 0) {
            ++quiet;
            continue;
        }
        quiet = 0;
        m_link.FlushRx(buffer.data(), waiting);
        FlushLog();
    }
    m_link.m_nResult = result;
}

void CMeterSession::RunFirmware(const std::vector<uint8_t>& image, SessionResult& r)
{
    const auto progress = [this](int value, double percent) {
        Deliver([this, value, percent] { emit FirmwareProgress(value, percent); });
    };
    if (image.size() < size_t(FIRMWARE_HEAD_LEN) || !HasFirmwareHead(image.data(), image.size())) {
        r.eFirmware = EFirmwareOutcome::NoImage;
        return;
    }
    uint8_t reply[REPLY_BUFFER_LEN] = {};

    // The version the meter runs now, for the window to show beside the
    // upload; a meter that does not answer is tried all the same.
    {
        const std::string before = SendMeterRequest(m_link, MakeReadRequest(CMD_READ_VERSION), reply) >= 0
                                       ? DecodeTextReply(reply, VERSION_FIELD_LEN)
                                       : std::string();
        Deliver([this, before] { emit FirmwareVersion(QString::fromStdString(before), false); });
    }

    // Phase 1: the meter prepares for an update.
    progress(5, 0.0);
    m_clock.SleepMs(kWaitBeforeRequestMs);
    if (SendMeterRequest(m_link, MakeReadRequest(CMD_FW_UPDATE), reply) <= -1) {
        r.eFirmware = EFirmwareOutcome::RequestFailed;
        return;
    }
    progress(10, 0.0);
    m_clock.SleepMs(kWaitAfterRequestMs);

    // Phase 2: the head marker, which the meter judges.
    progress(15, 0.0);
    m_clock.SleepMs(kWaitBeforeHeadMs);
    if (SendFirmwareHead(m_link, image.data(), reply) <= -1) {
        r.eFirmware = EFirmwareOutcome::HeadFailed;
        return;
    }
    progress(20, 0.0);
    m_clock.SleepMs(kWaitAfterHeadMs);
    if (!IsFirmwareHeadAccepted(reply)) {
        r.eFirmware = EFirmwareOutcome::HeadRejected;
        return;
    }

    // Phase 3: the body in order. A piece whose exchange failed ends the
    // upload: skipping it would leave a hole in the meter's image. A cancel
    // is taken between pieces only, never in the middle of one.
    const size_t total = image.size();
    for (const FirmwarePiece& piece : PlanFirmwarePieces(total)) {
        if (m_bCancel.load()) {
            r.eFirmware = EFirmwareOutcome::Cancelled;
            r.bCancelled = true;
            return;
        }
        m_clock.SleepMs(kWaitBeforePieceMs);
        if (SendFirmwarePiece(m_link, image.data(), piece, reply) <= -1) {
            r.eFirmware = EFirmwareOutcome::PieceFailed;
            return;
        }
        if (IsFirmwareCrcError(reply)) {
            r.eFirmware = EFirmwareOutcome::CrcError;
            return;
        }
        ++r.nPiecesSent;
        const size_t position = piece.nOffset + piece.nLength;
        progress(kDataPhaseStart + int(uint64_t(kDataPhaseSpan) * position / total),
                 double(position) / double(total) * 100.0);
    }
    r.eFirmware = EFirmwareOutcome::Done;
    ReadVersionAfterUpload(r);
    const std::string after = r.strVersionAfter;
    Deliver([this, after] { emit FirmwareVersion(QString::fromStdString(after), true); });
}

void CMeterSession::ReadVersionAfterUpload(SessionResult& r)
{
    // The result of the upload stays the job's result: the snapshot is
    // taken of the last piece, not of a version read that timed out.
    const int32_t result = m_link.m_nResult;
    for (int attempt = 0; attempt < kVersionRetries && !m_bCancel.load(); ++attempt) {
        m_clock.SleepMs(kVersionRetryMs);
        uint8_t reply[REPLY_BUFFER_LEN] = {};
        if (SendMeterRequest(m_link, MakeReadRequest(CMD_READ_VERSION), reply) >= 0) {
            r.strVersionAfter = DecodeTextReply(reply, VERSION_FIELD_LEN);
            m_meter.strVersion = r.strVersionAfter;
            break;
        }
    }
    m_link.m_nResult = result;
}

// ---- the link's owner, on the link thread ----

IPacketLog* CMeterSession::GetPacketLog()
{
    return this;
}

void CMeterSession::AppendPacket(int direction, const uint8_t* bytes, int count)
{
    PacketLogEntry entry;
    entry.nDirection = direction;
    if (bytes && count > 0)
        entry.bytes.assign(bytes, bytes + count);
    m_vLog.push_back(std::move(entry));
    // Short exchanges hand their entries on when they end; a stream with the
    // records it brings.
}

void CMeterSession::FlushLog()
{
    if (m_vLog.empty())
        return;
    std::vector<PacketLogEntry> entries;
    entries.swap(m_vLog);
    Deliver([this, entries = std::move(entries)] { emit PacketsLogged(entries); });
}

void CMeterSession::AddMemoryRecord(int index, const uint8_t* record)
{
    AddRecord(index, record);
}

void CMeterSession::AddOutputRecord(int index, const uint8_t* record)
{
    AddRecord(index, record);
}

void CMeterSession::SetOutputSummary(const uint8_t* summary)
{
    const std::vector<uint8_t> bytes(summary, summary + OUTPUT_SUMMARY_LEN);
    m_nAnnounced = DecodeOutputSummary(summary).nCount;
    if (m_bSinkOpen && m_strSinkError.empty()) {
        std::string error;
        if (!m_pSink->SetOutputSummary(summary, &error))
            m_strSinkError = error.empty() ? std::string("download sink failed") : error;
    }
    Deliver([this, bytes] {
        m_vSummary = bytes;
        emit OutputSummaryArrived(bytes);
    });
}

void CMeterSession::AddRecord(int index, const uint8_t* record)
{
    DownloadedRecord rec;
    rec.nIndex = index;
    std::copy(record, record + MEASUREMENT_RECORD_LEN, rec.bytes);
    m_vBatch.push_back(rec);
    m_nReceived = index + 1;
    const MeasurementRecord decoded = DecodeMeasurementRecord(record);
    if (decoded.bTimeValid)
        m_tLastRecord = decoded.tWhen;

    const auto now = std::chrono::steady_clock::now();
    if (int(m_vBatch.size()) >= kBatchRecords
        || now - m_tLastFlush >= std::chrono::milliseconds(kBatchIntervalMs))
        FlushBatch();
}

DownloadProgress CMeterSession::MakeProgress() const
{
    DownloadProgress p;
    p.eKind = m_eKind;
    p.nRecords = m_nReceived;
    p.nTotal = m_eKind == EDownloadKind::Output ? m_nAnnounced : -1;
    p.dElapsedS = SecondsSince(m_tStart);
    p.dRate = p.dElapsedS > 0.0 ? p.nRecords / p.dElapsedS : 0.0;
    if (p.nTotal >= 0 && p.dRate > 0.0) {
        p.dRemainingS = std::max(0, p.nTotal - p.nRecords) / p.dRate;
    } else if (m_eKind == EDownloadKind::Memory && m_tLastRecord > m_request.tFrom) {
        // Stored records come in time order from the first day asked for:
        // how far the newest one is into the range tells how much is left.
        const double span = double(m_request.tTo + 86400 - m_request.tFrom);
        const double done = std::min(1.0, double(m_tLastRecord - m_request.tFrom) / span);
        if (done > 0.0)
            p.dRemainingS = p.dElapsedS * (1.0 - done) / done;
    }
    return p;
}

void CMeterSession::FlushBatch()
{
    m_tLastFlush = std::chrono::steady_clock::now();
    std::vector<DownloadedRecord> batch;
    batch.swap(m_vBatch);
    if (!batch.empty() && m_bSinkOpen && m_strSinkError.empty()) {
        // A sink that failed once gets nothing more of this download; the
        // rows go on to the windows all the same.
        std::string error;
        if (!m_pSink->AddRecords(batch, &error))
            m_strSinkError = error.empty() ? std::string("download sink failed") : error;
    }
    FlushLog();
    const DownloadProgress progress = MakeProgress();
    const EDownloadKind kind = m_eKind;
    Deliver([this, kind, batch = std::move(batch), progress] {
        if (!batch.empty()) {
            m_vRecords.insert(m_vRecords.end(), batch.begin(), batch.end());
            emit RecordsArrived(kind, batch);
        }
        emit Progress(progress);
    });
}
