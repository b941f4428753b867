#pragma once
// brevane-cli's commands over the session, the archive and the writers.
// Results go to standard output or the --out file; notes (the download's
// count, what the archive kept) and errors to standard error, each error in
// one line. Run returns the process's exit code (ECliExit).

#include "CCliOptions.h"
#include "CExportReport.h"
#include "CSystemClock.h"

#include <string>

struct CliTable;
struct SessionResult;

class CCliCommands {
public:
    explicit CCliCommands(const CCliOptions& options);

    int Run();

    // The meter's clock reply against the PC's time of its arrival: the
    // meter's time as text, and its drift in seconds (false when the meter's
    // clock was never set or its fields make no time).
    static bool ClockDrift(const uint8_t* reply, int64_t pcTime, std::string* meterTime, int64_t* drift);

private:
    int List();
    int Info();
    int Clock();
    int Download();
    int ArchiveMeters();
    int ArchiveExport();   // also the report: .xls or .pdf
    int Support();
    // Keeps info's clock reading in the archive; a failure is a note only.
    void KeepClockReading(const SessionResult& info, int64_t pcTime, bool known, int64_t drift);

    // The report header of the settings file the windows keep (report
    // name, company, author) with now as the report date.
    SExportHeader HeaderTexts();
    int WriteTable(const CliTable& table);
    int WriteMeasurements(const CExportReport& report);
    void Note(const std::string& text) const;
    int Fail(int code, const std::string& message) const;

    const CCliOptions& m_options;
    CSystemClock m_clock;
    std::string m_strDataDir;
    std::string m_strIniPath;
    std::string m_strLogDir;
    std::string m_strDumpDir;
    int m_nMaxClockDrift = 60;   // the settings' CLOCK / MAX_DRIFT
};
