#include "CFirmwareUpload.h"

#include "CDlgComm.h"

#include "CCalibrationHistory.h"
#include "CCalibrationSnapshot.h"
#include "CMeterSession.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "ILinkClock.h"
#include "MeterRecords.h"
#include "LinkResult.h"
#include "MeterCommands.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace {

void Enable(QWidget* widget, bool enabled)
{
    if (widget)
        widget->setEnabled(enabled);
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

CFirmwareUpload::CFirmwareUpload(QWidget* window, const Controls& controls,
                                 std::function<void()> applyControlState, QWidget* group)
    : m_pWindow(window)
    , m_controls(controls)
    , m_fnApplyControlState(std::move(applyControlState))
    , m_pGroup(group)
{
    if (QProgressBar* bar = m_controls.pProgress) {
        bar->setRange(0, 100);
        bar->setValue(0);
        // The bar shows the step texts instead of a percentage.
        bar->setFormat(QString());
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
    }
    if (auto* box = qobject_cast<QGroupBox*>(m_pGroup))
        m_strGroupTitle = box->title();
}

void CFirmwareUpload::SetSession(CMeterSession* session)
{
    if (m_bUploading || session == m_pSession)
        return;
    if (m_pSession)
        QObject::disconnect(m_pSession, nullptr, m_pWindow, nullptr);
    m_pSession = session;
    if (!m_pSession)
        return;
    QObject::connect(m_pSession, &CMeterSession::FirmwareProgress, m_pWindow,
                     [this](int value, double percent) { OnProgress(value, percent); });
    QObject::connect(m_pSession, &CMeterSession::FirmwareVersion, m_pWindow,
                     [this](const QString& version, bool after) { OnVersion(version, after); });
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
    if (m_bUploading) {
        // Only the stop stays: nothing may close the window or change the
        // image until the meter is done.
        Enable(m_controls.pUpload, false);
        Enable(m_controls.pDrop, !m_bStopAsked);
        Enable(m_controls.pClose, false);
    }
}

void CFirmwareUpload::SetProgress(int position, const QString& text)
{
    QProgressBar* bar = m_controls.pProgress;
    if (!bar)
        return;
    // Text first: whoever watches the value sees the text that goes with it.
    bar->setFormat(text);
    bar->setValue(position);
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
    if (m_bUploading) {
        // The meter keeps the pieces it has; what it runs after a stop is
        // no whole firmware, so the user is told before anything stops.
        if (m_bStopAsked)
            return;
        m_bStopAsked = true;
        ApplyControlState();
        const bool stop = CUiPrompts::AskYesNo(
            m_pWindow,
            QStringLiteral("펌웨어 업로드를 중지하시겠습니까?\n"
                           "중지하면 장비의 펌웨어가 완전하지 않으므로 업로드를 다시 해야 합니다."),
            QStringLiteral("펌웨어 업로드"));
        if (stop && m_bUploading && m_pSession) {
            m_pSession->RequestCancel();
            return;
        }
        m_bStopAsked = false;
        ApplyControlState();
        return;
    }
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
    // The size is public and may have been set apart from the buffer: never
    // send more than the buffer holds, nor an image without its head.
    if (m_pImage.empty() || m_nImageSize == 0 || m_nImageSize > m_pImage.size()
        || m_nImageSize < uint32_t(FIRMWARE_HEAD_LEN)) {
        if (m_controls.pStatus)
            m_controls.pStatus->setText(QStringLiteral("파일 내용 없음"));
        m_bImageReady = 0;
        ApplyControlState();
        return;
    }
    if (!m_pSession) {
        if (m_controls.pStatus)
            m_controls.pStatus->setText(QStringLiteral("펌웨어 업데이트 요청 실패 ")
                                        + QString::fromStdString(LinkResultText(LINK_OPEN_FAILED)));
        return;
    }
    m_bKeepHistory = m_pArchive && m_pArchive->IsOpen() && m_pClock;
    if (!m_bKeepHistory) {
        StartUploadJob();
        return;
    }
    // Before anything changes: who the meter is and what its calibration
    // is, so that the history says what the upload started from.
    std::vector<SessionStep> steps;
    for (uint8_t command : {CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_VERSION})
        steps.push_back({MakeReadRequest(command), false});
    for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
        steps.push_back({MakeCalibrationReadRequest(size), false});
    if (!m_pSession->StartExchange(std::move(steps), false, m_pWindow,
                                   [this](const SessionResult& r) { OnBeforeRead(r); })) {
        if (m_controls.pStatus)
            m_controls.pStatus->setText(QStringLiteral("장비가 다른 작업 중입니다. 잠시 후 다시 시도하십시오."));
        return;
    }
    m_bUploading = true;
    ApplyControlState();
}

void CFirmwareUpload::OnBeforeRead(const SessionResult& r)
{
    m_bUploading = false;
    if (m_bStopAsked) {
        // Stopped before anything was sent: the meter is as it was.
        m_bKeepHistory = false;
        if (m_controls.pStatus)
            m_controls.pStatus->setText(QStringLiteral("펌웨어 업데이트 취소"));
        m_bStopAsked = false;
        ApplyControlState();
        Enable(m_controls.pClose, true);
        return;
    }
    m_strMeterName.clear();
    m_strMeterSerial.clear();
    m_strMeterVersion.clear();
    m_nSnapshotId = 0;
    CCalibrationSnapshot snapshot;
    for (const SessionStepResult& step : r.steps) {
        if (step.nResult < 0)
            continue;
        if (step.nCommand == CMD_READ_NAME)
            m_strMeterName = DecodeTextReply(step.reply, NAME_FIELD_LEN);
        else if (step.nCommand == CMD_READ_SERIAL)
            m_strMeterSerial = SerialNumberText(step.reply);
        else if (step.nCommand == CMD_READ_VERSION)
            m_strMeterVersion = DecodeTextReply(step.reply, VERSION_FIELD_LEN);
        for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
            if (MakeCalibrationReadRequest(size).nCommand == step.nCommand)
                snapshot.SetRecord(size, step.reply);
    }
    snapshot.m_meter = {QString::fromStdString(m_strMeterName), QString::fromStdString(m_strMeterSerial),
                        QString::fromStdString(m_strMeterVersion)};
    snapshot.m_strMeterClock = QStringLiteral("-");
    snapshot.m_dtPc = QDateTime::fromSecsSinceEpoch(m_pClock->NowSeconds());
    snapshot.m_eReason = ESnapshotReason::BeforeFirmware;
    const bool identified = !m_strMeterName.empty() || snapshot.m_meter.HasSerial();
    if (identified && m_pArchive && m_pArchive->IsOpen()) {
        StoredSnapshot row;
        row.meter = {m_strMeterName, m_strMeterSerial, m_strMeterVersion};
        row.tTaken = m_pClock->NowSeconds();
        row.strReason = "before-firmware";
        row.content = snapshot.ToJson();
        m_nSnapshotId = CCalibrationHistory(*m_pArchive).AddSnapshot(row, nullptr);
    }
    StartUploadJob();
}

void CFirmwareUpload::StartUploadJob()
{
    if (m_pClock)
        m_tStarted = m_pClock->NowSeconds();
    std::vector<uint8_t> image(m_pImage.begin(), m_pImage.begin() + m_nImageSize);
    if (!m_pSession->StartFirmwareUpload(std::move(image), m_pWindow,
                                         [this](const SessionResult& r) { OnFinished(r); })) {
        if (m_controls.pStatus)
            m_controls.pStatus->setText(QStringLiteral("장비가 다른 작업 중입니다. 잠시 후 다시 시도하십시오."));
        m_bUploading = false;
        ApplyControlState();
        Enable(m_controls.pClose, true);
        return;
    }
    m_bUploading = true;
    m_bStopAsked = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ApplyControlState();
    // A bar that still shows where an earlier try stopped starts again.
    SetProgress(0, QStringLiteral("업로드 대기중."));
}

void CFirmwareUpload::OnVersion(const QString& version, bool afterUpload)
{
    if (!afterUpload)
        m_strVersionBefore = version;
    auto* box = qobject_cast<QGroupBox*>(m_pGroup);
    if (!box)
        return;
    const QString before = m_strVersionBefore.isEmpty() ? QStringLiteral("?") : m_strVersionBefore;
    if (!afterUpload)
        box->setTitle(QStringLiteral("%1 (장비 버전 : %2)").arg(m_strGroupTitle, before));
    else
        box->setTitle(QStringLiteral("%1 (장비 버전 : %2 → %3)")
                          .arg(m_strGroupTitle, before,
                               version.isEmpty() ? QStringLiteral("응답 없음") : version));
}

void CFirmwareUpload::OnProgress(int value, double percent)
{
    switch (value) {
    case 5:
        SetProgress(5, QStringLiteral("5% - 펌웨어 업데이트 요청"));
        return;
    case 10:
        SetProgress(10, QStringLiteral("10% - 펌웨어 업데이트 요청 완료"));
        return;
    case 15:
        SetProgress(15, QStringLiteral("15% - 펌웨어 헤더 전송"));
        return;
    default:
        break;
    }
    if (value == 20 && percent <= 0.0) {
        // "해저" stays as the meter's users have always read it.
        SetProgress(20, QStringLiteral("20% - 펌웨어 해저 전송 완료"));
        return;
    }
    SetProgress(value, value < 100
                           ? QString::asprintf("%d%% -  데이터 업로드 중(%.1f%%)...", value, percent)
                           : QString::asprintf("%d%% -  데이터 업로드 완료(%.1f%%)...", value, percent));
}

void CFirmwareUpload::OnFinished(const SessionResult& r)
{
    const QString linkText = QString::fromStdString(r.strError);
    QString status;
    switch (r.eFirmware) {
    case EFirmwareOutcome::Done:
        status = QStringLiteral("펌웨어 업데이트 완료");
        break;
    case EFirmwareOutcome::NoImage:
        status = QStringLiteral("파일 내용 없음");
        break;
    case EFirmwareOutcome::RequestFailed:
        status = QStringLiteral("펌웨어 업데이트 요청 실패 ") + linkText;
        break;
    case EFirmwareOutcome::HeadFailed:
        status = QStringLiteral("펌웨어 헤더 전송 실패 ") + linkText;
        break;
    case EFirmwareOutcome::HeadRejected:
        status = QStringLiteral("펌웨어 파일 Head 값 에러");
        break;
    case EFirmwareOutcome::PieceFailed:
        status = QStringLiteral("펌웨어 데이터 전송 실패 ") + linkText;
        break;
    case EFirmwareOutcome::CrcError:
        status = QStringLiteral("펌웨어 파일 업로드 CRC 에러");
        break;
    case EFirmwareOutcome::Cancelled:
        status = QStringLiteral("펌웨어 업로드 중지 - 장비에 펌웨어를 다시 업로드해야 합니다");
        break;
    }
    KeepHistory(r, status);
    if (m_controls.pStatus)
        m_controls.pStatus->setText(status);

    // A complete upload used the image up; after a failure or a stop the
    // bar says where and why it stopped, and the same image may go again
    // once the meter answers.
    if (r.eFirmware == EFirmwareOutcome::Done || r.eFirmware == EFirmwareOutcome::NoImage) {
        m_bImageReady = 0;
    } else if (QProgressBar* bar = m_controls.pProgress) {
        bar->setFormat(QStringLiteral("업로드 중지 (%1%) : %2").arg(bar->value()).arg(status));
    }
    EndUpload();
}

void CFirmwareUpload::SetArchive(CSqliteArchive* archive, ILinkClock* clock)
{
    m_pArchive = archive;
    m_pClock = clock;
}

const char* CFirmwareUpload::OutcomeKey(EFirmwareOutcome outcome)
{
    switch (outcome) {
    case EFirmwareOutcome::Done:
        return "done";
    case EFirmwareOutcome::NoImage:
        return "no-image";
    case EFirmwareOutcome::RequestFailed:
        return "request-failed";
    case EFirmwareOutcome::HeadFailed:
        return "head-failed";
    case EFirmwareOutcome::HeadRejected:
        return "head-rejected";
    case EFirmwareOutcome::PieceFailed:
        return "piece-failed";
    case EFirmwareOutcome::CrcError:
        return "crc-error";
    case EFirmwareOutcome::Cancelled:
        break;
    }
    return "cancelled";
}

void CFirmwareUpload::KeepHistory(const SessionResult& r, const QString& status)
{
    if (!m_bKeepHistory || !m_pArchive || !m_pArchive->IsOpen() || !m_pClock)
        return;
    m_bKeepHistory = false;
    StoredFirmwareUpload row;
    row.meter = {m_strMeterName, m_strMeterSerial, m_strMeterVersion};
    row.tStarted = m_tStarted;
    row.tFinished = m_pClock->NowSeconds();
    row.strVersionBefore = m_strVersionBefore.isEmpty() ? m_strMeterVersion : m_strVersionBefore.toStdString();
    const size_t size = std::min<size_t>(m_nImageSize, m_pImage.size());
    row.strImageSha256 = QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(m_pImage.data()),
                                                             qsizetype(size)),
                                                  QCryptographicHash::Sha256)
                             .toHex()
                             .toStdString();
    row.nImageSize = int64_t(size);
    row.strResult = OutcomeKey(r.eFirmware);
    row.strResultText = status.toStdString();
    row.strVersionAfter = r.strVersionAfter;
    row.nSnapshotId = m_nSnapshotId;
    std::string error;
    if (!CCalibrationHistory(*m_pArchive).AddFirmwareUpload(row, &error))
        CUiPrompts::ShowWarning(m_pWindow,
                                QStringLiteral("펌웨어 업로드 이력을 보관함에 저장하지 못했습니다: %1")
                                    .arg(QString::fromStdString(error)),
                                QStringLiteral("펌웨어 업로드"));
}

void CFirmwareUpload::EndUpload()
{
    m_bUploading = false;
    m_bStopAsked = false;
    QApplication::restoreOverrideCursor();
    ApplyControlState();
    Enable(m_controls.pClose, true);
}
