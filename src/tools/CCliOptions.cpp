#include "CCliOptions.h"

#include "MeterTime.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// Which commands take an option, as bits of ECliCommand.
constexpr unsigned Bit(ECliCommand command)
{
    return 1u << unsigned(command);
}
constexpr unsigned kMeterCommands = Bit(ECliCommand::List) | Bit(ECliCommand::Info) |
                                    Bit(ECliCommand::Clock) | Bit(ECliCommand::DownloadMemory) |
                                    Bit(ECliCommand::DownloadOutput);
constexpr unsigned kDownloads = Bit(ECliCommand::DownloadMemory) | Bit(ECliCommand::DownloadOutput);
constexpr unsigned kFromArchive = Bit(ECliCommand::ArchiveExport) | Bit(ECliCommand::Report);
constexpr unsigned kRangeCommands = Bit(ECliCommand::DownloadMemory) | kFromArchive;
constexpr unsigned kEvery = ~0u;

struct OptionSpec {
    const char* name;
    bool takesValue;
    unsigned commands;
};

const OptionSpec kOptions[] = {
    {"--help", false, kEvery},
    {"--version", false, kEvery},
    {"--simulate", false, kMeterCommands},
    {"--port", true, kMeterCommands},
    {"--format", true, kEvery},
    {"--out", true, kEvery},
    {"--quiet", false, kEvery},
    {"--csv-locale", true, kEvery},
    {"--bom", false, kEvery},
    {"--archive", true, kDownloads | Bit(ECliCommand::ArchiveMeters) | kFromArchive | Bit(ECliCommand::Info) |
                            Bit(ECliCommand::Support)},
    {"--no-archive", false, kDownloads | Bit(ECliCommand::Info)},
    {"--server", true, Bit(ECliCommand::ArchiveMeters) | kFromArchive},
    {"--from", true, kRangeCommands},
    {"--to", true, kRangeCommands},
    {"--new", false, Bit(ECliCommand::DownloadMemory)},
    {"--set", false, Bit(ECliCommand::Clock)},
    {"--max-drift", true, Bit(ECliCommand::Clock)},
    {"--meter", true, kFromArchive},
    {"--kind", true, kFromArchive},
};

