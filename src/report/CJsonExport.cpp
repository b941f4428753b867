#include "CJsonExport.h"

#include "CExportFile.h"
#include "CExportReport.h"
#include "CExportText.h"
#include "CMeasurementStats.h"

#include <charconv>
#include <cstdio>

namespace {

// Writes members of nested objects with commas and indentation, so every
// writer below reads as the list of its keys.
class CJsonOut {
public:
    explicit CJsonOut(std::string& out) : m_out(out) {}

    void Open(const char* key, char bracket)
    {
        Key(key);
        m_out += bracket;
        m_bFirst = true;
        ++m_nDepth;
    }
    void Close(char bracket)
    {
        --m_nDepth;
        if (!m_bFirst)
            NewLine();
        m_out += bracket;
        m_bFirst = false;
    }
    void String(const char* key, const std::string& text)
    {
        Key(key);
        CJsonExport::AppendString(m_out, text);
    }
    void Int(const char* key, long long value)
    {
        Key(key);
        char digits[24];
        const auto r = std::to_chars(digits, digits + sizeof digits, value);
        m_out.append(digits, r.ptr);
    }
    void Bool(const char* key, bool value)
    {
        Key(key);
        m_out += value ? "true" : "false";
    }
    void Null(const char* key)
    {
        Key(key);
        m_out += "null";
    }
    void Number(const char* key, double value)
    {
        const std::string text = CExportText::Number(value);
        Key(key);
        m_out += text.empty() ? "null" : text;
    }
    void Tenths(const char* key, int64_t tenths)
    {
        Key(key);
        CExportText::AppendTenths(m_out, tenths);
    }
    // A local time with its offset, or null.
    void Time(const char* key, int64_t time)
    {
        const std::string iso = CExportText::IsoLocalTime(time);
        if (iso.empty())
            Null(key);
        else
            String(key, iso);
    }

private:
    // key may be null inside an array.
    void Key(const char* key)
    {
        if (!m_bFirst)
            m_out += ',';
        if (m_nDepth > 0)
            NewLine();
        m_bFirst = false;
        if (key) {
            CJsonExport::AppendString(m_out, key);
            m_out += ": ";
        }
    }
    void NewLine()
    {
        m_out += '\n';
        m_out.append(size_t(m_nDepth) * 2, ' ');
    }

    std::string& m_out;
    bool m_bFirst = true;
    int m_nDepth = 0;
};

void WriteRecord(CJsonOut& j, long long number, const SExportRow& row)
{
    j.Open(nullptr, '{');
    j.Int("no", number);
    j.String("kind", ExportKindName(row.m_eKind));
    if (row.m_bTimeValid)
        j.Time("time", row.m_tWhen);
    else
        j.Null("time");
    j.Bool("time_valid", row.m_bTimeValid);
    j.String("time_text", row.TimeText());
    j.Open("time_fields", '{');
    j.Int("year", row.m_when.nYear);
    j.Int("month", row.m_when.nMonth);
    j.Int("day", row.m_when.nDay);
    j.Int("hour", row.m_when.nHour);
    j.Int("minute", row.m_when.nMinute);
    j.Int("second", row.m_when.nSecond);
    j.Close('}');
    j.Tenths("force", row.ForceTenths());
    j.String("unit", row.Unit());
    j.String("force_text", row.ForceText());
    j.Int("raw_force", row.m_nRawForce);
    j.Int("load_cell_type", row.m_nLoadCellType);
    j.String("load_cell", row.ModelName());
    j.Close('}');
}

const char* MissingName(EStatMissing why)
{
    switch (why) {
    case EStatMissing::None: return "";
    case EStatMissing::NoRows: return "no_rows";
    case EStatMissing::OneRow: return "one_row";
    case EStatMissing::ZeroDeviation: return "zero_deviation";
    case EStatMissing::NoLimits: return "no_limits";
    case EStatMissing::NeedBothLimits: return "need_both_limits";
    }
    return "unknown";
}

void WriteGroup(CJsonOut& j, const GroupStats& g)
{
    const bool total = g.nLoadCellType == GroupStats::TOTAL;
    j.Open(total ? "total" : nullptr, '{');
    if (total) {
        j.Null("load_cell_type");
        j.Null("load_cell");
    } else {
        j.Int("load_cell_type", g.nLoadCellType);
        j.String("load_cell", LoadCellModelName(g.nLoadCellType));
    }
    j.Int("count", g.nCount);
    const std::pair<const char*, const StatValue*> values[] = {
        {"mean", &g.mean},         {"minimum", &g.minimum},         {"maximum", &g.maximum},
        {"range", &g.range},       {"deviation", &g.deviation},     {"inside_share", &g.insideShare},
        {"cp", &g.cp},             {"cpk", &g.cpk},
    };
    for (const auto& [key, value] : values) {
        if (value->Exists())
            j.Number(key, value->dValue);
        else
            j.Null(key);
    }
    j.Int("inside", g.nInside);
    j.Int("below", g.nBelow);
    j.Int("above", g.nAbove);
    // Why each null above is null.
    j.Open("missing", '{');
    for (const auto& [key, value] : values)
        if (!value->Exists())
            j.String(key, MissingName(value->eMissing));
    j.Close('}');
    j.Close('}');
}

void WriteStatistics(CJsonOut& j, const CExportReport& report)
{
    CMeasurementStats stats(report.m_limits);
    for (const SExportRow& row : report.m_vRows)
        stats.Add(row.Force(), row.m_nLoadCellType);
    j.Open("statistics", '{');
    j.String("unit", report.Kind() == EExportKind::Output ? "kN" : "t");
    j.Open("limits", '{');
    const ToleranceLimits& used = stats.Limits();
    if (used.lower)
        j.Number("lower", *used.lower);
    else
        j.Null("lower");
    if (used.upper)
        j.Number("upper", *used.upper);
    else
        j.Null("upper");
    j.String("error", stats.LimitsError());
    j.Close('}');
    j.Int("skipped", stats.Skipped());
    WriteGroup(j, stats.Total());
    j.Open("by_load_cell", '[');
    for (const int type : stats.Types())
        WriteGroup(j, stats.ForType(type));
    j.Close(']');
    j.Close('}');
}

}   // namespace

