#include "CDlgArchive.h"

#include "CArchiveRecordModel.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"
#include "MeterTime.h"

#include <QDateEdit>
#include <QDateTime>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("기록 보관함");
constexpr int kModeMemory = 0;   // the report of the stored records

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

int DayOf(const QDate& date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

QDate DateOfDay(int day)
{
    return QDate(day / 10000, day / 100 % 100, day % 100);
}

QTableWidget* MakeList(QWidget* parent, const QStringList& headers)
{
    auto* table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    return table;
}

void PutInto(QWidget* group, QWidget* child)
{
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(child);
}

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

}  // namespace

const CDlgTemplate& CDlgArchive::DialogTemplate()
{
    static const CDlgTemplate s_template{
        IDD, "기록 보관함", 760, 400,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
        "GulimChe", 10, 400, false,
        {
            {IDC_GROUP_METERS, EDlgItemKind::GroupBox, "측정기", 7, 7, 250, 170, WS_VISIBLE},
            {IDC_GROUP_DOWNLOADS, EDlgItemKind::GroupBox, "다운로드 내역", 7, 182, 250, 188, WS_VISIBLE},
            {IDC_STATIC, EDlgItemKind::StaticText, "시작일", 264, 11, 30, 12, WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_FROM, EDlgItemKind::DatePicker, "", 297, 9, 70, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC, EDlgItemKind::StaticText, "종료일", 370, 11, 30, 12, WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_TO, EDlgItemKind::DatePicker, "", 403, 9, 70, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_RADIO_ALL_TYPES, EDlgItemKind::RadioButton, "전체", 482, 10, 40, 12,
             WS_VISIBLE | WS_GROUP | WS_TABSTOP},
            {IDC_RADIO_ALL_TYPES + 1, EDlgItemKind::RadioButton, "VR70", 524, 10, 44, 12, WS_VISIBLE},
            {IDC_RADIO_ALL_TYPES + 2, EDlgItemKind::RadioButton, "VR150", 570, 10, 48, 12, WS_VISIBLE},
            {IDC_RADIO_ALL_TYPES + 3, EDlgItemKind::RadioButton, "VR300", 620, 10, 48, 12, WS_VISIBLE},
            {IDC_BUTTON_QUERY, EDlgItemKind::PushButton, "조회", 680, 8, 73, 16, WS_VISIBLE | WS_TABSTOP},
            {IDC_GROUP_RECORDS, EDlgItemKind::GroupBox, "기록", 264, 28, 489, 342, WS_VISIBLE},
            {IDC_BUTTON_SELECT_ALL, EDlgItemKind::PushButton, "전체 선택", 7, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CLEAR_ALL, EDlgItemKind::PushButton, "전체 해제", 63, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_INVERT, EDlgItemKind::PushButton, "선택 반전", 120, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_COUNT, EDlgItemKind::StaticText, "", 180, 380, 200, 12, WS_VISIBLE},
            {IDC_BUTTON_DELETE, EDlgItemKind::PushButton, "선택 삭제", 420, 377, 73, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_BACKUP, EDlgItemKind::PushButton, "보관함 백업", 497, 377, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_EXCEL, EDlgItemKind::PushButton, "엑셀 저장", 581, 377, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDCANCEL, EDlgItemKind::PushButton, "닫기", 673, 377, 80, 17, WS_VISIBLE | WS_TABSTOP},
        },
    };
    return s_template;
}