const OptionSpec* FindOption(const std::string& name)
{
    for (const OptionSpec& option : kOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

const char* CommandName(ECliCommand command)
{
    switch (command) {
    case ECliCommand::List: return "list";
    case ECliCommand::Info: return "info";
    case ECliCommand::Clock: return "clock";
    case ECliCommand::DownloadMemory: return "download memory";
    case ECliCommand::DownloadOutput: return "download output";
    case ECliCommand::ArchiveMeters: return "archive meters";
    case ECliCommand::ArchiveExport: return "archive export";
    case ECliCommand::Report: return "report";
    case ECliCommand::Support: return "support";
    case ECliCommand::None: break;
    }
    return "";
}

bool FormatByName(const std::string& name, ECliFormat* format)
{
    static const struct {
        const char* name;
        ECliFormat format;
    } kNames[] = {{"table", ECliFormat::Table}, {"csv", ECliFormat::Csv},   {"json", ECliFormat::Json},
                  {"xlsx", ECliFormat::Xlsx},   {"xls", ECliFormat::Xls},   {"pdf", ECliFormat::Pdf}};
    for (const auto& entry : kNames) {
        if (name == entry.name) {
            *format = entry.format;
            return true;
        }
    }
    return false;
}

// The format a file name asks for by its ending; Table for any other name.
ECliFormat FormatOfPath(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return ECliFormat::Table;
    std::string ending = path.substr(dot + 1);
    for (char& c : ending)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    ECliFormat format = ECliFormat::Table;
    return FormatByName(ending, &format) && ending != "table" ? format : ECliFormat::Table;
}

bool Fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool CCliOptions::ParseDate(const std::string& text, int64_t* midnight)
{
    // Exactly YYYY-MM-DD: digits where digits belong, dashes at 4 and 7.
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    MeterDateTime day;
    day.nYear = std::atoi(text.substr(0, 4).c_str());
    day.nMonth = std::atoi(text.substr(5, 2).c_str());
    day.nDay = std::atoi(text.substr(8, 2).c_str());
    int64_t time = 0;
    if (day.nYear < 1970 || !MeterDateTimeToTime(day, &time))
        return false;
    // The conversion carries 31 February over into March: such a day is no day.
    const MeterDateTime back = LocalDateTime(time);
    if (back.nYear != day.nYear || back.nMonth != day.nMonth || back.nDay != day.nDay)
        return false;
    *midnight = time;
    return true;
}

bool CCliOptions::IsFileOnly(ECliFormat format)
{
    return format == ECliFormat::Xlsx || format == ECliFormat::Xls || format == ECliFormat::Pdf;
}

bool CCliOptions::NeedsMeter() const
{
    return (kMeterCommands & Bit(m_eCommand)) != 0;
}

bool CCliOptions::Parse(int argc, const char* const* argv, int64_t today, std::string* error)
{
    std::vector<std::string> words;
    std::vector<const OptionSpec*> given;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (arg == "-h")
            arg = "--help";
        else if (arg == "-q")
            arg = "--quiet";
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!arg.empty() && arg[0] == '-')
                return Fail(error, "unknown option '" + arg + "'");
            words.push_back(arg);
            continue;
        }
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.erase(equals);
            hasValue = true;
        }
        const OptionSpec* option = FindOption(arg);
        if (!option)
            return Fail(error, "unknown option '" + arg + "'");
        if (option->takesValue && !hasValue) {
            if (i + 1 >= argc || !argv[i + 1])
                return Fail(error, arg + " needs a value");
            value = argv[++i];
        } else if (!option->takesValue && hasValue) {
            return Fail(error, arg + " takes no value");
        }
        given.push_back(option);

        if (arg == "--help") {
            m_bHelp = true;
        } else if (arg == "--version") {
            m_bVersion = true;
        } else if (arg == "--simulate") {
            m_bSimulate = true;
        } else if (arg == "--port") {
            if (value.empty())
                return Fail(error, "--port needs a path");
            m_strPort = value;
        } else if (arg == "--format") {
            if (!FormatByName(value, &m_eFormat))
                return Fail(error, "unknown format '" + value + "' (table, csv, json, xlsx, xls, pdf)");
        } else if (arg == "--out") {
            if (value.empty())
                return Fail(error, "--out needs a file name");
            m_strOut = value == "-" ? std::string() : value;   // "-": standard output
        } else if (arg == "--quiet") {
            m_bQuiet = true;
        } else if (arg == "--csv-locale") {
            if (value == "point")
                m_csv.m_eLocale = ECsvLocale::Point;
            else if (value == "comma")
                m_csv.m_eLocale = ECsvLocale::Comma;
            else
                return Fail(error, "unknown CSV locale '" + value + "' (point, comma)");
        } else if (arg == "--bom") {
            m_csv.m_bByteOrderMark = true;
        } else if (arg == "--archive") {
            if (value.empty())
                return Fail(error, "--archive needs a file name");
            m_strArchive = value;
        } else if (arg == "--no-archive") {
            m_bNoArchive = true;
        } else if (arg == "--server") {
            if (value.empty())
                return Fail(error, "--server needs a connection string or service name");
            m_strServer = value;
        } else if (arg == "--from" || arg == "--to") {
            int64_t midnight = 0;
            if (!ParseDate(value, &midnight))
                return Fail(error, arg + " '" + value + "' is not a date (YYYY-MM-DD)");
            (arg == "--from" ? m_tFrom : m_tTo) = midnight;
            (arg == "--from" ? m_bHasFrom : m_bHasTo) = true;
        } else if (arg == "--new") {
            m_bNew = true;
        } else if (arg == "--set") {
            m_bSetClock = true;
        } else if (arg == "--max-drift") {
            char* end = nullptr;
            errno = 0;
            const long long seconds = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) || *end != '\0' ||
                errno != 0 || seconds > 100LL * 366 * 86400)
                return Fail(error, "--max-drift '" + value + "' is not a number of seconds");
            m_nMaxDrift = seconds;
            m_bHasMaxDrift = true;
        } else if (arg == "--meter") {
            if (value.empty())
                return Fail(error, "--meter needs a serial number");
            m_strMeter = value;
        } else if (arg == "--kind") {
            if (value == "memory")
                m_eKind = EExportKind::Memory;
            else if (value == "output")
                m_eKind = EExportKind::Output;
            else
                return Fail(error, "unknown kind '" + value + "' (memory, output)");
        }
    }
    if (m_bHelp || m_bVersion)
        return true;

    // The command: one or two words.
    if (words.empty())
        return Fail(error, "no command given (list, info, clock, download, archive, report)");
    const std::string& first = words[0];
    const std::string second = words.size() > 1 ? words[1] : std::string();
    size_t used = 1;
    if (first == "list") {
        m_eCommand = ECliCommand::List;
    } else if (first == "info") {
        m_eCommand = ECliCommand::Info;
    } else if (first == "clock") {
        m_eCommand = ECliCommand::Clock;
    } else if (first == "report") {
        m_eCommand = ECliCommand::Report;
    } else if (first == "support") {
        m_eCommand = ECliCommand::Support;
    } else if (first == "download") {
        if (second == "memory")
            m_eCommand = ECliCommand::DownloadMemory;
        else if (second == "output")
            m_eCommand = ECliCommand::DownloadOutput;
        else
            return Fail(error, second.empty() ? "download needs 'memory' or 'output'"
                                              : "unknown download '" + second + "' (memory, output)");
        used = 2;
    } else if (first == "archive") {
        if (second == "meters")
            m_eCommand = ECliCommand::ArchiveMeters;
        else if (second == "export")
            m_eCommand = ECliCommand::ArchiveExport;
        else
            return Fail(error, second.empty() ? "archive needs 'meters' or 'export'"
                                              : "unknown archive command '" + second + "' (meters, export)");
        used = 2;
    } else {
        return Fail(error, "unknown command '" + first + "'");
    }
    if (words.size() > used)
        return Fail(error, "unexpected argument '" + words[used] + "'");
    for (const OptionSpec* option : given)
        if ((option->commands & Bit(m_eCommand)) == 0)
            return Fail(error, std::string(CommandName(m_eCommand)) + " takes no " + option->name);
    return Check(today, error);
}

