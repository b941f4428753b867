#include "CSpreadSheetDelegate.h"

#include "CAppTheme.h"
#include "CSpreadSheet.h"
#include "CSpreadSheetModel.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
Qt::PenStyle PenFor(EGridLine line)
{
    switch (line) {
    case EGridLine::Solid: return Qt::SolidLine;
    case EGridLine::Dash: return Qt::DashLine;
    case EGridLine::Dot: return Qt::DotLine;
    case EGridLine::DashDot: return Qt::DashDotLine;
    case EGridLine::DashDotDot: return Qt::DashDotDotLine;
    case EGridLine::None: break;
    }
    return Qt::NoPen;
}

Qt::Alignment AlignmentOf(const CGridCellStyle& style)
{
    Qt::Alignment a = style.eHAlign == EGridHAlign::Center ? Qt::AlignHCenter
                    : style.eHAlign == EGridHAlign::Right  ? Qt::AlignRight
                                                           : Qt::AlignLeft;
    a |= style.eVAlign == EGridVAlign::Center ? Qt::AlignVCenter
       : style.eVAlign == EGridVAlign::Bottom ? Qt::AlignBottom
                                              : Qt::AlignTop;
    return a;
}

QFont FontOf(const CGridCellStyle& style)
{
    QFont font(style.strFontName);
    if (style.fFontSize > 0.0f)
        font.setPointSizeF(double(style.fFontSize));
    font.setBold(style.bBold);
    return font;
}

int ClampToInt(double v)
{
    if (!(v > double(INT_MIN)))
        return INT_MIN;
    if (!(v < double(INT_MAX)))
        return INT_MAX;
    return int(std::lround(v));
}
}   // namespace

double CSpreadSheetDelegate::ContrastRatio(const QColor& a, const QColor& b)
{
    // Relative luminance of sRGB colours, as the accessibility guidelines define it.
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a.toRgb());
    const double lb = luminance(b.toRgb());
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor CSpreadSheetDelegate::CheckBoxColour(const QColor& back, const QColor& text)
{
    if (text.isValid() && ContrastRatio(text, back) >= 3.0)
        return text;
    const QColor black(Qt::black), white(Qt::white);
    return ContrastRatio(black, back) >= ContrastRatio(white, back) ? black : white;
}

CSpreadSheetDelegate::CSpreadSheetDelegate(CSpreadSheet* grid, CSpreadSheetModel* model)
    : QStyledItemDelegate(grid)
    , m_pGrid(grid)
    , m_pModel(model)
{
}

void CSpreadSheetDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const CGridSheet& sheet = m_pModel->Shown();
    const int col = index.column() + 1;
    const int row = index.row() + 1;
    const CGridCellStyle& style = sheet.Style(col, row);
    const QRect rect = option.rect;
    QStyle* qstyle = m_pGrid->style();

    painter->save();
    QColor back = CAppTheme::ToQColor(m_pModel->BackOf(style, false));
    if (option.state & QStyle::State_Selected)
        back = CAppTheme::ToQColor(m_pGrid->SelectionColor());
    painter->fillRect(rect, back);

    const QFont font = FontOf(style);
    painter->setFont(font);
    painter->setPen(CAppTheme::ToQColor(m_pModel->ForeOf(style, false)));
    const Qt::Alignment align = AlignmentOf(style);
    const QRect textRect = rect.adjusted(2, 0, -2, 0);

    switch (style.eType) {
    case EGridCellType::CheckBox: {
        const int iw = qstyle->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_pGrid);
        const int ih = qstyle->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_pGrid);
        const QFontMetrics fm(font);
        const int captionWidth = style.strCaption.isEmpty() ? 0 : fm.horizontalAdvance(style.strCaption) + 4;
        const int total = iw + captionWidth;
        int x = textRect.left();
        if (style.eHAlign == EGridHAlign::Center)
            x = textRect.left() + (textRect.width() - total) / 2;
        else if (style.eHAlign == EGridHAlign::Right)
            x = textRect.right() - total + 1;
        int y = rect.top() + (rect.height() - ih) / 2;
        if (style.eVAlign == EGridVAlign::Top)
            y = rect.top() + 1;
        else if (style.eVAlign == EGridVAlign::Bottom)
            y = rect.bottom() - ih;
        // Drawn here rather than by the widget style, whose faint frame can
        // vanish on the theme's cell colours: a two-pixel frame in a colour
        // that stands out from the cell, and a tick in the same colour.
        const QColor ink = CheckBoxColour(back, painter->pen().color());
        const QRect frame(x, y, iw, ih);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(ink, 1));
        painter->drawRect(frame.adjusted(0, 0, -1, -1));
        painter->drawRect(frame.adjusted(1, 1, -2, -2));
        if (CSpreadSheet::IsTicked(sheet.Text(col, row))) {
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setPen(QPen(ink, std::max(2.0, iw / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPointF tick[3] = {QPointF(x + iw * 0.25, y + ih * 0.52), QPointF(x + iw * 0.43, y + ih * 0.72),
                                     QPointF(x + iw * 0.76, y + ih * 0.3)};
            painter->drawPolyline(tick, 3);
            painter->setRenderHint(QPainter::Antialiasing, false);
            painter->setPen(CAppTheme::ToQColor(m_pModel->ForeOf(style, false)));
        }
        if (captionWidth > 0) {
            const QRect cap(x + iw + 4, rect.top(), std::max(0, textRect.right() - (x + iw + 4) + 1),
                            rect.height());
            painter->drawText(cap, int(Qt::AlignLeft | (align & Qt::AlignVertical_Mask)) | Qt::TextSingleLine,
                              style.strCaption);
        }
        break;
    }
    case EGridCellType::Button: {
        QStyleOptionButton button;
        button.rect = rect.adjusted(1, 1, -1, -1);
        button.text = style.strCaption;
        button.palette = m_pGrid->palette();
        button.fontMetrics = QFontMetrics(font);
        button.state = QStyle::State_Enabled
                     | (m_pGrid->IsPressedCell(col, row) ? QStyle::State_Sunken : QStyle::State_Raised);
        qstyle->drawControl(QStyle::CE_PushButton, &button, painter, m_pGrid);
        break;
    }
    default:
        painter->drawText(textRect, int(align) | Qt::TextSingleLine, sheet.Text(col, row));
        break;
    }

    // Borders lie inside the cell so that the grid lines do not paint over them.
    const QLine lines[4] = {
        QLine(rect.left(), rect.top(), rect.left(), rect.bottom()),
        QLine(rect.right(), rect.top(), rect.right(), rect.bottom()),
        QLine(rect.left(), rect.top(), rect.right(), rect.top()),
        QLine(rect.left(), rect.bottom(), rect.right(), rect.bottom()),
    };
    for (int e = 0; e < 4; ++e) {
        const CGridBorderEdge& edge = style.edges[e];
        if (edge.eLine == EGridLine::None)
            continue;
        painter->setPen(QPen(CAppTheme::ToQColor(edge.clr), 1, PenFor(edge.eLine)));
        painter->drawLine(lines[e]);
    }
    painter->restore();
}

QWidget* CSpreadSheetDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                            const QModelIndex& index) const
{
    const CGridCellStyle& style = m_pModel->Shown().Style(index.column() + 1, index.row() + 1);
    if (style.bLocked)
        return nullptr;
    if (style.eType == EGridCellType::Edit) {
        auto* edit = new QLineEdit(parent);
        edit->setFrame(false);
        edit->setFont(FontOf(style));
        if (style.nMaxLength > 0)
            edit->setMaxLength(style.nMaxLength);
        return edit;
    }
    if (style.eType == EGridCellType::Number) {
        QAbstractSpinBox* box = nullptr;
        if (style.nDecimals <= 0) {
            auto* spin = new QSpinBox(parent);
            spin->setRange(ClampToInt(std::ceil(style.dMin)), ClampToInt(std::floor(style.dMax)));
            box = spin;
        } else {
            auto* spin = new QDoubleSpinBox(parent);
            spin->setDecimals(style.nDecimals);
            spin->setRange(style.dMin, style.dMax);
            box = spin;
        }
        box->setFrame(false);
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        box->setFont(FontOf(style));
        return box;
    }
    return nullptr;
}

void CSpreadSheetDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QString text = m_pModel->Shown().Text(index.column() + 1, index.row() + 1);
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(text);
    else if (auto* spin = qobject_cast<QSpinBox*>(editor))
        spin->setValue(ClampToInt(text.trimmed().toDouble()));
    else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(editor))
        dspin->setValue(text.trimmed().toDouble());
}

void CSpreadSheetDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                        const QModelIndex& index) const
{
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        model->setData(index, edit->text(), Qt::EditRole);
    } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
        spin->interpretText();
        model->setData(index, QString::number(spin->value()), Qt::EditRole);
    } else if (auto* dspin = qobject_cast<QDoubleSpinBox*>(editor)) {
        dspin->interpretText();
        model->setData(index, QString::number(dspin->value(), 'f', dspin->decimals()), Qt::EditRole);
    }
}

void CSpreadSheetDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                const QModelIndex&) const
{
    editor->setGeometry(option.rect);
}