CDlgArchive::CDlgArchive(CSqliteArchive& archive, CIniSysInfo& sysInfo, ReportExporter exporter,
                         QWidget* parent)
    : CDlgComm(DialogTemplate(), parent)
    , m_archive(archive)
    , m_sysInfo(sysInfo)
    , m_exporter(std::move(exporter))
{
    setWindowTitle(Caption());
    m_dtFrom = GetDlgItemAs<QDateEdit>(IDC_DATE_FROM);
    m_dtTo = GetDlgItemAs<QDateEdit>(IDC_DATE_TO);
    m_lblCount = GetDlgItemAs<QLabel>(IDC_STATIC_COUNT);

    m_tblMeters = MakeList(this, {QStringLiteral("측정기 명"), QStringLiteral("측정기 S/N"),
                                  QStringLiteral("기록 수"), QStringLiteral("마지막 다운로드")});
    m_tblDownloads = MakeList(this, {QStringLiteral("받은 시간"), QStringLiteral("종류"),
                                     QStringLiteral("받은 기록"), QStringLiteral("새 기록"),
                                     QStringLiteral("상태")});
    m_pModel = new CArchiveRecordModel(m_archive, this);
    m_viewRecords = new QTableView(this);
    m_viewRecords->setModel(m_pModel);
    m_viewRecords->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_viewRecords->setSortingEnabled(true);
    m_viewRecords->sortByColumn(CArchiveRecordModel::ColTime, Qt::AscendingOrder);
    m_viewRecords->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_viewRecords->horizontalHeader()->setSectionResizeMode(CArchiveRecordModel::ColTick,
                                                            QHeaderView::ResizeToContents);
    PutInto(GetDlgItem(IDC_GROUP_METERS), m_tblMeters);
    PutInto(GetDlgItem(IDC_GROUP_DOWNLOADS), m_tblDownloads);
    PutInto(GetDlgItem(IDC_GROUP_RECORDS), m_viewRecords);

    connect(m_tblMeters, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previous, int) {
                if (row != previous)
                    SelectMeter(row);
            });
    connect(m_pModel, &CArchiveRecordModel::TicksChanged, this, [this] { UpdateCount(); });
    OnClicked(IDC_BUTTON_QUERY, [this] { Query(); });
    for (int i = 0; i < 4; ++i)
        OnClicked(IDC_RADIO_ALL_TYPES + i, [this] { Query(); });
    OnClicked(IDC_BUTTON_SELECT_ALL, [this] { OnSelectAll(); });
    OnClicked(IDC_BUTTON_CLEAR_ALL, [this] { OnClearAll(); });
    OnClicked(IDC_BUTTON_INVERT, [this] { OnInvert(); });
    OnClicked(IDC_BUTTON_DELETE, [this] { DeleteTicked(); });
    OnClicked(IDC_BUTTON_EXCEL, [this] { ExportTicked(); });
    OnClicked(IDC_BUTTON_BACKUP, [this] { BackupArchive(); });
}

CDlgArchive::~CDlgArchive() = default;

void CDlgArchive::InitControls()
{
    SetRadioIndex(IDC_RADIO_ALL_TYPES, 0);
    if (auto* button = GetDlgItem(IDC_BUTTON_DELETE))
        button->setEnabled(!m_archive.IsReadOnly());
}

void CDlgArchive::AfterInitControls()
{
    ReloadMeters();
}

void CDlgArchive::Run(QWidget* parent, CIniSysInfo& sysInfo, ReportExporter exporter)
{
    CSqliteArchive archive;
    EArchiveOpen opened;
    {
        CWaitCursor wait;
        opened = archive.Open(CSqliteArchive::ArchivePath(sysInfo.m_szDataDir));
    }
    if (!archive.OpenMessage().empty())
        CUiPrompts::ShowWarning(parent, Q(archive.OpenMessage()), kCaption);
    if (opened == EArchiveOpen::Failed || opened == EArchiveOpen::TooNew)
        return;
    CDlgArchive dlg(archive, sysInfo, std::move(exporter), parent);
    dlg.exec();
}

void CDlgArchive::ReloadMeters()
{
    const int64_t keep = CurrentMeterId();
    const std::vector<ArchiveMeter> meters = m_archive.Meters();
    const QSignalBlocker block(m_tblMeters);
    m_tblMeters->setRowCount(int(meters.size()));
    int select = meters.empty() ? -1 : 0;
    for (int row = 0; row < int(meters.size()); ++row) {
        const ArchiveMeter& m = meters[size_t(row)];
        auto* name = Cell(Q(m.strName));
        name->setData(Qt::UserRole, qlonglong(m.nId));
        m_tblMeters->setItem(row, 0, name);
        // A meter without serial number is kept under its name.
        m_tblMeters->setItem(row, 1, Cell(m.bSerialUnset ? QStringLiteral("- (미설정)") : Q(m.strSerial)));
        m_tblMeters->setItem(row, 2, Cell(QString::number(m.nRecordCount)));
        m_tblMeters->setItem(row, 3, Cell(m.tLastDownload ? Q(FormatLocalTime(m.tLastDownload))
                                                          : QStringLiteral("-")));
        if (m.nId == keep)
            select = row;
    }
    m_tblMeters->setCurrentCell(select, 0);
    SelectMeter(select);
}

