#pragma once
// Draws the cells of a CSpreadSheet (text, check boxes, buttons, borders)
// and edits edit and number cells in place.

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

private:
    CSpreadSheet* m_pGrid;
    CSpreadSheetModel* m_pModel;
};
