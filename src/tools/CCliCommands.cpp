#include "CCliCommands.h"

#include "CArchiveSink.h"
#include "CCalibrationHistory.h"
#include "CCliArchive.h"
#include "CSupportBundle.h"
#include "CCliMeter.h"
#include "CCliOutput.h"
#include "CCliProgress.h"
#include "CIniFile.h"
#include "CIniSysInfo.h"
#include "CMeterSession.h"
#include "CReportBook.h"
#include "FileSystem.h"
#include "MeterCommands.h"
#include "MeterRecords.h"
#include "MeterTime.h"
#include "TextCodec.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// A stored-record download without --from asks for every day from here on.
const char* const kEarliestDay = "2000-01-01";

std::string Signed(int64_t value)
{
    return (value > 0 ? "+" : "") + std::to_string(value);
}

std::string DayText(int64_t time)
{
    return FormatLocalTime(time).substr(0, 10);
}

} // namespace

CCliCommands::CCliCommands(const CCliOptions& options)
    : m_options(options)
{
    // The tool shares the program's data folder (its archive) and the
    // settings file of the windows (brevane.ini), whichever name it runs under.
    std::string exe = ExecutablePath();
    const size_t slash = exe.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : exe.substr(0, slash);
    CIniSysInfo paths;
    paths.LoadSettings(dir + "/brevane", IsProgramDirUsable);
    m_strDataDir = paths.m_szDataDir;
    m_strIniPath = paths.m_szIniPath;
    m_strLogDir = paths.m_szLogDir;
    m_strDumpDir = paths.m_szDumpDir;
    m_nMaxClockDrift = paths.m_nMaxClockDrift;
}

int CCliCommands::Run()
{
    switch (m_options.m_eCommand) {
    case ECliCommand::List: return List();
    case ECliCommand::Info: return Info();
    case ECliCommand::Clock: return Clock();
    case ECliCommand::DownloadMemory:
    case ECliCommand::DownloadOutput: return Download();
    case ECliCommand::ArchiveMeters: return ArchiveMeters();
    case ECliCommand::ArchiveExport:
    case ECliCommand::Report: return ArchiveExport();   // the same records; the writers differ
    case ECliCommand::Support: return Support();
    case ECliCommand::None: break;
    }
    return Fail(CLI_BAD_ARGUMENTS, "no command given");
}

void CCliCommands::Note(const std::string& text) const
{
    if (!m_options.m_bQuiet)
        std::fprintf(stderr, "brevane-cli: %s\n", text.c_str());
}

int CCliCommands::Fail(int code, const std::string& message) const
{
    std::fprintf(stderr, "brevane-cli: %s\n", message.c_str());
    return code;
}

SExportHeader CCliCommands::HeaderTexts()
{
    SExportHeader header;
    header.m_strReportDate = FormatLocalTime(m_clock.NowSeconds());
    CIniFile file(m_strIniPath);
    file.Load();
    const auto text = [&](const char* key) {
        return TruncateUtf8(file.GetString("REPORT", key, ""), CIniSysInfo::kMaxReportChars);
    };
    header.m_strReportName = text("REPORT_NAME");
    header.m_strCompany = text("COMPANY");
    header.m_strAuthor = text("USER_NAME");
    return header;
}

int CCliCommands::WriteTable(const CliTable& table)
{
    std::string error;
    if (!CCliOutput(m_options).WriteTable(table, &error))
        return Fail(CLI_FILE_FAILURE, error);
    return CLI_OK;
}

int CCliCommands::WriteMeasurements(const CExportReport& report)
{
    std::string error;
    const CCliOutput output(m_options);
    const bool ok = m_options.m_eFormat == ECliFormat::Pdf ? output.WritePdf(report, &error)
                                                           : output.WriteMeasurements(report, &error);
    if (!ok)
        return Fail(CLI_FILE_FAILURE, error);
    return CLI_OK;
}

bool CCliCommands::ClockDrift(const uint8_t* reply, int64_t pcTime, std::string* meterTime, int64_t* drift)
{
    const MeterClock clock = DecodeClockRecord(reply);
    *meterTime = FormatRecordTime(clock.when);
    int64_t time = 0;
    if (!IsPlausibleClockYear(clock.when.nYear) || !MeterDateTimeToTime(clock.when, &time))
        return false;
    *drift = time - pcTime;
    return true;
}

