#include "CExportReport.h"

#include "LinkResult.h"

#include <cmath>

const char* ExportKindName(EExportKind kind)
{
    return kind == EExportKind::Output ? "OUTPUT" : "MEMORY";
}

SExportRow SExportRow::FromRecord(EExportKind kind, const MeasurementRecord& record)
{
    SExportRow row;
    row.m_eKind = kind;
    row.m_tWhen = record.tWhen;
    row.m_bTimeValid = record.bTimeValid;
    row.m_when = record.when;
    row.m_nRawForce = record.nRawForce;
    row.m_nLoadCellType = record.nLoadCellType;
    return row;
}

int64_t SExportRow::ForceTenths() const
{
    if (m_eKind == EExportKind::Output)
        return m_nRawForce;
    return std::llround(ForceTons(m_nRawForce) * 10);
}

const char* SExportRow::Unit() const
{
    return m_eKind == EExportKind::Output ? "kN" : "t";
}

std::string SExportRow::ForceText() const
{
    return m_eKind == EExportKind::Output ? FormatForceKn(m_nRawForce) : FormatForceTons(m_nRawForce);
}

std::string SExportRow::TimeText() const
{
    if (m_bTimeValid) {
        std::string text = FormatLocalTime(m_tWhen);
        if (!text.empty())
            return text;
    }
    return FormatRecordTime(m_when);
}

const char* CExportReport::Title() const
{
    return Kind() == EExportKind::Output ? "연속 측정 모드 데이터" : "저장 압력 확인 데이터";
}

std::string CExportReport::ResultText() const
{
    return m_result.m_nCode == 0 ? std::string() : LinkResultText(m_result.m_nCode);
}
