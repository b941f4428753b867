#pragma once
// The meter as brevane-cli reaches it: the bridge the options choose (the
// simulated meter, one serial device, or the FT260 found on USB as a HID
// device or as its serial port, as the program itself looks for it) and the
// session that runs the meter's operations on the link's thread. Every call
// waits for its job, spinning the event loop so the session's signals (the
// progress of a download) arrive meanwhile.
//
// Failures come back as the tool's exit code with a one-line message; a
// link failure names the link's own text with its result code.

#include "CCliOptions.h"
#include "SessionTypes.h"

#include <memory>
#include <string>
#include <vector>

class CCliProgress;
class CMeterSession;
class CSimMeter;
class IBridgeLibrary;
class IDownloadSink;
class ILinkClock;

class CCliMeter {
public:
    // A bridge discovery found: its path and how it was found.
    struct Found {
        std::string strPath;
        std::string strHow;   // "hid", "serial", "port", "simulated"
    };

    CCliMeter(const CCliOptions& options, ILinkClock& clock);
    ~CCliMeter();
    CCliMeter(const CCliMeter&) = delete;
    CCliMeter& operator=(const CCliMeter&) = delete;

    // Every FT260 bridge the chosen route lists now; nothing is opened.
    std::vector<Found> List();

    // Discovery; CLI_NO_METER when no bridge is there.
    int Find(std::string* error);
    // The requests in order, the link opened first; a failed request ends
    // the job (CLI_LINK_FAILURE). what names the operation in the message.
    int Exchange(const std::vector<MeterRequest>& requests, const char* what, SessionResult* result,
                 std::string* error);
    // Name, serial number and version: the identity a download is kept under.
    int ReadIdentity(std::string* error);
    // A download into the sink (may be null), progress drawn as it comes.
    // CLI_OK, CLI_LINK_FAILURE when nothing came before the link failed,
    // CLI_INCOMPLETE when it ended early after some records.
    int Download(EDownloadKind kind, int64_t from, int64_t to, IDownloadSink* sink, CCliProgress& progress,
                 SessionResult* result, std::string* error);

    CMeterSession& Session() { return *m_pSession; }

    // "<what>: <the link's text>" and, for an open refused for want of
    // permission, what to do about it.
    static std::string LinkFailureText(const char* what, const SessionResult& result);

private:
    // How often a download looks whether Ctrl-C was pressed.
    static constexpr int kInterruptLookMs = 100;

    // Runs the event loop until the session's job has ended, without
    // spinning: the session's signals wake it. stopOnInterrupt: Ctrl-C or
    // SIGTERM asks the job to stop.
    void WaitForJob(bool stopOnInterrupt);

    const CCliOptions& m_options;
    ILinkClock& m_clock;
    std::unique_ptr<CSimMeter> m_pSimMeter;
    std::unique_ptr<IBridgeLibrary> m_pBridge;
    std::unique_ptr<CMeterSession> m_pSession;
};
