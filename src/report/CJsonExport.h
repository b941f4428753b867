#pragma once
// A whole report as one JSON object (UTF-8, keys in a fixed order that
// never changes meaning): meter identity, report header, query, the
// download's result, statistics of the forces and the records. The keys
// are listed in this folder's README. Numbers are JSON numbers; a number
// that does not exist (a mean of no records, a limit never given) is null.

#include <string>

class CExportReport;

class CJsonExport {
public:
    static constexpr int kFormatVersion = 1;

    // Writes the file through a temporary beside it; false with a Korean
    // reason, and the old file untouched, on failure.
    static bool Write(const CExportReport& report, const std::string& path, std::string* error);

    // The document itself (what Write puts in the file).
    static std::string Document(const CExportReport& report);

    // text as a JSON string, quotes included; invalid UTF-8 becomes U+FFFD.
    static void AppendString(std::string& out, const std::string& text);
};
