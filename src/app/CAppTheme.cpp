#include "CAppTheme.h"

#include "CIniFile.h"
#include "FileSystem.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStyle>
#include <QWidget>

#include <cstdlib>

#ifndef BREVANE_THEME_DATADIR
#define BREVANE_THEME_DATADIR "/usr/local/share/brevane/theme"
#endif

namespace {
CAppTheme* g_pCurrent = nullptr;

// Halfway between two colours, for disabled texts.
QColor Blend(const QColor& a, const QColor& b)
{
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}
} // namespace

CAppTheme::CAppTheme()
{
    if (QGuiApplication::instance())
        m_palSystem = QGuiApplication::palette();
    m_brBack = QBrush(ToQColor(m_clrBack));
    g_pCurrent = this;
}

CAppTheme::~CAppTheme()
{
    if (g_pCurrent == this)
        g_pCurrent = nullptr;
}

CAppTheme& CAppTheme::Current()
{
    if (g_pCurrent)
        return *g_pCurrent;
    static CAppTheme s_default;   // registers itself on first use
    return s_default;
}

QColor CAppTheme::ToQColor(COLORREF colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

COLORREF CAppTheme::FromQColor(const QColor& colour)
{
    return COLORREF(colour.red()) | (COLORREF(colour.green()) << 8) | (COLORREF(colour.blue()) << 16);
}

bool CAppTheme::ParseColorTriple(const std::string& text, COLORREF& colour)
{
    long parts[3];
    const char* p = text.c_str();
    for (long& part : parts) {
        while (*p == ' ' || *p == '\t' || *p == ',')
            ++p;
        if (*p < '0' || *p > '9')
            return false;
        char* end = nullptr;
        part = std::strtol(p, &end, 10);
        if (part > 255)
            return false;
        p = end;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p != '\0')
        return false;
    colour = COLORREF(parts[0]) | (COLORREF(parts[1]) << 8) | (COLORREF(parts[2]) << 16);
    return true;
}

QString CAppTheme::ThemeFilePath() const
{
    if (!m_strThemeFile.isEmpty())
        return m_strThemeFile;
    const std::string exe = ExecutablePath();
    std::size_t cut = exe.size();
    while (cut > 0 && !IsPathSeparator(exe[cut - 1]))
        --cut;
    if (cut > 0) {
        const QString beside = QString::fromStdString(exe.substr(0, cut)) + QStringLiteral("theme/") +
                               QLatin1String(kThemeFileName);
        if (QFileInfo::exists(beside))
            return beside;
    }
    return QStringLiteral(BREVANE_THEME_DATADIR "/") + QLatin1String(kThemeFileName);
}

void CAppTheme::LoadThemeColors(QWidget* window)
{
    m_nControlTheme = 16;

    CIniFile file(ThemeFilePath().toStdString());
    file.Load();   // a missing file gives the system colours throughout

    // The system colours of the platform's table: window text (8), window (5,
    // the background of text fields, Qt's Base) and button shadow (16), from
    // the platform's palette (the one in force now is already the program's).
    const QPalette& system = m_palSystem;
    const COLORREF windowText = FromQColor(system.color(QPalette::Active, QPalette::WindowText));
    const COLORREF windowBack = FromQColor(system.color(QPalette::Active, QPalette::Base));
    const COLORREF buttonShadow = FromQColor(system.color(QPalette::Active, QPalette::Dark));

    auto read = [&file](const char* section, const char* key, COLORREF fallback) {
        std::string text;
        COLORREF colour = 0;
        if (file.GetString(section, key, text) && ParseColorTriple(text, colour))
            return colour;
        return fallback;
    };
    m_clrText = read("DockingPane.Inactive", "TextColor", windowText);
    m_clrBack = read("DockingPane.Inactive", "CaptionColor", windowBack);
    m_clrHilite = read("Controls.Button", "BackHilite", windowBack);
    m_clrBorder = read("Controls.Button", "Border", buttonShadow);
    m_clrSelected = read("DockingPane.Tabs", "ButtonSelected", windowBack);
    m_clrButtonBorder = read("DockingPane.Tabs", "ButtonBorder", buttonShadow);

    m_brBack = QBrush(ToQColor(m_clrBack));
    ApplyTheme(window);
}

QPalette CAppTheme::BuildPalette() const
{
    const QColor text = ToQColor(m_clrText);
    const QColor back = ToQColor(m_clrBack);
    const QColor editBack = ToQColor(m_clrEditBack);
    const QColor dark = ToQColor(m_clrDark);
    const QColor hilite = ToQColor(m_clrHilite);
    const QColor border = ToQColor(m_clrBorder);
    const QColor disabled = Blend(text, back);

    QPalette palette;
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, editBack);
    palette.setColor(QPalette::AlternateBase, dark);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, back);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, hilite);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, back);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::Light, border.lighter(130));
    palette.setColor(QPalette::Midlight, border);
    palette.setColor(QPalette::Mid, border);
    palette.setColor(QPalette::Dark, border);
    palette.setColor(QPalette::Shadow, dark.darker(150));
    palette.setColor(QPalette::Link, hilite.lighter(130));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Base, back);
    return palette;
}

QString CAppTheme::BuildStyleSheet() const
{
    const QString text = ToQColor(m_clrText).name();
    const QString back = ToQColor(m_clrBack).name();
    const QString border = ToQColor(m_clrBorder).name();
    const QString buttonBorder = ToQColor(m_clrButtonBorder).name();
    const QString hilite = ToQColor(m_clrHilite).name();
    const QString selected = ToQColor(m_clrSelected).name();
    const QString disabled = Blend(ToQColor(m_clrText), ToQColor(m_clrBack)).name();
    // Only what the palette cannot say: button and progress bar frames.
    // Spin boxes, combo boxes and date fields keep the style's own drawing.
    return QStringLiteral(
               "QToolTip { color: %1; background-color: %2; border: 1px solid %3; }\n"
               "QPushButton { color: %1; background-color: %2; border: 1px solid %4;"
               " padding: 3px 12px; }\n"
               "QPushButton:hover { border-color: %5; }\n"
               "QPushButton:pressed, QPushButton:checked { background-color: %6; }\n"
               "QPushButton:disabled { color: %7; }\n"
               "QProgressBar { color: %1; background-color: %2; border: 1px solid %3;"
               " text-align: center; }\n"
               "QProgressBar::chunk { background-color: %5; }\n")
        .arg(text, back, border, buttonBorder, hilite, selected, disabled);
}

void CAppTheme::ApplyTheme(QWidget* window) const
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setPalette(BuildPalette());
        app->setStyleSheet(BuildStyleSheet());
    }
    if (!window)
        return;
    const QList<QWidget*> children = window->findChildren<QWidget*>();
    for (QWidget* widget : children) {
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        widget->update();
    }
    window->update();
}
