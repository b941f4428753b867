#include "CBrevaneDlg.h"

#include "CArchiveSink.h"
#include "CAdminPassword.h"
#include "CCalibrationHistory.h"
#include "CDlgAdmin.h"
#include "CDlgPassword.h"
#include "CSupportBundle.h"
#include "ClockDrift.h"
#include "CDlgAnalysis.h"
#include "CDlgArchive.h"
#include "CDlgFw.h"
#include "CDlgLog.h"
#include "CReportExport.h"
#include "CIniSysInfo.h"
#include "CMeterSession.h"
#include "CSpreadSheet.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"
#include "ILinkClock.h"
#include "LinkResult.h"
#include "MeterCommands.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("압력 계측기");

QString Q(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// Column widths of the two record sheets, in characters.
const double kMemoryWidths[5] = {3, 7, 20, 20, 20};
const double kOutputWidths[5] = {7, 20, 20, 20, 20};
const double kRecordRowHeight = 15.0;   // points

}   // namespace

const CDlgTemplate& CBrevaneDlg::DialogTemplate()
{
    // Only the information and search buttons keep these places: every other
    // control is placed by ArrangeControls for the window's present size.
    static const CDlgTemplate s_template{
        IDD, "압력 계측기", 850, 410,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX
            | DS_SETFONT,
        "GulimChe", 10, 400, false,
        {
            {IDOK, EDlgItemKind::DefPushButton, "OK", 690, 390, 50, 14, WS_DISABLED},
            {IDCANCEL, EDlgItemKind::PushButton, "Cancel", 745, 390, 50, 14, 0},
            {IDC_BUTTON_INFO, EDlgItemKind::PushButton, "", 7, 7, 120, 62, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_SEARCH, EDlgItemKind::PushButton, "장비 조회", 131, 7, 60, 62,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_GRID_INFO, EDlgItemKind::Grid, "", 197, 7, 646, 62, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_START, EDlgItemKind::StaticText, "시작일", 470, 78, 96, 14,
             WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_START, EDlgItemKind::DatePicker, "", 570, 76, 73, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_END, EDlgItemKind::StaticText, "종료일", 646, 78, 43, 14,
             WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_END, EDlgItemKind::DatePicker, "", 692, 76, 73, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_QUERY, EDlgItemKind::PushButton, "데이터 조회", 770, 76, 73, 14,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_RADIO_MEMORY, EDlgItemKind::RadioButton, "MEMORY", 7, 82, 80, 14,
             WS_VISIBLE | WS_GROUP | WS_TABSTOP},
            {IDC_RADIO_OUTPUT, EDlgItemKind::RadioButton, "OUTPUT", 87, 82, 80, 14, WS_VISIBLE},
            {IDC_GRID_DATA, EDlgItemKind::Grid, "", 7, 100, 836, 270, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_SELECT_ALL, EDlgItemKind::PushButton, "전체 선택", 7, 380, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CLEAR_ALL, EDlgItemKind::PushButton, "전체 해제", 63, 380, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_INVERT, EDlgItemKind::PushButton, "선택 반전", 120, 380, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_SET_TIME, EDlgItemKind::PushButton, "현재시간 설정", 190, 379, 93, 19,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_READ_TIME, EDlgItemKind::PushButton, "장비시간 조회", 287, 379, 93, 19,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_CLOCK, EDlgItemKind::StaticText, "", 383, 382, 107, 14,
             WS_VISIBLE | SS_CENTER},
            {IDC_EDIT_NUMBER, EDlgItemKind::Edit, "", 493, 382, 80, 13, WS_BORDER | ES_READONLY},
            {IDC_BUTTON_LOG, EDlgItemKind::PushButton, "로그 보기", 517, 380, 80, 17, WS_TABSTOP},
            {IDC_BUTTON_ADMIN, EDlgItemKind::PushButton, "관리자 모드", 600, 380, 80, 17, WS_TABSTOP},
            {IDC_BUTTON_FIRMWARE, EDlgItemKind::PushButton, "펌웨어 업로드", 683, 380, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_EXCEL, EDlgItemKind::PushButton, "엑셀 저장", 766, 380, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_UNUSED, EDlgItemKind::StaticText, "", 7, 400, 20, 8, 0},
            // Placed by ArrangeControls between the mode buttons and the dates.
            {IDC_BUTTON_NEW_RECORDS, EDlgItemKind::PushButton, "새 기록 받기", 0, 0, 1, 1,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_ARCHIVE, EDlgItemKind::PushButton, "기록 보관함", 0, 0, 1, 1, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_ANALYSIS, EDlgItemKind::PushButton, "분석", 0, 0, 1, 1, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CSV, EDlgItemKind::PushButton, "CSV 저장", 0, 0, 1, 1, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_XLSX, EDlgItemKind::PushButton, "XLSX 저장", 0, 0, 1, 1, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_PDF, EDlgItemKind::PushButton, "PDF 저장", 0, 0, 1, 1, WS_VISIBLE | WS_TABSTOP},
        },
    };
    return s_template;
}

QString CBrevaneDlg::TitleConnected()
{
    return QStringLiteral("압력 계측기 : 장비 연결 성공");
}

QString CBrevaneDlg::TitleNotConnected()
{
    return QStringLiteral("압력 계측기 : 연결장비 없음");
}

QString CBrevaneDlg::BuiltInInfoText()
{
    // Shown when the program folder holds no help.dat. The numbers and the
    // address are placeholders for the seller's own.
    QString text = QStringLiteral(
        "[ 제품 구입 및 A/S 안내 ]\n"
        "\n"
        "■ 제품 구입 문의\n"
        "\t전화 : 000-0000-0000 (평일 09:00 ~ 18:00)\n"
        "\t팩스 : 000-0000-0001\n"
        "\t전자우편 : sales@example.com\n"
        "\n"
        "■ A/S 접수\n"
        "\t전화 : 000-0000-0002 (점심시간 12:00 ~ 13:00 제외)\n"
        "\t접수 시 측정기 명, S/N, 증상을 알려 주십시오.\n"
        "\t로그 보기 화면에서 저장한 로그 파일을 함께 보내 주시면 빠르게 처리됩니다.\n"
        "\n"
        "■ 택배 및 화물 발송 주소\n"
        "\t(00000) 가나시 다라구 마바로 123, 사아빌딩 4층 A/S 센터\n"
        "\t받는 분 : 고객지원팀 (착불 발송은 받지 않습니다)\n"
        "\t로드셀과 본체를 함께 보내 주십시오.\n"
        "\n"
        "■ 방문 안내\n"
        "\t방문 전 반드시 전화로 예약해 주십시오.\n"
        "\t토요일, 일요일, 공휴일에는 방문 접수를 하지 않습니다.\n"
        "\n"
        "■ 보증 기간 : 구입일로부터 1년 (소모품 제외)");
    text.remove(QLatin1Char('\t'));
    return text;
}

CBrevaneDlg::CBrevaneDlg(IBridgeLibrary& bridge, ILinkClock& clock, CIniSysInfo& sysInfo,
                         QWidget* parent)
    : CBrevaneDlg(*new CMeterSession(bridge, clock), clock, sysInfo, parent)
{
    m_pOwnSession.reset(&m_session);
}

