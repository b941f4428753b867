#include "CSimFaults.h"

#include <cstdlib>

namespace {

// Parses the decimal number after "name:"; false unless it is all digits and in range.
bool ParseCount(const std::string& text, int minimum, int maximum, int* value)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    long n = std::strtol(text.c_str(), nullptr, 10);
    if (n < minimum || n > maximum)
        return false;
    *value = int(n);
    return true;
}

} // namespace

const char* CSimFaults::KnownNames()
{
    return "no-reply, cut-short, bad-check, no-etx, stale-bytes, extra-bytes, "
           "garbage-in-stream[:FRAME], corrupt-in-stream, slow[:MS], fw-crc:N, endless-stream, "
           "series-early-record, series-uncounted, series-repeat, series-gap";
}

bool CSimFaults::SetByName(const std::string& name, bool on)
{
    std::string base = name;
    std::string arg;
    bool hasArg = false;
    size_t colon = name.find(':');
    if (colon != std::string::npos) {
        base = name.substr(0, colon);
        arg = name.substr(colon + 1);
        hasArg = true;
    }

    struct Flag { const char* name; bool CSimFaults::*member; };
    static const Flag flags[] = {
        {"no-reply", &CSimFaults::m_bNoReply},
        {"cut-short", &CSimFaults::m_bCutShort},
        {"bad-check", &CSimFaults::m_bBadCheck},
        {"no-etx", &CSimFaults::m_bNoEtx},
        {"stale-bytes", &CSimFaults::m_bStaleBytes},
        {"extra-bytes", &CSimFaults::m_bExtraBytes},
        {"corrupt-in-stream", &CSimFaults::m_bCorruptInStream},
        {"endless-stream", &CSimFaults::m_bEndlessStream},
        {"series-early-record", &CSimFaults::m_bSeriesEarlyRecord},
        {"series-uncounted", &CSimFaults::m_bSeriesUncounted},
        {"series-repeat", &CSimFaults::m_bSeriesRepeat},
        {"series-gap", &CSimFaults::m_bSeriesGap},
    };
    for (const Flag& f : flags) {
        if (base == f.name) {
            if (hasArg)
                return false;
            this->*f.member = on;
            return true;
        }
    }

    if (base == "slow") {
        int ms = kDefaultSlowMs;
        if (hasArg && !ParseCount(arg, 0, 60000, &ms))
            return false;
        m_bSlow = on;
        if (on)
            m_nSlowMs = ms;
        return true;
    }
    if (base == "garbage-in-stream") {
        int frame = 2;
        if (hasArg && !ParseCount(arg, 1, 1000000, &frame))
            return false;
        m_bGarbageInStream = on;
        m_nGarbageFrame = on ? frame : 2;
        return true;
    }
    if (base == "fw-crc") {
        if (!on) {
            m_nFwCrcChunk = 0;
            return true;
        }
        int chunk = 0;
        if (!hasArg || !ParseCount(arg, 1, 1000000, &chunk))
            return false;
        m_nFwCrcChunk = chunk;
        return true;
    }
    return false;
}

bool CSimFaults::AnySet() const
{
    return m_bNoReply || m_bCutShort || m_bBadCheck || m_bNoEtx || m_bStaleBytes
        || m_bExtraBytes || m_bGarbageInStream || m_bCorruptInStream || m_bSlow
        || m_nFwCrcChunk != 0 || m_bEndlessStream || m_bSeriesEarlyRecord || m_bSeriesUncounted
        || m_bSeriesRepeat || m_bSeriesGap;
}
