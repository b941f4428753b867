#pragma once
// The program's theme colour set and background brush. The application object
// owns the one instance; windows read it through CAppTheme::Current().
// Colours are 0x00BBGGRR (red in the low byte) everywhere in our code;
// ToQColor converts at the Qt boundary.

#include <QBrush>
#include <QColor>
#include <QPalette>
#include <QString>
#include <cstdint>
#include <string>

class QWidget;

using COLORREF = uint32_t;

class CAppTheme {
public:
    CAppTheme();            // initial colour set; becomes Current()
    virtual ~CAppTheme();

    // The registered theme (the application's), or a default one.
    static CAppTheme& Current();

    // Reads six colours from the shipped theme colour file (fallback: the
    // palette's matching system colour), rebuilds m_brBack and re-themes
    // window and its descendants.
    void LoadThemeColors(QWidget* window);

    static QColor ToQColor(COLORREF colour);
    static COLORREF FromQColor(const QColor& colour);

    // The Qt palette and the application style sheet made from the colour set.
    QPalette BuildPalette() const;
    QString BuildStyleSheet() const;
    // Gives the application (when there is one) the palette and style sheet
    // of the colour set and repaints window with its descendants.
    void ApplyTheme(QWidget* window) const;

    // m_strThemeFile, else theme/<kThemeFileName> beside the executable when
    // it is there, else the installed copy.
    QString ThemeFilePath() const;
    static constexpr const char* kThemeFileName = "VisualStudio2015Dark.ini";

    // "R G B", three decimal numbers 0-255 (blanks or commas between), to
    // 0x00BBGGRR. False for anything else.
    static bool ParseColorTriple(const std::string& text, COLORREF& colour);

    QBrush m_brBack;
    COLORREF m_clrEditBack = 0x535353;   // never replaced
    COLORREF m_clrText = 0xF7F3F7;
    COLORREF m_clrBack = 0x312C29;
    COLORREF m_clrBorder = 0x464343;
    COLORREF m_clrHilite = 0xCC7A00;
    COLORREF m_clrSelected = 0x212421;
    COLORREF m_clrButtonBorder = 0x423C39;
    COLORREF m_clrDark = 0x302D2D;       // never replaced
    int m_nControlTheme = 16;

    // The platform's colours as they were before the program put its own
    // palette in place: the fallbacks of a theme file that lacks a key.
    QPalette m_palSystem;

    QString m_strThemeFile;   // path of the theme colour file; empty = the default place
};
