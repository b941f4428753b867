#pragma once
// Lays a window out from its template at a fixed pixel density, whatever the
// screen's setting: it builds the template's font for that density, measures
// the font's base units and places the window and every control of the
// template in pixels. Detach gives the window and its controls back the
// fonts they had before.

#include "CDlgTemplate.h"

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <vector>

class DlgFontScaler {
public:
    DlgFontScaler() = default;
    ~DlgFontScaler();
    DlgFontScaler(const DlgFontScaler&) = delete;
    DlgFontScaler& operator=(const DlgFontScaler&) = delete;

    // Controls are found among the window's direct children by objectName,
    // which is the control id as text, in template order.
    void Attach(QWidget* window, const CDlgTemplate& tmpl, double density);
    void Detach();
    bool IsAttached() const { return !m_pWindow.isNull(); }

    // The font a template gets at a density: its own when it has DS_SETFONT,
    // else "Tahoma" 8 points, weight 400. The pixel height is the point size
    // at that density, rounded.
    static QFont TemplateFont(const CDlgTemplate& tmpl, double density);
    // Base units of a font: bx from the width of the 52 Latin letters, by the
    // font's height.
    static void BaseUnits(const QFont& font, int* bx, int* by);
    // A dialog-unit rectangle in pixels for base units bx, by.
    static QRect MapDialogRect(int x, int y, int cx, int cy, int bx, int by);

    // Qt font substitutions for the Windows face names the templates and
    // grids use, onto the installed Korean fonts (idempotent).
    static void InstallFontSubstitutions();

    uint16_t m_nTemplateId = 0;
    int m_nBaseX = 0;
    int m_nBaseY = 0;
    QFont m_font;          // the font made for the window

private:
    struct CPrevFont {
        QPointer<QWidget> pWidget;
        QFont font;
        bool bOwn = false; // the widget had a font of its own
    };
    static void Restore(const CPrevFont& prev);

    QPointer<QWidget> m_pWindow;
    CPrevFont m_prevWindow;
    std::vector<CPrevFont> m_vPrevControls;
};
