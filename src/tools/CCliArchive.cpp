#include "CCliArchive.h"

#include "CCliOutput.h"
#include "CExportReport.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <sys/stat.h>

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string TimeOrEmpty(int64_t time)
{
    return time > 0 ? FormatLocalTime(time) : std::string();
}

// The stored-time number (YYYYMMDDhhmmss) of a local day's first or last second.
int64_t StoredDayBound(int64_t midnight, bool last)
{
    const MeterDateTime day = LocalDateTime(midnight);
    return last ? StoredTimeOf(day.nYear, day.nMonth, day.nDay, 23, 59, 59)
                : StoredTimeOf(day.nYear, day.nMonth, day.nDay, 0, 0, 0);
}

// An archived record back in the ten bytes the meter sent.
MeasurementRecord DecodeArchived(const ArchiveRecord& record)
{
    const MeterDateTime when = StoredTimeFields(record.nStoredTime);
    uint8_t bytes[MEASUREMENT_RECORD_LEN] = {};
    EncodeDateTime(when, bytes);                       // @0 7 the time fields
    bytes[7] = uint8_t(record.nRawForce >> 8);         // @7 2 force, 0.1 kN
    bytes[8] = uint8_t(record.nRawForce & 0xFF);
    bytes[9] = uint8_t(record.nCellType);              // @9 1 load-cell type
    return DecodeMeasurementRecord(bytes);
}

// The first or the last second of the local day of time.
int64_t DayBound(int64_t time, bool last)
{
    MeterDateTime day = LocalDateTime(time);
    day.nHour = last ? 23 : 0;
    day.nMinute = day.nSecond = last ? 59 : 0;
    int64_t bound = time;
    MeterDateTimeToTime(day, &bound);
    return bound;
}

} // namespace

std::string CCliArchive::PathFor(const CCliOptions& options, const std::string& dataDir)
{
    return options.m_strArchive.empty() ? CSqliteArchive::ArchivePath(dataDir) : options.m_strArchive;
}

int CCliArchive::OpenForReading(const std::string& path, std::string* error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *error = "no archive at " + path;
        return CLI_ARCHIVE_FAILURE;
    }
    const EArchiveOpen opened = m_archive.Open(path, false);
    if (opened == EArchiveOpen::Failed || opened == EArchiveOpen::TooNew) {
        *error = "archive " + path + ": " + m_archive.OpenMessage();
        return CLI_ARCHIVE_FAILURE;
    }
    m_strWhere = "the archive " + path;
    return CLI_OK;
}

int CCliArchive::OpenServer(const std::string& setting, std::string* error)
{
    if (m_server.Open(setting) != EServerOpen::Ok) {
        *error = "archive server: " + m_server.OpenMessage();
        return CLI_ARCHIVE_FAILURE;
    }
    m_bServer = true;
    m_strWhere = "the lab's archive on the server";
    return CLI_OK;
}

int CCliArchive::OpenForReading(const CCliOptions& options, const std::string& dataDir, std::string* error)
{
    return options.m_strServer.empty() ? OpenForReading(PathFor(options, dataDir), error)
                                       : OpenServer(options.m_strServer, error);
}

std::vector<ArchiveMeter> CCliArchive::Meters()
{
    if (!m_bServer)
        return m_archive.Meters();
    std::vector<ArchiveMeter> meters;
    for (const CServerArchive::LabMeter& lab : m_server.Meters())
        meters.push_back(lab.meter);
    return meters;
}

int CCliArchive::OpenForDownload(const std::string& path, std::string* note, std::string* error)
{
    const EArchiveOpen opened = m_archive.Open(path, true);
    switch (opened) {
    case EArchiveOpen::Ok:
    case EArchiveOpen::Created:
    case EArchiveOpen::Migrated:
        return CLI_OK;
    case EArchiveOpen::SetAside:
        *note = m_archive.OpenMessage();
        return CLI_OK;
    case EArchiveOpen::ReadOnly:
        *error = "archive " + path + " cannot be written (--no-archive downloads without it)";
        return CLI_ARCHIVE_FAILURE;
    case EArchiveOpen::TooNew:
    case EArchiveOpen::Failed:
        break;
    }
    *error = "archive " + path + ": " + m_archive.OpenMessage();
    return CLI_ARCHIVE_FAILURE;
}

