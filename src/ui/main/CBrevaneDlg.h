#pragma once
// The main window, a view of the meter session: it looks for the meter once
// a second and shows the result in its title, and on request reads the
// meter's identity and clock and downloads its stored records (MEMORY) or
// its continuous series (OUTPUT) into the records grid while they arrive,
// with their count, rate and remaining time and a button that stops the
// download. The header grid above the records is both the meter's identity
// and the report header the Excel report copies. It owns the packet log
// window and opens the administrator and firmware windows on the same
// session.
//
// Every meter operation runs as a session job on the link's thread; while
// one runs the window repaints, moves and shows a busy cursor, and the
// controls that would start another one are disabled. The detection poll
// skips a second in which a job runs.

#include "CDlgComm.h"
#include "CMeasurementExport.h"
#include "CSupportBundle.h"
#include "SessionTypes.h"

#include <QDate>
#include <QFont>
#include <QIcon>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CAdminPassword;
class CArchiveSink;
class CDlgLog;
class CSqliteArchive;
class CMeterSession;
class CIniSysInfo;
class CSpreadSheet;
class IBridgeLibrary;
class ILinkClock;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class CBrevaneDlg : public CDlgComm {
    Q_OBJECT
public:
    static constexpr int IDD = 102;
    static constexpr int IDC_GRID_DATA = 1001;
    static constexpr int IDC_GRID_INFO = 1002;
    static constexpr int IDC_BUTTON_SEARCH = 1003;
    static constexpr int IDC_DATE_START = 1005;
    static constexpr int IDC_BUTTON_EXCEL = 1006;
    static constexpr int IDC_BUTTON_ADMIN = 1007;
    static constexpr int IDC_BUTTON_QUERY = 1008;
    static constexpr int IDC_BUTTON_SELECT_ALL = 1009;
    static constexpr int IDC_BUTTON_CLEAR_ALL = 1010;
    static constexpr int IDC_BUTTON_INVERT = 1011;
    static constexpr int IDC_RADIO_MEMORY = 1012;
    static constexpr int IDC_RADIO_OUTPUT = 1013;
    static constexpr int IDC_DATE_END = 1016;
    static constexpr int IDC_STATIC_END = 1019;
    static constexpr int IDC_BUTTON_INFO = 1022;
    static constexpr int IDC_BUTTON_LOG = 1025;
    static constexpr int IDC_STATIC_UNUSED = 1028;
    static constexpr int IDC_STATIC_START = 1031;
    static constexpr int IDC_STATIC_CLOCK = 1033;
    static constexpr int IDC_BUTTON_SET_TIME = 1036;
    static constexpr int IDC_BUTTON_READ_TIME = 1037;
    static constexpr int IDC_EDIT_NUMBER = 1054;
    static constexpr int IDC_BUTTON_FIRMWARE = 1055;
    // Beside the mode buttons: the archive and the analysis of the rows.
    static constexpr int IDC_BUTTON_NEW_RECORDS = 1060;
    static constexpr int IDC_BUTTON_ARCHIVE = 1061;
    static constexpr int IDC_BUTTON_ANALYSIS = 1062;
    static constexpr int IDC_BUTTON_CSV = 1063;
    static constexpr int IDC_BUTTON_XLSX = 1064;
    static constexpr int IDC_BUTTON_PDF = 1065;
    static constexpr int TIMER_DETECT = 1001;

    static constexpr int kMinWidth = 1280;
    static constexpr int kMinHeight = 720;

    // The window as a view of session (not owned).
    CBrevaneDlg(CMeterSession& session, ILinkClock& clock, CIniSysInfo& sysInfo,
                QWidget* parent = nullptr);
    // The same with a session of its own on bridge.
    CBrevaneDlg(IBridgeLibrary& bridge, ILinkClock& clock, CIniSysInfo& sysInfo,
                QWidget* parent = nullptr);
    ~CBrevaneDlg() override;

    static const CDlgTemplate& DialogTemplate();
    static QString TitleConnected();
    static QString TitleNotConnected();
    // The contact notice shown when there is no help.dat (tabs removed).
    static QString BuiltInInfoText();

    // ---- handlers (public so that tests drive them as the user would) ----
    // Each one that talks to the meter starts a session job and returns;
    // Session().WaitForIdle() waits for it (and for what it starts in turn).
    void OnTimer(int id);
    void OnDeviceSearch();
    void QueryRecords();
    void ReadDeviceInfo();
    void ReadDeviceClock();
    void SetDeviceClock();
    void ShowInfoText();
    void OnModeMemory();
    void OnModeOutput();
    void OnSelectAll();
    void OnClearAll();
    void OnInvert();
    void OnAdmin();
    void OnFirmware();
    void OnLog();
    void ExportReport();
    // The stop button of a running download.
    void OnStopDownload();