bool CCliOptions::Check(int64_t today, std::string* error)
{
    if (m_bSimulate && !m_strPort.empty())
        return Fail(error, "--simulate and --port exclude each other");
    if (m_bNoArchive && !m_strArchive.empty())
        return Fail(error, "--archive and --no-archive exclude each other");
    if (!m_strServer.empty() && !m_strArchive.empty())
        return Fail(error, "--archive and --server exclude each other");
    if (m_bNew && m_bNoArchive)
        return Fail(error, "--new needs the archive (it asks from the newest archived day)");
    if (m_bNew && m_bHasFrom)
        return Fail(error, "--new and --from exclude each other");

    // Dates: a download of stored records reaches up to today when no end
    // is given, so a start after today is as wrong as one after --to.
    if (m_bHasFrom) {
        if (m_bHasTo && m_tFrom > m_tTo)
            return Fail(error, "--from is after --to");
        if (!m_bHasTo && m_eCommand == ECliCommand::DownloadMemory && m_tFrom > today)
            return Fail(error, "--from is after today");
    }

    const bool fromArchive = m_eCommand == ECliCommand::ArchiveExport || m_eCommand == ECliCommand::Report;
    if (fromArchive && m_strMeter.empty())
        return Fail(error, std::string(CommandName(m_eCommand)) + " needs --meter SERIAL");

    // The support file is a zip of its own making, never standard output.
    if (m_eCommand == ECliCommand::Support) {
        if (m_strOut.empty() || m_strOut == "-")
            return Fail(error, "support needs --out FILE.zip");
        if (m_eFormat != ECliFormat::Auto)
            return Fail(error, "support takes no --format");
        return true;
    }

    // The format: as given, else by the file's ending, else a table.
    if (m_eFormat == ECliFormat::Auto)
        m_eFormat = m_strOut.empty() ? ECliFormat::Table : FormatOfPath(m_strOut);
    if (m_eCommand == ECliCommand::Report) {
        if (m_strOut.empty())
            return Fail(error, "report needs --out FILE.xls or FILE.pdf");
        if (m_eFormat != ECliFormat::Xls && m_eFormat != ECliFormat::Pdf)
            return Fail(error, "report writes .xls or .pdf, not '" + m_strOut + "'");
    } else {
        const bool measurements = m_eCommand == ECliCommand::DownloadMemory ||
                                  m_eCommand == ECliCommand::DownloadOutput ||
                                  m_eCommand == ECliCommand::ArchiveExport;
        const bool allowed = m_eFormat == ECliFormat::Table || m_eFormat == ECliFormat::Csv ||
                             m_eFormat == ECliFormat::Json ||
                             (measurements && (m_eFormat == ECliFormat::Xlsx || m_eFormat == ECliFormat::Xls));
        if (!allowed)
            return Fail(error, std::string(CommandName(m_eCommand)) + " cannot write this format");
        if (IsFileOnly(m_eFormat) && m_strOut.empty())
            return Fail(error, "this format needs --out FILE");
    }
    if ((m_csv.m_eLocale != ECsvLocale::Point || m_csv.m_bByteOrderMark) && m_eFormat != ECliFormat::Csv)
        return Fail(error, "--csv-locale and --bom apply to CSV only");
    return true;
}

