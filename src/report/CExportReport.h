#pragma once
// What an export holds, in plain C++, filled the same way by the main
// window, the archive window and the command-line tool, and written by the
// CSV, .xlsx and JSON writers: the report header, the query, the
// download's result and the measurements.
//
// A row keeps what the meter sent (the time fields, the raw force in
// 0.1 kN, the load-cell type) and gives the texts the windows show for it,
// so every file says the same as the screen. Times are seconds since 1970;
// the meter keeps local time of the PC's zone.

#include "MeterRecords.h"
#include "StatsTypes.h"

#include <cstdint>
#include <string>
#include <vector>

enum class EExportKind {
    Memory,   // records stored in the meter, force in tons
    Output,   // the continuous series, force in kN
};
// "MEMORY" / "OUTPUT"
const char* ExportKindName(EExportKind kind);

// The header of a report, as the header grid shows it (texts as typed).
struct SExportHeader {
    std::string m_strReportDate;
    std::string m_strReportName;
    std::string m_strCompany;
    std::string m_strAuthor;
    std::string m_strMeterName;
    std::string m_strSerialNumber;
    std::string m_strVersion;
};

// What was asked of the meter: stored records of a date range (MEMORY), or
// the continuous series with the meter's own summary of it (OUTPUT).
struct SExportQuery {
    EExportKind m_eKind = EExportKind::Memory;
    int64_t m_tFrom = 0;   // MEMORY: the start day at 00:00:00
    int64_t m_tTo = 0;     // MEMORY: the end day at 23:59:59
    bool m_bHasSummary = false;   // OUTPUT: whether the summary arrived
    OutputSummary m_summary;      // OUTPUT: values in 0.01 kN
};

// How the download ended: the link's result code (0 success, negative a
// failure), whether every record the meter announced arrived, and how many
// records were handed over.
struct SExportResult {
    int32_t m_nCode = 0;
    bool m_bComplete = true;
    int m_nCount = 0;
};

struct SExportRow {
    EExportKind m_eKind = EExportKind::Memory;
    int64_t m_tWhen = 0;          // when m_bTimeValid
    bool m_bTimeValid = false;    // false: the fields make no time
    MeterDateTime m_when;         // the fields as the meter sent them
    uint16_t m_nRawForce = 0;     // 0.1 kN
    int m_nLoadCellType = 0;      // 0 VR70, 1 VR150, 2 VR300, others unknown

    static SExportRow FromRecord(EExportKind kind, const MeasurementRecord& record);

    // The force in the row's unit, in tenths: tons cut down to one decimal
    // for stored records, kN for the series.
    int64_t ForceTenths() const;
    double Force() const { return double(ForceTenths()) / 10.0; }
    // "t" or "kN"
    const char* Unit() const;
    // As the windows show them: " 1.0 톤" / "123.4 KN"; the local time or
    // "시간 오류 (…)" with the raw fields; the model name ("" if unknown).
    std::string ForceText() const;
    std::string TimeText() const;
    const char* ModelName() const { return LoadCellModelName(m_nLoadCellType); }
};

class CExportReport {
public:
    SExportHeader m_header;
    SExportQuery m_query;
    SExportResult m_result;
    std::vector<SExportRow> m_vRows;
    // Measured against in the statistics; refused limits (NaN, lower above
    // upper) count as none and the JSON says why.
    ToleranceLimits m_limits;

    // The kind of the rows: the query's.
    EExportKind Kind() const { return m_query.m_eKind; }
    void AddRecord(const MeasurementRecord& record)
    {
        m_vRows.push_back(SExportRow::FromRecord(m_query.m_eKind, record));
    }

    // The report's title as the report templates show it (no padding):
    // "저장 압력 확인 데이터" or "연속 측정 모드 데이터".
    const char* Title() const;
    // The link's message for the result code, "" for success or a code
    // without a message.
    std::string ResultText() const;
};
