#pragma once
// The administrator window: the meter's identity and clock in a small grid
// (name, serial number and clock can be written), the load-cell calibration
// of the three sizes (points set to the present reading, corrections typed
// and written, optional re-reading every second), the firmware upload, and
// the bytes of the last request and reply.
//
// The window works on the main window's session (m_pSession, set before it
// is shown) and owns no link. Every exchange is a session job: the window
// stays responsive meanwhile, and the once-a-second timer skips its reading
// while another job runs.
//
// Below the last-exchange lines, left of the log button, a row of buttons
// keeps the calibration trustworthy (CCalibrationGuard): "보정값 백업",
// "보정값 불러오기" (checked, then restored), "보정 이력" and the optional
// administrator password; "보정 성적서" beside the automatic-reading box
// prints the certificate of the selected size. The device search compares the meter's clock with
// the PC's and shows a drift beyond the limit in the warning colour beside
// the clock's "설정" button.

#include "CCalibrationGrid.h"
#include "CCalibrationGuard.h"
#include "CDlgCalibrationHistory.h"
#include "CDlgComm.h"
#include "CFirmwareUpload.h"
#include "MeterCommands.h"
#include "SessionTypes.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

class CAdminPassword;
class CDlgLog;
class CMeterSession;
class CSqliteArchive;
class CSpreadSheet;
class ILinkClock;
class QCheckBox;
class QLabel;
class QTimer;

class CDlgAdmin : public CDlgComm {
    Q_OBJECT
public:
    static constexpr int IDD = 137;
    static constexpr int IDC_BUTTON_SEARCH = 1021;
    static constexpr int IDC_GRID_INFO = 1023;
    static constexpr int IDC_BUTTON_FILE = CFirmwareUpload::IDC_BUTTON_FILE;
    static constexpr int IDC_EDIT_PATH = CFirmwareUpload::IDC_EDIT_PATH;
    static constexpr int IDC_GROUP_FIRMWARE = 1029;
    static constexpr int IDC_GRID_CAL = 1032;
    static constexpr int IDC_GROUP_CAL = 1035;
    static constexpr int IDC_RADIO_7T = 1038;
    static constexpr int IDC_RADIO_15T = 1040;
    static constexpr int IDC_STATIC_RECV = 1041;
    static constexpr int IDC_STATIC_SEND = 1042;
    static constexpr int IDC_RADIO_30T = 1043;
    static constexpr int IDC_BUTTON_DROP = CFirmwareUpload::IDC_BUTTON_DROP;
    static constexpr int IDC_STATIC_STATUS = CFirmwareUpload::IDC_STATIC_STATUS;
    static constexpr int IDC_CHECK_AUTO = 1046;
    static constexpr int IDC_BUTTON_LOG = 1048;
    static constexpr int IDC_PROGRESS = CFirmwareUpload::IDC_PROGRESS;
    static constexpr int IDC_BUTTON_UPLOAD = CFirmwareUpload::IDC_BUTTON_UPLOAD;
    static constexpr int IDC_BUTTON_BACKUP = 1060;
    static constexpr int IDC_BUTTON_RESTORE = 1061;
    static constexpr int IDC_BUTTON_HISTORY = 1062;
    static constexpr int IDC_BUTTON_CERTIFICATE = 1063;
    static constexpr int IDC_BUTTON_PASSWORD = 1064;
    static constexpr int TIMER_REFRESH = 1001;
    // The drift text's cell, above the clock's "설정" button.
    static constexpr int DRIFT_COL = 6;
    static constexpr int DRIFT_ROW = 2;

    // Information grid cells (column, row).
    static constexpr int INFO_COLUMNS = 6;
    static constexpr int INFO_ROWS = 3;

    // logWindow: the packet log window the log button shows and hides; when
    // null, the one the link's owner logs into is used.
    CDlgAdmin(QWidget* parent, ILinkClock& clock, CDlgLog* logWindow = nullptr);
    ~CDlgAdmin() override;

    static const CDlgTemplate& DialogTemplate();

    // ---- handlers (public so that tests drive them as the user would) ----
    void OnTimer(int id);
    void OnDeviceSearch();
    // Button-clicked events of the two grids.
    void OnInfoGridButton(int col, int row);
    void OnCalGridButton(int col, int row);
    // The size radio button with index size (0 7 t, 1 15 t, 2 30 t) was clicked.
    void OnSelectSize(int size);
    void OnChooseFirmware();
    void OnUploadFirmware();
    void OnDropFirmware();
    void OnLog();
    void OnBackup();
    void OnRestore();
    void OnHistory();
    // "보정 성적서": the selected size read again and written as the PDF
    // certificate.
    void OnCertificate();
    void OnPassword();

