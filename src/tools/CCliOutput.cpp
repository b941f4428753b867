#include "CCliOutput.h"

#include "AnalysisData.h"
#include "CCsvExport.h"
#include "CExportFile.h"
#include "CExportReport.h"
#include "CJsonExport.h"
#include "CPdfMeasurementReport.h"
#include "CReportBook.h"
#include "CXlsxExport.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemReason()
{
    return std::strerror(errno);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Decodes one UTF-8 sequence at text[i]; an invalid byte counts as one
// character of its own.
uint32_t NextCodePoint(const std::string& text, size_t* i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(*i);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (*i + size_t(length) > text.size())
        length = 1;
    uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k)
        cp = (cp << 6) | (byte(*i + size_t(k)) & 0x3F);
    *i += size_t(length);
    return cp;
}

bool IsWide(uint32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6);
}

void AppendPadded(std::string& out, const std::string& text, size_t width)
{
    out += text;
    const size_t shown = CCliOutput::DisplayWidth(text);
    if (shown < width)
        out.append(width - shown, ' ');
}

std::string DayText(int64_t time)
{
    const std::string text = FormatLocalTime(time);
    return text.size() >= 10 ? text.substr(0, 10) : text;
}

} // namespace

CCliOutput::CCliOutput(const CCliOptions& options)
    : m_options(options)
{
}

bool CCliOutput::CheckWritable(const std::string& path, std::string* error)
{
    std::string target = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *error = "'" + path + "' is a folder";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = "'" + path + "' is not a plain file";
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) {
            *error = "cannot write '" + path + "': " + SystemReason();
            return false;
        }
        // A link is replaced where it points, so that folder is the one written.
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    } else if (errno != ENOENT) {
        *error = "cannot write '" + path + "': " + SystemReason();
        return false;
    }
    const std::string folder = FolderOf(target);
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = "cannot write '" + path + "': no folder '" + folder + "'";
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = "cannot write '" + path + "': folder '" + folder + "': " + SystemReason();
        return false;
    }
    return true;
}

size_t CCliOutput::DisplayWidth(const std::string& text)
{
    size_t width = 0;
    for (size_t i = 0; i < text.size();)
        width += IsWide(NextCodePoint(text, &i)) ? 2 : 1;
    return width;
}

std::string CCliOutput::TableText(const CliTable& table)
{
    std::string out;
    if (table.bOneRecord) {
        size_t nameWidth = 0;
        for (const std::string& name : table.columns)
            nameWidth = std::max(nameWidth, DisplayWidth(name));
        const std::vector<std::string> none;
        const std::vector<std::string>& row = table.rows.empty() ? none : table.rows.front();
        for (size_t c = 0; c < table.columns.size(); ++c) {
            AppendPadded(out, table.columns[c] + ":", nameWidth + 3);
            out += c < row.size() ? row[c] : std::string();
            out += '\n';
        }
        return out;
    }
    std::vector<size_t> widths(table.columns.size(), 0);
    for (size_t c = 0; c < table.columns.size(); ++c)
        widths[c] = DisplayWidth(table.columns[c]);
    for (const auto& row : table.rows)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    const auto appendLine = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string cell = c < cells.size() ? cells[c] : std::string();
            if (c + 1 < widths.size())
                AppendPadded(line, cell, widths[c] + 2);
            else
                line += cell;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line;
        out += '\n';
    };
    appendLine(table.columns);
    for (const auto& row : table.rows)
        appendLine(row);
    return out;
}

std::string CCliOutput::CsvText(const CliTable& table, const SCsvOptions& options)
{
    const bool comma = options.m_eLocale == ECsvLocale::Comma;
    const char separator = comma ? ';' : ',';
    std::string out = options.m_bByteOrderMark ? "\xEF\xBB\xBF" : "";
    const auto appendLine = [&](const std::vector<std::string>& cells, bool heading) {
        for (size_t c = 0; c < table.columns.size(); ++c) {
            if (c > 0)
                out += separator;
            std::string cell = c < cells.size() ? cells[c] : std::string();
            if (!heading && comma && c < table.numeric.size() && table.numeric[c])
                std::replace(cell.begin(), cell.end(), '.', ',');
            CCsvExport::AppendField(out, cell, separator);
        }
        out += "\r\n";
    };
    appendLine(table.columns, true);
    for (const auto& row : table.rows)
        appendLine(row, false);
    return out;
}

std::string CCliOutput::JsonText(const CliTable& table)
{
    const auto appendObject = [&](std::string& out, const std::vector<std::string>& row) {
        out += '{';
        for (size_t c = 0; c < table.columns.size(); ++c) {
            if (c > 0)
                out += ", ";
            CJsonExport::AppendString(out, table.columns[c]);
            out += ": ";
            const std::string cell = c < row.size() ? row[c] : std::string();
            // A number shown with its sign ("+3" s of drift) has none in JSON.
            if (c < table.numeric.size() && table.numeric[c])
                out += cell.empty() ? "null" : cell[0] == '+' ? cell.substr(1) : cell;
            else
                CJsonExport::AppendString(out, cell);
        }
        out += '}';
    };
    std::string out;
    if (table.bOneRecord) {
        appendObject(out, table.rows.empty() ? std::vector<std::string>() : table.rows.front());
    } else {
        out += '[';
        for (size_t r = 0; r < table.rows.size(); ++r) {
            out += r == 0 ? "\n  " : ",\n  ";
            appendObject(out, table.rows[r]);
        }
        out += table.rows.empty() ? "]" : "\n]";
    }
    out += '\n';
    return out;
}

