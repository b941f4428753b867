#include "CPseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

CPseudoTerminal::CPseudoTerminal()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        return;
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof(name)) != 0) {
        ::close(master);
        return;
    }
    m_nMaster = master;
    m_strSlavePath = name;
}

CPseudoTerminal::~CPseudoTerminal()
{
    CloseMaster();
}

void CPseudoTerminal::CloseMaster()
{
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nMaster = -1;
}

bool CPseudoTerminal::Write(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (m_nMaster >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_nMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd entry{m_nMaster, POLLOUT, 0};
        if (::poll(&entry, 1, 2000) == 0)
            return false;
    }
    return done == bytes.size();
}

std::vector<uint8_t> CPseudoTerminal::Read(size_t count, int timeoutMs)
{
    std::vector<uint8_t> bytes;
    while (m_nMaster >= 0 && bytes.size() < count) {
        pollfd entry{m_nMaster, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) <= 0)
            break;
        uint8_t chunk[4096];
        const ssize_t n = ::read(m_nMaster, chunk, std::min(sizeof(chunk), count - bytes.size()));
        if (n > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return bytes;
}

bool CPseudoTerminal::GetSlaveAttributes(termios* attributes) const
{
    const int fd = ::open(m_strSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::tcgetattr(fd, attributes) == 0;
    ::close(fd);
    return ok;
}

bool CPseudoTerminal::SetSlaveAttributes(const termios& attributes) const
{
    const int fd = ::open(m_strSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::tcsetattr(fd, TCSANOW, &attributes) == 0;
    ::close(fd);
    return ok;
}
