#pragma once
// Where brevane-cli's results go: standard output, or the --out file, which
// is written beside its place under a temporary name and put there only
// when whole (an earlier file of that name survives a failure).
//
// Measurements are written by the export writers the windows use (CSV,
// .xlsx, JSON, the windows' .xls report, the PDF report); the small lists of
// the other commands (meters, identity, clock) as an aligned table, CSV or
// JSON.

#include "CCliOptions.h"

#include <string>
#include <vector>

class CExportReport;

// A small list: column names (also the JSON keys) and rows of texts.
struct CliTable {
    std::vector<std::string> columns;
    std::vector<bool> numeric;    // per column: a JSON number (an empty text is null)
    std::vector<std::vector<std::string>> rows;
    bool bOneRecord = false;      // one row shown as "name  value" lines, a JSON object
};

class CCliOutput {
public:
    explicit CCliOutput(const CCliOptions& options);

    // Whether a file may be written at path without writing anything: its
    // folder exists and may be written, and the name is not a folder or a
    // device. False with a one-line reason.
    static bool CheckWritable(const std::string& path, std::string* error);

    bool WriteTable(const CliTable& table, std::string* error) const;
    // The measurements of a report in the chosen format (not PDF).
    bool WriteMeasurements(const CExportReport& report, std::string* error) const;
    // The PDF report; needs a QGuiApplication.
    bool WritePdf(const CExportReport& report, std::string* error) const;

    // The texts of the table formats, for the tests.
    static std::string TableText(const CliTable& table);
    static std::string CsvText(const CliTable& table, const SCsvOptions& options);
    static std::string JsonText(const CliTable& table);
    static CliTable MeasurementTable(const CExportReport& report);

    // Terminal columns a UTF-8 text takes (Hangul and other wide characters two).
    static size_t DisplayWidth(const std::string& text);

private:
    // The text to standard output or to the --out file.
    bool Emit(const std::string& text, std::string* error) const;

    const CCliOptions& m_options;
};