CBrevaneDlg::CBrevaneDlg(CMeterSession& session, ILinkClock& clock, CIniSysInfo& sysInfo,
                         QWidget* parent)
    : CDlgComm(DialogTemplate(), parent)
    , m_session(session)
    , m_clock(clock)
    , m_sysInfo(sysInfo)
{
    m_hIcon = QIcon(QStringLiteral(":/brevane/brevane.svg"));

    m_fontBold = QFont(QStringLiteral("GulimChe"));
    m_fontBold.setPixelSize(12);
    m_fontBold.setWeight(QFont::DemiBold);

    m_gridInfo = GetDlgItemAs<CSpreadSheet>(IDC_GRID_INFO);
    m_gridData = GetDlgItemAs<CSpreadSheet>(IDC_GRID_DATA);
    m_dtStart = GetDlgItemAs<QDateEdit>(IDC_DATE_START);
    m_dtEnd = GetDlgItemAs<QDateEdit>(IDC_DATE_END);
    m_lblClock = GetDlgItemAs<QLabel>(IDC_STATIC_CLOCK);
    m_editNumber = GetDlgItemAs<QLineEdit>(IDC_EDIT_NUMBER);

    // The progress of a download and the stop button share the row of the
    // mode buttons; the same line says afterwards when a list is incomplete.
    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("statusLine"));
    m_lblStatus->setTextFormat(Qt::PlainText);
    m_lblStatus->hide();
    m_btnStop = new QPushButton(QStringLiteral("취소"), this);
    m_btnStop->setObjectName(QStringLiteral("stopDownload"));
    m_btnStop->setAutoDefault(false);
    m_btnStop->hide();
    connect(m_btnStop, &QPushButton::clicked, this, [this] { OnStopDownload(); });
    // The statistics of the ticked rows sit in the header grid's empty
    // corner under the meter's name.
    m_lblStats = new QLabel(this);
    m_lblStats->setObjectName(QStringLiteral("statsLine"));
    m_lblStats->setTextFormat(Qt::PlainText);
    m_lblStats->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Both lines cover the cells' border where they sit over the header grid.
    for (QLabel* label : {m_lblStats, m_lblStatus}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, CAppTheme::ToQColor(CAppTheme::Current().m_clrBack));
        label->setPalette(palette);
    }
    m_lblStats->setAutoFillBackground(true);
    connect(m_gridData, &CSpreadSheet::ButtonClicked, this, [this](int col, int) {
        if (col == 1)
            UpdateStatsLine();
    });

    OnClicked(IDC_BUTTON_SEARCH, [this] { OnDeviceSearch(); });
    OnClicked(IDC_BUTTON_QUERY, [this] { QueryRecords(); });
    OnClicked(IDC_BUTTON_SELECT_ALL, [this] { OnSelectAll(); });
    OnClicked(IDC_BUTTON_CLEAR_ALL, [this] { OnClearAll(); });
    OnClicked(IDC_BUTTON_INVERT, [this] { OnInvert(); });
    OnClicked(IDC_RADIO_MEMORY, [this] { OnModeMemory(); });
    OnClicked(IDC_RADIO_OUTPUT, [this] { OnModeOutput(); });
    OnClicked(IDC_BUTTON_INFO, [this] { ShowInfoText(); });
    OnClicked(IDC_BUTTON_ADMIN, [this] { OnAdmin(); });
    OnClicked(IDC_BUTTON_LOG, [this] { OnLog(); });
    OnClicked(IDC_BUTTON_READ_TIME, [this] { ReadDeviceClock(); });
    OnClicked(IDC_BUTTON_SET_TIME, [this] { SetDeviceClock(); });
    OnClicked(IDC_BUTTON_FIRMWARE, [this] { OnFirmware(); });
    OnClicked(IDC_BUTTON_EXCEL, [this] { ExportReport(); });
    OnClicked(IDC_BUTTON_NEW_RECORDS, [this] { OnNewRecords(); });
    OnClicked(IDC_BUTTON_ARCHIVE, [this] { OnArchiveWindow(); });
    OnClicked(IDC_BUTTON_ANALYSIS, [this] { OnAnalysis(); });
    OnClicked(IDC_BUTTON_CSV, [this] { SaveAs(CMeasurementExport::EFormat::Csv); });
    OnClicked(IDC_BUTTON_XLSX, [this] { SaveAs(CMeasurementExport::EFormat::Xlsx); });
    OnClicked(IDC_BUTTON_PDF, [this] { SaveAs(CMeasurementExport::EFormat::Pdf); });

    m_pPassword = std::make_unique<CAdminPassword>(m_sysInfo, m_clock);
    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(1000);
    connect(m_pTimer, &QTimer::timeout, this, [this] { OnTimer(TIMER_DETECT); });

    ConnectSession();

    // F1 anywhere in the window shows the information text.
    qApp->installEventFilter(this);
}

CBrevaneDlg::~CBrevaneDlg()
{
    qApp->removeEventFilter(this);
    m_pTimer->stop();
    // A job still running is stopped; its results no longer reach this window.
    m_session.RequestCancel();
    disconnect(&m_session, nullptr, this, nullptr);
    if (m_bBusyCursor)
        QApplication::restoreOverrideCursor();
    delete m_pLogDlg;
    m_pLogDlg = nullptr;
    if (m_pOwnSession)
        m_pOwnSession.reset();
}

bool CBrevaneDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    // The main window is laid out for 92 pixels per inch, not the base's 96.
    m_Scaler.Attach(this, DialogTemplate(), 92.0);
    ApplyTheme();
    update();

    if (auto* app = &CAppTheme::Current())
        app->LoadThemeColors(this);
    ApplyTheme();

    InitControls();

    // A window of the main window's: it stays in front of it, and the
    // administrator and firmware windows, modal to the main window only, do
    // not block it.
    m_pLogDlg = new CDlgLog(this, m_sysInfo.m_szLogDir, m_clock);
    m_pLogDlg->setWindowIcon(m_hIcon);
    m_pLogDlg->SetSupportSource([this] { return SupportInput(); });

    setMinimumSize(kMinWidth, kMinHeight);
    move(0, 0);
    resize(kMinWidth, kMinHeight);
    FlushPendingResize();

    m_bReady = true;
    ArrangeControls();

    setWindowTitle(TitleNotConnected());
    SetDetectedControlsEnabled(false);
    m_pTimer->start();
    return true;
}

void CBrevaneDlg::InitControls()
{
    if (auto* info = GetDlgItemAs<QPushButton>(IDC_BUTTON_INFO)) {
        info->setIcon(QIcon(QStringLiteral(":/brevane/info.svg")));
        info->setIconSize(QSize(180, 100));
    }
    m_lblClock->setText(QStringLiteral("0000-00-00 00:00:00"));
    m_lblClock->setAlignment(Qt::AlignCenter);
    for (int id : {IDC_STATIC_START, IDC_STATIC_END})
        GetDlgItemAs<QLabel>(id)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_editNumber->setText(QStringLiteral("000-0000-0000"));

    GetDlgItem(IDC_BUTTON_ADMIN)->show();
    GetDlgItem(IDC_BUTTON_LOG)->show();

    SetRadioIndex(IDC_RADIO_MEMORY, 0);

    m_dtStart->setFont(m_fontBold);
    m_dtEnd->setFont(m_fontBold);
    const QDate today = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds()).date();
    m_dtStart->setDate(today);
    m_dtEnd->setDate(today);

    InitInfoGrid();
    InitDataGrid();
}

