#pragma once
// The measurements a window shows, as the open formats, the analysis window
// and the PDF report take them. The main window (its MEMORY list or OUTPUT
// series) and the archive window (the ticked archived records) fill one
// SMeasurementSet and call the same functions, so "CSV 저장", "XLSX 저장",
// "PDF 저장" and "분석" say the same in both.
//
// Tolerance limits are kept per meter and unit in the archive; Attach
// loads them into an analysis and saves the ones the user sets there.

#include "AnalysisData.h"
#include "CExportReport.h"
#include "IDownloadSink.h"

#include <QString>

#include <optional>
#include <vector>

class CSqliteArchive;
class QWidget;

struct SMeasurementSet {
    EExportKind eKind = EExportKind::Memory;
    std::vector<MeasurementRecord> records;   // in the window's order
    std::vector<bool> ticked;                 // one per record; OUTPUT rows count as ticked
    SExportHeader header;
    int64_t tFrom = 0;                        // MEMORY: the query's first and last day
    int64_t tTo = 0;
    std::optional<OutputSummary> summary;     // OUTPUT: the meter's own summary
    SExportResult result;
    std::string strPeriod;                    // as shown in the PDF, e.g. "2026-11-01 ~ 2026-12-07"

    int TickedCount() const;
};

class CMeasurementExport {
public:
    enum class EFormat { Csv, Xlsx, Pdf };

    // The ticked rows under the set's header and query.
    static CExportReport MakeReport(const SMeasurementSet& set, const ToleranceLimits& limits);
    // Every row, ticked as in the set, or all ticked when none is.
    static AnalysisData MakeAnalysis(const SMeasurementSet& set);
    // "선택 N건 · 평균 … · 최소 … · 최대 … · 편차 … (톤)" of the ticked rows.
    static QString StatsLine(const SMeasurementSet& set);

    // The limits kept for the meter in the unit of the analysis, and a
    // callback that keeps the ones the user sets (a warning in parent when
    // the archive cannot take them). No archive: nothing is kept.
    static ToleranceLimits KeptLimits(CSqliteArchive* archive, const DownloadMeter& meter, EForceUnit unit);
    static void AttachLimits(AnalysisData& data, CSqliteArchive* archive, const DownloadMeter& meter,
                             QWidget* parent);

    // Asks for a file (suggestedPath: folder and name without extension,
    // may be empty), writes the ticked rows through a temporary file that
    // replaces the target only when whole, and names the file in a notice.
    // A report without rows is written only after a Yes. The path written,
    // empty when nothing was.
    static QString Save(QWidget* parent, EFormat format, const SMeasurementSet& set,
                        const ToleranceLimits& limits, const QString& suggestedPath);
    // Writes without asking; false with the reason in *error.
    static bool Write(EFormat format, const SMeasurementSet& set, const ToleranceLimits& limits,
                      const QString& path, QString* error);
    static QString Extension(EFormat format);   // ".csv", ".xlsx", ".pdf"
};