// ---- the meter ----

int CCliCommands::List()
{
    CCliMeter meter(m_options, m_clock);
    CliTable table;
    table.columns = {"path", "found_by", "usb_id"};
    table.numeric = {false, false, false};
    for (const CCliMeter::Found& found : meter.List())
        table.rows.push_back({found.strPath, found.strHow, "0403:6030"});
    if (table.rows.empty())
        return Fail(CLI_NO_METER, m_options.m_strPort.empty()
                                      ? "no meter found (no FT260 bridge on USB, as HID device or as serial port)"
                                      : "no meter at " + m_options.m_strPort);
    return WriteTable(table);
}

int CCliCommands::Info()
{
    CCliMeter meter(m_options, m_clock);
    std::string error;
    int code = meter.Find(&error);
    if (code != CLI_OK)
        return Fail(code, error);
    SessionResult r;
    code = meter.Exchange({MakeReadRequest(CMD_READ_NAME), MakeReadRequest(CMD_READ_SERIAL),
                           MakeReadRequest(CMD_READ_VERSION), MakeReadRequest(CMD_READ_BATTERY),
                           MakeReadRequest(CMD_READ_CLOCK)},
                          "cannot read the meter", &r, &error);
    if (code != CLI_OK)
        return Fail(code, error);

    std::string meterTime;
    int64_t drift = 0;
    const bool known = ClockDrift(r.steps[4].reply, r.exchange.tRx, &meterTime, &drift);
    CliTable table;
    table.bOneRecord = true;
    table.columns = {"name", "serial", "version", "battery_percent", "meter_time", "pc_time", "drift_s"};
    table.numeric = {false, false, false, true, false, false, true};
    table.rows.push_back({DecodeTextReply(r.steps[0].reply, NAME_FIELD_LEN), SerialNumberText(r.steps[1].reply),
                          DecodeTextReply(r.steps[2].reply, VERSION_FIELD_LEN),
                          std::to_string(DecodeBatteryPercent(r.steps[3].reply)), meterTime,
                          FormatLocalTime(r.exchange.tRx), known ? Signed(drift) : std::string()});
    KeepClockReading(r, r.exchange.tRx, known, drift);
    return WriteTable(table);
}

void CCliCommands::KeepClockReading(const SessionResult& r, int64_t pcTime, bool known, int64_t drift)
{
    if (m_options.m_bNoArchive)
        return;
    CCliArchive archive;
    std::string note, error;
    if (archive.OpenForDownload(CCliArchive::PathFor(m_options, m_strDataDir), &note, &error) != CLI_OK) {
        Note("archive: the clock reading was not kept: " + error);
        return;
    }
    StoredClockReading reading;
    reading.meter = {DecodeTextReply(r.steps[0].reply, NAME_FIELD_LEN), SerialNumberText(r.steps[1].reply),
                     DecodeTextReply(r.steps[2].reply, VERSION_FIELD_LEN)};
    reading.tPc = pcTime;
    if (known) {
        reading.tMeter = pcTime + drift;
        reading.nDrift = drift;
    }
    reading.nLimit = m_nMaxClockDrift;
    reading.strSource = "cli";
    if (!CCalibrationHistory(archive.Archive()).AddClockReading(reading, &error))
        Note("archive: the clock reading was not kept: " + error);
}

int CCliCommands::Support()
{
    SupportBundleInput input;
    input.strLogDir = QString::fromStdString(m_strLogDir);
    input.strDumpDir = QString::fromStdString(m_strDumpDir);
    input.strIniPath = QString::fromStdString(m_strIniPath);
    input.strProgramVersion = QCoreApplication::applicationVersion();
    input.dtNow = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds());
    // The archive's counts only; a missing or damaged archive is left alone.
    CCliArchive archive;
    std::string error;
    if (archive.OpenForReading(CCliArchive::PathFor(m_options, m_strDataDir), &error) == CLI_OK) {
        int64_t records = 0;
        const std::vector<ArchiveMeter> meters = archive.Archive().Meters();
        for (const ArchiveMeter& meter : meters)
            records += meter.nRecordCount;
        input.archiveCounts = {{QStringLiteral("계측기"), QString::number(meters.size())},
                               {QStringLiteral("기록"), QString::number(records)}};
    }
    CSupportBundle bundle(input);
    QString why;
    if (!bundle.Write(QString::fromStdString(m_options.m_strOut), &why))
        return Fail(CLI_FILE_FAILURE, why.toStdString());
    Note("support file written: " + m_options.m_strOut + " (" + std::to_string(bundle.Entries().size()) +
         " entries)");
    return CLI_OK;
}