void CBrevaneDlg::InitInfoGrid()
{
    const CAppTheme& theme = CAppTheme::Current();
    CSpreadSheet& g = *m_gridInfo;
    g.SetColumnCount(4);
    g.SetRowCount(4);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    g.SetScrollBars(0);
    g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    g.SetFontSize(11.0f);
    ApplyGridLook(g);

    static const char* const kLabels[][2] = {
        {"작성 일시", "회사 명"},
        {"보고서 명", "작성자 명"},
        {"측정기 명", "측정기 S/N"},
        {"", "버전 정보"},
    };
    g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::StaticText);
    g.SetHAlign(EGridHAlign::Center);
    g.SetVAlign(EGridVAlign::Center);
    for (int row = 1; row <= 4; ++row) {
        g.SetCellText(1, row, QString::fromUtf8(kLabels[row - 1][0]));
        g.SetCellText(3, row, QString::fromUtf8(kLabels[row - 1][1]));
    }
    for (int col : {1, 3}) {
        g.SetActiveCell(col, CSpreadSheet::kAll);
        g.SetBackColor(theme.m_clrButtonBorder);
    }
    g.SetActiveCell(1, 4);
    g.SetBackColor(theme.m_clrBack);
    for (const auto& cell : {std::pair<int, int>{2, 1}, {2, 2}, {4, 1}, {4, 2}}) {
        g.SetActiveCell(cell.first, cell.second);
        g.SetCellType(EGridCellType::Edit);
        g.SetHAlign(EGridHAlign::Center);
        g.SetVAlign(EGridVAlign::Center);
        g.SetBackColor(theme.m_clrEditBack);
    }
    g.SetCellBorder(1, 1, 4, 4, kGridEdgeLeft | kGridEdgeRight | kGridEdgeTop | kGridEdgeBottom,
                    theme.m_clrBorder, EGridLine::Solid);

    g.SetCellText(2, 2, Q(m_sysInfo.m_szReportName));
    g.SetCellText(4, 1, Q(m_sysInfo.m_szCompany));
    g.SetCellText(4, 2, Q(m_sysInfo.m_szUserName));
}

void CBrevaneDlg::InitDataGrid()
{
    const CAppTheme& theme = CAppTheme::Current();
    CSpreadSheet& g = *m_gridData;
    g.SetSheetCount(2);
    g.SetScrollBars(2);

    // Both sheets: five columns of locked static cells, centred, with
    // borders on the whole columns so that every row added later has them.
    const auto setUpSheet = [&](int sheet, int rows, const double* widths) {
        g.SetAddressedSheet(sheet);
        g.SetColumnCount(5);
        g.SetRowCount(rows);
        g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
        g.SetFontSize(11.0f);
        for (int c = 1; c <= 5; ++c)
            g.SetColumnWidth(c, widths[c - 1]);
        g.SetRowHeight(CSpreadSheet::kAll, kRecordRowHeight);
        g.SetRowHeight(CSpreadSheet::kHeader, kRecordRowHeight);
        ApplyGridLook(g);
        g.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
        g.SetCellType(EGridCellType::StaticText);
        g.SetHAlign(EGridHAlign::Center);
        g.SetVAlign(EGridVAlign::Center);
        g.SetLock(true);
        g.SetCellBorder(1, CSpreadSheet::kAll, 5, CSpreadSheet::kAll,
                        kGridEdgeLeft | kGridEdgeRight | kGridEdgeTop | kGridEdgeBottom,
                        theme.m_clrBorder, EGridLine::Solid);
    };

    // Sheet 1: the stored records, one ticked row each; the check box
    // column is the only one the user changes.
    setUpSheet(1, 0, kMemoryWidths);
    g.SetColumnHeadersShown(true);
    g.SetActiveCell(1, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::CheckBox);
    g.SetCheckBoxCaption(QString());
    g.SetHAlign(EGridHAlign::Center);
    g.SetLock(false);
    static const char* const kMemoryHeaders[5] = {"CK", "No", "측정 시간", "측정 압력 값",
                                                  "로드셀 종류"};
    for (int c = 1; c <= 5; ++c)
        g.SetCellText(c, CSpreadSheet::kHeader, QString::fromUtf8(kMemoryHeaders[c - 1]));

    // Sheet 2: the continuous series under its summary.
    setUpSheet(2, 3, kOutputWidths);
    g.SetColumnHeadersShown(false);
    g.SetRowHeadersShown(false);
    static const char* const kSummaryLabels[5] = {"측정횟수", "압력 평균 값", "최소 값", "최대 값",
                                                  "압력 편차"};
    static const char* const kSeriesLabels[5] = {"No", "측정 시간", "측정 압력 값", "로드셀 종류",
                                                 "기타"};
    for (int c = 1; c <= 5; ++c) {
        g.SetCellText(c, 1, QString::fromUtf8(kSummaryLabels[c - 1]));
        g.SetCellText(c, 3, QString::fromUtf8(kSeriesLabels[c - 1]));
    }
    for (int row : {1, 3}) {
        g.SetActiveCell(CSpreadSheet::kAll, row);
        g.SetBackColor(theme.m_clrButtonBorder);
    }
    g.SetActiveCell(1, 2);
    g.SetBackColor(theme.m_clrButtonBorder);

    g.SetAddressedSheet(1);
    g.SetShownSheet(1);
}

void CBrevaneDlg::ArrangeControls()
{
    const int W = width();
    const int H = height();
    const QRect S = GetDlgItem(IDC_BUTTON_SEARCH)->geometry();
    const int Y = S.bottom() + 1 + 10;
    const int sBottom = S.y() + S.height();   // one past the last row, as a window rectangle has it
    const int sRight = S.x() + S.width();

    const auto place = [this](int id, int x, int y, int w, int h) {
        if (QWidget* control = GetDlgItem(id))
            control->setGeometry(x, y, w, h);
    };

    const QRect infoRect(sRight + 10, S.y(), W - sRight - 20, sBottom - S.y());
    FitGrid(*m_gridInfo, true, infoRect);
    FitGridColumns(*m_gridInfo, infoRect);

    place(IDC_BUTTON_QUERY, W - 120, Y, 110, 25);
    place(IDC_DATE_END, W - 245, Y, 110, 25);
    place(IDC_STATIC_END, W - 315, Y, 65, 25);
    place(IDC_DATE_START, W - 425, Y, 110, 25);
    place(IDC_STATIC_START, W - 575, Y, 145, 25);
    place(IDC_RADIO_MEMORY, 10, Y + 10, 120, 25);
    place(IDC_RADIO_OUTPUT, 131, Y + 10, 120, 25);
    // Between the mode buttons and the dates: the download's line and its
    // stop button.
    const int stopX = W - 575 - 90;
    m_btnStop->setGeometry(stopX, Y + 5, 80, 28);
    // The same free stretch holds the archive and analysis buttons while no
    // download runs.
    // The stretch is 435 pixels at the smallest window; the buttons keep a
    // narrow padding and take a smaller font when their texts would not fit
    // in it whole. The font goes in the buttons' style sheet: the theme's
    // sheet is applied again whenever a window opens, and would undo a font
    // set on the widget.
    constexpr int kPadding = 5;   // each side, plus a one-pixel border
    const int tools[] = {IDC_BUTTON_NEW_RECORDS, IDC_BUTTON_ARCHIVE, IDC_BUTTON_ANALYSIS,
                         IDC_BUTTON_CSV, IDC_BUTTON_XLSX, IDC_BUTTON_PDF};
    const int room = std::max(0, W - 575 - 10 - 260);
    QFont toolFont = font();
    std::vector<int> widths;
    for (int pixels = std::min(QFontInfo(toolFont).pixelSize(), 13); pixels >= 9; --pixels) {
        toolFont.setPixelSize(pixels);
        const QFontMetrics metrics(toolFont);
        widths.clear();
        int total = 0;
        for (int id : tools) {
            widths.push_back(metrics.horizontalAdvance(GetDlgItemAs<QPushButton>(id)->text()) + 2 * kPadding + 4);
            total += widths.back() + 3;
        }
        if (total <= room)
            break;
    }
    const QString sheet = QStringLiteral("QPushButton { padding: 3px %1px; font-size: %2px; }")
                              .arg(kPadding)
                              .arg(toolFont.pixelSize());
    int x = 260;
    for (size_t i = 0; i < widths.size(); ++i) {
        QWidget* button = GetDlgItem(tools[i]);
        if (button->styleSheet() != sheet)
            button->setStyleSheet(sheet);
        place(tools[i], x, Y + 5, widths[i], 26);
        x += widths[i] + 3;
    }
    PlaceStatusLines();

    // Both record sheets fill the grid's width with their columns in
    // proportion; their rows keep their height, so a long download scrolls.
    const QRect dataRect(10, sBottom + 45, W - 20, H - sBottom - 95);
    m_gridData->setGeometry(dataRect);
    for (int sheet : {1, 2}) {
        m_gridData->SetAddressedSheet(sheet);
        FitGridColumns(*m_gridData, dataRect);
    }
    m_gridData->SetAddressedSheet(m_nDataMode + 1);

    place(IDC_BUTTON_SELECT_ALL, 10, H - 40, 80, 30);
    place(IDC_BUTTON_CLEAR_ALL, 95, H - 40, 80, 30);
    place(IDC_BUTTON_INVERT, 180, H - 40, 80, 30);
    place(IDC_BUTTON_SET_TIME, 285, H - 42, 140, 34);
    place(IDC_BUTTON_READ_TIME, 430, H - 42, 140, 34);
    place(IDC_STATIC_CLOCK, 575, H - 40, 160, 30);
    place(IDC_EDIT_NUMBER, 740, H - 37, 120, 24);
    place(IDC_BUTTON_EXCEL, W - 130, H - 40, 120, 30);
    place(IDC_BUTTON_FIRMWARE, W - 255, H - 40, 120, 30);
    place(IDC_BUTTON_ADMIN, W - 380, H - 40, 120, 30);
    place(IDC_BUTTON_LOG, W - 505, H - 40, 120, 30);
    update();
}

