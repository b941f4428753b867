#include "CDlgComm.h"

#include "CSpreadSheet.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>

#include <cmath>

CDlgComm::CDlgComm(const CDlgTemplate& tmpl, QWidget* parent)
    : QDialog(parent)
    , m_nTemplateId(tmpl.nId)
    , m_clrFrame(CAppTheme::Current().m_clrBorder)
    , m_template(tmpl)
{
    DlgFontScaler::InstallFontSubstitutions();
    setWindowTitle(QString::fromStdString(tmpl.strCaption));
    if (tmpl.dwStyle & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        Qt::WindowFlags flags = windowFlags();
        if (tmpl.dwStyle & WS_MINIMIZEBOX)
            flags |= Qt::WindowMinimizeButtonHint;
        if (tmpl.dwStyle & WS_MAXIMIZEBOX)
            flags |= Qt::WindowMaximizeButtonHint;
        setWindowFlags(flags);
    }
    CreateControls();
    m_btnOK = GetDlgItemAs<QPushButton>(IDOK);
    m_btnCancel = GetDlgItemAs<QPushButton>(IDCANCEL);
    if (m_btnOK)
        connect(m_btnOK, &QPushButton::clicked, this, [this] { OnOK(); });
    if (m_btnCancel)
        connect(m_btnCancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    ApplyTheme();
}

CDlgComm::~CDlgComm()
{
    m_Scaler.Detach();
}

void CDlgComm::CreateControls()
{
    QButtonGroup* group = nullptr;
    for (const CDlgItem& item : m_template.items) {
        const QString caption = QString::fromStdString(item.strCaption);
        QWidget* w = nullptr;
        const bool radio = item.eKind == EDlgItemKind::RadioButton
                        || item.eKind == EDlgItemKind::RadioPushButton;
        if (!radio || (item.dwStyle & WS_GROUP))
            group = nullptr;
        switch (item.eKind) {
        case EDlgItemKind::PushButton:
        case EDlgItemKind::DefPushButton: {
            auto* button = new QPushButton(caption, this);
            button->setDefault(item.eKind == EDlgItemKind::DefPushButton);
            w = button;
            break;
        }
        case EDlgItemKind::RadioButton:
        case EDlgItemKind::RadioPushButton: {
            QAbstractButton* button = nullptr;
            if (item.eKind == EDlgItemKind::RadioButton) {
                button = new QRadioButton(caption, this);
            } else {
                auto* push = new QPushButton(caption, this);
                push->setAutoDefault(false);
                button = push;
            }
            button->setCheckable(true);
            if (!group) {
                group = new QButtonGroup(this);
                group->setExclusive(true);
                m_mapRadioGroups[item.nId] = group;
            }
            group->addButton(button, int(group->buttons().size()));
            w = button;
            break;
        }
        case EDlgItemKind::AutoCheckBox:
            w = new QCheckBox(caption, this);
            break;
        case EDlgItemKind::GroupBox:
            w = new QGroupBox(caption, this);
            break;
        case EDlgItemKind::StaticText: {
            auto* label = new QLabel(caption, this);
            Qt::Alignment h = (item.dwStyle & SS_CENTER) ? Qt::AlignHCenter
                            : (item.dwStyle & SS_RIGHT)  ? Qt::AlignRight
                                                         : Qt::AlignLeft;
            label->setAlignment(h | Qt::AlignTop);
            w = label;
            break;
        }
        case EDlgItemKind::Edit:
            if (item.dwStyle & ES_MULTILINE) {
                auto* edit = new QPlainTextEdit(caption, this);
                edit->setReadOnly(item.dwStyle & ES_READONLY);
                const bool noWrap = item.dwStyle & (ES_AUTOHSCROLL | WS_HSCROLL);
                edit->setLineWrapMode(noWrap ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
                edit->setVerticalScrollBarPolicy((item.dwStyle & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                            : Qt::ScrollBarAlwaysOff);
                edit->setHorizontalScrollBarPolicy((item.dwStyle & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn
                                                   : noWrap                    ? Qt::ScrollBarAsNeeded
                                                                               : Qt::ScrollBarAlwaysOff);
                if (!(item.dwStyle & WS_BORDER))
                    edit->setFrameShape(QFrame::NoFrame);
                w = edit;
            } else {
                auto* edit = new QLineEdit(caption, this);
                edit->setReadOnly(item.dwStyle & ES_READONLY);
                edit->setFrame(item.dwStyle & WS_BORDER);
                w = edit;
            }
            break;
        case EDlgItemKind::Grid:
            w = new CSpreadSheet(this);
            break;
        case EDlgItemKind::DatePicker: {
            auto* date = new QDateEdit(QDate::currentDate(), this);
            date->setCalendarPopup(true);
            date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
            w = date;
            break;
        }
        case EDlgItemKind::ProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            w = bar;
            break;
        }
        }
        w->setObjectName(QString::number(item.nId));
        if (!(item.dwStyle & WS_VISIBLE))
            w->setVisible(false);
        if (item.dwStyle & WS_DISABLED)
            w->setEnabled(false);
        m_vControls.emplace_back(item.nId, w);
    }
}

QWidget* CDlgComm::GetDlgItem(int id) const
{
    for (const auto& control : m_vControls)
        if (control.first == id)
            return control.second;
    return nullptr;
}

int CDlgComm::GetRadioIndex(int firstId) const
{
    const auto it = m_mapRadioGroups.find(firstId);
    return it == m_mapRadioGroups.end() ? -1 : it->second->checkedId();
}

void CDlgComm::SetRadioIndex(int firstId, int index)
{
    const auto it = m_mapRadioGroups.find(firstId);
    if (it == m_mapRadioGroups.end())
        return;
    if (QAbstractButton* button = it->second->button(index))
        button->setChecked(true);
}

void CDlgComm::ApplyTheme()
{
    const CAppTheme& theme = CAppTheme::Current();
    const QColor back = CAppTheme::ToQColor(theme.m_clrBack);
    const QColor text = CAppTheme::ToQColor(theme.m_clrText);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Button, CAppTheme::ToQColor(theme.m_clrButtonBorder));
    pal.setColor(QPalette::ButtonText, text);
    pal.setColor(QPalette::Base, CAppTheme::ToQColor(theme.m_clrEditBack));
    pal.setColor(QPalette::AlternateBase, back);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::Highlight, CAppTheme::ToQColor(theme.m_clrHilite));
    pal.setColor(QPalette::HighlightedText, text);
    pal.setColor(QPalette::Light, CAppTheme::ToQColor(theme.m_clrBorder));
    pal.setColor(QPalette::Mid, CAppTheme::ToQColor(theme.m_clrBorder));
    pal.setColor(QPalette::Dark, CAppTheme::ToQColor(theme.m_clrDark));
    const QColor greyed = CAppTheme::ToQColor(theme.m_clrBorder).lighter(160);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        pal.setColor(QPalette::Disabled, role, greyed);
    setPalette(pal);
    setAutoFillBackground(true);
}

void CDlgComm::InitDialog()
{
    if (m_bInitDone)
        return;
    m_bInitDone = true;
    OnInitDialog();
}

bool CDlgComm::OnInitDialog()
{
    m_Scaler.Attach(this, m_template, 96.0);
    FlushPendingResize();
    ApplyTheme();
    update();
    InitControls();
    AfterInitControls();
    FlushPendingResize();   // sizes set by the hooks count as set-up, not as resizes
    m_bReady = true;
    ArrangeControls();
    return true;
}

void CDlgComm::FlushPendingResize()
{
    // Qt holds back the resize of a hidden window until it shows. Delivered
    // now, it meets m_bReady still false, as the layout's own size change
    // must; held back, it would lay the window out a second time.
    if (!testAttribute(Qt::WA_PendingResizeEvent))
        return;
    setAttribute(Qt::WA_PendingResizeEvent, false);
    QResizeEvent event(size(), QSize());
    QCoreApplication::sendEvent(this, &event);
}

void CDlgComm::setVisible(bool visible)
{
    if (visible && !m_bInitDone)
        InitDialog();
    QDialog::setVisible(visible);
}

void CDlgComm::ArrangeControls()
{
    update();
}

void CDlgComm::PaintExtra(QPainter&)
{
    // Child controls repaint over the background by themselves.
}

void CDlgComm::DoPaint()
{
    QPainter dc(this);
    PaintExtra(dc);
    if (m_bDrawFrame) {
        dc.setPen(CAppTheme::ToQColor(m_clrFrame));
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CDlgComm::DoSize()
{
    if (m_bReady)
        ArrangeControls();
}

void CDlgComm::paintEvent(QPaintEvent*)
{
    DoPaint();
}

void CDlgComm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    DoSize();
}

void CDlgComm::OnOK()
{
    QDialog::accept();
}

void CDlgComm::OnCancel()
{
    QDialog::reject();
}

void CDlgComm::accept()
{
    OnOK();
}

void CDlgComm::reject()
{
    // Escape and the caption's close box arrive here, as control 2 would.
    OnCancel();
}

// ---- grids ----

void CDlgComm::SetDensityOverride(double dpiX, double dpiY)
{
    m_dDensityX = dpiX;
    m_dDensityY = dpiY;
}

double CDlgComm::DensityX() const
{
    return m_dDensityX > 0.0 ? m_dDensityX : double(logicalDpiX());
}

double CDlgComm::DensityY() const
{
    return m_dDensityY > 0.0 ? m_dDensityY : double(logicalDpiY());
}

void CDlgComm::TwipsToPixels(double twipsX, double twipsY, double* pixelsX, double* pixelsY) const
{
    if (pixelsX)
        *pixelsX = DensityX() / 1440.0 * twipsX;
    if (pixelsY)
        *pixelsY = DensityY() / 1440.0 * twipsY;
}

void CDlgComm::ApplyGridLook(CSpreadSheet& grid)
{
    const CAppTheme& theme = CAppTheme::Current();
    const QString face = QStringLiteral("굴림체");
    grid.setFont(QFont(face));   // the headers draw with the widget's font
    grid.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    grid.SetFontName(face);
    grid.SetBackColor(theme.m_clrBack);
    grid.SetForeColor(theme.m_clrText);
    grid.SetHeaderColors(theme.m_clrButtonBorder, theme.m_clrText);
    grid.SetGridLineColor(theme.m_clrBorder);
    grid.SetEmptyAreaColor(theme.m_clrBack);
    grid.SetSelectionColor(theme.m_clrHilite);
    grid.SetBorderStyle(1);

    // Grids are designed for 96 dpi: on denser screens the font shrinks in
    // steps and the columns and rows by the square root of the density ratio.
    const double d = DensityX() > 0.0 ? DensityX() : 96.0;
    const double s = std::sqrt(d / 96.0);
    if (d > 96.0)
        grid.SetFontSize(d <= 120.0 ? 8.0f : d <= 144.0 ? 7.0f : 5.0f);
    for (int c = 1; c <= grid.GetColumnCount(); ++c)
        grid.SetColumnWidth(c, grid.GetColumnWidth(c) / s);
    grid.SetColumnWidth(CSpreadSheet::kHeader, grid.GetColumnWidth(CSpreadSheet::kHeader) / s);
    const double rowHeight = grid.GetRowHeight(1);
    if (rowHeight > 0.0)
        grid.SetRowHeight(CSpreadSheet::kAll, rowHeight / s);
}

void CDlgComm::FitGrid(CSpreadSheet& grid, bool equalColumns, const QRect& rect)
{
    grid.SetRedraw(false);
    grid.setGeometry(rect);

    double px = 0.0, py = 0.0;
    TwipsToPixels(grid.ColumnWidthToTwips(10000.0), grid.RowHeightToTwips(10000.0), &px, &py);
    px /= 10000.0;
    py /= 10000.0;
    const int columns = grid.GetColumnCount();
    const int rows = grid.GetRowCount();

    // A window shrunk below the grid's needs would give zero or negative
    // sizes; the columns and rows then keep what they have.
    if (equalColumns && px > 0.0) {
        const int n = columns + (grid.GetRowHeadersShown() ? grid.GetHeaderColumnCount() : 0);
        const double width = n > 0 ? ((rect.width() - 5) / px) / n - 0.1 : 0.0;
        if (width > 0.0) {
            grid.SetColumnWidth(CSpreadSheet::kHeader, width);
            for (int c = 1; c <= columns; ++c)
                grid.SetColumnWidth(c, width);
        }
    }
    if (py > 0.0) {
        double height = rect.height() - int(1.5 * rows);
        const int bars = grid.GetScrollBars();
        if (bars == 1 || bars == 3)
            height -= grid.GetHorizontalScrollBarHeight();
        height /= py;
        const int m = rows + (grid.GetColumnHeadersShown() ? grid.GetHeaderRowCount() : 0);
        const double rowHeight = m > 0 ? height / m : 0.0;
        if (rowHeight > 0.0) {
            grid.SetRowHeight(CSpreadSheet::kHeader, rowHeight);
            grid.SetRowHeight(CSpreadSheet::kAll, rowHeight);
        }
    }

    grid.SetRedraw(true);
}

void CDlgComm::FitGridColumns(CSpreadSheet& grid, const QRect& rect)
{
    double px = 0.0;
    TwipsToPixels(grid.ColumnWidthToTwips(10000.0), 0.0, &px, nullptr);
    px /= 10000.0;
    const int columns = grid.GetColumnCount();
    if (px <= 0.0 || columns < 1)
        return;

    int scrollWidth = 0;
    const int bars = grid.GetScrollBars();
    if (bars == 2 || bars == 3) {
        scrollWidth = grid.GetVerticalScrollBarWidth();
        if (scrollWidth == -1)
            scrollWidth = 20;
    }
    const int headers = grid.GetRowHeadersShown() ? grid.GetHeaderColumnCount() : 0;
    double total = 0.0;
    if (headers)
        total += grid.GetColumnWidth(CSpreadSheet::kHeader);
    for (int c = 1; c <= columns; ++c)
        total += grid.GetColumnWidth(c);
    // One pixel per column goes to the grid lines.
    const double available = (rect.width() - columns - headers - scrollWidth) / px;
    if (total <= 0.0 || available <= 0.0)
        return;

    double used = 0.0;
    if (headers) {
        const double w = grid.GetColumnWidth(CSpreadSheet::kHeader) * available / total;
        grid.SetColumnWidth(CSpreadSheet::kHeader, w);
        used += w;
    }
    for (int c = 1; c < columns; ++c) {
        const double w = grid.GetColumnWidth(c) * available / total;
        grid.SetColumnWidth(c, w);
        used += w;
    }
    grid.SetColumnWidth(columns, available - used);
}
