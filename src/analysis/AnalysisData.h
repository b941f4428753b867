#pragma once
// What the analysis window and the PDF report are given: the rows in view
// (time, force, load-cell type, ticked), their unit, the report header, the
// query period and, for the continuous series, the meter's own summary.

#include "CMeasurementStats.h"
#include "MeterRecords.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Stored records are shown in tons, the continuous series in kN.
enum class EForceUnit { Tons, KiloNewton };
// "톤" or "KN".
const char* ForceUnitText(EForceUnit unit);

struct AnalysisRow {
    int64_t tWhen = 0;        // seconds since 1970, as MeasurementRecord::tWhen
    bool bTimeValid = true;   // false: the record's fields made no time; left off the time axis
    double dValue = 0.0;      // in the data set's unit
    int nLoadCellType = 0;
    bool bTicked = true;
};

struct ReportHeader {
    std::string strReportDate;
    std::string strReportName;
    std::string strCompany;
    std::string strAuthor;
    std::string strMeterName;
    std::string strSerialNumber;
    std::string strVersion;
};

struct AnalysisData {
    std::string strTitle;     // e.g. "저장 압력 확인 데이터"
    EForceUnit eUnit = EForceUnit::Tons;
    std::vector<AnalysisRow> rows;
    std::string strPeriod;    // the query period as shown, e.g. "2026-11-01 ~ 2026-12-07"
    ReportHeader header;
    std::optional<OutputSummary> meterSummary; // the continuous series only
    ToleranceLimits limits;
    // Called with the limits whenever the user sets new ones (to keep them).
    std::function<void(const ToleranceLimits&)> onLimitsChanged;
};

// Statistics of the ticked rows.
CMeasurementStats StatsOfTicked(const std::vector<AnalysisRow>& rows, const ToleranceLimits& limits);

// "yyyy-MM-dd HH:mm:ss" of a row's time, "-" when it made no time.
std::string FormatRowTime(const AnalysisRow& row);
// The value as the grids show it: "%4.1f 톤" or "%.1f KN".
std::string FormatRowValue(double value, EForceUnit unit);
