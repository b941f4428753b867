#include "CConsoleOwner.h"

#include "MeterRecords.h"
#include "MeterTime.h"

void CConsoleOwner::PrintRecord(int number, const uint8_t* record)
{
    const MeasurementRecord r = DecodeMeasurementRecord(record);
    const char* model = LoadCellModelName(r.nLoadCellType);
    std::fprintf(m_pOut, "%5d  %s  %10s  %s  %s\n", number, FormatRecordTime(r.when).c_str(),
                 FormatForceKn(r.nRawForce).c_str(), FormatForceTons(r.nRawForce).c_str(),
                 (model && *model) ? model : "-");
}

void CConsoleOwner::AddMemoryRecord(int index, const uint8_t* record)
{
    ++m_nRecords;
    PrintRecord(index + 1, record);
}

void CConsoleOwner::SetOutputSummary(const uint8_t* summary)
{
    const OutputSummary s = DecodeOutputSummary(summary);
    std::fprintf(m_pOut, "count %d  average %s  minimum %s  maximum %s  deviation %s\n", s.nCount,
                 FormatSummaryForce(s.nAverage).c_str(), FormatSummaryForce(s.nMinimum).c_str(),
                 FormatSummaryForce(s.nMaximum).c_str(), FormatSummaryForce(s.nDeviation).c_str());
}

void CConsoleOwner::AddOutputRecord(int index, const uint8_t* record)
{
    ++m_nRecords;
    PrintRecord(index + 1, record);
}
