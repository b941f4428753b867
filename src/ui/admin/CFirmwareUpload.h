#pragma once
// The firmware image and upload procedure, carried by the administrator
// window and the firmware dialog with the same controls and texts.
//
// An image file is a two-byte head marker (33 55 or 21 6F) and a body the
// program does not look into. The upload is a session job in three phases
// (the update request 0x48, the head 0x49, the body in pieces of at most
// 1024 bytes 0x4A, with fixed pauses) that runs on the link's thread while
// the window follows it on the progress bar. While it runs the close button
// is disabled and "취소" stops it between two pieces, after a question. The
// meter's version is shown before the upload and again once the meter is
// back. After a complete upload the file has to be chosen again; after a
// failure or a stop the bar says why, and the same image can be uploaded
// again at once.
//
// With an archive attached, each upload first reads the meter's identity
// and the calibration of the three sizes (kept as the snapshot "before
// firmware"), and its end is kept with the version before, the image's
// SHA-256 and size, the result and the version after.

#include "SessionTypes.h"

#include <QString>

#include <string>

#include <cstdint>
#include <functional>
#include <vector>

class CMeterSession;
class CSqliteArchive;
class ILinkClock;
class QFile;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

class CDlgComm;

class CFirmwareUpload {
public:
    // Both windows that carry the procedure give its controls these ids.
    static constexpr int IDC_BUTTON_FILE = 1024;
    static constexpr int IDC_EDIT_PATH = 1026;
    static constexpr int IDC_BUTTON_DROP = 1044;
    static constexpr int IDC_STATIC_STATUS = 1045;
    static constexpr int IDC_PROGRESS = 1053;
    static constexpr int IDC_BUTTON_UPLOAD = 1055;

    struct Controls {
        QLineEdit* pPath = nullptr;        // 1026
        QLabel* pStatus = nullptr;         // 1045
        QProgressBar* pProgress = nullptr; // 1053 (its text is shown: setTextVisible(true), setFormat)
        QPushButton* pUpload = nullptr;    // 1055
        QPushButton* pDrop = nullptr;      // 1044
        QPushButton* pClose = nullptr;     // 2
    };
    // The procedure's controls of a window, found by the ids above (the
    // window's close button is its control 2).
    static Controls ControlsOf(const CDlgComm& window);

    // applyControlState: the window's control-state rule, run after every
    // operation. group: the group box whose title shows the meter's version
    // (may be null).
    CFirmwareUpload(QWidget* window, const Controls& controls, std::function<void()> applyControlState,
                    QWidget* group = nullptr);
    void SetSession(CMeterSession* session);
    // The archive that keeps the firmware history (may be null), and the
    // clock of its times.
    void SetArchive(CSqliteArchive* archive, ILinkClock* clock);
    // The outcome as the history keeps it: "done", "crc-error" ...
    static const char* OutcomeKey(EFirmwareOutcome outcome);
    void ChooseFile();          // file dialog through CUiPrompts::ChooseOpenFile; cancel changes nothing
    // Drops the image; while an upload runs, asks and then stops it instead.
    void DropImage();
    void Upload();
    bool IsImageReady() const;  // m_bImageReady
    bool IsUploading() const { return m_bUploading; }
    uint32_t ImageSize() const; // m_nImageSize
    static constexpr uint32_t kMaxImageSize = 16u * 1024 * 1024;

    int m_bImageReady = 0;
    std::vector<uint8_t> m_pImage;
    uint32_t m_nImageSize = 0;

    // The file dialog's filter as the windows have always written it.
    static const char* const kFileFilter;

private:
    // Reads the opened file into m_pImage; false when it is no usable image
    // (m_pImage then empty and m_nImageSize 0).
    bool ReadImage(QFile& file);
    void OnProgress(int value, double percent);
    void OnVersion(const QString& version, bool afterUpload);
    void OnFinished(const SessionResult& result);
    void StartUploadJob();
    // The meter's identity and calibration before the upload.
    void OnBeforeRead(const SessionResult& result);
    void KeepHistory(const SessionResult& result, const QString& status);
    void SetProgress(int position, const QString& text);
    void ApplyControlState();
    void EndUpload();

    QWidget* m_pWindow;
    Controls m_controls;
    std::function<void()> m_fnApplyControlState;
    QWidget* m_pGroup = nullptr;
    QString m_strGroupTitle;
    QString m_strVersionBefore;
    CMeterSession* m_pSession = nullptr;
    bool m_bUploading = false;
    bool m_bStopAsked = false;

    CSqliteArchive* m_pArchive = nullptr;
    ILinkClock* m_pClock = nullptr;
    bool m_bKeepHistory = false;      // this upload's end goes to the archive
    int64_t m_tStarted = 0;
    std::string m_strMeterName, m_strMeterSerial, m_strMeterVersion;
    int64_t m_nSnapshotId = 0;
};
