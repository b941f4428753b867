#include "CMeterSimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CMeterSimProcess::~CMeterSimProcess()
{
    if (m_nPid > 0)
        Stop(SIGKILL, 2000);
    if (m_nOut >= 0)
        ::close(m_nOut);
}

bool CMeterSimProcess::Start(const std::string& executable, const std::vector<std::string>& arguments)
{
    int out[2];
    if (m_nPid > 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args{executable};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return false;
    }
    m_nPid = pid;
    m_nOut = out[0];
    return true;
}

std::string CMeterSimProcess::ReadLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t newline = m_strBuffered.find('\n');
        if (newline != std::string::npos) {
            std::string line = m_strBuffered.substr(0, newline);
            m_strBuffered.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (m_nOut < 0 || left.count() <= 0)
            return {};
        pollfd entry{m_nOut, POLLIN, 0};
        if (::poll(&entry, 1, int(left.count())) <= 0)
            continue;
        char chunk[256];
        const ssize_t n = ::read(m_nOut, chunk, sizeof chunk);
        if (n > 0)
            m_strBuffered.append(chunk, size_t(n));
        else if (n == 0 || errno != EINTR)
            return {};
    }
}

int CMeterSimProcess::Wait(int timeoutMs)
{
    if (m_nPid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_nPid, &status, WNOHANG);
        if (done == m_nPid)
            break;
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_nPid, SIGKILL);
            ::waitpid(m_nPid, &status, 0);
            m_nPid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_nPid = -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int CMeterSimProcess::Stop(int signal, int timeoutMs)
{
    if (m_nPid <= 0)
        return -1;
    ::kill(m_nPid, signal);
    return Wait(timeoutMs);
}