int64_t CDlgArchive::CurrentMeterId() const
{
    const QTableWidgetItem* item = m_tblMeters->item(m_tblMeters->currentRow(), 0);
    return item ? item->data(Qt::UserRole).toLongLong() : 0;
}

void CDlgArchive::SelectMeter(int row)
{
    if (row != m_tblMeters->currentRow()) {
        const QSignalBlocker block(m_tblMeters);
        m_tblMeters->setCurrentCell(row, 0);
    }
    // The dates open on the whole span of the meter's records.
    int first = 0, last = 0;
    const QDate today = QDate::currentDate();
    if (CurrentMeterId() != 0 && m_archive.RecordDayRange(CurrentMeterId(), &first, &last) &&
        DateOfDay(first).isValid() && DateOfDay(last).isValid())
        SetDateRange(DateOfDay(first), std::max(DateOfDay(last), today));
    else
        SetDateRange(today, today);
    Query();
    ShowDownloads();
}

void CDlgArchive::SetDateRange(const QDate& from, const QDate& to)
{
    m_dtFrom->setDate(from);
    m_dtTo->setDate(to);
}

void CDlgArchive::SetCellTypeFilter(int type)
{
    SetRadioIndex(IDC_RADIO_ALL_TYPES, type < 0 ? 0 : type + 1);
}

void CDlgArchive::Query()
{
    CWaitCursor wait;
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = CurrentMeterId();
    filter.nFromDay = DayOf(m_dtFrom->date());
    filter.nToDay = DayOf(m_dtTo->date());
    const int radio = GetRadioIndex(IDC_RADIO_ALL_TYPES);
    filter.nCellType = radio <= 0 ? -1 : radio - 1;
    m_pModel->SetFilter(filter);
    UpdateCount();
}

void CDlgArchive::ShowDownloads()
{
    const std::vector<ArchiveDownload> downloads =
        CurrentMeterId() ? m_archive.Downloads(CurrentMeterId()) : std::vector<ArchiveDownload>();
    m_tblDownloads->setRowCount(int(downloads.size()));
    for (int row = 0; row < int(downloads.size()); ++row) {
        const ArchiveDownload& d = downloads[size_t(row)];
        m_tblDownloads->setItem(row, 0, Cell(Q(FormatLocalTime(d.tStarted))));
        m_tblDownloads->setItem(row, 1, Cell(d.eKind == EDownloadKind::Output ? QStringLiteral("OUTPUT")
                                                                              : QStringLiteral("MEMORY")));
        m_tblDownloads->setItem(row, 2, Cell(QString::number(d.nReceived)));
        m_tblDownloads->setItem(row, 3, Cell(QString::number(d.nNew)));
        // A download that never ended (the program stopped) or ended short
        // is marked, so the user knows the meter may hold more.
        QString state = QStringLiteral("완료");
        if (!d.bEnded)
            state = QStringLiteral("중단됨");
        else if (!d.bComplete)
            state = QStringLiteral("미완료");
        auto* cell = Cell(state);
        if (!d.bComplete) {
            cell->setForeground(QColor(0xE0, 0x40, 0x40));
            cell->setToolTip(d.bEnded ? QStringLiteral("결과 코드 %1").arg(d.nResult)
                                      : QStringLiteral("프로그램이 다운로드 도중 종료되었습니다."));
        }
        m_tblDownloads->setItem(row, 4, cell);
    }
}

void CDlgArchive::UpdateCount()
{
    m_lblCount->setText(QStringLiteral("기록 %1건, 선택 %2건")
                            .arg(m_pModel->TotalRows())
                            .arg(m_pModel->TickedCount()));
}

