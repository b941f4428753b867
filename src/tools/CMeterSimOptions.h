#pragma once
// The command line of brevane-meter-sim:
//
//   brevane-meter-sim [--pty | --tty PATH] [--fault NAME[,NAME...]]...
//                     [--records N] [--series N] [--seed N] [--help]
//
// Parse() checks everything, fault names included, before any line is
// opened, so a typo never leaves a half-started meter behind.

#include "CSimMeter.h"

#include <cstdio>
#include <string>

class CMeterSimOptions {
public:
    static constexpr long kMaxRecords = 100000;
    static constexpr long kMaxSeries = 255;   // the summary counts in one byte

    bool m_bHelp = false;
    bool m_bPty = true;          // false: serve m_strTtyPath
    std::string m_strTtyPath;
    std::string m_strFaults;     // comma-separated, as CPtyMeterServer::SetFaults takes them
    CSimMeter::Setup m_setup;

    // false with a one-line reason in *error for anything it cannot use.
    bool Parse(int argc, const char* const* argv, std::string* error);

    static void PrintUsage(std::FILE* out);
};
