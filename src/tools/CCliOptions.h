#pragma once
// The command line of brevane-cli, checked whole before anything is opened:
// an unknown command or option, an option the command does not take, a date
// that is no calendar date, --from after --to or a format the command cannot
// write is refused with one line, so nothing reaches the meter, the archive
// or a file on a typo.
//
//   brevane-cli [options] list | info | clock | download memory|output
//                       | archive meters|export | report

#include "CCsvExport.h"
#include "CExportReport.h"

#include <cstdint>
#include <cstdio>
#include <string>

// The process's exit codes (documented in --help and the manual page).
enum ECliExit : int {
    CLI_OK = 0,
    CLI_CLOCK_DRIFT = 1,     // clock --max-drift: the meter's clock is further off
    CLI_BAD_ARGUMENTS = 2,
    CLI_NO_METER = 3,        // no bridge found
    CLI_LINK_FAILURE = 4,    // the meter did not answer (the link's code is in the message)
    CLI_INCOMPLETE = 5,      // a download ended before its end; what came was written
    CLI_ARCHIVE_FAILURE = 6, // the archive could not be opened or written, or lacks the meter
    CLI_FILE_FAILURE = 7,    // the output could not be written
};

enum class ECliCommand {
    None,
    List,
    Info,
    Clock,
    DownloadMemory,
    DownloadOutput,
    ArchiveMeters,
    ArchiveExport,
    Report,
    Support,    // the support .zip of the windows' log window
};

enum class ECliFormat { Auto, Table, Csv, Json, Xlsx, Xls, Pdf };

class CCliOptions {
public:
    ECliCommand m_eCommand = ECliCommand::None;
    bool m_bHelp = false;
    bool m_bVersion = false;

    // Where the meter is.
    bool m_bSimulate = false;
    std::string m_strPort;

    // What is written, and where.
    ECliFormat m_eFormat = ECliFormat::Auto;   // after Parse: never Auto
    std::string m_strOut;                      // empty: standard output
    SCsvOptions m_csv;
    bool m_bQuiet = false;

    // The archive: a chosen file, or the program's own (empty).
    std::string m_strArchive;
    bool m_bNoArchive = false;
    // archive meters|export, report: the lab's archive on its PostgreSQL
    // server instead (a connection string, URI or service name; the
    // password from ~/.pgpass or the service file).
    std::string m_strServer;

    // Date range, local midnights of the days given.
    bool m_bHasFrom = false;
    bool m_bHasTo = false;
    int64_t m_tFrom = 0;
    int64_t m_tTo = 0;
    bool m_bNew = false;          // download memory: from the newest archived day

    bool m_bSetClock = false;
    bool m_bHasMaxDrift = false;
    int64_t m_nMaxDrift = 0;      // seconds

    std::string m_strMeter;       // archive export, report: serial number (or name)
    EExportKind m_eKind = EExportKind::Memory;   // archive export, report: which records

    // false with a one-line reason in *error. today: the PC's current time,
    // against which a --from without --to is checked.
    bool Parse(int argc, const char* const* argv, int64_t today, std::string* error);

    // "YYYY-MM-DD" of a real calendar day to its local midnight.
    static bool ParseDate(const std::string& text, int64_t* midnight);

    static void PrintUsage(std::FILE* out);

    // Whether the command talks to the meter.
    bool NeedsMeter() const;
    // Whether the format is one only a file holds.
    static bool IsFileOnly(ECliFormat format);

private:
    bool Check(int64_t today, std::string* error);
};
