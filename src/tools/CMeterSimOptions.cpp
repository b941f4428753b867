#include "CMeterSimOptions.h"

#include "CPtyMeterServer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A decimal number from 0 to maximum, nothing else around it.
bool ParseNumber(const char* text, unsigned long maximum, unsigned long* value)
{
    if (!text || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || n > maximum)
        return false;
    *value = n;
    return true;
}

} // namespace

void CMeterSimOptions::PrintUsage(std::FILE* out)
{
    // The fault names, wrapped under their option.
    std::string faults;
    size_t lineStart = 0;
    const std::string names = CSimFaults::KnownNames();
    size_t from = 0;
    while (from < names.size()) {
        size_t end = names.find(", ", from);
        end = (end == std::string::npos) ? names.size() : end + 2;
        const std::string name = names.substr(from, end - from);
        if (faults.size() > lineStart && faults.size() - lineStart + name.size() > 58) {
            faults.pop_back();   // the space after the comma
            faults += "\n                  ";
            lineStart = faults.size();
        }
        faults += name;
        from = end;
    }
    std::fprintf(out,
                 "usage: brevane-meter-sim [--pty | --tty PATH] [options]\n"
                 "Serves the simulated meter on a terminal line at 115200 baud.\n"
                 "  --pty           make a pseudo-terminal and print its path as the first\n"
                 "                  line (the default)\n"
                 "  --tty PATH      serve an existing terminal (serial port, pts); ends when\n"
                 "                  its other side hangs up\n"
                 "  --fault LIST    switch faults on, repeatable or comma-separated:\n"
                 "                  %s\n"
                 "  --records N     stored records (0-%ld, default 150)\n"
                 "  --series N      records of the continuous series (0-%ld, default 20)\n"
                 "  --seed N        seed of the stored records and of the series\n"
                 "  --help          this text\n"
                 "Stop it with Ctrl-C (SIGINT) or SIGTERM.\n",
                 faults.c_str(), kMaxRecords, kMaxSeries);
}

bool CMeterSimOptions::Parse(int argc, const char* const* argv, std::string* error)
{
    std::string dummy;
    std::string& why = error ? *error : dummy;
    bool bPtyGiven = false;
    bool bTtyGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool takesValue = arg == "--tty" || arg == "--fault" || arg == "--records"
            || arg == "--series" || arg == "--seed";
        if (takesValue && !value) {
            why = arg + " needs a value";
            return false;
        }
        unsigned long n = 0;
        if (arg == "--help" || arg == "-h") {
            m_bHelp = true;
        } else if (arg == "--pty") {
            bPtyGiven = true;
        } else if (arg == "--tty") {
            if (!*value) {
                why = "--tty needs a path";
                return false;
            }
            bTtyGiven = true;
            m_strTtyPath = value;
            ++i;
        } else if (arg == "--fault") {
            CSimFaults probe;
            if (!CPtyMeterServer::ParseFaults(value, &probe)) {
                why = std::string("unknown fault in '") + value + "'";
                return false;
            }
            if (!m_strFaults.empty())
                m_strFaults += ',';
            m_strFaults += value;
            ++i;
        } else if (arg == "--records" || arg == "--series") {
            const bool records = arg == "--records";
            if (!ParseNumber(value, records ? kMaxRecords : kMaxSeries, &n)) {
                why = arg + " takes a number from 0 to "
                    + std::to_string(records ? kMaxRecords : kMaxSeries) + ", not '" + value + "'";
                return false;
            }
            (records ? m_setup.nRecordCount : m_setup.nSeriesCount) = int(n);
            ++i;
        } else if (arg == "--seed") {
            if (!ParseNumber(value, 0xFFFFFFFFul, &n)) {
                why = std::string("--seed takes a number from 0 to 4294967295, not '") + value + "'";
                return false;
            }
            m_setup.nRecordSeed = uint32_t(n);
            m_setup.nSeriesSeed = uint32_t(n);
            ++i;
        } else {
            why = "unknown argument '" + arg + "'";
            return false;
        }
    }
    if (bPtyGiven && bTtyGiven) {
        why = "--pty and --tty exclude each other";
        return false;
    }
    m_bPty = !bTtyGiven;
    return true;
}
