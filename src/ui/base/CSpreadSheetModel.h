#pragma once
// The sheets of one CSpreadSheet and the item model of the sheet shown.
// Model row i / column j is data cell (j + 1, i + 1); the header row and
// column are the view's header sections. Every change to a sheet goes
// through here so that the view hears of changes to the sheet it shows and
// of nothing else.

#include "CGridSheet.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

class CSpreadSheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CSpreadSheetModel(QObject* parent = nullptr);
    ~CSpreadSheetModel() override;

    int SheetCount() const { return int(m_vSheets.size()); }
    bool SetSheetCount(int count);                 // at least 1
    int ShownSheet() const { return m_nShown; }    // 0-based
    bool SetShownSheet(int index);
    const CGridSheet& Sheet(int index) const { return *m_vSheets[std::size_t(index)]; }
    CGridSheet& MutableSheet(int index) { return *m_vSheets[std::size_t(index)]; }
    const CGridSheet& Shown() const { return *m_vSheets[std::size_t(m_nShown)]; }

    // Changes that the view must hear of when they hit the shown sheet.
    bool SetText(int sheet, int col, int row, const QString& text);
    bool SetRowCount(int sheet, int rows);
    bool SetColumnCount(int sheet, int columns);
    bool SetHeadersShown(int sheet, bool columnHeaders, bool rowHeaders);
    // After styles or texts of col..col2 x row..row2 changed (kAll, kHeader allowed).
    void CellsChanged(int sheet, int col, int row, int col2, int row2);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Resolved colours of a cell style (header cells use the header colours).
    COLORREF BackOf(const CGridCellStyle& style, bool header) const;
    COLORREF ForeOf(const CGridCellStyle& style, bool header) const;
    void SetHeaderColours(COLORREF back, COLORREF fore);

signals:
    // Column count, header switches or the shown sheet changed.
    void SheetShapeChanged();

private:
    std::vector<std::unique_ptr<CGridSheet>> m_vSheets;
    int m_nShown = 0;
    COLORREF m_clrHeaderBack = 0x00F0F0F0;
    COLORREF m_clrHeaderFore = 0x00000000;
};