    // The archive the program keeps open on this thread (new-records-only
    // start, the archive window, tolerance limits) and the sink the session
    // archives downloads through; either may be null (no archive).
    void SetArchive(CSqliteArchive* archive, CArchiveSink* sink);
    // "새 기록 받기": the stored records of the meter at hand from the day of
    // its newest archived record (or EarliestMeterDate) to today.
    void OnNewRecords();
    // "기록 보관함" on the meter at hand.
    void OnArchiveWindow();
    // "분석" of the MEMORY list or the OUTPUT series.
    void OnAnalysis();
    // "CSV 저장", "XLSX 저장", "PDF 저장": the rows of the Excel report.
    void SaveAs(CMeasurementExport::EFormat format);
    // The rows of the current mode with their ticks and the report header.
    SMeasurementSet CurrentSet();
    // The first day a new-records-only download asks for when the archive
    // holds nothing of the meter.
    static QDate EarliestMeterDate();
    // Count, mean, minimum, maximum and deviation of the ticked rows.
    QString StatsLine() const;

    // The meter's clock as the last device search read it is off by more
    // than the settings' limit (shown with the drift in the warning colour).
    bool ClockDrifts() const { return m_bClockDrifts; }
    // What the log window's support file is made of.
    SupportBundleInput SupportInput() const;

    // The information text: help.dat of the program folder as UTF-16LE,
    // or the built-in notice.
    QString LoadInfoText() const;

    CMeterSession& Session() { return m_session; }
    CDlgLog* LogWindow() const { return m_pLogDlg; }
    // The line above the records: download progress, or that the list is
    // not complete. Empty and hidden otherwise.
    QString StatusLine() const;
    QPushButton* StopButton() const { return m_btnStop; }
    CSpreadSheet& InfoGrid() { return *m_gridInfo; }
    CSpreadSheet& DataGrid() { return *m_gridData; }
    int DataMode() const { return m_nDataMode; }

    CSpreadSheet* m_gridInfo = nullptr;   // 1002: report header and meter identity
    CSpreadSheet* m_gridData = nullptr;   // 1001: records, sheet 1 MEMORY, sheet 2 OUTPUT
    QDateEdit* m_dtStart = nullptr;       // 1005
    QDateEdit* m_dtEnd = nullptr;         // 1016
    int m_nDataMode = 0;                  // 0 MEMORY, 1 OUTPUT
    QFont m_fontBold;
    CDlgLog* m_pLogDlg = nullptr;
    QIcon m_hIcon;

protected:
    bool OnInitDialog() override;
    void InitControls() override;
    void ArrangeControls() override;
    void PaintExtra(QPainter& dc) override;
    void OnCancel() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitInfoGrid();
    void InitDataGrid();
    void SetDetectedControlsEnabled(bool enabled);
    void FitFrameOnce();
    void ShowMessage(const QString& text);
    void SetSelection(int mode);   // 0 clear, 1 select, 2 invert
    // The failure text of a job's result, with what to check.
    QString LinkErrorText(const SessionResult& result) const;
    void ConnectSession();
    void OnJobStarted(ESessionJob job);
    void OnJobFinished(const SessionResult& result);
    void ApplyControlState();
    void OnSearchDone(const SessionResult& result);
    void OnDownloadDone(const SessionResult& result);
    void OnRecords(EDownloadKind kind, const std::vector<DownloadedRecord>& batch);
    void OnSummary(const std::vector<uint8_t>& summary);
    void OnProgress(const DownloadProgress& progress);
    void AddMemoryRow(const DownloadedRecord& record);
    void AddOutputRow(const DownloadedRecord& record);
    void SetStatusLine(const QString& text, bool warning);
    void PlaceStatusLines();
    void ShowClockDrift(const uint8_t* clockRecord);
    void UpdateStatsLine();
    bool StartMemoryQuery(const QDate& first, const QDate& last);
    // What the archive says of the download that just ended.
    void ReportArchived(const SessionResult& result);

    std::unique_ptr<CMeterSession> m_pOwnSession;
    CMeterSession& m_session;
    ILinkClock& m_clock;
    CIniSysInfo& m_sysInfo;
    QTimer* m_pTimer = nullptr;
    bool m_bFrameFitted = false;
    QLabel* m_lblClock = nullptr;
    QLineEdit* m_editNumber = nullptr;
    QLabel* m_lblStatus = nullptr;        // progress, or the list is incomplete
    QPushButton* m_btnStop = nullptr;     // "취소" while a download runs
    bool m_bDetected = false;             // the last detection poll found the bridge
    QLabel* m_lblStats = nullptr;         // statistics of the ticked rows
    QString m_strStatus;                  // the status line in full (shown elided)
    bool m_bStatusWarning = false;

    // What each sheet shows, as the meter sent it (by stream position), and
    // how its download ended: the open formats and the analysis need the
    // raw values the grid shows rounded.
    std::vector<MeasurementRecord> m_vMemory;
    std::vector<MeasurementRecord> m_vOutput;
    std::optional<OutputSummary> m_outputSummary;
    SExportResult m_memoryResult;
    SExportResult m_outputResult;
    QDate m_dtQueryFirst;
    QDate m_dtQueryLast;
    bool m_bNewRecordsOnly = false;       // the running MEMORY download is "새 기록 받기"

    CSqliteArchive* m_pArchive = nullptr;
    // Asked before the administrator and firmware windows open, when set.
    std::unique_ptr<CAdminPassword> m_pPassword;
    bool m_bClockDrifts = false;
    CArchiveSink* m_pSink = nullptr;
    bool m_bBusyCursor = false;
};
