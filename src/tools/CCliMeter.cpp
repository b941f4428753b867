#include "CCliMeter.h"

#include "CCliProgress.h"
#include "CCompositeBridgeLibrary.h"
#include "CHidFt260Library.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CTtyBridgeLibrary.h"
#include "IBridgeDevice.h"
#include "LinkResult.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <csignal>

namespace {

// Ctrl-C or a termination during a download stops it the way the windows'
// stop button does: what came is kept and written, the meter's rest of the
// stream is read off, and the tool ends with the incomplete code.
std::atomic<bool> g_bInterrupted{false};

extern "C" void OnInterrupt(int)
{
    g_bInterrupted = true;
}

class CInterruptGuard {
public:
    CInterruptGuard()
    {
        g_bInterrupted = false;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~CInterruptGuard()
    {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

bool IsBridge(const HidInterfaceInfo& info)
{
    return info.attributesRead && info.vendorId == CTtyBridgeLibrary::kVendorId &&
           info.productId == CTtyBridgeLibrary::kProductId;
}

void AddBridges(IBridgeLibrary& library, const char* how, std::vector<CCliMeter::Found>* found)
{
    for (const HidInterfaceInfo& info : library.EnumerateHidInterfaces())
        if (IsBridge(info))
            found->push_back({info.path, how});
}

} // namespace

CCliMeter::CCliMeter(const CCliOptions& options, ILinkClock& clock)
    : m_options(options)
    , m_clock(clock)
{
    if (options.m_bSimulate) {
        m_pSimMeter = std::make_unique<CSimMeter>(clock);
        m_pBridge = std::make_unique<CSimBridge>(*m_pSimMeter, clock);
    } else if (!options.m_strPort.empty()) {
        m_pBridge = CTtyBridgeLibrary::ForFixedPort(options.m_strPort);
    } else {
        auto both = std::make_unique<CCompositeBridgeLibrary>();
        both->Add(std::make_unique<CHidFt260Library>());
        both->Add(std::make_unique<CTtyBridgeLibrary>());
        m_pBridge = std::move(both);
    }
    m_pSession = std::make_unique<CMeterSession>(*m_pBridge, clock);
}

CCliMeter::~CCliMeter()
{
    // The session stops its thread before the bridge it uses goes.
    m_pSession.reset();
    m_pBridge.reset();
}

std::vector<CCliMeter::Found> CCliMeter::List()
{
    std::vector<Found> found;
    if (m_options.m_bSimulate) {
        AddBridges(*m_pBridge, "simulated", &found);
    } else if (!m_options.m_strPort.empty()) {
        AddBridges(*m_pBridge, "port", &found);
    } else {
        // Each route on its own, so every bridge says how it was found.
        CHidFt260Library hid;
        AddBridges(hid, "hid", &found);
        CTtyBridgeLibrary serial;
        AddBridges(serial, "serial", &found);
    }
    return found;
}

void CCliMeter::WaitForJob(bool stopOnInterrupt)
{
    // The loop sleeps until the session's next signal; the timer looks at
    // the interrupt flag in between, since a signal handler may not touch Qt.
    QEventLoop loop;
    QObject::connect(m_pSession.get(), &CMeterSession::JobFinished, &loop, &QEventLoop::quit);
    QTimer look;
    bool cancelled = false;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (stopOnInterrupt && g_bInterrupted && !cancelled) {
            m_pSession->RequestCancel();
            cancelled = true;
        }
    });
    look.start(kInterruptLookMs);
    if (m_pSession->IsBusy())
        loop.exec();
}

int CCliMeter::Find(std::string* error)
{
    m_pSession->StartDetect();
    WaitForJob(false);
    if (m_pSession->LastResult().bFound)
        return CLI_OK;
    if (!m_options.m_strPort.empty())
        *error = "no meter at " + m_options.m_strPort + " (not a terminal device this user may open)";
    else
        *error = "no meter found (no FT260 bridge on USB, as HID device or as serial port)";
    return CLI_NO_METER;
}

std::string CCliMeter::LinkFailureText(const char* what, const SessionResult& r)
{
    std::string text = std::string(what) + ": ";
    text += r.strError.empty() ? "result code " + std::to_string(r.nResult) : r.strError;
    if (r.nResult == LINK_OPEN_FAILED && r.nOpenStatus == BRIDGE_ACCESS_DENIED)
        text += " - the meter is there but this user may not open it; install the udev rule "
                "70-brevane-ft260.rules and plug the meter in again";
    return text;
}

int CCliMeter::Exchange(const std::vector<MeterRequest>& requests, const char* what, SessionResult* result,
                        std::string* error)
{
    std::vector<SessionStep> steps;
    for (const MeterRequest& request : requests)
        steps.push_back(SessionStep{request, true});
    m_pSession->StartExchange(std::move(steps), true);
    WaitForJob(false);
    *result = m_pSession->LastResult();
    const bool failed = !result->bOpened || result->steps.size() != requests.size() ||
                        (!result->steps.empty() && result->steps.back().nResult < 0);
    if (!failed)
        return CLI_OK;
    // The code of the step that failed (the job's code may be of the open).
    SessionResult shown = *result;
    if (result->bOpened && !result->steps.empty()) {
        shown.nResult = result->steps.back().nResult;
        shown.strError = LinkResultText(shown.nResult);
    }
    *error = LinkFailureText(what, shown);
    return CLI_LINK_FAILURE;
}

int CCliMeter::ReadIdentity(std::string* error)
{
    SessionResult r;
    return Exchange({MakeReadRequest(CMD_READ_NAME), MakeReadRequest(CMD_READ_SERIAL),
                     MakeReadRequest(CMD_READ_VERSION)},
                    "cannot read the meter's identity", &r, error);
}

int CCliMeter::Download(EDownloadKind kind, int64_t from, int64_t to, IDownloadSink* sink,
                        CCliProgress& progress, SessionResult* result, std::string* error)
{
    CMeterSession& session = *m_pSession;
    session.SetDownloadSink(sink);
    const QMetaObject::Connection shown = QObject::connect(
        &session, &CMeterSession::Progress, [&progress](const DownloadProgress& p) { progress.Update(p); });
    {
        CInterruptGuard guard;
        if (kind == EDownloadKind::Memory)
            session.StartMemoryDownload(from, to);
        else
            session.StartOutputDownload();
        WaitForJob(true);
    }
    QObject::disconnect(shown);
    progress.Finish();
    session.SetDownloadSink(nullptr);
    *result = session.LastResult();

    const SessionResult& r = *result;
    if (r.bCancelled) {
        *error = "download stopped by the user after " + std::to_string(r.nRecords) + " records";
        return CLI_INCOMPLETE;
    }
    if (r.nResult < 0 && r.nRecords == 0) {
        *error = LinkFailureText("download failed", r);
        return CLI_LINK_FAILURE;
    }
    if (!r.bComplete) {
        std::string why = r.nResult < 0 ? LinkFailureText("", r).substr(2) : std::string();
        if (why.empty() && kind == EDownloadKind::Output)
            why = "the meter announced more records than came";
        *error = "incomplete download: " + std::to_string(r.nRecords) + " records" +
                 (why.empty() ? std::string() : ", " + why);
        return CLI_INCOMPLETE;
    }
    return CLI_OK;
}
