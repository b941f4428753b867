#include "CCsvExport.h"

#include "CExportFile.h"
#include "CExportReport.h"
#include "CExportText.h"

#include <charconv>
#include <iterator>

namespace {

const char* const kHeadings[] = {"NO.",   "구분", "측정 시간",   "측정 압력 값",
                                 "단위", "원시 값", "로드셀 종류", "로드셀 번호"};

void AppendInt(std::string& line, long long value)
{
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, r.ptr);
}

}   // namespace

void CCsvExport::AppendField(std::string& line, std::string_view field, char separator)
{
    const char specials[] = {separator, '"', '\r', '\n'};
    if (field.find_first_of(std::string_view(specials, sizeof specials)) == std::string_view::npos) {
        line.append(field);
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

bool CCsvExport::Write(const CExportReport& report, const std::string& path, const SCsvOptions& options,
                       std::string* error)
{
    const bool comma = options.m_eLocale == ECsvLocale::Comma;
    const char separator = comma ? ';' : ',';
    const char decimalPoint = comma ? ',' : '.';

    CExportFile file(path);
    if (!file.Open(error))
        return false;

    std::string line;
    if (options.m_bByteOrderMark)
        line = "\xEF\xBB\xBF";
    for (size_t i = 0; i < std::size(kHeadings); ++i) {
        if (i > 0)
            line += separator;
        AppendField(line, kHeadings[i], separator);
    }
    line += "\r\n";
    file.Write(line);

    long long number = 0;
    for (const SExportRow& row : report.m_vRows) {
        line.clear();
        AppendInt(line, ++number);
        line += separator;
        line += ExportKindName(row.m_eKind);
        line += separator;
        const std::string iso = row.m_bTimeValid ? CExportText::IsoLocalTime(row.m_tWhen) : std::string();
        AppendField(line, iso.empty() ? row.TimeText() : iso, separator);
        line += separator;
        CExportText::AppendTenths(line, row.ForceTenths(), decimalPoint);
        line += separator;
        line += row.Unit();
        line += separator;
        AppendInt(line, row.m_nRawForce);
        line += separator;
        AppendField(line, row.ModelName(), separator);
        line += separator;
        AppendInt(line, row.m_nLoadCellType);
        line += "\r\n";
        if (!file.Write(line))
            break;   // Commit reports the write error
    }
    return file.Commit(error);
}
