#pragma once
// The measurements of a report as CSV (RFC 4180): one heading line, then one
// line per row, CRLF line ends, UTF-8. Fields holding the separator, a
// quote or a line break are quoted, quotes doubled.
//
// Columns: NO., 구분 (MEMORY/OUTPUT), 측정 시간 (ISO 8601 with the UTC
// offset; for a record whose fields make no time, "시간 오류 (…)" with the
// fields as sent), 측정 압력 값 (tons or kN, a number), 단위 (t or kN),
// 원시 값 (the raw force in 0.1 kN), 로드셀 종류 (model name), 로드셀 번호
// (the type number as sent).

#include <string>
#include <string_view>

class CExportReport;

enum class ECsvLocale {
    Point,   // ',' between fields, '.' in numbers
    Comma,   // ';' between fields, ',' in numbers (German, French… spreadsheets)
};

struct SCsvOptions {
    ECsvLocale m_eLocale = ECsvLocale::Point;
    bool m_bByteOrderMark = false;   // for spreadsheet programs that need it to see UTF-8
};

class CCsvExport {
public:
    // Writes the file through a temporary beside it; false with a Korean
    // reason, and the old file untouched, on failure.
    static bool Write(const CExportReport& report, const std::string& path, const SCsvOptions& options,
                      std::string* error);

    // The field as it goes into a line with this separator.
    static void AppendField(std::string& line, std::string_view field, char separator);
};
