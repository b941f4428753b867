#include "CDlgFw.h"

#include "CDlgLog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

const CDlgTemplate& CDlgFw::DialogTemplate()
{
    static const CDlgTemplate s_template{
        IDD, "펌웨어 업로드", 457, 124,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
        "GulimChe", 10, 400, false,
        {
            {IDOK, EDlgItemKind::DefPushButton, "확인", 231, 103, 50, 14, WS_DISABLED | WS_TABSTOP},
            {IDCANCEL, EDlgItemKind::PushButton, "닫 기", 397, 98, 53, 19, WS_VISIBLE | WS_TABSTOP},
            {IDC_GROUP_FIRMWARE, EDlgItemKind::GroupBox, "펌웨어 업로드", 7, 7, 439, 78, WS_VISIBLE},
            {IDC_STATIC, EDlgItemKind::StaticText, "파일 경로", 19, 28, 47, 8, WS_VISIBLE},
            {IDC_EDIT_PATH, EDlgItemKind::Edit, "", 69, 25, 336, 14,
             WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY},
            {IDC_BUTTON_FILE, EDlgItemKind::PushButton, "...", 413, 25, 26, 14,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_STATUS, EDlgItemKind::StaticText, "상태 : 파일 선택", 17, 49, 234, 8,
             WS_VISIBLE},
            {IDC_PROGRESS, EDlgItemKind::ProgressBar, "", 16, 62, 296, 14,
             WS_VISIBLE | WS_BORDER | PBS_SMOOTH},
            {IDC_BUTTON_UPLOAD, EDlgItemKind::PushButton, "업로드", 328, 53, 53, 19,
             WS_VISIBLE | WS_DISABLED | WS_TABSTOP},
            {IDC_BUTTON_DROP, EDlgItemKind::PushButton, "취소", 382, 53, 53, 19,
             WS_VISIBLE | WS_DISABLED | WS_TABSTOP},
            {IDC_BUTTON_LOG, EDlgItemKind::PushButton, "로그 보기", 318, 98, 64, 19,
             WS_VISIBLE | WS_TABSTOP},
        },
    };
    return s_template;
}

CDlgFw::CDlgFw(QWidget* parent, ILinkClock& clock, CDlgLog* logWindow)
    : CDlgComm(DialogTemplate(), parent)
    , m_firmware(this, CFirmwareUpload::ControlsOf(*this), [this] { ApplyControlState(); },
                 GetDlgItem(IDC_GROUP_FIRMWARE))
    , m_pLogDlg(logWindow)
{
    Q_UNUSED(clock);
    OnClicked(IDC_BUTTON_FILE, [this] { OnChooseFile(); });
    OnClicked(IDC_BUTTON_DROP, [this] { OnDropImage(); });
    OnClicked(IDC_BUTTON_UPLOAD, [this] { OnUpload(); });
    OnClicked(IDC_BUTTON_LOG, [this] { OnLog(); });
}

CDlgFw::~CDlgFw() = default;

void CDlgFw::InitControls()
{
    // Enter must not start an upload or open the file dialog: only the
    // hidden, disabled OK button is the default.
    for (int id : {IDC_BUTTON_FILE, IDC_BUTTON_DROP, IDC_BUTTON_UPLOAD, IDC_BUTTON_LOG})
        if (auto* button = GetDlgItemAs<QPushButton>(id))
            button->setAutoDefault(false);
    ApplyControlState();
}

void CDlgFw::PaintExtra(QPainter&)
{
    // The controls stay where the template puts them; nothing to draw.
}

void CDlgFw::ApplyControlState()
{
    const bool ready = m_firmware.IsImageReady();
    if (auto* button = GetDlgItem(IDC_BUTTON_UPLOAD))
        button->setEnabled(ready);
    if (auto* button = GetDlgItem(IDC_BUTTON_DROP))
        button->setEnabled(ready);
    if (auto* button = GetDlgItem(IDC_BUTTON_FILE))
        button->setEnabled(true);
}

void CDlgFw::OnChooseFile()
{
    m_firmware.ChooseFile();
}

void CDlgFw::OnDropImage()
{
    m_firmware.DropImage();
}

void CDlgFw::OnUpload()
{
    m_firmware.SetSession(m_pSession);
    m_firmware.Upload();
}

void CDlgFw::OnLog()
{
    if (m_pLogDlg)
        m_pLogDlg->ToggleVisible();
}

void CDlgFw::done(int result)
{
    // The image is in use until the upload ends, whatever closes the window.
    if (m_firmware.IsUploading())
        return;
    CDlgComm::done(result);
    // Nothing of the image outlives the dialog's run.
    m_firmware.m_bImageReady = 0;
    std::vector<uint8_t>().swap(m_firmware.m_pImage);
    m_firmware.m_nImageSize = 0;
    ApplyControlState();
}
