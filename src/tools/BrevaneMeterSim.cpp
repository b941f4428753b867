// brevane-meter-sim: the simulated meter behind a real terminal line, so the
// program (or anything else that speaks the meter's protocol) can be pointed
// at it with --port like at a serial cable.
//
//   terminal 1:  brevane-meter-sim --pty          prints e.g. /dev/pts/5
//   terminal 2:  brevane --port /dev/pts/5
//
// The path goes to stdout as the first line, alone, so a script can read it;
// everything else goes to stderr. Exit code 0 after SIGINT/SIGTERM/SIGHUP or a
// hang-up of a --tty line, 1 when the line cannot be opened or fails, 2 for
// bad arguments.

#include "CMeterSimOptions.h"
#include "CPtyMeterServer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

std::atomic<CPtyMeterServer*> g_pServer{nullptr};

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    if (CPtyMeterServer* server = g_pServer.load())
        server->RequestStop();
    errno = saved;
}

void InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    CMeterSimOptions options;
    std::string error;
    if (!options.Parse(argc, argv, &error)) {
        std::fprintf(stderr, "brevane-meter-sim: %s\n", error.c_str());
        CMeterSimOptions::PrintUsage(stderr);
        return 2;
    }
    if (options.m_bHelp) {
        CMeterSimOptions::PrintUsage(stdout);
        return 0;
    }

    CPtyMeterServer server(options.m_setup);
    if (!server.SetFaults(options.m_strFaults)) {
        std::fprintf(stderr, "brevane-meter-sim: unknown fault in '%s'\n",
                     options.m_strFaults.c_str());
        return 2;
    }
    const bool opened = options.m_bPty ? server.OpenPty(&error)
                                       : server.OpenTty(options.m_strTtyPath, &error);
    if (!opened) {
        std::fprintf(stderr, "brevane-meter-sim: %s\n", error.c_str());
        return 1;
    }
    // Installed only now, so that the handler always finds a server whose
    // wake-up pipe exists.
    g_pServer = &server;
    InstallStopSignals();

    std::printf("%s\n", server.GetPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "brevane-meter-sim: serving the simulated meter on %s%s%s (Ctrl-C stops)\n",
                 server.GetPath().c_str(), options.m_strFaults.empty() ? "" : ", faults: ",
                 options.m_strFaults.c_str());

    const CPtyMeterServer::EndReason end = server.Run();
    g_pServer = nullptr;
    switch (end) {
    case CPtyMeterServer::END_STOPPED:
        std::fprintf(stderr, "brevane-meter-sim: stopped\n");
        return 0;
    case CPtyMeterServer::END_HANGUP:
        std::fprintf(stderr, "brevane-meter-sim: the other side hung up %s\n",
                     server.GetPath().c_str());
        return 0;
    default:
        std::fprintf(stderr, "brevane-meter-sim: the line failed\n");
        return 1;
    }
}