// 1280 x 720 is the size of the whole window, frame and title bar included,
// as on the desktop the program was designed for. Qt sizes the inside, and
// the frame is known only once the window manager has put one round the
// window: then the inside shrinks by the frame, once.
void CBrevaneDlg::FitFrameOnce()
{
    if (m_bFrameFitted || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return;
    m_bFrameFitted = true;
    const QSize inside(kMinWidth - frame.width(), kMinHeight - frame.height());
    setMinimumSize(inside);
    if (width() <= kMinWidth && height() <= kMinHeight)
        resize(inside);
}

void CBrevaneDlg::moveEvent(QMoveEvent* event)
{
    CDlgComm::moveEvent(event);
    FitFrameOnce();
}

void CBrevaneDlg::resizeEvent(QResizeEvent* event)
{
    CDlgComm::resizeEvent(event);
    FitFrameOnce();
}

void CBrevaneDlg::PaintExtra(QPainter&)
{
    // The controls paint themselves over the background.
}

// ---- the session ----

void CBrevaneDlg::ConnectSession()
{
    connect(&m_session, &CMeterSession::JobStarted, this, &CBrevaneDlg::OnJobStarted);
    connect(&m_session, &CMeterSession::JobFinished, this, &CBrevaneDlg::OnJobFinished);
    connect(&m_session, &CMeterSession::RecordsArrived, this, &CBrevaneDlg::OnRecords);
    connect(&m_session, &CMeterSession::OutputSummaryArrived, this, &CBrevaneDlg::OnSummary);
    connect(&m_session, &CMeterSession::Progress, this, &CBrevaneDlg::OnProgress);
    connect(&m_session, &CMeterSession::PacketsLogged, this,
            [this](const std::vector<PacketLogEntry>& entries) {
                if (!m_pLogDlg)
                    return;
                for (const PacketLogEntry& e : entries)
                    m_pLogDlg->AppendPacket(e.nDirection, e.bytes.data(), int(e.bytes.size()));
            });
}

void CBrevaneDlg::OnJobStarted(ESessionJob job)
{
    // The once-a-second poll is too short to be worth a cursor.
    if (job != ESessionJob::Detect && !m_bBusyCursor) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_bBusyCursor = true;
    }
    ApplyControlState();
}

void CBrevaneDlg::OnJobFinished(const SessionResult&)
{
    if (m_bBusyCursor && !m_session.IsBusy()) {
        QApplication::restoreOverrideCursor();
        m_bBusyCursor = false;
    }
    ApplyControlState();
}

// The buttons that reach the meter answer while it is detected and no job
// runs; while a download runs nothing may change the sheet it fills.
void CBrevaneDlg::ApplyControlState()
{
    const bool busy = m_session.IsBusy() && m_session.CurrentJob() != ESessionJob::Detect;
    const bool downloading = m_session.CurrentJob() == ESessionJob::MemoryDownload
                             || m_session.CurrentJob() == ESessionJob::OutputDownload;
    SetDetectedControlsEnabled(m_bDetected && !busy);
    for (int id : {IDC_BUTTON_ADMIN, IDC_BUTTON_FIRMWARE})
        GetDlgItem(id)->setEnabled(!busy);
    for (int id : {IDC_RADIO_MEMORY, IDC_RADIO_OUTPUT, IDC_BUTTON_EXCEL, IDC_BUTTON_SELECT_ALL,
                   IDC_BUTTON_CLEAR_ALL, IDC_BUTTON_INVERT, IDC_DATE_START, IDC_DATE_END})
        GetDlgItem(id)->setEnabled(!downloading);
    m_btnStop->setVisible(downloading);
    m_btnStop->setEnabled(downloading);
    // A download's line and stop button take the place of the tool buttons.
    for (int id : {IDC_BUTTON_NEW_RECORDS, IDC_BUTTON_ARCHIVE, IDC_BUTTON_ANALYSIS, IDC_BUTTON_CSV,
                   IDC_BUTTON_XLSX, IDC_BUTTON_PDF})
        GetDlgItem(id)->setVisible(!downloading);
    GetDlgItem(IDC_BUTTON_NEW_RECORDS)->setEnabled(m_bDetected && !busy);
    PlaceStatusLines();
}

void CBrevaneDlg::SetDetectedControlsEnabled(bool enabled)
{
    for (int id : {IDC_BUTTON_SEARCH, IDC_BUTTON_QUERY, IDC_BUTTON_READ_TIME, IDC_BUTTON_SET_TIME,
                   IDC_EDIT_NUMBER})
        GetDlgItem(id)->setEnabled(enabled);
}

void CBrevaneDlg::SetStatusLine(const QString& text, bool warning)
{
    m_strStatus = text;
    m_bStatusWarning = warning && !text.isEmpty();
    const CAppTheme& theme = CAppTheme::Current();
    QPalette palette = m_lblStatus->palette();
    palette.setColor(QPalette::WindowText,
                     warning ? QColor(0xF0, 0x80, 0x40) : CAppTheme::ToQColor(theme.m_clrText));
    m_lblStatus->setPalette(palette);
    m_lblStatus->setToolTip(text);
    m_lblStatus->setVisible(!text.isEmpty());
    PlaceStatusLines();
}

QString CBrevaneDlg::StatusLine() const
{
    return m_strStatus;
}

// While a download runs its line fills the free stretch of the mode row up
// to the stop button. Otherwise the line shares the header grid's empty
// corner (row 4, under the meter's name) with the statistics of the ticked
// rows; a line too long for it is cut short and shown whole as a tip.
void CBrevaneDlg::PlaceStatusLines()
{
    if (!m_bReady)
        return;
    const bool downloading = m_session.CurrentJob() == ESessionJob::MemoryDownload
                             || m_session.CurrentJob() == ESessionJob::OutputDownload;
    const QRect info = m_gridInfo->geometry();
    const QRect corner(info.x() + 3, info.y() + info.height() * 3 / 4 + 2, info.width() / 2 - 6,
                       info.height() / 4 - 4);
    const QFontMetrics metrics(m_lblStats->font());
    const int statsWidth = std::min(corner.width(), metrics.horizontalAdvance(m_lblStats->text()) + 8);
    m_lblStats->setGeometry(corner.right() + 1 - statsWidth, corner.y(), statsWidth, corner.height());
    m_lblStats->raise();
    QRect status;
    if (downloading) {
        const QRect stop = m_btnStop->geometry();
        status = QRect(260, stop.y(), std::max(0, stop.x() - 10 - 260), stop.height());
    } else {
        status = QRect(corner.x(), corner.y(), std::max(0, corner.width() - statsWidth - 4), corner.height());
    }
    m_lblStatus->setAutoFillBackground(!downloading);
    m_lblStatus->setGeometry(status);
    m_lblStatus->setText(QFontMetrics(m_lblStatus->font()).elidedText(m_strStatus, Qt::ElideRight, status.width()));
    m_lblStatus->raise();
}

