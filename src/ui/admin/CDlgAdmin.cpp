#include "CDlgAdmin.h"

#include "AnsiText.h"
#include "CAdminPassword.h"
#include "CCalibrationHistory.h"
#include "CDlgPassword.h"
#include "CPdfCalibrationCertificate.h"
#include "CSqliteArchive.h"
#include "ClockDrift.h"
#include "CDlgLog.h"
#include "CFt260.h"
#include "CMeterSession.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"
#include "ILinkClock.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

const QString kSetCaption = QStringLiteral("설정");
const QString kErrorCaption = QStringLiteral("압력 계측기");

// A write that finds the session busy tries again this often, this long.
constexpr int kRetryMs = 50;
constexpr int kRetryLimitMs = 10000;

// Column widths of the information grid, in characters, before they are
// scaled to the grid's width.
const double kInfoWidths[CDlgAdmin::INFO_COLUMNS] = {18, 20, 12, 18, 20, 12};

QString Q(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// The automatic-reading box is off while a calibration write asks its
// question and sends, so that no timer read runs in between; it comes back
// as it was whatever the answer and the result.
class CAutoReadPause {
public:
    explicit CAutoReadPause(QCheckBox* box) : m_pBox(box), m_bWasChecked(box && box->isChecked())
    {
        if (m_bWasChecked)
            m_pBox->setChecked(false);
    }
    ~CAutoReadPause()
    {
        if (m_bWasChecked)
            m_pBox->setChecked(true);
    }
    CAutoReadPause(const CAutoReadPause&) = delete;
    CAutoReadPause& operator=(const CAutoReadPause&) = delete;

private:
    QCheckBox* m_pBox;
    bool m_bWasChecked;
};

// "%02X " for each byte, as the last-exchange lines list them.
QString HexBytes(const uint8_t* bytes, int count)
{
    static const char s_hex[] = "0123456789ABCDEF";
    QString text;
    text.reserve(count * 3);
    for (int i = 0; i < count; ++i) {
        text += QLatin1Char(s_hex[bytes[i] >> 4]);
        text += QLatin1Char(s_hex[bytes[i] & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

int ClampCount(int64_t count)
{
    return int(std::clamp<int64_t>(count, 0, CFt260::LINK_BUFFER_SIZE));
}

}   // namespace

const CDlgTemplate& CDlgAdmin::DialogTemplate()
{
    static const CDlgTemplate s_template{
        IDD, "관리자 모드", 699, 270,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
        "GulimChe", 10, 400, false,
        {
            {IDOK, EDlgItemKind::DefPushButton, "확인", 303, 248, 50, 14, WS_DISABLED | WS_TABSTOP},
            {IDCANCEL, EDlgItemKind::PushButton, "닫 기", 639, 243, 53, 19, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_SEARCH, EDlgItemKind::PushButton, "장비 조회", 7, 7, 45, 55,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_GRID_INFO, EDlgItemKind::Grid, "", 54, 7, 637, 54, WS_VISIBLE | WS_TABSTOP},
            {IDC_GROUP_CAL, EDlgItemKind::GroupBox, "보정", 7, 69, 239, 193, WS_VISIBLE},
            {IDC_RADIO_7T, EDlgItemKind::RadioPushButton, "7톤 보정", 15, 82, 61, 16,
             WS_VISIBLE | WS_GROUP | WS_TABSTOP},
            {IDC_RADIO_15T, EDlgItemKind::RadioPushButton, "15톤 보정", 78, 82, 61, 16, WS_VISIBLE},
            {IDC_RADIO_30T, EDlgItemKind::RadioPushButton, "30톤 보정", 141, 82, 61, 16, WS_VISIBLE},
            {IDC_GRID_CAL, EDlgItemKind::Grid, "", 15, 102, 224, 134, WS_VISIBLE | WS_TABSTOP},
            {IDC_CHECK_AUTO, EDlgItemKind::AutoCheckBox, "값 자동 읽기", 18, 245, 119, 10,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_GROUP_FIRMWARE, EDlgItemKind::GroupBox, "펌웨어 업로드", 253, 69, 439, 78, WS_VISIBLE},
            {IDC_STATIC, EDlgItemKind::StaticText, "파일 경로", 265, 90, 47, 8, WS_VISIBLE},
            {IDC_EDIT_PATH, EDlgItemKind::Edit, "", 315, 87, 336, 14,
             WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP},
            {IDC_BUTTON_FILE, EDlgItemKind::PushButton, "...", 659, 87, 26, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_STATUS, EDlgItemKind::StaticText, "상태 : 파일 선택", 263, 111, 234, 8,
             WS_VISIBLE},
            {IDC_PROGRESS, EDlgItemKind::ProgressBar, "", 262, 124, 296, 14,
             WS_VISIBLE | WS_BORDER | PBS_SMOOTH},
            {IDC_BUTTON_UPLOAD, EDlgItemKind::PushButton, "업로드", 574, 115, 53, 19,
             WS_VISIBLE | WS_DISABLED | WS_TABSTOP},
            {IDC_BUTTON_DROP, EDlgItemKind::PushButton, "취소", 628, 115, 53, 19,
             WS_VISIBLE | WS_DISABLED | WS_TABSTOP},
            {IDC_STATIC_SEND, EDlgItemKind::StaticText, "Send", 254, 151, 438, 8, WS_VISIBLE},
            {IDC_STATIC_RECV, EDlgItemKind::StaticText, "Recv", 254, 168, 438, 8, WS_VISIBLE},
            {IDC_BUTTON_LOG, EDlgItemKind::PushButton, "로그 보기", 560, 243, 64, 19,
             WS_VISIBLE | WS_TABSTOP},
            // The row left of the log button, below the last-exchange lines.
            {IDC_BUTTON_BACKUP, EDlgItemKind::PushButton, "보정값 백업", 254, 243, 66, 19,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_RESTORE, EDlgItemKind::PushButton, "보정값 불러오기", 324, 243, 80, 19,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_HISTORY, EDlgItemKind::PushButton, "보정 이력", 408, 243, 62, 19,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_PASSWORD, EDlgItemKind::PushButton, "관리자 비밀번호", 474, 243, 80, 19,
             WS_TABSTOP},
            // In the calibration frame, right of the automatic-reading box.
            {IDC_BUTTON_CERTIFICATE, EDlgItemKind::PushButton, "보정 성적서", 168, 241, 70, 16,
             WS_VISIBLE | WS_TABSTOP},
        },
    };
    return s_template;
}

CDlgAdmin::CDlgAdmin(QWidget* parent, ILinkClock& clock, CDlgLog* logWindow)
    : CDlgComm(DialogTemplate(), parent)
    , m_firmware(this, CFirmwareUpload::ControlsOf(*this), [this] { ApplyControlState(); },
                 GetDlgItem(IDC_GROUP_FIRMWARE))
    , m_clock(clock)
    , m_pLogWindow(logWindow)
{
    m_gridInfo = GetDlgItemAs<CSpreadSheet>(IDC_GRID_INFO);
    m_gridCal = GetDlgItemAs<CSpreadSheet>(IDC_GRID_CAL);
    m_pCalibration = std::make_unique<CCalibrationGrid>(*m_gridCal);
    m_chkAuto = GetDlgItemAs<QCheckBox>(IDC_CHECK_AUTO);
    m_lblSend = GetDlgItemAs<QLabel>(IDC_STATIC_SEND);
    m_lblRecv = GetDlgItemAs<QLabel>(IDC_STATIC_RECV);

    OnClicked(IDC_BUTTON_SEARCH, [this] { OnDeviceSearch(); });
    OnClicked(IDC_RADIO_7T, [this] { OnSelectSize(LOADCELL_7T); });
    OnClicked(IDC_RADIO_15T, [this] { OnSelectSize(LOADCELL_15T); });
    OnClicked(IDC_RADIO_30T, [this] { OnSelectSize(LOADCELL_30T); });
    OnClicked(IDC_BUTTON_FILE, [this] { OnChooseFirmware(); });
    OnClicked(IDC_BUTTON_UPLOAD, [this] { OnUploadFirmware(); });
    OnClicked(IDC_BUTTON_DROP, [this] { OnDropFirmware(); });
    OnClicked(IDC_BUTTON_LOG, [this] { OnLog(); });
    OnClicked(IDC_BUTTON_BACKUP, [this] { OnBackup(); });
    OnClicked(IDC_BUTTON_RESTORE, [this] { OnRestore(); });
    OnClicked(IDC_BUTTON_HISTORY, [this] { OnHistory(); });
    OnClicked(IDC_BUTTON_PASSWORD, [this] { OnPassword(); });
    OnClicked(IDC_BUTTON_CERTIFICATE, [this] { OnCertificate(); });
    m_pGuard = std::make_unique<CCalibrationGuard>(
        this, clock, [this] { return Meter(); }, [this] { return m_gridInfo->GetCellText(5, 3); });
    connect(m_gridInfo, &CSpreadSheet::ButtonClicked, this, &CDlgAdmin::OnInfoGridButton);
    connect(m_gridCal, &CSpreadSheet::ButtonClicked, this, &CDlgAdmin::OnCalGridButton);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(1000);
    connect(m_pTimer, &QTimer::timeout, this, [this] { OnTimer(TIMER_REFRESH); });
}

CDlgAdmin::~CDlgAdmin()
{
    m_pTimer->stop();
}

// ---- set-up and layout ----

void CDlgAdmin::InitControls()
{
    if (auto* progress = GetDlgItemAs<QProgressBar>(IDC_PROGRESS))
        progress->setRange(0, 100);

    for (QLabel* line : {m_lblSend, m_lblRecv}) {
        line->setWordWrap(true);
        line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    SetRadioIndex(IDC_RADIO_7T, m_nCellSize);
    InitInfoGrid();
    m_pCalibration->Setup(*this, SelectedSize());

    ApplyControlState();
    ArrangeControls();
    m_pTimer->start();
}

void CDlgAdmin::InitInfoGrid()
{
    const CAppTheme& theme = CAppTheme::Current();
    CSpreadSheet& g = *m_gridInfo;
    ApplyGridLook(g);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetColumnCount(INFO_COLUMNS);
    g.SetRowCount(INFO_ROWS);

    for (int col : {1, 4}) {
        g.SetActiveCell(col, CSpreadSheet::kAll);
        g.SetBackColor(theme.m_clrButtonBorder);
    }
    g.SetCellText(1, 1, QStringLiteral("측정기 명"));
    g.SetCellText(1, 2, QStringLiteral("측정기 S/N"));
    g.SetCellText(1, 3, QStringLiteral("컴퓨터 시간"));
    g.SetCellText(4, 1, QStringLiteral("버전 정보"));
    g.SetCellText(4, 2, QStringLiteral("배터리 상태"));
    g.SetCellText(4, 3, QStringLiteral("장비 시간"));
    for (int col : {2, 5}) {
        g.SetActiveCell(col, CSpreadSheet::kAll);
        g.SetBackColor(theme.m_clrEditBack);
    }
    g.SetHeaderColors(theme.m_clrButtonBorder, theme.m_clrText);
    g.SetSelectionColor(theme.m_clrSelected);
    g.SetCellBorder(1, 1, INFO_COLUMNS, INFO_ROWS,
                    kGridEdgeLeft | kGridEdgeRight | kGridEdgeTop | kGridEdgeBottom,
                    theme.m_clrBorder, EGridLine::Solid);

    g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::StaticText);
    g.SetHAlign(EGridHAlign::Center);
    g.SetVAlign(EGridVAlign::Center);
    for (int col : {2, 5}) {
        g.SetActiveCell(col, CSpreadSheet::kAll);
        g.SetCellType(EGridCellType::Edit);
    }
    for (int col : {3, 6}) {
        g.SetActiveCell(col, CSpreadSheet::kAll);
        g.SetCellType(EGridCellType::Button);
        g.SetButtonCaption(kSetCaption);
    }
    for (const auto& cell : {std::pair<int, int>{5, 1}, {5, 2}, {2, 3}}) {
        g.SetActiveCell(cell.first, cell.second);
        g.SetCellType(EGridCellType::StaticText);
        g.SetBackColor(theme.m_clrBack);
    }
    for (int row : {1, 2}) {
        g.SetActiveCell(6, row);
        g.SetCellType(EGridCellType::StaticText);
    }
    g.SetActiveCell(3, 3);
    g.SetCellType(EGridCellType::CheckBox);
    g.SetCheckBoxCaption(QStringLiteral("현재시간적용"));
    g.SetInteger(3, 3, 1);

    for (int col = 1; col <= INFO_COLUMNS; ++col)
        g.SetColumnWidth(col, kInfoWidths[col - 1]);
    const std::pair<int, int> limits[] = {{1, NAME_FIELD_LEN}, {2, SERIAL_FIELD_LEN}};
    for (const auto& limit : limits) {
        g.SetActiveCell(2, limit.first);
        g.SetEditMaxLength(limit.second);
    }
    g.SetActiveCell(5, 3);
    g.SetEditMaxLength(19);   // "YYYY-MM-DD HH:MM:SS"
}

void CDlgAdmin::ArrangeControls()
{
    const QRect search = GetDlgItem(IDC_BUTTON_SEARCH)->geometry();
    const int infoLeft = search.x() + search.width() + 5;
    const QRect infoRect(infoLeft, search.y(), width() - 5 - infoLeft, search.height());
    FitGrid(*m_gridInfo, false, infoRect);
    FitGridColumns(*m_gridInfo, infoRect);

    const QRect group = GetDlgItem(IDC_GROUP_CAL)->geometry();
    const QRect radio = GetDlgItem(IDC_RADIO_7T)->geometry();
    const QRect check = m_chkAuto->geometry();
    const int calTop = radio.y() + radio.height() + 2;
    const QRect calRect(group.x() + 5, calTop, group.width() - 10, check.y() - 5 - calTop);
    FitGrid(*m_gridCal, false, calRect);
    FitGridColumns(*m_gridCal, calRect);

    // A reply with its result text is longer than one line of the window:
    // the two lines wrap into the free space below them instead of being cut.
    const QRect send = m_lblSend->geometry();
    const QRect recv = m_lblRecv->geometry();
    const int bottom = GetDlgItem(IDC_BUTTON_LOG)->geometry().y() - 2;
    m_lblSend->resize(send.width(), std::max(send.height(), recv.y() - send.y()));
    m_lblRecv->resize(recv.width(), std::max(recv.height(), bottom - recv.y()));
    update();
}

void CDlgAdmin::PaintExtra(QPainter&)
{
    // The controls paint themselves over the background.
}

void CDlgAdmin::ApplyControlState()
{
    const bool ready = IsImageReady();
    for (int id : {IDC_BUTTON_SEARCH, IDC_CHECK_AUTO, IDC_RADIO_7T, IDC_RADIO_15T, IDC_RADIO_30T,
                   IDC_BUTTON_BACKUP, IDC_BUTTON_RESTORE})
        GetDlgItem(id)->setEnabled(!ready);
    for (int id : {IDC_BUTTON_UPLOAD, IDC_BUTTON_DROP})
        GetDlgItem(id)->setEnabled(ready);
}

// ---- helpers ----

void CDlgAdmin::done(int result)
{
    if (m_firmware.IsUploading())
        return;
    CDlgComm::done(result);
}

bool CDlgAdmin::IsImageReady() const
{
    return m_firmware.IsImageReady();
}

LoadCellSize CDlgAdmin::SelectedSize() const
{
    return static_cast<LoadCellSize>(std::clamp(m_nCellSize, int(LOADCELL_7T), int(LOADCELL_30T)));
}

void CDlgAdmin::TakeRadioState()
{
    const int index = GetRadioIndex(IDC_RADIO_7T);
    if (index >= LOADCELL_7T && index <= LOADCELL_30T)
        m_nCellSize = index;
}

QString CDlgAdmin::LinkErrorText(const SessionResult& result) const
{
    return Q(result.strError);
}

void CDlgAdmin::ShowResult(const SessionResult& result)
{
    if (result.nResult >= 0)
        CUiPrompts::ShowInfo(this, QStringLiteral("성공"), kSetCaption);
    else
        CUiPrompts::ShowWarning(
            this,
            QStringLiteral("설정 실패 - %1").arg(CUiPrompts::LinkFailureText(result.nResult, LinkErrorText(result))),
            kSetCaption);
}

void CDlgAdmin::ShowLastExchange(const LinkExchange& x, const SessionResult& result)
{
    const int txLen = ClampCount(std::min<int64_t>(x.nTxLen, int64_t(x.tx.size())));
    const int rxLen = ClampCount(std::min<int64_t>(x.nRxLen, int64_t(x.rx.size())));
    m_lblSend->setText(QStringLiteral("SEND : [%1] ").arg(Q(FormatLocalTime(x.tTx)))
                       + HexBytes(x.tx.data(), txLen)
                       + QString::asprintf(" (%d BYTE)", x.nTxLen));
    m_lblRecv->setText(QStringLiteral("RECV : [%1] ").arg(Q(FormatLocalTime(x.tRx)))
                       + HexBytes(x.rx.data(), rxLen)
                       + QString::asprintf(" (%d BYTE) ", x.nRxLen)
                       + LinkErrorText(result));
}

void CDlgAdmin::SendWrite(const MeterRequest& request, std::shared_ptr<void> hold, bool calibration, int attempt)
{
    if (!m_pSession)
        return;
    // A calibration write is wrapped by the snapshots as found and as left
    // when they are kept; its answer is the write's, not the reads'.
    m_pGuard->SetSession(m_pSession);
    const size_t write = calibration ? size_t(m_pGuard->WriteIndex()) : 0;
    std::vector<SessionStep> steps = calibration ? m_pGuard->WrapWrite(request)
                                                 : std::vector<SessionStep>{{request, true}};
    const bool started = m_pSession->StartExchange(
        std::move(steps), false, this, [this, hold, write](const SessionResult& r) {
            ShowLastExchange(r.exchange, r);
            SessionResult shown = r;
            if (write > 0) {
                shown.nResult = r.steps.size() > write ? r.steps[write].nResult : r.nResult;
                if (shown.nResult < 0 && r.nResult >= 0)
                    shown.strError.clear();
                QString error;
                if (!m_pGuard->KeepAround(r, &error))
                    CUiPrompts::ShowWarning(
                        this, QStringLiteral("보관함에 보정 이력을 저장하지 못했습니다: %1").arg(error), kSetCaption);
            }
            ShowResult(shown);
        });
    if (started)
        return;
    // A reading that was running when the user said yes ends within the
    // link's time-out; the write follows it. Past that something else holds
    // the meter, and the write is not sent at all.
    if (attempt * kRetryMs >= kRetryLimitMs) {
        CUiPrompts::ShowWarning(this, QStringLiteral("장비가 다른 작업 중이어서 설정하지 못했습니다."),
                                kSetCaption);
        return;
    }
    QTimer::singleShot(kRetryMs, this, [this, request, hold, calibration, attempt] {
        SendWrite(request, hold, calibration, attempt + 1);
    });
}

QString CDlgAdmin::FormatMeterClock(const uint8_t* record)
{
    const MeterClock clock = DecodeClockRecord(record);
    int64_t time = 0;
    // A year outside 1971..2199 means the clock was never set; fields that
    // make no date (month 13, hour 24 ...) mean the same.
    if (!IsPlausibleClockYear(clock.when.nYear) || !MeterDateTimeToTime(clock.when, &time))
        return QStringLiteral("-");
    const std::string text = FormatLocalTime(time);
    return text.empty() ? QStringLiteral("-") : Q(text);
}

CDlgAdmin::ETypedClock CDlgAdmin::ParseTypedClock(const QString& text, int64_t* time)
{
    QString digits = text;
    digits.remove(QLatin1Char('-')).remove(QLatin1Char(':')).remove(QLatin1Char(' '));
    if (digits.size() != 14)
        return TYPED_CLOCK_MALFORMED;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return TYPED_CLOCK_MALFORMED;
    }
    MeterDateTime when;
    when.nYear = digits.mid(0, 4).toInt();
    when.nMonth = digits.mid(4, 2).toInt();
    when.nDay = digits.mid(6, 2).toInt();
    when.nHour = digits.mid(8, 2).toInt();
    when.nMinute = digits.mid(10, 2).toInt();
    when.nSecond = digits.mid(12, 2).toInt();
    // Inside these ranges the local-time conversion normalises (30 February
    // is 1 March); outside them the typed text is refused.
    if (!IsValidMeterDateTime(when) || !MeterDateTimeToTime(when, time))
        return TYPED_CLOCK_OUT_OF_RANGE;
    return TYPED_CLOCK_OK;
}

// ---- timer ----

void CDlgAdmin::OnTimer(int id)
{
    if (id != TIMER_REFRESH)
        return;
    m_gridInfo->SetCellText(2, 3, Q(FormatLocalTime(m_clock.NowSeconds())));
    // The link is looked at only while no job runs; a link the meter closed
    // is not opened again by the reading.
    if (m_pSession && !m_pSession->IsBusy() && m_pSession->Link().m_hDevice && m_bDeviceFound == 1
        && m_chkAuto->isChecked() && !IsImageReady())
        Refresh(m_nCellSize);
}

// ---- device search ----

void CDlgAdmin::OnDeviceSearch()
{
    if (!m_pSession || m_pSession->IsBusy())
        return;
    m_bDeviceFound = 0;
    m_gridInfo->ClearRange(2, 1, 2, 2);
    m_gridInfo->ClearRange(5, 1, 5, 3);
    m_gridInfo->SetCellText(DRIFT_COL, DRIFT_ROW, QString());
    m_pCalibration->ClearReadings();

    // Meters without a version answer do not stop the search; any other
    // item that does not come ends it.
    std::vector<SessionStep> steps = {
        {MakeReadRequest(CMD_READ_NAME), true},    {MakeReadRequest(CMD_READ_SERIAL), true},
        {MakeReadRequest(CMD_READ_VERSION), false}, {MakeReadRequest(CMD_READ_BATTERY), true},
        {MakeReadRequest(CMD_READ_CLOCK), true},
    };
    m_pSession->StartExchange(std::move(steps), false, this,
                              [this](const SessionResult& r) { OnSearchDone(r); });
}

void CDlgAdmin::OnSearchDone(const SessionResult& r)
{
    bool failed = false;
    for (const SessionStepResult& step : r.steps) {
        if (step.nResult < 0) {
            if (step.nCommand != CMD_READ_VERSION)
                failed = true;
            continue;
        }
        switch (step.nCommand) {
        case CMD_READ_NAME:
            m_gridInfo->SetCellText(2, 1, Q(DecodeTextReply(step.reply, NAME_FIELD_LEN)));
            break;
        case CMD_READ_SERIAL:
            m_gridInfo->SetCellText(2, 2, Q(SerialNumberText(step.reply)));
            break;
        case CMD_READ_VERSION:
            m_gridInfo->SetCellText(5, 1, Q(DecodeTextReply(step.reply, VERSION_FIELD_LEN)));
            break;
        case CMD_READ_BATTERY:
            m_gridInfo->SetCellText(5, 2, QString::asprintf("%d %%", DecodeBatteryPercent(step.reply)));
            break;
        case CMD_READ_CLOCK:
            m_gridInfo->SetCellText(5, 3, FormatMeterClock(step.reply));
            ShowClockDrift(step.reply);
            break;
        default:
            break;
        }
    }
    failed = failed || r.steps.size() < 5;
    m_bDeviceFound = failed ? 0 : 1;
    ShowLastExchange(r.exchange, r);
    if (failed) {
        CUiPrompts::ShowWarning(this, CUiPrompts::LinkFailureText(r.nResult, LinkErrorText(r)),
                                kErrorCaption);
        m_chkAuto->setChecked(false);
    }
}

// ---- name, serial number and clock ----

void CDlgAdmin::OnInfoGridButton(int col, int row)
{
    if (IsImageReady() || !m_pSession)
        return;
    if (col == 3 && (row == 1 || row == 2))
        WriteText(row);
    else if (col == 6 && row == 3)
        WriteClock();
}

void CDlgAdmin::WriteText(int row)
{
    const bool isName = row == 1;
    const QString value = m_gridInfo->GetCellText(2, row);
    if (value.isEmpty())
        return;
    const QString label = m_gridInfo->GetCellText(1, row);

    // The meter keeps single-byte text of the Korean code page; a character
    // outside it would reach the meter as '?', so it is not sent at all.
    const std::string utf8 = value.toStdString();
    const std::string ansi = Utf8ToAnsi(utf8);
    if (AnsiToUtf8(reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size()) != utf8) {
        CUiPrompts::ShowInfo(
            this, QStringLiteral("%1에 장비에서 쓸 수 없는 문자가 있습니다. 확인바랍니다.").arg(label),
            kErrorCaption);
        return;
    }

    // Padded with blanks to the field; a longer text is cut at the field's
    // end, before a two-byte character rather than through it. The question
    // names what the meter will keep, so a cut is seen before it is sent.
    const MeterRequest request = isName ? MakeSetNameRequest(utf8) : MakeSetSerialRequest(utf8);
    const auto withoutTrailingBlanks = [](QString text) {
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text;
    };
    const QString kept = withoutTrailingBlanks(QString::fromStdString(
        AnsiToUtf8(request.payload, size_t(isName ? NAME_FIELD_LEN : SERIAL_FIELD_LEN))));
    const QString shown = kept == withoutTrailingBlanks(value) ? value : kept;
    if (!CUiPrompts::AskYesNo(this, QStringLiteral("%1-'%2' 값을 설정하시겠습니까?").arg(label, shown),
                              kSetCaption))
        return;
    SendWrite(request);
}

void CDlgAdmin::WriteClock()
{
    if (!CUiPrompts::AskYesNo(this, QStringLiteral("장비시간을 설정하시겠습니까?"), kSetCaption))
        return;
    int64_t when = m_clock.NowSeconds();
    int usePcTime = 1;
    m_gridInfo->GetInteger(3, 3, &usePcTime);
    if (usePcTime == 0) {
        switch (ParseTypedClock(m_gridInfo->GetCellText(5, 3), &when)) {
        case TYPED_CLOCK_OK:
            break;
        case TYPED_CLOCK_MALFORMED:
            CUiPrompts::ShowInfo(this, QStringLiteral("시간 정보가 잘못되었습니다. 확인바랍니다."),
                                 kErrorCaption);
            return;
        case TYPED_CLOCK_OUT_OF_RANGE:
            CUiPrompts::ShowInfo(this, QStringLiteral("시간 정보가 범위를 벗어났습니다. 확인바랍니다."),
                                 kErrorCaption);
            return;
        }
    }
    SendWrite(MakeSetClockRequest(MakeMeterClock(when)));
}

// ---- calibration ----

void CDlgAdmin::OnSelectSize(int size)
{
    if (IsImageReady())
        return;
    Refresh(size);
}

void CDlgAdmin::Refresh(int size)
{
    const int previous = m_nCellSize;
    TakeRadioState();
    if (size != previous) {
        m_pCalibration->SetLabels(SelectedSize());
        m_pCalibration->ResetNewValues();
    }
    if (m_pSession && !m_pSession->IsBusy() && m_pSession->Link().m_hDevice && m_bDeviceFound == 1
        && m_chkAuto->isChecked() && !IsImageReady())
        ReadCalibration();
}

void CDlgAdmin::ReadCalibration()
{
    const LoadCellSize size = SelectedSize();
    m_pSession->StartRequest(MakeCalibrationReadRequest(size), this, [this, size](const SessionResult& r) {
        // A reading of a size no longer selected is not shown under its labels.
        if (r.nResult >= 0 && !r.steps.empty() && size == SelectedSize())
            m_pCalibration->ShowRecord(DecodeCalibrationRecord(r.steps[0].reply));
        // A failed read is silent: the cells keep their values and the
        // display shows what went wrong.
        ShowLastExchange(r.exchange, r);
    });
}

void CDlgAdmin::OnCalGridButton(int col, int row)
{
    if (IsImageReady() || !m_pSession)
        return;
    TakeRadioState();
    if (col != CCalibrationGrid::COL_BUTTON)
        return;
    if (CCalibrationGrid::IsPointRow(row))
        SetPoint(row);
    else if (CCalibrationGrid::IsCorrectionRow(row))
        WriteCorrection(row);
}

void CDlgAdmin::SetPoint(int row)
{
    const QString present = m_pCalibration->Value(CCalibrationGrid::ROW_PRESENT);
    if (present.isEmpty())
        return;   // nothing read yet
    MeterRequest request;
    if (!MakeCalibrationPointRequest(SelectedSize(), row - CCalibrationGrid::ROW_FIRST_POINT, &request))
        return;

    auto pause = std::make_shared<CAutoReadPause>(m_chkAuto);
    const QString question = QStringLiteral("%1%2 값을 현 로드셀 값('%3')으로 설정하시겠습니까?")
                                 .arg(CCalibrationGrid::SizeWord(SelectedSize()),
                                      m_pCalibration->Label(row), present);
    if (!CUiPrompts::AskYesNo(this, question, kSetCaption))
        return;
    SendWrite(request, pause, true);
}

void CDlgAdmin::WriteCorrection(int row)
{
    const QString typed = m_pCalibration->NewValue(row).trimmed();
    const QString current = m_pCalibration->Value(row);
    if (typed.isEmpty() || current.isEmpty())
        return;
    int value = 0;
    MeterRequest request;
    if (!CCalibrationGrid::ParseCorrection(typed, &value)
        || !MakeCorrectionRequest(SelectedSize(), row - CCalibrationGrid::ROW_FIRST_CORRECTION, value,
                                  &request)) {
        CUiPrompts::ShowInfo(this,
                             QStringLiteral("보정 값은 %1 ~ %2 사이의 정수로 입력하십시오.")
                                 .arg(CORRECTION_MIN)
                                 .arg(CORRECTION_MAX),
                             kErrorCaption);
        return;
    }

    auto pause = std::make_shared<CAutoReadPause>(m_chkAuto);
    const QString question = QStringLiteral("%1%2 '%3' -> '%4' 값으로 설정하시겠습니까?")
                                 .arg(CCalibrationGrid::SizeWord(SelectedSize()),
                                      m_pCalibration->Label(row), current, typed);
    if (!CUiPrompts::AskYesNo(this, question, kSetCaption))
        return;
    SendWrite(request, pause, true);
}

// ---- firmware and log ----

void CDlgAdmin::OnChooseFirmware()
{
    // No calibration read may start once an image is on its way in.
    m_chkAuto->setChecked(false);
    m_firmware.ChooseFile();
}

void CDlgAdmin::OnUploadFirmware()
{
    m_firmware.SetSession(m_pSession);
    m_firmware.Upload();
}

void CDlgAdmin::OnDropFirmware()
{
    m_firmware.DropImage();
}

void CDlgAdmin::OnLog()
{
    if (m_pLogWindow)
        m_pLogWindow->ToggleVisible();
}

// ---- calibration you can trust ----

void CDlgAdmin::SetArchive(CSqliteArchive* archive)
{
    m_pGuard->SetArchive(archive);
    m_firmware.SetArchive(archive, &m_clock);
}

void CDlgAdmin::SetPassword(CAdminPassword* password)
{
    m_pPassword = password;
    GetDlgItem(IDC_BUTTON_PASSWORD)->setVisible(password != nullptr);
}

void CDlgAdmin::SetUser(const QString& user, const QString& company)
{
    m_strUser = user;
    m_strCompany = company;
    m_pGuard->SetUser(user);
}

SnapshotMeter CDlgAdmin::Meter() const
{
    return {m_gridInfo->GetCellText(2, 1), m_gridInfo->GetCellText(2, 2), m_gridInfo->GetCellText(5, 1)};
}

void CDlgAdmin::ShowClockDrift(const uint8_t* record)
{
    const CAppTheme& theme = CAppTheme::Current();
    const int64_t now = m_clock.NowSeconds();
    const MeterClock clock = DecodeClockRecord(record);
    std::optional<int64_t> meterTime;
    int64_t time = 0;
    if (IsPlausibleClockYear(clock.when.nYear) && MeterDateTimeToTime(clock.when, &time))
        meterTime = time;
    std::optional<int64_t> drift;
    if (meterTime)
        drift = *meterTime - now;
    // An unset clock is off by any amount: it shows "-" and the warning colour.
    const bool tooLarge = !drift || IsClockDriftTooLarge(*drift, m_nMaxClockDrift);
    const COLORREF warning = 0x4080F0;
    m_gridInfo->SetActiveCell(5, 3);
    m_gridInfo->SetForeColor(tooLarge ? warning : theme.m_clrText);
    m_gridInfo->SetActiveCell(DRIFT_COL, DRIFT_ROW);
    m_gridInfo->SetForeColor(warning);
    m_gridInfo->SetCellText(DRIFT_COL, DRIFT_ROW,
                            drift && tooLarge ? QString::fromStdString(FormatClockDrift(*drift)) : QString());

    CSqliteArchive* archive = m_pGuard->Archive();
    if (!archive || !archive->IsOpen())
        return;
    const SnapshotMeter meter = Meter();
    StoredClockReading reading;
    reading.meter = {meter.strName.toStdString(), meter.strSerial.toStdString(), meter.strVersion.toStdString()};
    reading.tPc = now;
    reading.tMeter = meterTime;
    reading.nDrift = drift;
    reading.nLimit = m_nMaxClockDrift;
    reading.strSource = "admin";
    CCalibrationHistory(*archive).AddClockReading(reading, nullptr);
}

void CDlgAdmin::OnBackup()
{
    if (IsImageReady() || !m_pSession)
        return;
    if (m_bDeviceFound != 1) {
        CUiPrompts::ShowInfo(this, QStringLiteral("장비 조회 후 보정값을 백업하십시오."), kErrorCaption);
        return;
    }
    m_pGuard->SetSession(m_pSession);
    m_pGuard->Backup(std::make_shared<CAutoReadPause>(m_chkAuto));
}

void CDlgAdmin::OnRestore()
{
    if (IsImageReady() || !m_pSession)
        return;
    if (m_bDeviceFound != 1) {
        CUiPrompts::ShowInfo(this, QStringLiteral("장비 조회 후 보정값을 불러오십시오."), kErrorCaption);
        return;
    }
    m_pGuard->SetSession(m_pSession);
    m_pGuard->LoadAndRestore(std::make_shared<CAutoReadPause>(m_chkAuto));
}

void CDlgAdmin::OnHistory()
{
    const SnapshotMeter meter = Meter();
    if (m_bDeviceFound != 1 || (meter.strName.trimmed().isEmpty() && !meter.HasSerial())) {
        CUiPrompts::ShowInfo(this, QStringLiteral("장비 조회 후 보정 이력을 볼 수 있습니다."), kErrorCaption);
        return;
    }
    CSqliteArchive* archive = m_pGuard->Archive();
    if (!archive || !archive->IsOpen()) {
        CUiPrompts::ShowInfo(this, QStringLiteral("보관함이 열려 있지 않아 보정 이력을 볼 수 없습니다."),
                             kErrorCaption);
        return;
    }
    std::vector<QByteArray> contents;
    const DownloadMeter key{meter.strName.toStdString(), meter.strSerial.toStdString(), meter.strVersion.toStdString()};
    for (const StoredSnapshot& row : CCalibrationHistory(*archive).Snapshots(key))
        contents.push_back(row.content);
    if (m_pHistory)
        m_pHistory->close();
    m_pHistory = new CDlgCalibrationHistory(this, meter.Text(), std::move(contents),
                                            [this](const CCalibrationSnapshot& snapshot) {
                                                if (IsImageReady() || !m_pSession)
                                                    return;
                                                m_pGuard->SetSession(m_pSession);
                                                m_pGuard->Restore(snapshot,
                                                                  std::make_shared<CAutoReadPause>(m_chkAuto));
                                            });
    m_pHistory->setAttribute(Qt::WA_DeleteOnClose);
    m_pHistory->show();
}

void CDlgAdmin::OnPassword()
{
    if (m_pPassword)
        CDlgPassword::Manage(this, *m_pPassword);
}

void CDlgAdmin::OnCertificate()
{
    if (IsImageReady() || !m_pSession || m_pSession->IsBusy())
        return;
    TakeRadioState();
    if (m_bDeviceFound != 1) {
        CUiPrompts::ShowInfo(this, QStringLiteral("장비 조회 후 보정 성적서를 만드십시오."), kErrorCaption);
        return;
    }
    // The certificate states what the meter holds now, not what the grid
    // showed some seconds ago.
    const LoadCellSize size = SelectedSize();
    m_pSession->StartRequest(MakeCalibrationReadRequest(size), this, [this, size](const SessionResult& r) {
        ShowLastExchange(r.exchange, r);
        if (r.nResult < 0 || r.steps.empty()) {
            CUiPrompts::ShowWarning(this,
                                    QStringLiteral("보정값을 읽지 못했습니다.\n%1")
                                        .arg(CUiPrompts::LinkFailureText(r.nResult, LinkErrorText(r))),
                                    kErrorCaption);
            return;
        }
        CalibrationCertificateData data;
        const SnapshotMeter meter = Meter();
        const int64_t now = m_clock.NowSeconds();
        data.header.strReportDate = FormatLocalTime(now);
        data.header.strReportName = "보정 성적서";
        data.header.strCompany = m_strCompany.toStdString();
        data.header.strAuthor = m_strUser.toStdString();
        data.header.strMeterName = meter.strName.toStdString();
        data.header.strSerialNumber = meter.strSerial.toStdString();
        data.header.strVersion = meter.strVersion.toStdString();
        data.strMeterClock = m_gridInfo->GetCellText(5, 3).toStdString();
        data.eSize = size;
        data.record = DecodeCalibrationRecord(r.steps[0].reply);
        QString who = meter.HasSerial() ? meter.strSerial : meter.strName;
        who.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
        const QString suggested = QStringLiteral("보정 성적서 %1 %2 %3.pdf")
                                      .arg(who, QString::fromStdString(CCalibrationFit::SizeName(size)),
                                           QDateTime::fromSecsSinceEpoch(now).toString(QStringLiteral("yyyyMMdd")));
        const QString path = CUiPrompts::ChooseSaveFile(this, QStringLiteral("보정 성적서"),
                                                        QStringLiteral("PDF 파일 (*.pdf)|*.pdf;| All Files(*.*)|*.*||"),
                                                        QDir::home().filePath(suggested));
        if (path.isEmpty())
            return;
        QString error;
        if (!CPdfCalibrationCertificate(data).Write(path, &error))
            CUiPrompts::ShowWarning(this, error, kErrorCaption);
        else
            CUiPrompts::ShowInfo(this, QStringLiteral("보정 성적서를 저장했습니다.\n%1").arg(path), kErrorCaption);
    });
}
