#pragma once
// The packet log window: every transfer on the link to the meter as one line
// of hexadecimal bytes with direction and time stamp, e.g.
//   SEND-[2026-12-06 09:15:07] 02 02 31 00 31 03  (6 BYTE)
// and, while "Log Save" is ticked, the same line appended to an hourly file
// <log dir><day>/<day>_<hour>_LOG.log (CRLF line ends).
//
// The window is made once, hidden, by the main window (its parent) and lives
// with it: a tool window in front of its owner, never modal. Entries
// accumulate whether it is shown or not. "Close", Esc and the close box only
// hide it. The text box is the only store of shown entries: past 2000
// entries it is emptied before the next one. Entries are added at the end
// whatever the user has selected; the view follows them only while it shows
// the end of the box.
//
// "지원 파일 만들기" writes the support file (CSupportBundle): the packet logs
// of the last day, the settings without the password, the newest crash
// records and what the system sees of the bridge, in one .zip to attach to
// a problem report.

#include "CDlgComm.h"
#include "IPacketLog.h"

#include <functional>
#include <string>

class ILinkClock;
struct SupportBundleInput;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class CDlgLog : public CDlgComm, public IPacketLog {
    Q_OBJECT
public:
    static constexpr int IDD = 140;
    static constexpr int IDC_EDIT_PACKET = 1050;
    static constexpr int IDC_CHECK_SAVE = 1051;
    static constexpr int IDC_BUTTON_CLEAR = 1052;
    static constexpr int IDC_BUTTON_SUPPORT = 1056;
    static constexpr int kMaxLines = 2000;

    // logDir ends with a separator (one is added when it does not).
    CDlgLog(QWidget* parent, const std::string& logDir, ILinkClock& clock);
    ~CDlgLog() override;

    static const CDlgTemplate& DialogTemplate();

    void AppendPacket(int direction, const uint8_t* bytes, int count) override;
    // Shows the window when hidden, hides it when shown.
    void ToggleVisible();

    // What the support file is made of, asked at the moment it is made (the
    // owner knows the settings, the meter and the archive). Without one the
    // file holds the packet logs of this window's folder.
    void SetSupportSource(std::function<SupportBundleInput()> source);
    // "지원 파일 만들기": asks for the file's name and writes it.
    void OnSupportFile();

    // The entry line without its line break.
    static std::string FormatEntry(int direction, const uint8_t* bytes, int count, int64_t seconds);

protected:
    void InitControls() override;
    void OnCancel() override;
    // Appends one entry (without line break) to the hourly file of the
    // clock's present time; any failure loses the entry in the file only.
    void WriteLogFile(const std::string& entry);

private:
    void OnClear();

    std::string m_szLogDir;
    ILinkClock& m_clock;
    QCheckBox* m_chkSave = nullptr;
    QPlainTextEdit* m_editPacket = nullptr;
    QPushButton* m_btnClear = nullptr;
    bool m_bFollowEnd = true;   // the view showed the last entry
    std::function<SupportBundleInput()> m_fnSupportSource;
};
