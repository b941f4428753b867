#include "CFirmwareUpload.h"

#include "CDlgComm.h"

#include "CFt260.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"
#include "ILinkClock.h"
#include "LinkResult.h"
#include "MeterCommands.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <utility>

namespace {

// Pauses that give the meter time to erase and to write what it received.
constexpr int kWaitBeforeRequestMs = 100;
constexpr int kWaitAfterRequestMs = 300;
constexpr int kWaitBeforeHeadMs = 300;
constexpr int kWaitAfterHeadMs = 300;
constexpr int kWaitBeforePieceMs = 100;

// The data phase runs the bar from 20 to 100.
constexpr int kDataPhaseStart = 20;
constexpr int kDataPhaseSpan = 80;

void Enable(QWidget* widget, bool enabled)
{
    if (widget)
        widget->setEnabled(enabled);
}

QString LinkText(const CFt260* link)
{
    return QString::fromStdString(link ? link->GetErrorText() : LinkResultText(LINK_OPEN_FAILED));
}

}   // namespace

const char* const CFirmwareUpload::kFileFilter =
    "펌웨어 이미지 파일 (*.bin) | *.bin; | All Files(*.*)|*.*||";

CFirmwareUpload::Controls CFirmwareUpload::ControlsOf(const CDlgComm& window)
{
    Controls controls;
    controls.pPath = window.GetDlgItemAs<QLineEdit>(IDC_EDIT_PATH);
    controls.pStatus = window.GetDlgItemAs<QLabel>(IDC_STATIC_STATUS);
    controls.pProgress = window.GetDlgItemAs<QProgressBar>(IDC_PROGRESS);
    controls.pUpload = window.GetDlgItemAs<QPushButton>(IDC_BUTTON_UPLOAD);
    controls.pDrop = window.GetDlgItemAs<QPushButton>(IDC_BUTTON_DROP);
    controls.pClose = window.GetDlgItemAs<QPushButton>(IDCANCEL);
    return controls;
}

CFirmwareUpload::CFirmwareUpload(QWidget* window, const Controls& controls, ILinkClock& clock,
                                 std::function<void()> applyControlState)
    : m_pWindow(window)
    , m_controls(controls)
    , m_clock(clock)
    , m_fnApplyControlState(std::move(applyControlState))
{
    if (QProgressBar* bar = m_controls.pProgress) {
        bar->setRange(0, 100);
        bar->setValue(0);
        // The bar shows the step texts instead of a percentage.
        bar->setFormat(QString());
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
    }
}

void CFirmwareUpload::SetLink(CFt260* link)
{
    m_pLink = link;
}

bool CFirmwareUpload::IsImageReady() const
{
    return m_bImageReady != 0;
}

uint32_t CFirmwareUpload::ImageSize() const
{
    return m_nImageSize;
}

void CFirmwareUpload::ApplyControlState()
{
    if (m_fnApplyControlState)
        m_fnApplyControlState();
}

void CFirmwareUpload::SetProgress(int position, const QString& text)
{
    QProgressBar* bar = m_controls.pProgress;
    if (!bar)
        return;
    // Text first: whoever watches the value sees the text that goes with it.
    bar->setFormat(text);
    bar->setValue(position);
    // The upload keeps the event loop waiting, so the bar is drawn here.
    bar->repaint();
}

void CFirmwareUpload::ChooseFile()
{
    if (m_bUploading)
        return;
    const QString path = CUiPrompts::ChooseOpenFile(m_pWindow, QStringLiteral("열기"),
                                                    QString::fromUtf8(kFileFilter),
                                                    QStringLiteral("."));
    if (path.isEmpty())
        return;

    m_bImageReady = 0;
    QFile file(path);
    // A file that does not open leaves the status line and the path alone.
    if (file.open(QIODevice::ReadOnly)) {
        if (ReadImage(file)) {
            m_bImageReady = 1;
            if (m_controls.pStatus)
                m_controls.pStatus->setText(
                    QString::asprintf("상태 : 파일 읽기 성공 (파일사이즈 : %d)", int(m_nImageSize)));
            if (m_controls.pPath)
                m_controls.pPath->setText(QDir::toNativeSeparators(path));
        } else if (m_controls.pStatus) {
            m_controls.pStatus->setText(QStringLiteral("상태 : 정상적인 펌웨어 파일이 아닙니다."));
        }
        SetProgress(0, QStringLiteral("업로드 대기중."));
    }
    ApplyControlState();
}