void CBrevaneDlg::UpdateStatsLine()
{
    m_lblStats->setText(StatsLine());
    m_lblStats->setToolTip(m_nDataMode == 0 ? QStringLiteral("체크한 기록의 통계")
                                            : QStringLiteral("연속 측정 데이터 전체의 통계"));
    PlaceStatusLines();
}

QString CBrevaneDlg::StatsLine() const
{
    return CMeasurementExport::StatsLine(const_cast<CBrevaneDlg*>(this)->CurrentSet());
}

// ---- the archive and the analysis ----

void CBrevaneDlg::SetArchive(CSqliteArchive* archive, CArchiveSink* sink)
{
    m_pArchive = archive;
    m_pSink = sink;
}

QDate CBrevaneDlg::EarliestMeterDate()
{
    // The meter's clock is set from the PC and has never been set before
    // this date; asking from it gives every record the meter holds.
    return QDate(2000, 1, 1);
}

void CBrevaneDlg::OnNewRecords()
{
    if (m_session.IsBusy())
        return;
    if (!m_pArchive || !m_pArchive->IsOpen()) {
        CUiPrompts::ShowWarning(this,
                                QStringLiteral("보관함을 사용할 수 없어 새 기록만 골라 받을 수 없습니다.\n"
                                               "데이터 조회로 날짜를 정해 받으십시오."),
                                kCaption);
        return;
    }
    const DownloadMeter& meter = m_session.Meter();
    if (meter.strName.empty() && meter.strSerial.empty()) {
        ShowMessage(QStringLiteral("먼저 장비 조회로 측정기를 확인하십시오."));
        return;
    }
    // From the day of the newest archived record: the records of that day
    // come again and are counted as known, none of a later day is missed.
    const int64_t now = m_clock.NowSeconds();
    const int64_t earliest = QDateTime(EarliestMeterDate(), QTime(0, 0)).toSecsSinceEpoch();
    const int64_t from = m_pArchive->NewRecordsStart(meter, earliest, now);
    const QDate first = QDateTime::fromSecsSinceEpoch(from).date();
    const QDate today = QDateTime::fromSecsSinceEpoch(now).date();
    SetRadioIndex(IDC_RADIO_MEMORY, 0);
    OnModeMemory();
    m_dtStart->setDate(first);
    m_dtEnd->setDate(today);
    m_bNewRecordsOnly = StartMemoryQuery(first, today);
}

void CBrevaneDlg::OnArchiveWindow()
{
    if (!m_pArchive) {
        // Not opened at start: the window tries again and says why not.
        CDlgArchive::Run(this, m_sysInfo, &CReportExport::Run);
        return;
    }
    CDlgArchive::Run(this, *m_pArchive, m_sysInfo, &CReportExport::Run, CSqliteArchive::MeterKey(m_session.Meter()));
}

SMeasurementSet CBrevaneDlg::CurrentSet()
{
    SMeasurementSet set;
    const bool memory = m_nDataMode == 0;
    set.eKind = memory ? EExportKind::Memory : EExportKind::Output;
    SExportHeader& h = set.header;
    h.m_strReportDate = m_gridInfo->GetCellText(2, 1).toStdString();
    h.m_strReportName = m_gridInfo->GetCellText(2, 2).toStdString();
    h.m_strMeterName = m_gridInfo->GetCellText(2, 3).toStdString();
    h.m_strCompany = m_gridInfo->GetCellText(4, 1).toStdString();
    h.m_strAuthor = m_gridInfo->GetCellText(4, 2).toStdString();
    h.m_strSerialNumber = m_gridInfo->GetCellText(4, 3).toStdString();
    h.m_strVersion = m_gridInfo->GetCellText(4, 4).toStdString();
    if (!memory) {
        set.records = m_vOutput;
        set.ticked.assign(m_vOutput.size(), true);
        set.summary = m_outputSummary;
        set.result = m_outputResult;
        set.strPeriod = "연속 측정";
        return set;
    }
    set.records = m_vMemory;
    set.result = m_memoryResult;
    if (m_dtQueryFirst.isValid()) {
        set.tFrom = QDateTime(m_dtQueryFirst, QTime(0, 0)).toSecsSinceEpoch();
        set.tTo = QDateTime(m_dtQueryLast, QTime(23, 59, 59)).toSecsSinceEpoch();
        set.strPeriod = (m_dtQueryFirst.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" ~ ")
                         + m_dtQueryLast.toString(QStringLiteral("yyyy-MM-dd")))
                            .toStdString();
    }
    // The ticks are the grid's: the user sets them there.
    CSpreadSheet& g = *m_gridData;
    const int addressed = g.GetAddressedSheet();
    g.SetAddressedSheet(1);
    set.ticked.assign(set.records.size(), false);
    const int rows = std::min(g.GetRowCount(), int(set.records.size()));
    for (int r = 1; r <= rows; ++r) {
        int value = 0;
        set.ticked[size_t(r - 1)] = g.GetInteger(1, r, &value) && value == 1;
    }
    g.SetAddressedSheet(addressed);
    return set;
}

void CBrevaneDlg::OnAnalysis()
{
    const SMeasurementSet set = CurrentSet();
    if (set.records.empty()) {
        ShowMessage(QStringLiteral("분석할 측정 데이터가 없습니다. 먼저 데이터를 조회하십시오."));
        return;
    }
    AnalysisData data = CMeasurementExport::MakeAnalysis(set);
    CMeasurementExport::AttachLimits(data, m_pArchive, m_session.Meter(), this);
    CDlgAnalysis::Open(this, data);
}

void CBrevaneDlg::SaveAs(CMeasurementExport::EFormat format)
{
    const SMeasurementSet set = CurrentSet();
    const EForceUnit unit = m_nDataMode == 0 ? EForceUnit::Tons : EForceUnit::KiloNewton;
    QString suggested = QDir(CReportExport::StartFolder(m_sysInfo))
                            .filePath(CReportExport::SuggestedFileName(m_gridInfo->GetCellText(2, 2),
                                                                       QDate::currentDate()));
    suggested.chop(4);   // ".xls"
    CMeasurementExport::Save(this, format, set, CMeasurementExport::KeptLimits(m_pArchive, m_session.Meter(), unit),
                             suggested);
}

void CBrevaneDlg::OnTimer(int id)
{
    if (id != TIMER_DETECT)
        return;
    // A second in which the meter is busy is skipped: the poll never runs
    // in the middle of an operation.
    m_session.StartDetect(this, [this](const SessionResult& r) {
        m_bDetected = r.bFound;
        setWindowTitle(r.bFound ? TitleConnected() : TitleNotConnected());
        ApplyControlState();
    });
}

QString CBrevaneDlg::LinkErrorText(const SessionResult& r) const
{
    QString text = CUiPrompts::LinkFailureText(r.nResult, Q(r.strError));
    if (r.nResult == LINK_OPEN_FAILED && r.nOpenStatus == BRIDGE_ACCESS_DENIED) {
        text += QStringLiteral(
            "\n\n장비는 연결되어 있지만 열 수 있는 권한이 없습니다.\n"
            "udev 규칙 70-brevane-ft260.rules 를 /etc/udev/rules.d/ 에 설치한 뒤\n"
            "(sudo udevadm control --reload-rules && sudo udevadm trigger)\n"
            "장비를 다시 연결하십시오.");
    }
    return text;
}

