#include "DlgFontScaler.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

#include <algorithm>

DlgFontScaler::~DlgFontScaler()
{
    Detach();
}

QFont DlgFontScaler::TemplateFont(const CDlgTemplate& tmpl, double density)
{
    QString face = QStringLiteral("Tahoma");
    long long points = 8;
    int weight = 400;
    bool italic = false;
    if (tmpl.dwStyle & DS_SETFONT) {
        face = QString::fromStdString(tmpl.strFontFace);
        points = tmpl.nPointSize < 0 ? -(long long)tmpl.nPointSize : tmpl.nPointSize;
        weight = tmpl.nWeight;
        italic = tmpl.bItalic;
    }
    QFont font(face);
    const int px = int(double(points) * density / 72.0 + 0.5);
    font.setPixelSize(std::clamp(px, 1, 4096));
    // Weight 0 is "don't care" in a template.
    font.setWeight(QFont::Weight(weight <= 0 ? 400 : std::min(weight, 1000)));
    font.setItalic(italic);
    return font;
}

void DlgFontScaler::BaseUnits(const QFont& font, int* bx, int* by)
{
    const QFontMetrics fm(font);
    const int cx = fm.horizontalAdvance(
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    if (bx)
        *bx = ((cx / 26) + 1) / 2;
    if (by)
        *by = fm.height();
}

QRect DlgFontScaler::MapDialogRect(int x, int y, int cx, int cy, int bx, int by)
{
    return QRect(int(x * bx / 4.0 + 0.5), int(y * by / 8.0 + 0.5), int(cx * bx / 4.0 + 0.5),
                 int(cy * by / 8.0 + 0.5));
}

void DlgFontScaler::Attach(QWidget* window, const CDlgTemplate& tmpl, double density)
{
    if (!window)
        return;
    if (IsAttached())
        Detach();
    m_nTemplateId = uint16_t(tmpl.nId);
    m_pWindow = window;

    m_font = TemplateFont(tmpl, density);
    m_prevWindow = CPrevFont{window, window->font(), window->testAttribute(Qt::WA_SetFont)};
    window->setFont(m_font);
    BaseUnits(m_font, &m_nBaseX, &m_nBaseY);

    const QRect client = MapDialogRect(0, 0, tmpl.cx, tmpl.cy, m_nBaseX, m_nBaseY);
    if (window->isWindow() && !(tmpl.dwStyle & WS_THICKFRAME))
        window->setFixedSize(client.size());   // no sizing border: the user cannot resize
    else
        window->resize(client.size());

    // Walk the children in their order, as the template lists its controls;
    // children with other ids are passed over, and the walk stops when they run out.
    const QList<QWidget*> children = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    int k = 0;
    for (const CDlgItem& item : tmpl.items) {
        const QString name = QString::number(item.nId);
        while (k < children.size() && children[k]->objectName() != name)
            ++k;
        if (k >= children.size())
            break;
        QWidget* control = children[k++];
        control->setGeometry(MapDialogRect(item.x, item.y, item.cx, item.cy, m_nBaseX, m_nBaseY));
        m_vPrevControls.push_back(CPrevFont{control, control->font(), control->testAttribute(Qt::WA_SetFont)});
        control->setFont(m_font);
    }
}

void DlgFontScaler::Restore(const CPrevFont& prev)
{
    if (!prev.pWidget)
        return;
    // A widget that only inherited its font goes back to inheriting.
    prev.pWidget->setFont(prev.bOwn ? prev.font : QFont());
}

void DlgFontScaler::Detach()
{
    if (!IsAttached()) {
        m_vPrevControls.clear();
        return;
    }
    Restore(m_prevWindow);
    for (const CPrevFont& prev : m_vPrevControls)
        Restore(prev);
    m_vPrevControls.clear();
    m_prevWindow = CPrevFont{};
    m_pWindow.clear();
    m_font = QFont();
}

void DlgFontScaler::InstallFontSubstitutions()
{
    static bool s_bDone = false;
    if (s_bDone)
        return;
    s_bDone = true;
    // The fixed-pitch Gulim face maps onto the fixed-pitch Nanum face, the
    // proportional Windows faces onto the proportional one.
    const QStringList fixed{QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic"),
                            QStringLiteral("DejaVu Sans Mono")};
    const QStringList proportional{QStringLiteral("NanumGothic"), QStringLiteral("NanumGothicCoding"),
                                   QStringLiteral("DejaVu Sans")};
    for (const char* face : {"굴림체", "GulimChe"})
        QFont::insertSubstitutions(QString::fromUtf8(face), fixed);
    for (const char* face : {"굴림", "Gulim", "MS Shell Dlg", "MS Shell Dlg 2", "Tahoma"})
        QFont::insertSubstitutions(QString::fromUtf8(face), proportional);
}
