#pragma once
// The two report templates the Excel export fills: grid 1015 the stored
// records (MEMORY), grid 1018 the continuous series (OUTPUT). The holder is
// never shown; an export creates one, fills a copy of a template and lets
// the grid write itself as a workbook, so every export starts from the
// templates as they are made here.
//
// Both templates share the report header of rows 1 to 4: labels in columns
// 1 and 4, values ("-" until filled) in columns 3 and 5. Row 5 is empty, row
// 6 carries the title in column 1 and the unit in column 5. The last row of
// a template is its data row, whose look every further data row copies.
// Printed, the row of data headings repeats at the top of every page and
// each page's footer reads "페이지 n / m".

#include <QString>
#include <QWidget>

#include <functional>

class CSpreadSheet;

class CDlgExport : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 132;
    static constexpr int IDC_GRID_MEMORY = 1015;
    static constexpr int IDC_GRID_OUTPUT = 1018;

    // Rows of the templates.
    static constexpr int kMemoryDataRow = 8;
    static constexpr int kOutputSummaryRow = 8;
    static constexpr int kOutputDataRow = 10;
    static constexpr int kColumns = 5;

    // Runs at the end of Create and may refuse it (tests of a failed set-up).
    using CreateHook = std::function<bool(CDlgExport&)>;

    explicit CDlgExport(QWidget* parent = nullptr);
    ~CDlgExport() override;

    // Lays out and fills both templates. False when a grid refused a part of
    // its layout; the templates are then unusable.
    bool Create();

    static void SetCreateHook(CreateHook hook);

    static QString MemoryTitle();   // with its leading spaces
    static QString OutputTitle();

    // [0] MEMORY (1015), [1] OUTPUT (1018); children of this holder.
    CSpreadSheet* m_gridReport[2] = {nullptr, nullptr};

private:
    static bool SetUpTemplate(CSpreadSheet& grid, bool output);
};