void CBrevaneDlg::ShowMessage(const QString& text)
{
    CUiPrompts::ShowInfo(this, text, kCaption);
}

void CBrevaneDlg::OnDeviceSearch()
{
    if (m_session.IsBusy())
        return;
    // The meter's identity is read again; what the user typed stays.
    m_gridInfo->ClearRange(2, 3, 2, 4);
    m_gridInfo->ClearRange(4, 3, 4, 4);

    const int addressed = m_gridData->GetAddressedSheet();
    m_gridData->SetAddressedSheet(1);
    m_gridData->SetRowCount(0);
    m_gridData->SetAddressedSheet(2);
    m_gridData->SetRowCount(3);
    m_gridData->ClearRange(1, 2, 5, 2);
    m_gridData->SetAddressedSheet(addressed);
    m_vMemory.clear();
    m_vOutput.clear();
    m_outputSummary.reset();
    SetStatusLine(QString(), false);
    UpdateStatsLine();

    // Name, serial number and version in this order; one that fails does
    // not keep the others from being asked.
    std::vector<SessionStep> steps;
    // The clock comes last: how far it is off is shown and kept.
    for (uint8_t command : {CMD_READ_NAME, CMD_READ_SERIAL, CMD_READ_VERSION, CMD_READ_CLOCK})
        steps.push_back({MakeReadRequest(command), false});
    m_session.StartExchange(std::move(steps), true, this,
                            [this](const SessionResult& r) { OnSearchDone(r); });
}

void CBrevaneDlg::OnSearchDone(const SessionResult& r)
{
    if (!r.bOpened) {
        CUiPrompts::ShowWarning(this, LinkErrorText(r), kCaption);
        return;
    }
    ReadDeviceInfo();
    for (const SessionStepResult& step : r.steps) {
        if (step.nResult < 0)
            continue;
        if (step.nCommand == CMD_READ_NAME)
            m_gridInfo->SetCellText(2, 3, Q(DecodeTextReply(step.reply, NAME_FIELD_LEN)));
        else if (step.nCommand == CMD_READ_SERIAL)
            m_gridInfo->SetCellText(4, 3, Q(SerialNumberText(step.reply)));
        else if (step.nCommand == CMD_READ_VERSION)
            m_gridInfo->SetCellText(4, 4, Q(DecodeTextReply(step.reply, VERSION_FIELD_LEN)));
        else if (step.nCommand == CMD_READ_CLOCK)
            ShowClockDrift(step.reply);
    }
    const QDate today = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds()).date();
    m_dtStart->setDate(today);
    m_dtEnd->setDate(today);
    QueryRecords();
}

void CBrevaneDlg::ReadDeviceInfo()
{
    m_gridInfo->SetCellText(2, 1, Q(FormatLocalTime(m_clock.NowSeconds())));
}

void CBrevaneDlg::ReadDeviceClock()
{
    m_session.StartRequest(MakeReadRequest(CMD_READ_CLOCK), this, [this](const SessionResult& r) {
        QString clockText = QStringLiteral("0000-00-00 00:00:00");
        QString numberText = QStringLiteral("000-0000-0000");
        if (r.nResult < 0 || r.steps.empty()) {
            CUiPrompts::ShowWarning(this, QStringLiteral("장비시간 읽기 실패 : %1").arg(LinkErrorText(r)),
                                    kCaption);
        } else {
            const MeterClock clock = DecodeClockRecord(r.steps[0].reply);
            if (IsPlausibleClockYear(clock.when.nYear)) {
                // A clock whose other fields make no time is shown with its raw
                // numbers and marked, like a stored record with a broken time.
                clockText = Q(FormatRecordTime(clock.when));
                numberText = Q(FormatStoredNumber(clock.storedNumber));
            }
        }
        m_lblClock->setText(clockText);
        m_editNumber->setText(numberText);
    });
}

void CBrevaneDlg::SetDeviceClock()
{
    if (m_session.IsBusy())
        return;
    // The question names the time that is written: the PC's time when it
    // was asked.
    const int64_t when = m_clock.NowSeconds();
    const QString shown = Q(FormatLocalTime(when));
    if (!CUiPrompts::AskYesNo(this, QStringLiteral("장비시간을 %1 (으)로 설정하시겠습니까?").arg(shown),
                              QStringLiteral("설정")))
        return;
    m_session.StartRequest(MakeSetClockRequest(MakeMeterClock(when)), this,
                           [this, shown](const SessionResult& r) {
                               if (r.nResult >= 0) {
                                   m_lblClock->setText(shown);
                                   CUiPrompts::ShowInfo(this, QStringLiteral("성공"), QStringLiteral("설정"));
                               } else {
                                   CUiPrompts::ShowWarning(
                                       this, QStringLiteral("설정 실패 - %1").arg(LinkErrorText(r)),
                                       QStringLiteral("설정"));
                               }
                           });
}

// ---- records ----

void CBrevaneDlg::OnModeMemory()
{
    m_gridData->SetAddressedSheet(1);
    m_gridData->SetShownSheet(1);
    m_nDataMode = 0;
    for (int id : {IDC_STATIC_START, IDC_STATIC_END, IDC_DATE_START, IDC_DATE_END})
        GetDlgItem(id)->show();
    UpdateStatsLine();
}

void CBrevaneDlg::OnModeOutput()
{
    m_gridData->SetAddressedSheet(2);
    m_gridData->SetShownSheet(2);
    m_nDataMode = 1;
    for (int id : {IDC_STATIC_START, IDC_STATIC_END, IDC_DATE_START, IDC_DATE_END})
        GetDlgItem(id)->hide();
    UpdateStatsLine();
}

void CBrevaneDlg::QueryRecords()
{
    if (m_session.IsBusy())
        return;
    m_bNewRecordsOnly = false;
    const QDate first = m_dtStart->date();
    const QDate last = m_dtEnd->date();
    if (m_nDataMode == 0 && last < first) {
        CUiPrompts::ShowWarning(this,
                                QStringLiteral("종료일(%1)이 시작일(%2)보다 앞섭니다. 날짜를 확인하십시오.")
                                    .arg(last.toString(QStringLiteral("yyyy-MM-dd")),
                                         first.toString(QStringLiteral("yyyy-MM-dd"))),
                                kCaption);
        return;
    }
    if (m_nDataMode == 0) {
        StartMemoryQuery(first, last);
        return;
    }
    m_gridData->SetAddressedSheet(2);
    m_gridData->ClearRange(1, 2, 5, 2);
    m_gridData->SetRowCount(3);
    m_vOutput.clear();
    m_outputSummary.reset();
    const bool started = m_session.StartOutputDownload(this, [this](const SessionResult& r) { OnDownloadDone(r); });
    if (started)
        SetStatusLine(QStringLiteral("데이터 수신 중..."), false);
    UpdateStatsLine();
}

bool CBrevaneDlg::StartMemoryQuery(const QDate& first, const QDate& last)
{
    const int64_t from = QDateTime(first, QTime(0, 0)).toSecsSinceEpoch();
    const int64_t to = QDateTime(last, QTime(0, 0)).toSecsSinceEpoch();
    m_gridData->SetAddressedSheet(1);
    m_gridData->SetRowCount(0);
    m_gridData->SetAddressedSheet(m_nDataMode + 1);
    m_vMemory.clear();
    m_dtQueryFirst = first;
    m_dtQueryLast = last;
    const bool started =
        m_session.StartMemoryDownload(from, to, this, [this](const SessionResult& r) { OnDownloadDone(r); });
    if (started)
        SetStatusLine(QStringLiteral("데이터 수신 중..."), false);
    UpdateStatsLine();
    return started;
}

