#pragma once
// Draws the cells of a CSpreadSheet (text, check boxes, buttons, borders)
// and edits edit and number cells in place.

#include <QColor>
#include <QStyledItemDelegate>

class CSpreadSheet;
class CSpreadSheetModel;

class CSpreadSheetDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    CSpreadSheetDelegate(CSpreadSheet* grid, CSpreadSheetModel* model);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // Contrast ratio of two colours by their relative luminance, 1 to 21.
    static double ContrastRatio(const QColor& a, const QColor& b);
    // The colour of a check box's frame and tick on a cell of colour back:
    // the cell's text colour when that stands out at least 3:1, else black
    // or white, whichever stands out more (always more than 4.5:1). An
    // unticked box is then plainly visible on any cell colour.
    static QColor CheckBoxColour(const QColor& back, const QColor& text);

private:
    CSpreadSheet* m_pGrid;
    CSpreadSheetModel* m_pModel;
};