bool CFirmwareUpload::ReadImage(QFile& file)
{
    // The previous image goes whatever this file turns out to be.
    std::vector<uint8_t>().swap(m_pImage);
    m_nImageSize = 0;

    // No firmware comes near 16 MiB: a larger file is not read into memory
    // at all, and neither is a pipe or device whose length is unknown.
    const qint64 size = file.size();
    if (file.isSequential() || size < FIRMWARE_HEAD_LEN || size > qint64(kMaxImageSize))
        return false;

    std::vector<uint8_t> image(static_cast<size_t>(size));
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(image.data()) + got, size - got);
        if (n <= 0)
            break;
        got += n;
    }
    // Half an image must never reach the meter.
    if (got != size || !HasFirmwareHead(image.data(), image.size()))
        return false;

    m_pImage = std::move(image);
    m_nImageSize = static_cast<uint32_t>(size);
    return true;
}

void CFirmwareUpload::DropImage()
{
    if (m_bUploading)
        return;
    m_bImageReady = 0;
    if (m_controls.pStatus)
        m_controls.pStatus->setText(QStringLiteral("펌웨어 업데이트 취소"));
    if (m_controls.pPath)
        m_controls.pPath->clear();
    ApplyControlState();
}

void CFirmwareUpload::Upload()
{
    if (m_bUploading)
        return;
    m_bUploading = true;
    CWaitCursor wait;
    // Nothing may close the window or touch the image until the meter is done.
    Enable(m_controls.pUpload, false);
    Enable(m_controls.pDrop, false);
    Enable(m_controls.pClose, false);

    const QString result = RunUpload();

    if (m_controls.pStatus)
        m_controls.pStatus->setText(result);
    m_bImageReady = 0;
    m_bUploading = false;
    ApplyControlState();
    Enable(m_controls.pClose, true);
}

QString CFirmwareUpload::RunUpload()
{
    // The size is public and may have been set apart from the buffer: never
    // send more than the buffer holds, nor an image without its head.
    if (m_pImage.empty() || m_nImageSize == 0)
        return QStringLiteral("파일 내용 없음");
    if (m_nImageSize > m_pImage.size() || m_nImageSize < uint32_t(FIRMWARE_HEAD_LEN))
        return QStringLiteral("파일 내용 없음");

    uint8_t reply[REPLY_BUFFER_LEN] = {};

    // Phase 1: the meter prepares for an update.
    SetProgress(5, QStringLiteral("5% - 펌웨어 업데이트 요청"));
    m_clock.SleepMs(kWaitBeforeRequestMs);
    if (!m_pLink || SendMeterRequest(*m_pLink, MakeReadRequest(CMD_FW_UPDATE), reply) <= -1)
        return QStringLiteral("펌웨어 업데이트 요청 실패 ") + LinkText(m_pLink);
    SetProgress(10, QStringLiteral("10% - 펌웨어 업데이트 요청 완료"));
    m_clock.SleepMs(kWaitAfterRequestMs);

    // Phase 2: the head marker, which the meter judges.
    SetProgress(15, QStringLiteral("15% - 펌웨어 헤더 전송"));
    m_clock.SleepMs(kWaitBeforeHeadMs);
    if (SendFirmwareHead(*m_pLink, m_pImage.data(), reply) <= -1)
        return QStringLiteral("펌웨어 헤더 전송 실패 ") + LinkText(m_pLink);
    // "해저" stays as the meter's users have always read it.
    SetProgress(20, QStringLiteral("20% - 펌웨어 해저 전송 완료"));
    m_clock.SleepMs(kWaitAfterHeadMs);
    if (!IsFirmwareHeadAccepted(reply))
        return QStringLiteral("펌웨어 파일 Head 값 에러");

    // Phase 3: the body in order. A piece whose exchange failed ends the
    // upload: skipping it would leave a hole in the meter's image.
    const size_t total = m_nImageSize;
    size_t position = FIRMWARE_HEAD_LEN;
    for (const FirmwarePiece& piece : PlanFirmwarePieces(total)) {
        m_clock.SleepMs(kWaitBeforePieceMs);
        if (SendFirmwarePiece(*m_pLink, m_pImage.data(), piece, reply) <= -1)
            return QStringLiteral("펌웨어 데이터 전송 실패 ") + LinkText(m_pLink);
        if (IsFirmwareCrcError(reply))
            return QStringLiteral("펌웨어 파일 업로드 CRC 에러");
        position = piece.nOffset + piece.nLength;

        const int progress =
            kDataPhaseStart + int(uint64_t(kDataPhaseSpan) * position / total);
        const double percent = double(position) / double(total) * 100.0;
        SetProgress(progress, progress < 100
                                  ? QString::asprintf("%d%% -  데이터 업로드 중(%.1f%%)...",
                                                      progress, percent)
                                  : QString::asprintf("%d%% -  데이터 업로드 완료(%.1f%%)...",
                                                      progress, percent));
    }
    if (position != total)
        return QStringLiteral("알수 없는 에러");
    return QStringLiteral("펌웨어 업데이트 완료");
}
