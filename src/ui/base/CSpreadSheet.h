#pragma once
// The program's grid: a spreadsheet of one or more sheets with typed cells
// (static text, edit, button, check box, number), per-cell colours, fonts,
// alignment and borders, joined cells, a header row and header column, and
// row copies for report templates.
//
// Addressing follows a spreadsheet control: operations that format act on
// the active cell (SetActiveCell); a column or row of kAll (-1) makes them act
// on the whole row, column or sheet, and kHeader (-1000) addresses the header
// row or column. Columns and rows count from 1. All operations act on the
// addressed sheet; the view shows the shown sheet, which may be another one.
//
// Units: a column width counts characters of the grid's default font, taken
// as 105 twips (7 pixels at 96 dpi, the digit width of a 10-point sans font)
// so that a layout does not depend on the fonts installed; a row height is in
// points (20 twips). Both convert to pixels with the widget's logical dpi.
//
// Texts are written only when they differ from the cell's text, so a
// repeated write neither touches the cell nor repaints it.

#include "CGridCellStyle.h"
#include "CGridSheet.h"

#include <QTableView>

class CSpreadSheetModel;
class CSpreadSheetDelegate;

class CSpreadSheet : public QTableView {
    Q_OBJECT
public:
    static constexpr int kAll = CGridSheet::kAll;
    static constexpr int kHeader = CGridSheet::kHeader;
    static constexpr double kTwipsPerCharacter = 105.0;
    static constexpr double kTwipsPerPoint = 20.0;

    explicit CSpreadSheet(QWidget* parent = nullptr);
    ~CSpreadSheet() override;

    // ---- active cell ----
    void SetActiveCell(int col, int row);
    void SetActiveCol(int col) { m_nActiveCol = col; }
    void SetActiveRow(int row) { m_nActiveRow = row; }
    int GetActiveCol() const { return m_nActiveCol; }
    int GetActiveRow() const { return m_nActiveRow; }

    // ---- texts ----
    QString GetText() const;                    // of the active cell
    // Writes the active cell, or every cell of the active row/column/sheet;
    // true when at least one cell changed.
    bool SetText(const QString& text);
    QString GetCellText(int col, int row) const;
    // Writes only when the text differs; true when it wrote.
    bool SetCellText(int col, int row, const QString& text);

    // ---- integer values ----
    // A check box reads 1 when ticked, else 0; other cells read their text as
    // a number (rounded). False when the cell does not exist or holds no number.
    bool GetInteger(int col, int row, int* value) const;
    // A check box is ticked by any value but 0; other cells get the number as
    // text. False when the cell does not exist.
    bool SetInteger(int col, int row, int value);

    // ---- formatting of the active cell, row, column or sheet ----
    void SetBackColor(COLORREF colour);
    COLORREF GetBackColor() const;              // of the active cell, resolved
    void SetForeColor(COLORREF colour);
    COLORREF GetForeColor() const;
    void SetCellType(EGridCellType type);
    EGridCellType GetCellType() const;
    void SetEditMaxLength(int length);          // 0: no limit
    void SetButtonCaption(const QString& caption);
    void SetCheckBoxCaption(const QString& caption);
    void SetNumberMin(double value);
    void SetNumberMax(double value);
    void SetNumberDecimals(int decimals);
    void SetHAlign(EGridHAlign align);
    void SetVAlign(EGridVAlign align);
    void SetFontName(const QString& name);
    QString GetFontName() const;
    void SetFontSize(float points);
    float GetFontSize() const;
    void SetFontBold(bool bold);
    bool GetFontBold() const;
    // Locked cells are not edited, toggled or clicked.
    void SetLock(bool locked);
    bool GetLock() const;

    // Gives every cell of the rectangle the edges named by the kGridEdge bits.
    // A first row of kAll borders whole columns: rows added later get the
    // edges too, and the call holds on a sheet without rows.
    bool SetCellBorder(int col, int row, int col2, int row2, int edges, COLORREF colour,
                       EGridLine line);
    // Empties the texts of a rectangle; the formatting stays.
    bool ClearRange(int col, int row, int col2, int row2);
    // Joins cols x rows cells anchored at (col, row) into one.
    bool JoinCells(int col, int row, int cols, int rows);
    bool SplitCells(int col, int row);
    // Copies rows first..last with texts and formatting to start at dest.
    bool CopyRowRange(int first, int last, int dest);