void CJsonExport::AppendString(std::string& out, const std::string& text)
{
    const std::string valid = CExportText::ValidUtf8(text);
    out += '"';
    for (const char c : valid) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string CJsonExport::Document(const CExportReport& report)
{
    std::string out;
    CJsonOut j(out);
    const bool output = report.Kind() == EExportKind::Output;
    j.Open(nullptr, '{');
    j.String("format", "brevane-report");
    j.Int("format_version", kFormatVersion);
    j.String("kind", ExportKindName(report.Kind()));
    j.String("title", report.Title());

    const SExportHeader& h = report.m_header;
    j.Open("meter", '{');
    j.String("name", h.m_strMeterName);
    j.String("serial_number", h.m_strSerialNumber);
    j.String("version", h.m_strVersion);
    j.Close('}');
    j.Open("header", '{');
    j.String("report_date", h.m_strReportDate);
    j.String("report_name", h.m_strReportName);
    j.String("company", h.m_strCompany);
    j.String("author", h.m_strAuthor);
    j.Close('}');

    const SExportQuery& q = report.m_query;
    j.Open("query", '{');
    j.String("kind", ExportKindName(q.m_eKind));
    if (output) {
        j.Null("from");
        j.Null("to");
    } else {
        j.Time("from", q.m_tFrom);
        j.Time("to", q.m_tTo);
    }
    if (output && q.m_bHasSummary) {
        // The meter's own summary, in 0.01 kN on the wire.
        j.Open("summary", '{');
        j.Int("count", q.m_summary.nCount);
        j.Number("average", q.m_summary.nAverage / 100.0);
        j.Number("minimum", q.m_summary.nMinimum / 100.0);
        j.Number("maximum", q.m_summary.nMaximum / 100.0);
        j.Number("deviation", q.m_summary.nDeviation / 100.0);
        j.String("unit", "kN");
        j.Open("raw", '{');
        j.Int("average", q.m_summary.nAverage);
        j.Int("minimum", q.m_summary.nMinimum);
        j.Int("maximum", q.m_summary.nMaximum);
        j.Int("deviation", q.m_summary.nDeviation);
        j.Close('}');
        j.Close('}');
    } else {
        j.Null("summary");
    }
    j.Close('}');

    const SExportResult& r = report.m_result;
    j.Open("result", '{');
    j.Int("code", r.m_nCode);
    j.Bool("ok", r.m_nCode >= 0);
    j.Bool("complete", r.m_bComplete);
    j.Int("count", r.m_nCount);
    j.String("message", report.ResultText());
    j.Close('}');

    WriteStatistics(j, report);

    j.Open("records", '[');
    long long number = 0;
    for (const SExportRow& row : report.m_vRows)
        WriteRecord(j, ++number, row);
    j.Close(']');
    j.Close('}');
    out += '\n';
    return out;
}

bool CJsonExport::Write(const CExportReport& report, const std::string& path, std::string* error)
{
    CExportFile file(path);
    if (!file.Open(error))
        return false;
    file.Write(Document(report));
    return file.Commit(error);
}
