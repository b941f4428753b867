#pragma once
// The administrator window on the simulated meter with a driven clock, the
// prompts answered by the test, and a filter in front of the simulated
// bridge that can keep requests from reaching the meter or answer them with
// a reply of the test's own.

#include "UiTestSupport.h"
#include "CDlgAdmin.h"
#include "CFt260.h"
#include "CManualClock.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSqliteArchive.h"

#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

// Passes everything to the simulated bridge except short requests whose
// command is dropped (the meter never hears them, so the link times out) or
// replaced (the meter never hears them; the given payload comes back in a
// well-formed frame instead).
class CFilterBridge : public IBridgeLibrary {
public:
    explicit CFilterBridge(CSimBridge& inner) : m_inner(inner) {}

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override;
    int OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device) override;

    std::set<uint8_t> m_dropped;
    std::map<uint8_t, std::vector<uint8_t>> m_replaced;
    CSimBridge& m_inner;
};

class CAdminTestRig {
public:
    CAdminTestRig(const CSimMeter::Setup& setup = CSimMeter::Setup());
    ~CAdminTestRig();

    // The window's cells.
    QString Info(int col, int row) const;
    QString Cal(int col, int row) const;
    void SetInfo(int col, int row, const QString& text);
    void SetCal(int col, int row, const QString& text);

    // The payload of the last request the link framed (after STX, length
    // and command byte), and its command byte.
    std::vector<uint8_t> LastPayload() const;
    int LastCommand() const;

    // Waits until the window's session job (and what it started) ended.
    void Wait();
    // Runs a device search and expects it to succeed silently.
    void SearchOk();
    // Gives the window a fresh archive file of its own.
    void AttachArchive();
    QString LastMessage() const { return messages.empty() ? QString() : messages.back(); }
    void Answer(bool yes) { answers.push_back(yes); }

    CManualClock clock;
    CSimMeter meter;
    CSimBridge simBridge;
    CFilterBridge bridge;
    CMeterSession session;
    std::unique_ptr<CDlgAdmin> dlg;
    QTemporaryDir archiveDir;
    std::unique_ptr<CSqliteArchive> archive;

    std::vector<std::pair<QString, QString>> questions;   // text, caption
    std::vector<QString> messages;
    std::deque<bool> answers;                             // empty: No
    // Called inside every question, before it is answered.
    std::function<void(const QString&)> onQuestion;
};

// Seconds since 1970 of a calendar time read as UTC (the simulated meter's
// clock); LocalSeconds (UiTestSupport.h) gives those of a local time.
int64_t CalendarSeconds(int y, int mo, int d, int h, int mi, int s);
