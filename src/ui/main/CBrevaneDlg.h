#pragma once
// The main window: it owns the link to the meter and the packet log window,
// looks for the meter once a second and shows the result in its title, and
// on request reads the meter's identity and clock and downloads its stored
// records (MEMORY) or its continuous series (OUTPUT) into the records grid.
// The header grid above the records is both the meter's identity and the
// report header the Excel report copies.
//
// Every exchange with the meter blocks the window until it ends, with the
// wait cursor shown; the detection timer never runs inside one.

#include "CDlgComm.h"
#include "CFt260.h"
#include "ILinkOwner.h"

#include <QFont>
#include <QIcon>
#include <QString>

class CDlgLog;
class CIniSysInfo;
class CSpreadSheet;
class IBridgeLibrary;
class ILinkClock;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTimer;

class CBrevaneDlg : public CDlgComm, public ILinkOwner {
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
    static constexpr int TIMER_DETECT = 1001;

    static constexpr int kMinWidth = 1280;
    static constexpr int kMinHeight = 720;

    CBrevaneDlg(IBridgeLibrary& bridge, ILinkClock& clock, CIniSysInfo& sysInfo,
                QWidget* parent = nullptr);
    ~CBrevaneDlg() override;

    static const CDlgTemplate& DialogTemplate();
    static QString TitleConnected();
    static QString TitleNotConnected();
    // The contact notice shown when there is no help.dat (tabs removed).
    static QString BuiltInInfoText();

    // ---- ILinkOwner ----
    IPacketLog* GetPacketLog() override;
    void AddMemoryRecord(int index, const uint8_t* record) override;
    void SetOutputSummary(const uint8_t* summary) override;
    void AddOutputRecord(int index, const uint8_t* record) override;

    // ---- handlers (public so that tests drive them as the user would) ----
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

    // The information text: help.dat of the program folder as UTF-16LE,
    // or the built-in notice.
    QString LoadInfoText() const;

    CFt260& Link() { return m_link; }
    CDlgLog* LogWindow() const { return m_pLogDlg; }
    CSpreadSheet& InfoGrid() { return *m_gridInfo; }
    CSpreadSheet& DataGrid() { return *m_gridData; }
    int DataMode() const { return m_nDataMode; }

    CSpreadSheet* m_gridInfo = nullptr;   // 1002: report header and meter identity
    CSpreadSheet* m_gridData = nullptr;   // 1001: records, sheet 1 MEMORY, sheet 2 OUTPUT
    QDateEdit* m_dtStart = nullptr;       // 1005
    QDateEdit* m_dtEnd = nullptr;         // 1016
    int m_nDataMode = 0;                  // 0 MEMORY, 1 OUTPUT
    QFont m_fontBold;
    CFt260 m_link;
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
    QString LinkErrorText() const;

    ILinkClock& m_clock;
    CIniSysInfo& m_sysInfo;
    QTimer* m_pTimer = nullptr;
    bool m_bFrameFitted = false;
    QLabel* m_lblClock = nullptr;
    QLineEdit* m_editNumber = nullptr;
};
