#include "CDlgArchive.h"

#include "CArchiveRecordModel.h"
#include "CArchiveSync.h"
#include "CDlgAnalysis.h"
#include "CIniSysInfo.h"
#include "CServerArchive.h"
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
        IDD, "기록 보관함", 728, 438,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
        "GulimChe", 10, 400, false,
        {
            {IDC_GROUP_METERS, EDlgItemKind::GroupBox, "측정기", 7, 7, 250, 170, WS_VISIBLE},
            {IDC_GROUP_DOWNLOADS, EDlgItemKind::GroupBox, "다운로드 내역", 7, 182, 250, 188, WS_VISIBLE},
            {IDC_STATIC, EDlgItemKind::StaticText, "시작일", 264, 11, 30, 12, WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_FROM, EDlgItemKind::DatePicker, "", 297, 9, 70, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC, EDlgItemKind::StaticText, "종료일", 370, 11, 30, 12, WS_VISIBLE | SS_RIGHT},
            {IDC_DATE_TO, EDlgItemKind::DatePicker, "", 403, 9, 70, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_RADIO_ALL_TYPES, EDlgItemKind::RadioButton, "전체", 478, 10, 36, 12,
             WS_VISIBLE | WS_GROUP | WS_TABSTOP},
            {IDC_RADIO_ALL_TYPES + 1, EDlgItemKind::RadioButton, "VR70", 516, 10, 42, 12, WS_VISIBLE},
            {IDC_RADIO_ALL_TYPES + 2, EDlgItemKind::RadioButton, "VR150", 560, 10, 46, 12, WS_VISIBLE},
            {IDC_RADIO_ALL_TYPES + 3, EDlgItemKind::RadioButton, "VR300", 608, 10, 46, 12, WS_VISIBLE},
            {IDC_BUTTON_QUERY, EDlgItemKind::PushButton, "조회", 662, 8, 59, 16, WS_VISIBLE | WS_TABSTOP},
            {IDC_GROUP_RECORDS, EDlgItemKind::GroupBox, "기록", 264, 28, 457, 342, WS_VISIBLE},
            {IDC_BUTTON_SELECT_ALL, EDlgItemKind::PushButton, "전체 선택", 7, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CLEAR_ALL, EDlgItemKind::PushButton, "전체 해제", 63, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_INVERT, EDlgItemKind::PushButton, "선택 반전", 120, 377, 53, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC_COUNT, EDlgItemKind::StaticText, "", 180, 380, 200, 12, WS_VISIBLE},
            {IDC_BUTTON_DELETE, EDlgItemKind::PushButton, "선택 삭제", 388, 377, 73, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_BACKUP, EDlgItemKind::PushButton, "보관함 백업", 465, 377, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_EXCEL, EDlgItemKind::PushButton, "엑셀 저장", 549, 377, 80, 17,
             WS_VISIBLE | WS_TABSTOP},
            {IDCANCEL, EDlgItemKind::PushButton, "닫기", 641, 377, 80, 17, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_ANALYSIS, EDlgItemKind::PushButton, "분석", 301, 397, 80, 17, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CSV, EDlgItemKind::PushButton, "CSV 저장", 388, 397, 73, 17, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_XLSX, EDlgItemKind::PushButton, "XLSX 저장", 465, 397, 80, 17, WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_PDF, EDlgItemKind::PushButton, "PDF 저장", 549, 397, 80, 17, WS_VISIBLE | WS_TABSTOP},
            {IDC_RADIO_LOCAL, EDlgItemKind::RadioButton, "이 PC", 7, 420, 42, 12,
             WS_VISIBLE | WS_GROUP | WS_TABSTOP},
            {IDC_RADIO_LOCAL + 1, EDlgItemKind::RadioButton, "서버", 51, 420, 40, 12, WS_VISIBLE},
            {IDC_STATIC_SYNC, EDlgItemKind::StaticText, "", 96, 421, 625, 12, WS_VISIBLE},
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
                                  QStringLiteral("기록 수"), QStringLiteral("마지막 다운로드"),
                                  QStringLiteral("PC")});
    m_tblDownloads = MakeList(this, {QStringLiteral("받은 시간"), QStringLiteral("종류"),
                                     QStringLiteral("받은 기록"), QStringLiteral("새 기록"),
                                     QStringLiteral("상태"), QStringLiteral("PC")});
    // The station column says which PC downloaded what; only the server's
    // archive has more than one.
    m_tblMeters->setColumnHidden(4, true);
    m_tblDownloads->setColumnHidden(5, true);
    m_lblSync = GetDlgItemAs<QLabel>(IDC_STATIC_SYNC);
    m_pModel = new CArchiveRecordModel(
        [this] { return m_bServerView ? m_pServer->Database() : m_archive.Database(); }, this);
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
    OnClicked(IDC_BUTTON_ANALYSIS, [this] { OpenAnalysis(); });
    OnClicked(IDC_BUTTON_CSV, [this] { SaveTicked(CMeasurementExport::EFormat::Csv); });
    OnClicked(IDC_BUTTON_XLSX, [this] { SaveTicked(CMeasurementExport::EFormat::Xlsx); });
    OnClicked(IDC_BUTTON_PDF, [this] { SaveTicked(CMeasurementExport::EFormat::Pdf); });
    OnClicked(IDC_RADIO_LOCAL, [this] { SetServerView(false); });
    OnClicked(IDC_RADIO_LOCAL + 1, [this] { SetServerView(true); });
    if (CArchiveSync* sync = CArchiveSync::Running())
        connect(sync, &CArchiveSync::StatusChanged, this, [this] { ShowSyncStatus(); });
}

