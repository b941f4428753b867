// Timed driver: brevane-cli downloads 5,000 stored records from
// brevane-meter-sim on a pseudo-terminal, both as separate processes the
// way a user runs them, and the whole run of the tool (start, device
// search, download, writing the CSV, end) is held against the pure wire
// time of the stream's bytes. The tool adds its start and the device search
// to the link's own download; its target is to stay within 2 %.
//
// Prints
//   cli download wall/wire ratio: X.XXX                (target <= 1.02)
//   cli download with archive wall/wire ratio: X.XXX   (identity read and archive too)
// and exits with 1 when a download itself failed.

#include "CCliProcess.h"
#include "CMeterSimProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

constexpr int kRecords = 5000;
constexpr int kRequestBytes = 12;   // the 0x35 request frame
constexpr int kFrameBytes = 15;     // every record frame and the end marker
constexpr double kByteSeconds = 10.0 / 115200.0;

// The wall time of one run of the tool, or a negative number when it failed.
double TimedRun(const std::vector<std::string>& args)
{
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = CCliProcess::Run(BREVANE_CLI_EXE, args, {}, 120000);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (run.nExit != 0) {
        std::fprintf(stderr, "brevane-cli failed (%d): %s", run.nExit, run.strErr.c_str());
        return -1.0;
    }
    return wall;
}

} // namespace

int main()
{
    CMeterSimProcess sim;
    if (!sim.Start(BREVANE_METER_SIM_EXE, {"--pty", "--records", std::to_string(kRecords)})) {
        std::fprintf(stderr, "cannot start brevane-meter-sim\n");
        return 1;
    }
    const std::string port = sim.ReadLine(5000);
    if (port.empty()) {
        std::fprintf(stderr, "brevane-meter-sim printed no port\n");
        return 1;
    }
    char folder[] = "/tmp/brevane-bench-cli.XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = folder;
    const std::string csv = dir + "/rows.csv";
    const std::string archive = dir + "/archive.sqlite";

    const double wire = (kRequestBytes + double(kRecords + 1) * kFrameBytes) * kByteSeconds;
    const double bare = TimedRun({"download", "memory", "--port", port, "--no-archive", "--quiet", "--out", csv});
    const double kept = TimedRun({"download", "memory", "--port", port, "--archive", archive, "--quiet",
                                  "--out", csv});
    std::system(("rm -rf '" + dir + "'").c_str());
    sim.Stop(SIGTERM, 3000);
    if (bare < 0.0 || kept < 0.0)
        return 1;

    std::printf("pseudo-terminal: %s\n", port.c_str());
    std::printf("wire time: %.3f s (%d records)\n", wire, kRecords);
    std::printf("wall time: %.3f s, with the archive %.3f s\n", bare, kept);
    std::printf("cli download wall/wire ratio: %.3f\n", bare / wire);
    std::printf("cli download with archive wall/wire ratio: %.3f\n", kept / wire);
    return 0;
}
