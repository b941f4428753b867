#pragma once
// The firmware upload dialog: nothing but the firmware upload (choose an
// image, drop it, upload it, stop it) and the button that shows or hides the
// packet log window. The main window constructs it, gives it the session
// through m_pSession before showing it, and destroys it when it closes; the
// image dies with the dialog.

#include "CDlgComm.h"
#include "CFirmwareUpload.h"

class CDlgLog;
class CMeterSession;
class ILinkClock;

class CDlgFw : public CDlgComm {
    Q_OBJECT
public:
    static constexpr int IDD = 141;
    static constexpr int IDC_BUTTON_FILE = CFirmwareUpload::IDC_BUTTON_FILE;
    static constexpr int IDC_EDIT_PATH = CFirmwareUpload::IDC_EDIT_PATH;
    static constexpr int IDC_GROUP_FIRMWARE = 1029;
    static constexpr int IDC_BUTTON_DROP = CFirmwareUpload::IDC_BUTTON_DROP;
    static constexpr int IDC_STATIC_STATUS = CFirmwareUpload::IDC_STATIC_STATUS;
    static constexpr int IDC_BUTTON_LOG = 1048;
    static constexpr int IDC_PROGRESS = CFirmwareUpload::IDC_PROGRESS;
    static constexpr int IDC_BUTTON_UPLOAD = CFirmwareUpload::IDC_BUTTON_UPLOAD;

    // logWindow: the main window's packet log window, or null.
    CDlgFw(QWidget* parent, ILinkClock& clock, CDlgLog* logWindow);
    ~CDlgFw() override;

    static const CDlgTemplate& DialogTemplate();

    // ---- handlers (public so that tests drive them as the user would) ----
    void OnChooseFile();
    void OnDropImage();
    void OnUpload();
    void OnLog();

    // Closing frees the image. While an upload runs the window stays open.
    void done(int result) override;

    CMeterSession* m_pSession = nullptr;   // the main window's session, not owned
    CFirmwareUpload m_firmware;

protected:
    void InitControls() override;
    void PaintExtra(QPainter& dc) override;

private:
    // Upload and drop exactly while an image is ready; choosing a file always.
    void ApplyControlState();

    CDlgLog* m_pLogDlg;
};
