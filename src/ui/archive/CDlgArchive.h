#pragma once
// "기록 보관함": the archive window. The meters with their record counts and
// last download; the records of the chosen meter in a table filtered by date
// and load-cell type and sortable by every column; ticking as in the main
// grid; the ticked rows saved through the main window's report; the meter's
// downloads with the incomplete ones marked; a backup of the whole archive
// while the program runs; deletion of a ticked selection after a question.
//
// The table is a view over CArchiveRecordModel, which fetches pages from the
// archive as the view scrolls, so a large archive opens as fast as a small one.

#include "ArchiveTypes.h"
#include "CDlgComm.h"
#include "CMeasurementExport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CArchiveRecordModel;
class CServerArchive;
class CIniSysInfo;
class CSpreadSheet;
class CSqliteArchive;
class QDateEdit;
class QLabel;
class QTableView;
class QTableWidget;

class CDlgArchive : public CDlgComm {
    Q_OBJECT
public:
    static constexpr int IDD = 140;
    static constexpr int IDC_GROUP_METERS = 1401;
    static constexpr int IDC_GROUP_DOWNLOADS = 1402;
    static constexpr int IDC_GROUP_RECORDS = 1403;
    static constexpr int IDC_DATE_FROM = 1404;
    static constexpr int IDC_DATE_TO = 1405;
    static constexpr int IDC_RADIO_ALL_TYPES = 1406;   // then VR70, VR150, VR300
    static constexpr int IDC_BUTTON_QUERY = 1410;
    static constexpr int IDC_BUTTON_SELECT_ALL = 1411;
    static constexpr int IDC_BUTTON_CLEAR_ALL = 1412;
    static constexpr int IDC_BUTTON_INVERT = 1413;
    static constexpr int IDC_STATIC_COUNT = 1414;
    static constexpr int IDC_BUTTON_DELETE = 1415;
    static constexpr int IDC_BUTTON_EXCEL = 1416;
    static constexpr int IDC_BUTTON_BACKUP = 1417;
    static constexpr int IDC_BUTTON_ANALYSIS = 1418;
    static constexpr int IDC_BUTTON_CSV = 1419;
    static constexpr int IDC_BUTTON_XLSX = 1420;
    static constexpr int IDC_BUTTON_PDF = 1421;
    static constexpr int IDC_RADIO_LOCAL = 1430;       // then "서버"
    static constexpr int IDC_STATIC_SYNC = 1432;

    // The main window's report (CReportExport::Run): header grid, records
    // grid (sheet 1 as the main window's MEMORY sheet), mode, settings.
    using ReportExporter =
        std::function<void(QWidget*, CSpreadSheet&, CSpreadSheet&, int, CIniSysInfo&)>;

    static const CDlgTemplate& DialogTemplate();
    static QString Caption() { return QStringLiteral("기록 보관함"); }

    CDlgArchive(CSqliteArchive& archive, CIniSysInfo& sysInfo, ReportExporter exporter,
                QWidget* parent = nullptr);
    ~CDlgArchive() override;

    // Opens the archive of the program's data folder, tells the user what
    // opening it found (a damaged file set aside, a read-only or a newer
    // file) and runs the window modally. Nothing is shown past a refusal.
    static void Run(QWidget* parent, CIniSysInfo& sysInfo, ReportExporter exporter);
    // The same on an archive the program keeps open, with the meter of this
    // key chosen when the archive knows it (the main window's meter at hand).
    static void Run(QWidget* parent, CSqliteArchive& archive, CIniSysInfo& sysInfo, ReportExporter exporter,
                    const std::string& meterKey);

    // ---- for the tests: the same steps as the controls ----
    void SelectMeter(int row);
    // The row of the meter with this key (CSqliteArchive::MeterKey); false
    // when the archive does not know it.
    bool SelectMeterKey(const std::string& key);
    void SetDateRange(const QDate& from, const QDate& to);
    void SetCellTypeFilter(int type);   // -1 every type
    void Query();
    void OnSelectAll();
    void OnClearAll();
    void OnInvert();
    void ExportTicked();
    void DeleteTicked();
    void BackupArchive();
    // The ticked records of the chosen meter in the window's order, with the
    // report header, for the open formats, the PDF report and "분석".
    SMeasurementSet TickedSet();
    void OpenAnalysis();
    void SaveTicked(CMeasurementExport::EFormat format);

    // "이 PC" (false) or "서버" (true): the lab's archive on the server
    // ([ARCHIVE] SERVER), every station's meters with the stations that
    // downloaded them, read only. False, with the reason shown, when the
    // server cannot be opened; the window then stays on this PC's archive.
    bool SetServerView(bool server);
    bool IsServerView() const { return m_bServerView; }
    QLabel* SyncStatusLabel() const { return m_lblSync; }

    CArchiveRecordModel& Model() { return *m_pModel; }
    QTableWidget* MetersTable() const { return m_tblMeters; }
    QTableWidget* DownloadsTable() const { return m_tblDownloads; }
    QTableView* RecordsView() const { return m_viewRecords; }

protected:
    void InitControls() override;
    void AfterInitControls() override;

private:
    void ReloadMeters();
    void ShowDownloads();
    void UpdateCount();
    int64_t CurrentMeterId() const;
    ArchiveMeter CurrentMeter();
    DownloadMeter CurrentIdentity();
    SExportHeader HeaderOf(const ArchiveMeter& meter) const;
    // The meters of the archive shown, with the stations of each (server only).
    std::vector<ArchiveMeter> ViewMeters(std::vector<std::string>* stations = nullptr);
    void ShowSyncStatus();

    CSqliteArchive& m_archive;
    CIniSysInfo& m_sysInfo;
    ReportExporter m_exporter;
    CArchiveRecordModel* m_pModel = nullptr;
    QTableWidget* m_tblMeters = nullptr;
    QTableWidget* m_tblDownloads = nullptr;
    QTableView* m_viewRecords = nullptr;
    QDateEdit* m_dtFrom = nullptr;
    QDateEdit* m_dtTo = nullptr;
    QLabel* m_lblCount = nullptr;
    QLabel* m_lblSync = nullptr;
    std::unique_ptr<CServerArchive> m_pServer;
    bool m_bServerView = false;
};