CliTable CCliOutput::MeasurementTable(const CExportReport& report)
{
    CliTable table;
    table.columns = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류"};
    table.numeric = {true, false, false, false};
    int number = 0;
    for (const SExportRow& row : report.m_vRows)
        table.rows.push_back({std::to_string(++number), row.TimeText(), row.ForceText(), row.ModelName()});
    return table;
}

bool CCliOutput::Emit(const std::string& text, std::string* error) const
{
    if (m_options.m_strOut.empty()) {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
            *error = "cannot write standard output: " + SystemReason();
            return false;
        }
        return true;
    }
    CExportFile file(m_options.m_strOut);
    if (!file.Open(error))
        return false;
    file.Write(text);
    return file.Commit(error);
}

bool CCliOutput::WriteTable(const CliTable& table, std::string* error) const
{
    switch (m_options.m_eFormat) {
    case ECliFormat::Csv:
        return Emit(CsvText(table, m_options.m_csv), error);
    case ECliFormat::Json:
        return Emit(JsonText(table), error);
    default:
        return Emit(TableText(table), error);
    }
}

bool CCliOutput::WriteMeasurements(const CExportReport& report, std::string* error) const
{
    const std::string& out = m_options.m_strOut;
    switch (m_options.m_eFormat) {
    case ECliFormat::Csv: {
        if (!out.empty())
            return CCsvExport::Write(report, out, m_options.m_csv, error);
        // The writer writes files only: a private folder holds the text on
        // its way to standard output.
        std::string folder = (std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR")
                                                                               : "/tmp");
        folder += "/brevane-cli.XXXXXX";
        if (!::mkdtemp(&folder[0])) {
            *error = "cannot make a temporary folder: " + SystemReason();
            return false;
        }
        const std::string path = folder + "/rows.csv";
        bool ok = CCsvExport::Write(report, path, m_options.m_csv, error);
        std::string text;
        if (ok) {
            std::ifstream in(path, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                *error = "cannot read back the temporary file " + path;
                ok = false;
            }
        }
        ::unlink(path.c_str());
        ::rmdir(folder.c_str());
        return ok && Emit(text, error);
    }
    case ECliFormat::Json:
        return out.empty() ? Emit(CJsonExport::Document(report), error) : CJsonExport::Write(report, out, error);
    case ECliFormat::Xlsx:
        return CXlsxExport::Write(report, out, error);
    case ECliFormat::Xls:
        return CReportBook::Save(report, out, error);
    default: {
        std::string text;
        if (report.Kind() == EExportKind::Output && report.m_query.m_bHasSummary) {
            const OutputSummary& s = report.m_query.m_summary;
            text = "측정횟수 " + std::to_string(s.nCount) + ", 압력 평균 값 " + FormatSummaryForce(s.nAverage) +
                   ", 최소 값 " + FormatSummaryForce(s.nMinimum) + ", 최대 값 " +
                   FormatSummaryForce(s.nMaximum) + ", 압력 편차 " + FormatSummaryForce(s.nDeviation) + "\n";
        }
        return Emit(text + TableText(MeasurementTable(report)), error);
    }
    }
}

bool CCliOutput::WritePdf(const CExportReport& report, std::string* error) const
{
    AnalysisData data;
    data.strTitle = report.Title();
    data.eUnit = report.Kind() == EExportKind::Memory ? EForceUnit::Tons : EForceUnit::KiloNewton;
    for (const SExportRow& row : report.m_vRows) {
        AnalysisRow r;
        r.tWhen = row.m_tWhen;
        r.bTimeValid = row.m_bTimeValid;
        r.dValue = row.Force();
        r.nLoadCellType = row.m_nLoadCellType;
        r.bTicked = true;
        data.rows.push_back(r);
    }
    const SExportQuery& q = report.m_query;
    data.strPeriod = q.m_tFrom > 0 && q.m_tTo > 0 ? DayText(q.m_tFrom) + " ~ " + DayText(q.m_tTo) : "-";
    const SExportHeader& h = report.m_header;
    data.header = {h.m_strReportDate, h.m_strReportName, h.m_strCompany, h.m_strAuthor,
                   h.m_strMeterName,  h.m_strSerialNumber, h.m_strVersion};
    if (q.m_eKind == EExportKind::Output && q.m_bHasSummary)
        data.meterSummary = q.m_summary;
    QString why;
    if (CPdfMeasurementReport(data).Write(QString::fromStdString(m_options.m_strOut), &why))
        return true;
    *error = why.toStdString();
    return false;
}