    // The archive that keeps snapshots, clock readings and the firmware
    // history (not owned; null keeps nothing), the password (not owned; null
    // hides its button), the tolerated clock drift in seconds and who works.
    void SetArchive(CSqliteArchive* archive);
    void SetPassword(CAdminPassword* password);
    void SetMaxClockDrift(int seconds) { m_nMaxClockDrift = seconds; }
    // Who works (the snapshots' user, the certificate's author) and the
    // company the certificate names.
    void SetUser(const QString& user, const QString& company = QString());
    // The meter of the last device search, as snapshots name it.
    SnapshotMeter Meter() const;
    CCalibrationGuard& Guard() { return *m_pGuard; }
    // The history window while it is open.
    CDlgCalibrationHistory* HistoryWindow() const { return m_pHistory; }

    // Relabels when size differs from the size selected before, then reads the
    // calibration when automatic reading may run.
    void Refresh(int size);
    // Enables what may be used with and without a loaded firmware image.
    void ApplyControlState();
    bool IsImageReady() const;
    // While an upload runs the window stays open: the meter is mid-update.
    void done(int result) override;

    CSpreadSheet& InfoGrid() { return *m_gridInfo; }
    CSpreadSheet& CalGrid() { return *m_gridCal; }
    CCalibrationGrid& Calibration() { return *m_pCalibration; }
    QCheckBox* AutoReadBox() const { return m_chkAuto; }

    enum ETypedClock { TYPED_CLOCK_OK, TYPED_CLOCK_MALFORMED, TYPED_CLOCK_OUT_OF_RANGE };
    // A clock typed as "YYYY-MM-DD HH:MM:SS": with every '-', ':' and ' '
    // removed, 14 digits; the parts in their ranges (year from 1900) and the
    // date normalised by the local-time conversion (30 February is 1 March).
    static ETypedClock ParseTypedClock(const QString& text, int64_t* time);
    // The meter's clock record as the window shows it: the local time, or
    // "-" when the year is outside 1971..2199 or the fields make no time.
    static QString FormatMeterClock(const uint8_t* record);

    int m_nCellSize = 0;                  // 0 7 t, 1 15 t, 2 30 t; radio group 1038
    CMeterSession* m_pSession = nullptr;  // the main window's session, not owned
    int m_bDeviceFound = 0;               // a device search read every item
    // The loaded firmware image (m_bImageReady, m_pImage, m_nImageSize) and
    // its upload; the image lives as long as the window.
    CFirmwareUpload m_firmware;

protected:
    void InitControls() override;
    void ArrangeControls() override;
    void PaintExtra(QPainter& dc) override;

private:
    void InitInfoGrid();
    void WriteText(int row);
    void WriteClock();
    void WriteCorrection(int row);
    void SetPoint(int row);
    void ReadCalibration();
    void ShowLastExchange(const LinkExchange& exchange, const SessionResult& result);
    // Sends one write after its question was answered; hold (a pause of the
    // automatic reading) lives until the write's result is shown.
    // calibration: a set-point or correction write, wrapped by snapshots
    // when they are kept.
    void SendWrite(const MeterRequest& request, std::shared_ptr<void> hold = nullptr, bool calibration = false,
                   int attempt = 0);
    void OnSearchDone(const SessionResult& result);
    QString LinkErrorText(const SessionResult& result) const;
    LoadCellSize SelectedSize() const;
    void TakeRadioState();
    void ShowResult(const SessionResult& result);
    void ShowClockDrift(const uint8_t* clockRecord);

    ILinkClock& m_clock;
    CDlgLog* m_pLogWindow = nullptr;
    CSpreadSheet* m_gridInfo = nullptr;   // 1023
    CSpreadSheet* m_gridCal = nullptr;    // 1032
    std::unique_ptr<CCalibrationGrid> m_pCalibration;
    QCheckBox* m_chkAuto = nullptr;       // 1046
    QLabel* m_lblSend = nullptr;          // 1042
    QLabel* m_lblRecv = nullptr;          // 1041
    QTimer* m_pTimer = nullptr;
    std::unique_ptr<CCalibrationGuard> m_pGuard;
    CAdminPassword* m_pPassword = nullptr;
    int m_nMaxClockDrift = 60;
    QString m_strUser;
    QString m_strCompany;
    QPointer<CDlgCalibrationHistory> m_pHistory;
};
