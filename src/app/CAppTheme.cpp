#include "CAppTheme.h"

namespace {
CAppTheme* g_pCurrent = nullptr;
}

CAppTheme::CAppTheme()
{
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
