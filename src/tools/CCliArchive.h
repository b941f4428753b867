#pragma once
// The measurement archive as brevane-cli uses it: the file the options
// name or the program's own, opened for a download (made when missing,
// refused when it cannot take records) or for reading (it must exist: a
// read never makes an empty archive), its meters as a list, and one
// meter's records as a report. With --server the same reads come from the
// lab's archive on its PostgreSQL server, whose meters also name the
// stations that downloaded them.

#include "ArchiveTypes.h"
#include "CCliOptions.h"
#include "CServerArchive.h"
#include "CSqliteArchive.h"

#include <string>

class CExportReport;
struct CliTable;

class CCliArchive {
public:
    // --archive FILE, or archive.sqlite in the program's data folder.
    static std::string PathFor(const CCliOptions& options, const std::string& dataDir);

    // CLI_OK or CLI_ARCHIVE_FAILURE with the reason. A damaged file is
    // left as it is when only reading, set aside for a download (*note
    // says where it went).
    int OpenForReading(const std::string& path, std::string* error);
    int OpenForDownload(const std::string& path, std::string* note, std::string* error);
    // The lab's server of this setting, for reading; the server's own
    // reason (unreachable, wrong password, newer schema ...) when it fails.
    int OpenServer(const std::string& setting, std::string* error);
    // The server when --server names one, else the file PathFor gives.
    int OpenForReading(const CCliOptions& options, const std::string& dataDir, std::string* error);

    CSqliteArchive& Archive() { return m_archive; }

    CliTable MetersTable();

    // The meter archived under this serial number, or under this name when
    // its serial was never set.
    int FindMeter(const std::string& serialOrName, ArchiveMeter* meter, std::string* error);

    // The meter's records of the kind and the date range the options give
    // (every day when none), in stored-time order, as the report's rows;
    // the query's range is the one asked for, else the days of the rows.
    void FillReport(const ArchiveMeter& meter, const CCliOptions& options, CExportReport* report);

private:
    std::vector<ArchiveMeter> Meters();

    CSqliteArchive m_archive;
    CServerArchive m_server;
    bool m_bServer = false;
    std::string m_strWhere;   // what a message names: the file, or the lab's server
};