    // ---- shape ----
    int GetColumnCount() const;
    bool SetColumnCount(int columns);
    int GetRowCount() const;
    bool SetRowCount(int rows);
    int GetHeaderRowCount() const { return 1; }
    int GetHeaderColumnCount() const { return 1; }
    void SetColumnHeadersShown(bool shown);
    bool GetColumnHeadersShown() const;
    void SetRowHeadersShown(bool shown);
    bool GetRowHeadersShown() const;

    // ---- sizes (units above) ----
    double GetColumnWidth(int col) const;       // col 1..n or kHeader
    bool SetColumnWidth(int col, double width); // kAll: every column
    double GetRowHeight(int row) const;         // row 1..n or kHeader
    bool SetRowHeight(int row, double height);  // kAll: every row
    double ColumnWidthToTwips(double width) const { return width * kTwipsPerCharacter; }
    double RowHeightToTwips(double height) const { return height * kTwipsPerPoint; }
    int ColumnWidthToPixels(double width) const;
    int RowHeightToPixels(double height) const;

    // ---- the control ----
    // 0 none, 1 horizontal, 2 vertical, 3 both (shown always, as a fitted
    // layout counts on their room).
    void SetScrollBars(int setting);
    int GetScrollBars() const { return m_nScrollBars; }
    int GetVerticalScrollBarWidth() const;      // pixels
    int GetHorizontalScrollBarHeight() const;   // pixels
    void SetBorderStyle(int style);             // 0 none, 1 a single line
    // Off: layout changes are not painted until it is switched on again.
    void SetRedraw(bool redraw);
    void SetHeaderColors(COLORREF back, COLORREF text);
    void SetGridLineColor(COLORREF colour);
    void SetSelectionColor(COLORREF colour);
    COLORREF SelectionColor() const { return m_clrSelection; }
    void SetEmptyAreaColor(COLORREF colour);

    // ---- sheets (numbered from 1) ----
    int GetSheetCount() const;
    bool SetSheetCount(int count);
    int GetShownSheet() const;
    bool SetShownSheet(int sheet);
    int GetAddressedSheet() const { return m_nAddressed + 1; }
    bool SetAddressedSheet(int sheet);

    // Read-only walk of the addressed sheet for a workbook writer: texts,
    // styles (cell types, fonts, alignment, borders), joins, widths, heights.
    const CGridSheet& AddressedSheet() const;
    COLORREF CellBackColor(int col, int row) const;   // resolved, addressed sheet
    COLORREF CellForeColor(int col, int row) const;

    // Writes the addressed sheet as an Excel 97 workbook.
    bool SaveAsExcel(const QString& path, QString* error);

    // Printing of the saved workbook: rows firstRow..lastRow (1-based, as
    // the grid counts) repeated at the top of every printed page, 0 for
    // none; the page footer in Excel's page codes ("&C페이지 &P / &N").
    void SetPrintTitleRows(int firstRow, int lastRow);
    void SetPrintFooter(const QString& footer) { m_strPrintFooter = footer; }

    // A layout after rows were only added at the end repaints the new rows
    // alone: the rows above stand where they stood, and a download that adds
    // rows every few milliseconds must not redraw the whole view each time.
    void doItemsLayout() override;

    static bool IsTicked(const QString& text);
    bool IsPressedCell(int col, int row) const { return col == m_nPressedCol && row == m_nPressedRow; }

signals:
    // A button or check-box cell was clicked (a check box has toggled already).
    void ButtonClicked(int col, int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CGridSheet& Addressed();
    bool IsAddressedShown() const;
    void ModifyActive(const std::function<void(CGridCellStyle&)>& f);
    void ApplyShownGeometry();
    void ApplyRowHeights();
    void ApplyStyleSheet();
    bool PressCell(const QModelIndex& index);
    void ActivateCell(int col, int row);

    CSpreadSheetModel* m_pModel;
    CSpreadSheetDelegate* m_pDelegate;
    int m_nAddressed = 0;
    int m_nActiveCol = 1;
    int m_nActiveRow = 1;
    int m_nScrollBars = 3;
    int m_nBorderStyle = 1;
    int m_nPressedCol = -1;
    int m_nPressedRow = -1;
    int m_nAppendedFrom = -1;     // first row added at the end since the last layout
    bool m_bFullLayout = true;    // anything else changed since the last layout
    int m_nPrintTitleFirst = 0;   // 0: no print titles
    int m_nPrintTitleLast = 0;
    QString m_strPrintFooter;
    COLORREF m_clrHeaderBack = 0x00F0F0F0;
    COLORREF m_clrHeaderText = 0x00000000;
    COLORREF m_clrGridLine = 0x00C0C0C0;
    COLORREF m_clrSelection = 0x00FFD8B0;
    COLORREF m_clrEmptyArea = 0x00808080;
};