CDlgArchive::~CDlgArchive() = default;

void CDlgArchive::InitControls()
{
    SetRadioIndex(IDC_RADIO_ALL_TYPES, 0);
    SetRadioIndex(IDC_RADIO_LOCAL, 0);
    if (auto* button = GetDlgItem(IDC_BUTTON_DELETE))
        button->setEnabled(!m_archive.IsReadOnly());
    ShowSyncStatus();
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

void CDlgArchive::Run(QWidget* parent, CSqliteArchive& archive, CIniSysInfo& sysInfo, ReportExporter exporter,
                      const std::string& meterKey)
{
    CDlgArchive dlg(archive, sysInfo, std::move(exporter), parent);
    dlg.InitDialog();
    if (!meterKey.empty())
        dlg.SelectMeterKey(meterKey);
    dlg.exec();
}

bool CDlgArchive::SelectMeterKey(const std::string& key)
{
    for (int row = 0; row < m_tblMeters->rowCount(); ++row) {
        const QTableWidgetItem* item = m_tblMeters->item(row, 0);
        if (item && item->data(Qt::UserRole + 1).toString().toStdString() == key) {
            SelectMeter(row);
            return true;
        }
    }
    return false;
}

void CDlgArchive::ReloadMeters()
{
    const int64_t keep = CurrentMeterId();
    std::vector<std::string> stations;
    const std::vector<ArchiveMeter> meters = ViewMeters(&stations);
    const QSignalBlocker block(m_tblMeters);
    m_tblMeters->setRowCount(int(meters.size()));
    int select = meters.empty() ? -1 : 0;
    for (int row = 0; row < int(meters.size()); ++row) {
        const ArchiveMeter& m = meters[size_t(row)];
        auto* name = Cell(Q(m.strName));
        name->setData(Qt::UserRole, qlonglong(m.nId));
        name->setData(Qt::UserRole + 1, Q(m.strKey));
        m_tblMeters->setItem(row, 0, name);
        // A meter without serial number is kept under its name.
        m_tblMeters->setItem(row, 1, Cell(m.bSerialUnset ? QStringLiteral("- (미설정)") : Q(m.strSerial)));
        m_tblMeters->setItem(row, 2, Cell(QString::number(m.nRecordCount)));
        m_tblMeters->setItem(row, 3, Cell(m.tLastDownload ? Q(FormatLocalTime(m.tLastDownload))
                                                          : QStringLiteral("-")));
        m_tblMeters->setItem(row, 4, Cell(row < int(stations.size()) ? Q(stations[size_t(row)]) : QString()));
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
    const bool range = m_bServerView ? m_pServer->RecordDayRange(CurrentMeterId(), &first, &last)
                                     : m_archive.RecordDayRange(CurrentMeterId(), &first, &last);
    if (CurrentMeterId() != 0 && range &&
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
        !CurrentMeterId() ? std::vector<ArchiveDownload>()
        : m_bServerView   ? m_pServer->Downloads(CurrentMeterId())
                          : m_archive.Downloads(CurrentMeterId());
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
        m_tblDownloads->setItem(row, 5, Cell(Q(d.strStation)));
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
    const SExportHeader header = HeaderOf(CurrentMeter());
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
    info.SetCellText(2, 1, Q(header.m_strReportDate));
    info.SetCellText(2, 2, Q(header.m_strReportName));
    info.SetCellText(2, 3, Q(header.m_strMeterName));
    info.SetCellText(4, 1, Q(header.m_strCompany));
    info.SetCellText(4, 2, Q(header.m_strAuthor));
    info.SetCellText(4, 3, Q(header.m_strSerialNumber));
    info.SetCellText(4, 4, Q(header.m_strVersion));

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

ArchiveMeter CDlgArchive::CurrentMeter()
{
    for (const ArchiveMeter& m : ViewMeters())
        if (m.nId == CurrentMeterId())
            return m;
    return ArchiveMeter();
}

SExportHeader CDlgArchive::HeaderOf(const ArchiveMeter& meter) const
{
    SExportHeader header;
    header.m_strReportDate =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    header.m_strReportName = m_sysInfo.m_szReportName;
    header.m_strCompany = m_sysInfo.m_szCompany;
    header.m_strAuthor = m_sysInfo.m_szUserName;
    header.m_strMeterName = meter.strName;
    header.m_strSerialNumber = meter.bSerialUnset ? "-" : meter.strSerial;
    header.m_strVersion = meter.strVersion;
    return header;
}

SMeasurementSet CDlgArchive::TickedSet()
{
    SMeasurementSet set;
    set.eKind = EExportKind::Memory;
    set.header = HeaderOf(CurrentMeter());
    set.tFrom = QDateTime(m_dtFrom->date(), QTime(0, 0)).toSecsSinceEpoch();
    set.tTo = QDateTime(m_dtTo->date(), QTime(23, 59, 59)).toSecsSinceEpoch();
    set.strPeriod = (m_dtFrom->date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" ~ ")
                     + m_dtTo->date().toString(QStringLiteral("yyyy-MM-dd")))
                        .toStdString();
    CWaitCursor wait;
    for (const CArchiveRecordModel::Row& row : m_pModel->TickedRows()) {
        // The stored time is the meter's own fields, YYYYMMDDhhmmss.
        MeasurementRecord rec;
        rec.when = StoredTimeFields(row.nStoredTime);
        rec.bTimeValid = MeterDateTimeToTime(rec.when, &rec.tWhen);
        rec.nRawForce = uint16_t(row.nRawForce);
        rec.nLoadCellType = uint8_t(row.nCellType);
        set.records.push_back(rec);
        set.ticked.push_back(true);
    }
    set.result.m_nCount = int(set.records.size());
    return set;
}

DownloadMeter CDlgArchive::CurrentIdentity()
{
    const ArchiveMeter meter = CurrentMeter();
    DownloadMeter identity;
    identity.strName = meter.strName;
    identity.strSerial = meter.bSerialUnset ? "-" : meter.strSerial;
    identity.strVersion = meter.strVersion;
    return identity;
}

void CDlgArchive::OpenAnalysis()
{
    if (m_pModel->TickedCount() == 0) {
        CUiPrompts::ShowInfo(this, QStringLiteral("분석할 기록을 선택하십시오."), kCaption);
        return;
    }
    AnalysisData data = CMeasurementExport::MakeAnalysis(TickedSet());
    CMeasurementExport::AttachLimits(data, &m_archive, CurrentIdentity(), this);
    CDlgAnalysis::Open(this, data);
}

void CDlgArchive::SaveTicked(CMeasurementExport::EFormat format)
{
    if (m_pModel->TickedCount() == 0) {
        CUiPrompts::ShowInfo(this, QStringLiteral("저장할 기록을 선택하십시오."), kCaption);
        return;
    }
    CMeasurementExport::Save(this, format, TickedSet(),
                             CMeasurementExport::KeptLimits(&m_archive, CurrentIdentity(), EForceUnit::Tons),
                             QString());
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

std::vector<ArchiveMeter> CDlgArchive::ViewMeters(std::vector<std::string>* stations)
{
    if (!m_bServerView)
        return m_archive.Meters();
    std::vector<ArchiveMeter> meters;
    for (const CServerArchive::LabMeter& lab : m_pServer->Meters()) {
        meters.push_back(lab.meter);
        if (stations)
            stations->push_back(lab.strStations);
    }
    return meters;
}

bool CDlgArchive::SetServerView(bool server)
{
    if (server && !m_pServer) {
        if (QString::fromStdString(m_sysInfo.m_szArchiveServer).trimmed().isEmpty()) {
            CUiPrompts::ShowInfo(this,
                                 QStringLiteral("보관함 서버가 설정되어 있지 않습니다. 설정 파일의 [ARCHIVE] "
                                                "SERVER에 서버를 적으십시오: %1")
                                     .arg(Q(m_sysInfo.m_szIniPath)),
                                 kCaption);
            server = false;
        } else {
            auto opened = std::make_unique<CServerArchive>();
            EServerOpen result;
            {
                CWaitCursor wait;
                result = opened->Open(m_sysInfo.m_szArchiveServer, 3);
            }
            if (result == EServerOpen::Ok)
                m_pServer = std::move(opened);
            else
                CUiPrompts::ShowWarning(this, Q(opened->OpenMessage()), kCaption);
            server = result == EServerOpen::Ok;
        }
    }
    SetRadioIndex(IDC_RADIO_LOCAL, server ? 1 : 0);
    if (server == m_bServerView)
        return server;
    m_bServerView = server;
    // The server's archive is the lab's: read here, written only by the
    // stations' pushes.
    m_tblMeters->setColumnHidden(4, !server);
    m_tblDownloads->setColumnHidden(5, !server);
    if (auto* button = GetDlgItem(IDC_BUTTON_DELETE))
        button->setEnabled(!server && !m_archive.IsReadOnly());
    if (auto* button = GetDlgItem(IDC_BUTTON_BACKUP))
        button->setEnabled(!server);
    ReloadMeters();
    return server;
}

void CDlgArchive::ShowSyncStatus()
{
    const CArchiveSync* sync = CArchiveSync::Running();
    m_lblSync->setVisible(sync != nullptr);
    if (!sync)
        return;
    const CArchiveSync::Status status = sync->GetStatus();
    QString text = sync->StatusText();
    const qsizetype line = text.indexOf(QLatin1Char('\n'));
    m_lblSync->setToolTip(line < 0 ? QString() : text.mid(line + 1));
    if (line >= 0)
        text = text.left(line) + QStringLiteral(" — ") + text.mid(line + 1);
    m_lblSync->setText(text);
    m_lblSync->setStyleSheet(status.bFailing ? QStringLiteral("color: #E04040;") : QString());
}
