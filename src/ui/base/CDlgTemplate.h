#pragma once
// A window's layout as data: the window's caption, size and font and its
// controls with their positions, all in dialog units. Every window keeps one
// static table of this kind; CDlgComm creates the controls from it and
// DlgFontScaler turns the units into pixels from the font's metrics.
//
// Dialog units: x and widths count quarters of the average character width
// of the window's font, y and heights eighths of its height.

#include <cstdint>
#include <string>
#include <vector>

// Window style bits (the values of the Windows headers, so that the tables
// read like the resource scripts they were written from).
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_DISABLED = 0x08000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_VSCROLL = 0x00200000u;
constexpr uint32_t WS_HSCROLL = 0x00100000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_THICKFRAME = 0x00040000u;
constexpr uint32_t WS_GROUP = 0x00020000u;
constexpr uint32_t WS_TABSTOP = 0x00010000u;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000u;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000u;
constexpr uint32_t DS_MODALFRAME = 0x00000080u;
constexpr uint32_t DS_SETFONT = 0x00000040u;
// Edit styles.
constexpr uint32_t ES_MULTILINE = 0x0004u;
constexpr uint32_t ES_AUTOHSCROLL = 0x0080u;
constexpr uint32_t ES_READONLY = 0x0800u;
// Static styles.
constexpr uint32_t SS_CENTER = 0x0001u;
constexpr uint32_t SS_RIGHT = 0x0002u;
// Progress bar styles.
constexpr uint32_t PBS_SMOOTH = 0x0001u;

// Control id of labels that no code addresses.
constexpr int IDC_STATIC = -1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

enum class EDlgItemKind {
    PushButton,
    DefPushButton,      // the window's default button (Enter)
    RadioButton,        // a new group starts at WS_GROUP or after a non-radio item
    RadioPushButton,    // a radio button drawn as a push button that stays down
    AutoCheckBox,
    GroupBox,
    StaticText,
    Edit,               // ES_MULTILINE, ES_READONLY, ES_AUTOHSCROLL, WS_VSCROLL, WS_HSCROLL
    Grid,               // a CSpreadSheet
    DatePicker,
    ProgressBar,
};

struct CDlgItem {
    int nId = IDC_STATIC;
    EDlgItemKind eKind = EDlgItemKind::StaticText;
    std::string strCaption;     // UTF-8
    int x = 0, y = 0, cx = 0, cy = 0;
    uint32_t dwStyle = WS_VISIBLE;
};

struct CDlgTemplate {
    int nId = 0;
    std::string strCaption;     // UTF-8
    int cx = 0, cy = 0;         // client size in dialog units
    uint32_t dwStyle = 0;
    // Used when dwStyle has DS_SETFONT; a negative size counts by its absolute value.
    std::string strFontFace;
    int nPointSize = 0;
    int nWeight = 400;
    bool bItalic = false;
    std::vector<CDlgItem> items;
};