int CCliCommands::Clock()
{
    CCliMeter meter(m_options, m_clock);
    std::string error;
    int code = meter.Find(&error);
    if (code != CLI_OK)
        return Fail(code, error);
    SessionResult before;
    code = meter.Exchange({MakeReadRequest(CMD_READ_CLOCK)}, "cannot read the meter's clock", &before, &error);
    if (code != CLI_OK)
        return Fail(code, error);
    std::string meterTime;
    int64_t drift = 0;
    const bool known = ClockDrift(before.steps[0].reply, before.exchange.tRx, &meterTime, &drift);

    CliTable table;
    table.bOneRecord = true;
    table.columns = {"meter_time", "pc_time", "drift_s"};
    table.numeric = {false, false, true};
    table.rows.push_back({meterTime, FormatLocalTime(before.exchange.tRx), known ? Signed(drift) : ""});

    if (m_options.m_bSetClock) {
        // Set, then read back: the meter keeps what it acknowledges, and the
        // read-back shows that it did.
        const int64_t now = m_clock.NowSeconds();
        SessionResult after;
        code = meter.Exchange({MakeSetClockRequest(MakeMeterClock(now)), MakeReadRequest(CMD_READ_CLOCK)},
                              "cannot set the meter's clock", &after, &error);
        if (code != CLI_OK)
            return Fail(code, error);
        std::string timeAfter;
        int64_t driftAfter = 0;
        const bool knownAfter = ClockDrift(after.steps[1].reply, after.exchange.tRx, &timeAfter, &driftAfter);
        table.columns.insert(table.columns.end(), {"set_to", "meter_time_after", "drift_after_s"});
        table.numeric.insert(table.numeric.end(), {false, false, true});
        std::vector<std::string>& row = table.rows.front();
        row.insert(row.end(), {FormatLocalTime(now), timeAfter, knownAfter ? Signed(driftAfter) : ""});
    }
    code = WriteTable(table);
    if (code != CLI_OK)
        return code;

    if (m_options.m_bHasMaxDrift) {
        if (!known)
            return Fail(CLI_CLOCK_DRIFT, "the meter's clock is not set (" + meterTime + ")");
        if (std::llabs(drift) > m_options.m_nMaxDrift)
            return Fail(CLI_CLOCK_DRIFT, "the meter's clock is " + Signed(drift) + " s off, more than --max-drift " +
                                             std::to_string(m_options.m_nMaxDrift));
    }
    return CLI_OK;
}

