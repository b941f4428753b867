#pragma once
// The firmware image and upload procedure, carried by the administrator
// window and the firmware dialog with the same controls and texts.
//
// An image file is a two-byte head marker (33 55 or 21 6F) and a body the
// program does not look into. The upload runs in three phases inside the
// button handler, blocking the window: the update request (0x48), the head
// (0x49) and the body in pieces of at most 1024 bytes (0x4A), with fixed
// pauses through the link's clock, the progress bar repainted after every
// step and the result in the status line. After an upload, whatever its
// outcome, the file has to be chosen again.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CFt260;
class QFile;
class ILinkClock;
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

    // applyControlState: the window's control-state rule, run after every operation.
    CFirmwareUpload(QWidget* window, const Controls& controls, ILinkClock& clock,
                    std::function<void()> applyControlState);
    void SetLink(CFt260* link);
    void ChooseFile();          // file dialog through CUiPrompts::ChooseOpenFile; cancel changes nothing
    void DropImage();
    void Upload();
    bool IsImageReady() const;  // m_bImageReady
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
    // The three phases; returns the text for the status line.
    QString RunUpload();
    void SetProgress(int position, const QString& text);
    void ApplyControlState();

    QWidget* m_pWindow;
    Controls m_controls;
    ILinkClock& m_clock;
    std::function<void()> m_fnApplyControlState;
    CFt260* m_pLink = nullptr;
    bool m_bUploading = false;
};