void CBrevaneDlg::OnStopDownload()
{
    const ESessionJob job = m_session.CurrentJob();
    if (job != ESessionJob::MemoryDownload && job != ESessionJob::OutputDownload)
        return;
    m_btnStop->setEnabled(false);
    SetStatusLine(QStringLiteral("수신을 중지하는 중..."), false);
    m_session.RequestCancel();
}

void CBrevaneDlg::OnProgress(const DownloadProgress& p)
{
    if (!m_session.IsBusy())
        return;
    QString text = p.nTotal >= 0 ? QStringLiteral("데이터 수신 중 : %1 / %2건").arg(p.nRecords).arg(p.nTotal)
                                 : QStringLiteral("데이터 수신 중 : %1건").arg(p.nRecords);
    text += QStringLiteral(", 초당 %1건").arg(p.dRate, 0, 'f', 0);
    if (p.dRemainingS >= 0.0)
        text += QStringLiteral(", 남은 시간 약 %1초").arg(qRound(p.dRemainingS));
    SetStatusLine(text, false);
}

void CBrevaneDlg::OnDownloadDone(const SessionResult& r)
{
    const int count = r.nRecords;
    const bool newRecordsOnly = m_bNewRecordsOnly;
    m_bNewRecordsOnly = false;
    SExportResult& result = r.eJob == ESessionJob::OutputDownload ? m_outputResult : m_memoryResult;
    result.m_nCode = r.nResult;
    result.m_bComplete = r.bComplete;
    result.m_nCount = count;
    UpdateStatsLine();
    if (r.bComplete) {
        SetStatusLine(QString(), false);
    } else {
        // The rows that came stay, with their ticks; the line says the list
        // is not whole until a download runs to its end.
        SetStatusLine(QStringLiteral("목록이 완전하지 않습니다 (%1건 수신). "
                                     "다음 데이터 조회가 끝까지 완료될 때까지 일부 기록이 빠져 있습니다.")
                          .arg(count),
                      true);
    }
    ReportArchived(r);

    if (r.bCancelled) {
        ShowMessage(QStringLiteral("사용자가 데이터 수신을 중지했습니다. 목록에 %1건이 있습니다.").arg(count));
    } else if (r.nResult < 0) {
        QString text = LinkErrorText(r);
        if (count > 0)
            text = QStringLiteral("데이터 수신이 완료되지 않았습니다 (%1건 수신).\n%2").arg(count).arg(text);
        CUiPrompts::ShowWarning(this, text, kCaption);
    } else if (newRecordsOnly) {
        ShowMessage(count == 0 ? QStringLiteral("장비에 새 기록이 없습니다.")
                               : QStringLiteral("새 기록 받기를 마쳤습니다.\n%1")
                                     .arg(m_pSink && r.strSinkError.empty() ? Q(m_pSink->LastSummaryText())
                                                                             : QStringLiteral("%1건 수신").arg(count)));
    } else if (r.eJob == ESessionJob::MemoryDownload && count == 0) {
        ShowMessage(QStringLiteral("메모리 데이터 없음!"));
    }
}

void CBrevaneDlg::ReportArchived(const SessionResult& r)
{
    const auto append = [this](const QString& text, bool warning) {
        const QString before = StatusLine();
        SetStatusLine(before + (before.isEmpty() ? QString() : QStringLiteral("  ")) + text,
                      warning || m_bStatusWarning);
    };
    if (!r.strSinkError.empty()) {
        // The rows stay in the window; the user must know the archive lacks them.
        append(QStringLiteral("보관 실패 : %1").arg(Q(r.strSinkError)), true);
        CUiPrompts::ShowWarning(this,
                                QStringLiteral("받은 기록을 보관함에 저장하지 못했습니다. 기록은 화면에 남아 있습니다.\n%1")
                                    .arg(Q(r.strSinkError)),
                                kCaption);
        return;
    }
    ArchiveDownload d;
    if (!m_pSink || !m_pSink->LastDownload(&d) || d.nReceived == 0)
        return;
    append(d.nKnown > 0 ? QStringLiteral("보관함: 새 기록 %1건, 이미 보관된 기록 %2건").arg(d.nNew).arg(d.nKnown)
                        : QStringLiteral("보관함: 새 기록 %1건 보관").arg(d.nNew),
           false);
}

void CBrevaneDlg::OnRecords(EDownloadKind kind, const std::vector<DownloadedRecord>& batch)
{
    if (batch.empty())
        return;
    CSpreadSheet& g = *m_gridData;
    const int addressed = g.GetAddressedSheet();
    std::vector<MeasurementRecord>& kept = kind == EDownloadKind::Memory ? m_vMemory : m_vOutput;
    if (kept.size() < size_t(batch.back().nIndex) + 1)
        kept.resize(size_t(batch.back().nIndex) + 1);
    for (const DownloadedRecord& record : batch)
        kept[size_t(record.nIndex)] = DecodeMeasurementRecord(record.bytes);
    if (kind == EDownloadKind::Memory) {
        g.SetAddressedSheet(1);
        const int rows = batch.back().nIndex + 1;
        if (g.GetRowCount() < rows)
            g.SetRowCount(rows);
        for (const DownloadedRecord& record : batch)
            AddMemoryRow(record);
    } else {
        g.SetAddressedSheet(2);
        const int rows = batch.back().nIndex + 4;
        if (g.GetRowCount() < rows)
            g.SetRowCount(rows);
        for (const DownloadedRecord& record : batch)
            AddOutputRow(record);
    }
    g.SetAddressedSheet(addressed);
}

void CBrevaneDlg::AddMemoryRow(const DownloadedRecord& record)
{
    const MeasurementRecord rec = DecodeMeasurementRecord(record.bytes);
    const int row = record.nIndex + 1;
    CSpreadSheet& g = *m_gridData;
    if (g.GetRowCount() < row)
        g.SetRowCount(row);
    g.SetCellText(1, row, QStringLiteral("1"));
    g.SetCellText(2, row, QString::number(row));
    g.SetCellText(3, row, Q(rec.bTimeValid ? FormatLocalTime(rec.tWhen) : FormatRecordTime(rec.when)));
    g.SetCellText(4, row, Q(FormatForceTons(rec.nRawForce)));
    g.SetActiveCell(4, row);
    g.SetForeColor(CAppTheme::Current().m_clrText);
    g.SetCellText(5, row, QString::fromUtf8(LoadCellModelName(rec.nLoadCellType)));
}

void CBrevaneDlg::OnSummary(const std::vector<uint8_t>& summary)
{
    if (summary.size() < size_t(OUTPUT_SUMMARY_LEN))
        return;
    const OutputSummary s = DecodeOutputSummary(summary.data());
    m_outputSummary = s;
    CSpreadSheet& g = *m_gridData;
    const int addressed = g.GetAddressedSheet();
    g.SetAddressedSheet(2);
    g.SetCellText(1, 2, QString::number(s.nCount));
    const uint16_t values[4] = {s.nAverage, s.nMinimum, s.nMaximum, s.nDeviation};
    for (int i = 0; i < 4; ++i)
        g.SetCellText(2 + i, 2, Q(FormatSummaryForce(values[i])));
    g.SetAddressedSheet(addressed);
}

void CBrevaneDlg::AddOutputRow(const DownloadedRecord& record)
{
    const MeasurementRecord rec = DecodeMeasurementRecord(record.bytes);
    const int row = record.nIndex + 4;
    CSpreadSheet& g = *m_gridData;
    if (g.GetRowCount() < row)
        g.SetRowCount(row);
    g.SetCellText(1, row, QString::number(record.nIndex + 1));
    g.SetCellText(2, row, Q(rec.bTimeValid ? FormatLocalTime(rec.tWhen) : FormatRecordTime(rec.when)));
    g.SetCellText(3, row, Q(FormatForceKn(rec.nRawForce)));
    g.SetCellText(4, row, QString::fromUtf8(LoadCellModelName(rec.nLoadCellType)));
    g.SetCellText(5, row, QStringLiteral("-"));
}

