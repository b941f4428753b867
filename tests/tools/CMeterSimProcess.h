#pragma once
// brevane-meter-sim started as a child process with its stdout on a pipe, the
// way a script or a second terminal would run it.

#include <string>
#include <sys/types.h>
#include <vector>

class CMeterSimProcess {
public:
    CMeterSimProcess() = default;
    ~CMeterSimProcess();   // a child still running is killed and reaped
    CMeterSimProcess(const CMeterSimProcess&) = delete;
    CMeterSimProcess& operator=(const CMeterSimProcess&) = delete;

    bool Start(const std::string& executable, const std::vector<std::string>& arguments);
    // The first line the child printed, without its newline; empty when none
    // came within timeoutMs.
    std::string ReadLine(int timeoutMs);
    // Sends the signal and waits up to timeoutMs for the child to end. The
    // exit code, or -1 when it did not end by itself (it is then killed), or
    // 128 + the signal when a signal ended it.
    int Stop(int signal, int timeoutMs);
    // Waits for a child that ends by itself; the same codes as Stop.
    int Wait(int timeoutMs);

private:
    pid_t m_nPid = -1;
    int m_nOut = -1;
    std::string m_strBuffered;
};