int CCliCommands::Download()
{
    const bool memory = m_options.m_eCommand == ECliCommand::DownloadMemory;
    const bool archived = !m_options.m_bNoArchive;
    std::string error;

    // The archive first: one that cannot take the records stops the
    // download before the meter is asked.
    CCliArchive archive;
    std::string archivePath;
    if (archived) {
        archivePath = CCliArchive::PathFor(m_options, m_strDataDir);
        std::string note;
        const int code = archive.OpenForDownload(archivePath, &note, &error);
        if (code != CLI_OK)
            return Fail(code, error);
        if (!note.empty())
            Note("archive: " + note);
    }

    CCliMeter meter(m_options, m_clock);
    int code = meter.Find(&error);
    if (code != CLI_OK)
        return Fail(code, error);
    // The identity is what the archive keeps the records under and what a
    // report's header shows; a bare list of rows does without it.
    const bool header = m_options.m_eFormat == ECliFormat::Json || m_options.m_eFormat == ECliFormat::Xlsx ||
                        m_options.m_eFormat == ECliFormat::Xls;
    if (archived || header) {
        code = meter.ReadIdentity(&error);
        if (code != CLI_OK)
            return Fail(code, error);
    }
    const DownloadMeter identity = meter.Session().Meter();

    const int64_t now = m_clock.NowSeconds();
    int64_t from = 0;
    CCliOptions::ParseDate(kEarliestDay, &from);
    if (m_options.m_bHasFrom)
        from = m_options.m_tFrom;
    const int64_t to = m_options.m_bHasTo ? m_options.m_tTo : now;
    from = std::min(from, to);   // an end given before the default start
    if (m_options.m_bNew) {
        from = archive.Archive().NewRecordsStart(identity, from, now);
        Note("new records of " + (identity.strSerial == "-" ? identity.strName : identity.strSerial) +
             " from " + DayText(from));
    }
    archive.Archive().Close();

    std::unique_ptr<CArchiveSink> sink;
    if (archived)
        sink = std::make_unique<CArchiveSink>(archivePath);
    CCliProgress progress(!m_options.m_bQuiet && ::isatty(STDERR_FILENO) == 1);
    progress.ShowTimeLeft(m_options.m_bHasFrom || m_options.m_bNew);
    SessionResult r;
    const int downloaded = meter.Download(memory ? EDownloadKind::Memory : EDownloadKind::Output, from, to,
                                          sink.get(), progress, &r, &error);
    if (downloaded == CLI_LINK_FAILURE)
        return Fail(downloaded, error);
    const std::string downloadError = error;

    CExportReport report;
    report.m_header = HeaderTexts();
    report.m_header.m_strMeterName = identity.strName;
    report.m_header.m_strSerialNumber = identity.strSerial;
    report.m_header.m_strVersion = identity.strVersion;
    report.m_query.m_eKind = memory ? EExportKind::Memory : EExportKind::Output;
    if (memory) {
        report.m_query.m_tFrom = from;
        report.m_query.m_tTo = to;
    } else if (meter.Session().OutputSummary().size() == size_t(OUTPUT_SUMMARY_LEN)) {
        report.m_query.m_bHasSummary = true;
        report.m_query.m_summary = DecodeOutputSummary(meter.Session().OutputSummary().data());
    }
    report.m_result.m_nCode = r.nResult;
    report.m_result.m_bComplete = r.bComplete;
    report.m_result.m_nCount = r.nRecords;
    report.m_vRows.reserve(meter.Session().Records().size());
    for (const DownloadedRecord& record : meter.Session().Records())
        report.AddRecord(DecodeMeasurementRecord(record.bytes));

    const int written = WriteMeasurements(report);
    Note(std::to_string(r.nRecords) + (memory ? " stored records" : " records of the continuous series") +
         (memory ? " (" + DayText(from) + " ~ " + DayText(to) + ")" : std::string()));
    int archiveCode = CLI_OK;
    if (archived) {
        ArchiveDownload kept;
        if (sink->LastDownload(&kept))
            Note("archive: " + std::to_string(kept.nNew) + " new, " + std::to_string(kept.nKnown) +
                 " already known");
        if (!r.strSinkError.empty())
            archiveCode = Fail(CLI_ARCHIVE_FAILURE, "archive " + archivePath + ": " + r.strSinkError);
    }
    // Nothing written outweighs a short list, which outweighs the archive.
    if (written != CLI_OK)
        return written;
    if (downloaded != CLI_OK)
        return Fail(downloaded, downloadError);
    return archiveCode;
}

// ---- the archive ----

int CCliCommands::ArchiveMeters()
{
    CCliArchive archive;
    std::string error;
    const int code = archive.OpenForReading(m_options, m_strDataDir, &error);
    if (code != CLI_OK)
        return Fail(code, error);
    return WriteTable(archive.MetersTable());
}

int CCliCommands::ArchiveExport()
{
    CCliArchive archive;
    std::string error;
    int code = archive.OpenForReading(m_options, m_strDataDir, &error);
    ArchiveMeter meter;
    if (code == CLI_OK)
        code = archive.FindMeter(m_options.m_strMeter, &meter, &error);
    if (code != CLI_OK)
        return Fail(code, error);
    CExportReport report;
    report.m_header = HeaderTexts();
    archive.FillReport(meter, m_options, &report);
    Note(std::to_string(report.m_vRows.size()) + " archived records of " + m_options.m_strMeter);
    return WriteMeasurements(report);
}