void CBrevaneDlg::SetSelection(int mode)
{
    if (m_nDataMode != 0)
        return;
    CSpreadSheet& g = *m_gridData;
    const int rows = g.GetRowCount();
    for (int row = 1; row <= rows; ++row) {
        int value = 0;
        if (mode == 2) {
            g.GetInteger(1, row, &value);
            value = value == 0 ? 1 : 0;
        } else {
            value = mode;
        }
        g.SetInteger(1, row, value);
    }
    UpdateStatsLine();
}

void CBrevaneDlg::OnSelectAll()
{
    SetSelection(1);
}

void CBrevaneDlg::OnClearAll()
{
    SetSelection(0);
}

void CBrevaneDlg::OnInvert()
{
    SetSelection(2);
}

// ---- information, exit, other windows ----

QString CBrevaneDlg::LoadInfoText() const
{
    // A portable copy keeps help.dat beside the program; an installed one
    // finds it in the user's own folder or the shared data folder.
    QStringList places{Q(m_sysInfo.m_szExeDir)};
    if (!m_sysInfo.m_szDataDir.empty() && m_sysInfo.m_szDataDir != m_sysInfo.m_szExeDir)
        places << Q(m_sysInfo.m_szDataDir);
#ifdef BREVANE_DATADIR
    places << QStringLiteral(BREVANE_DATADIR);
#endif
    QFile file;
    for (const QString& place : places) {
        file.setFileName(place + QStringLiteral("/help.dat"));
        if (file.open(QIODevice::ReadOnly))
            break;
    }
    if (!file.isOpen())
        return BuiltInInfoText();
    // UTF-16LE without byte-order-mark handling; the text ends at the first
    // zero unit, and an odd last byte is a unit of its own.
    const QByteArray bytes = file.readAll();
    QString text;
    text.reserve(bytes.size() / 2 + 1);
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const uint8_t lo = uint8_t(bytes[i]);
        const uint8_t hi = i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) : 0;
        const char16_t unit = char16_t(lo | (hi << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

void CBrevaneDlg::ShowInfoText()
{
    QString text;
    {
        CWaitCursor wait;
        text = LoadInfoText();
    }
    CUiPrompts::ShowInfo(this, text, QStringLiteral("정보"));
}

void CBrevaneDlg::OnCancel()
{
    if (CUiPrompts::AskYesNo(this, QStringLiteral("프로그램을 종료하시겠습니까?"),
                             QStringLiteral("프로그램 종료")))
        CDlgComm::OnOK();
}

bool CBrevaneDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            ShowInfoText();
            return true;
        }
    }
    return CDlgComm::eventFilter(watched, event);
}

// The administrator window and the firmware dialog work on the same session.
// They are modal to the main window only and open in front of it; the
// packet log window stays usable beside them, as their log buttons promise.
void CBrevaneDlg::OnAdmin()
{
    if (!CDlgPassword::Unlock(this, *m_pPassword))
        return;
    auto* dlg = new CDlgAdmin(this, m_clock, m_pLogDlg);
    dlg->m_pSession = &m_session;
    dlg->SetArchive(m_pArchive);
    dlg->SetPassword(m_pPassword.get());
    dlg->SetMaxClockDrift(m_sysInfo.m_nMaxClockDrift);
    dlg->SetUser(Q(m_sysInfo.m_szUserName), Q(m_sysInfo.m_szCompany));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->open();
    dlg->raise();
    dlg->activateWindow();
}

void CBrevaneDlg::OnFirmware()
{
    if (!CDlgPassword::Unlock(this, *m_pPassword))
        return;
    auto* dlg = new CDlgFw(this, m_clock, m_pLogDlg);
    dlg->m_pSession = &m_session;
    dlg->m_firmware.SetArchive(m_pArchive, &m_clock);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->open();
    dlg->raise();
    dlg->activateWindow();
}

void CBrevaneDlg::OnLog()
{
    if (m_pLogDlg)
        m_pLogDlg->ToggleVisible();
}

void CBrevaneDlg::ExportReport()
{
    CReportExport::Run(this, *m_gridInfo, *m_gridData, m_nDataMode, m_sysInfo);
}

// ---- the meter's clock against the PC's, and the support file ----

void CBrevaneDlg::ShowClockDrift(const uint8_t* record)
{
    const int64_t now = m_clock.NowSeconds();
    const MeterClock clock = DecodeClockRecord(record);
    int64_t meterTime = 0;
    const bool set = IsPlausibleClockYear(clock.when.nYear) && MeterDateTimeToTime(clock.when, &meterTime);
    const std::optional<int64_t> drift = set ? std::optional<int64_t>(meterTime - now) : std::nullopt;
    const bool tooLarge = !drift || IsClockDriftTooLarge(*drift, m_sysInfo.m_nMaxClockDrift);
    QString text = set ? Q(FormatRecordTime(clock.when)) : QStringLiteral("0000-00-00 00:00:00");
    if (drift && tooLarge)
        text += QStringLiteral(" (%1)").arg(Q(FormatClockDrift(*drift)));
    m_lblClock->setText(text);
    m_lblClock->setToolTip(tooLarge ? QStringLiteral("장비 시간이 %1초 넘게 틀립니다. '현재시간 설정'으로 맞추십시오.")
                                          .arg(m_sysInfo.m_nMaxClockDrift)
                                    : QString());
    QPalette palette = m_lblClock->palette();
    palette.setColor(QPalette::WindowText, tooLarge ? QColor(0xF0, 0x80, 0x40)
                                                    : CAppTheme::ToQColor(CAppTheme::Current().m_clrText));
    m_lblClock->setPalette(palette);
    // "현재시간 설정" is the next thing the keyboard reaches.
    if (tooLarge)
        GetDlgItem(IDC_BUTTON_SET_TIME)->setFocus();
    m_bClockDrifts = tooLarge;

    if (!m_pArchive || !m_pArchive->IsOpen())
        return;
    StoredClockReading reading;
    reading.meter = {m_gridInfo->GetCellText(2, 3).toStdString(), m_gridInfo->GetCellText(4, 3).toStdString(),
                     m_gridInfo->GetCellText(4, 4).toStdString()};
    reading.tPc = now;
    if (set)
        reading.tMeter = meterTime;
    reading.nDrift = drift;
    reading.nLimit = m_sysInfo.m_nMaxClockDrift;
    reading.strSource = "main";
    CCalibrationHistory(*m_pArchive).AddClockReading(reading, nullptr);
}

SupportBundleInput CBrevaneDlg::SupportInput() const
{
    SupportBundleInput input;
    input.strLogDir = Q(m_sysInfo.m_szLogDir);
    input.strDumpDir = Q(m_sysInfo.m_szDumpDir);
    input.strIniPath = Q(m_sysInfo.m_szIniPath);
    input.strProgramVersion = QCoreApplication::applicationVersion();
    const DownloadMeter& meter = m_session.Meter();
    input.meter = {Q(meter.strName), Q(meter.strSerial), Q(meter.strVersion)};
    input.dtNow = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds());
    if (m_pArchive && m_pArchive->IsOpen()) {
        const std::vector<ArchiveMeter> meters = m_pArchive->Meters();
        int64_t records = 0;
        for (const ArchiveMeter& m : meters)
            records += m.nRecordCount;
        input.archiveCounts = {{QStringLiteral("계측기"), QString::number(meters.size())},
                               {QStringLiteral("기록"), QString::number(records)}};
    }
    return input;
}