void CCliOptions::PrintUsage(std::FILE* out)
{
    std::fprintf(
        out,
        "usage: brevane-cli [options] COMMAND\n"
        "The portable pressure meter (압력 계측기) and its archive from a script.\n"
        "\n"
        "Commands:\n"
        "  list                     meters found: HID bridges and serial ports, path and how\n"
        "  info                     name, serial number, version, battery, clock and its\n"
        "                           drift from the PC clock\n"
        "  clock [--set] [--max-drift SECONDS]\n"
        "                           read the meter's clock, or set it to the PC time; with\n"
        "                           --max-drift exit 1 when the drift read (before --set)\n"
        "                           is larger\n"
        "  download memory [--from DATE] [--to DATE] [--new]\n"
        "                           stored records (default: every day up to today); --new\n"
        "                           from the newest archived day of this meter\n"
        "  download output          the continuous series with the meter's summary\n"
        "  archive meters           meters in the archive, their records and last download\n"
        "  archive export --meter SERIAL [--kind memory|output] [--from DATE] [--to DATE]\n"
        "                           archived records of one meter\n"
        "  report --meter SERIAL [--kind memory|output] [--from DATE] [--to DATE]\n"
        "         --out FILE.xls|FILE.pdf\n"
        "                           the windows' Excel report, or the PDF report\n"
        "  support --out FILE.zip   the support file for a problem report: packet logs\n"
        "                           of the last day, settings without the password,\n"
        "                           crash records, the bridges the system sees\n"
        "\n"
        "Options:\n"
        "  --simulate               use the built-in simulated meter\n"
        "  --port PATH              use the meter on this serial device (e.g. the\n"
        "                           pseudo-terminal of brevane-meter-sim)\n"
        "  --format F               table, csv, json, xlsx or xls (report: xls, pdf);\n"
        "                           default: by the --out file's ending, else table\n"
        "  --out FILE               write FILE instead of standard output (checked before\n"
        "                           the meter is asked; replaced only when complete)\n"
        "  --csv-locale point|comma ',' and '.' (default), or ';' and ','\n"
        "  --bom                    CSV with a UTF-8 byte-order mark\n"
        "  --archive FILE           this archive file instead of the program's own\n"
        "  --no-archive             downloads (and info's clock reading) are not kept\n"
        "                           in the archive\n"
        "  --server SETTING         archive and report: the lab's archive on its PostgreSQL\n"
        "                           server (connection string, URI or service name, as\n"
        "                           [ARCHIVE] SERVER; the password from ~/.pgpass)\n"
        "  --quiet, -q              no progress and no notes on standard error\n"
        "  --help, -h               this text\n"
        "  --version                the program's version\n"
        "Dates are YYYY-MM-DD (local time).\n"
        "\n"
        "Exit codes:\n"
        "  0  success\n"
        "  1  clock --max-drift: the meter's clock is further off\n"
        "  2  bad arguments (nothing was sent to the meter, nothing written)\n"
        "  3  no meter found\n"
        "  4  link failure (the link's result code is in the message)\n"
        "  5  incomplete download (the records that came were written)\n"
        "  6  archive failure (also: the server cannot be reached or refuses the\n"
        "     login), or the meter is not in the archive\n"
        "  7  the output file could not be written\n");
}
