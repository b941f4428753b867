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

#include "CDlgComm.h"

#include <functional>

class CArchiveRecordModel;
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

    // ---- for the tests: the same steps as the controls ----
    void SelectMeter(int row);
    void SetDateRange(const QDate& from, const QDate& to);
    void SetCellTypeFilter(int type);   // -1 every type
    void Query();
    void OnSelectAll();
    void OnClearAll();
    void OnInvert();
    void ExportTicked();
    void DeleteTicked();
    void BackupArchive();

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
};