CliTable CCliArchive::MetersTable()
{
    CliTable table;
    table.columns = {"serial", "name", "version", "records", "first_seen", "last_seen", "last_download"};
    table.numeric = {false, false, false, true, false, false, false};
    auto add = [&table](const ArchiveMeter& m) {
        table.rows.push_back({m.bSerialUnset ? "-" : m.strSerial, m.strName, m.strVersion,
                              std::to_string(m.nRecordCount), TimeOrEmpty(m.tFirstSeen),
                              TimeOrEmpty(m.tLastSeen), TimeOrEmpty(m.tLastDownload)});
    };
    if (!m_bServer) {
        for (const ArchiveMeter& m : m_archive.Meters())
            add(m);
        return table;
    }
    // The lab's view: which stations downloaded each meter.
    table.columns.push_back("stations");
    table.numeric.push_back(false);
    for (const CServerArchive::LabMeter& lab : m_server.Meters()) {
        add(lab.meter);
        table.rows.back().push_back(lab.strStations);
    }
    return table;
}

int CCliArchive::FindMeter(const std::string& serialOrName, ArchiveMeter* meter, std::string* error)
{
    const std::string wanted = Trimmed(serialOrName);
    const std::vector<ArchiveMeter> meters = Meters();
    for (const ArchiveMeter& m : meters) {
        if (!m.bSerialUnset && Trimmed(m.strSerial) == wanted) {
            *meter = m;
            return CLI_OK;
        }
    }
    for (const ArchiveMeter& m : meters) {
        if (m.bSerialUnset && Trimmed(m.strName) == wanted) {
            *meter = m;
            return CLI_OK;
        }
    }
    *error = "meter '" + serialOrName + "' is not in " + m_strWhere + " ('archive meters' lists them)";
    return CLI_ARCHIVE_FAILURE;
}

void CCliArchive::FillReport(const ArchiveMeter& meter, const CCliOptions& options, CExportReport* report)
{
    const EDownloadKind source = options.m_eKind == EExportKind::Memory ? EDownloadKind::Memory
                                                                       : EDownloadKind::Output;
    const int64_t lower = options.m_bHasFrom ? StoredDayBound(options.m_tFrom, false) : 0;
    const int64_t upper = options.m_bHasTo ? StoredDayBound(options.m_tTo, true) : INT64_MAX;

    report->m_query.m_eKind = options.m_eKind;
    report->m_header.m_strMeterName = meter.strName;
    report->m_header.m_strSerialNumber = meter.bSerialUnset ? "-" : meter.strSerial;
    report->m_header.m_strVersion = meter.strVersion;
    int64_t first = 0;
    int64_t last = 0;
    const std::vector<ArchiveRecord> records =
        m_bServer ? m_server.Records(meter.nId) : m_archive.Records(meter.nId);
    for (const ArchiveRecord& record : records) {
        if (record.eSource != source || record.nStoredTime < lower || record.nStoredTime > upper)
            continue;
        const MeasurementRecord decoded = DecodeArchived(record);
        if (decoded.bTimeValid) {
            if (first == 0)
                first = decoded.tWhen;
            last = decoded.tWhen;
        }
        report->AddRecord(decoded);
    }
    report->m_query.m_tFrom = options.m_bHasFrom ? options.m_tFrom : (first > 0 ? DayBound(first, false) : 0);
    report->m_query.m_tTo = options.m_bHasTo ? DayBound(options.m_tTo, true) : (last > 0 ? DayBound(last, true) : 0);
    report->m_result.m_nCode = 0;
    report->m_result.m_bComplete = true;
    report->m_result.m_nCount = int(report->m_vRows.size());
}