void CDlgArchive::OnSelectAll()
{
    m_pModel->SelectAll();
}

void CDlgArchive::OnClearAll()
{
    m_pModel->ClearAll();
}

void CDlgArchive::OnInvert()
{
    m_pModel->Invert();
}

void CDlgArchive::ExportTicked()
{
    if (!m_exporter)
        return;
    if (m_pModel->TickedCount() == 0) {
        CUiPrompts::ShowInfo(this, QStringLiteral("저장할 기록을 선택하십시오."), kCaption);
        return;
    }
    ArchiveMeter meter;
    for (const ArchiveMeter& m : m_archive.Meters())
        if (m.nId == CurrentMeterId())
            meter = m;
    std::vector<CArchiveRecordModel::Row> rows;
    {
        CWaitCursor wait;
        rows = m_pModel->TickedRows();
    }
    // The report reads the main window's two grids; these hidden ones hold
    // the same cells: the header (report texts of the settings, the meter's
    // identity) and the stored-records sheet with every row ticked.
    CSpreadSheet info(this);
    info.hide();
    info.SetColumnCount(4);
    info.SetRowCount(4);
    info.SetCellText(2, 1, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    info.SetCellText(2, 2, Q(m_sysInfo.m_szReportName));
    info.SetCellText(2, 3, Q(meter.strName));
    info.SetCellText(4, 1, Q(m_sysInfo.m_szCompany));
    info.SetCellText(4, 2, Q(m_sysInfo.m_szUserName));
    info.SetCellText(4, 3, meter.bSerialUnset ? QStringLiteral("-") : Q(meter.strSerial));
    info.SetCellText(4, 4, Q(meter.strVersion));

    CSpreadSheet data(this);
    data.hide();
    data.SetColumnCount(5);
    data.SetRowCount(int(rows.size()));
    data.SetActiveCell(1, CSpreadSheet::kAll);
    data.SetCellType(EGridCellType::CheckBox);
    for (int r = 0; r < int(rows.size()); ++r) {
        const CArchiveRecordModel::Row& row = rows[size_t(r)];
        data.SetInteger(1, r + 1, 1);
        data.SetCellText(2, r + 1, QString::number(r + 1));
        data.SetCellText(3, r + 1, CArchiveRecordModel::TimeText(row.nStoredTime));
        data.SetCellText(4, r + 1, CArchiveRecordModel::ForceText(row.nRawForce));
        data.SetCellText(5, r + 1, CArchiveRecordModel::CellTypeText(row.nCellType));
    }
    m_exporter(this, info, data, kModeMemory, m_sysInfo);
}

void CDlgArchive::DeleteTicked()
{
    const int count = m_pModel->TickedCount();
    if (count == 0) {
        CUiPrompts::ShowInfo(this, QStringLiteral("삭제할 기록을 선택하십시오."), kCaption);
        return;
    }
    if (!CUiPrompts::AskYesNo(this,
                              QStringLiteral("선택한 기록 %1건을 보관함에서 삭제하시겠습니까?\n"
                                             "삭제한 기록은 되돌릴 수 없습니다.")
                                  .arg(count),
                              kCaption))
        return;
    std::string error;
    int removed = 0;
    {
        CWaitCursor wait;
        removed = m_archive.DeleteRecords(m_pModel->TickedIds(), &error);
    }
    if (removed < 0)
        CUiPrompts::ShowWarning(this, Q(error), kCaption);
    ReloadMeters();
}

void CDlgArchive::BackupArchive()
{
    const QString path = CUiPrompts::ChooseSaveFile(
        this, QStringLiteral("보관함 백업"),
        QStringLiteral("Archive Files (*.sqlite)|*.sqlite;| All Files(*.*)|*.*||"));
    if (path.isEmpty())
        return;
    std::string error;
    bool ok = false;
    {
        CWaitCursor wait;
        ok = m_archive.Backup(path.toStdString(), &error);
    }
    if (ok)
        CUiPrompts::ShowInfo(this, QStringLiteral("보관함을 백업했습니다: %1").arg(path), kCaption);
    else
        CUiPrompts::ShowWarning(this, Q(error), kCaption);
}
