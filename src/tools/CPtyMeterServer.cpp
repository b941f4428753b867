#include "CPtyMeterServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

// How long the server sleeps when a pseudo-terminal master reports that no
// slave is open, which only happens if the held slave is gone: a master in
// that state is always "ready" and would otherwise spin.
constexpr int64_t kNoPeerPauseNs = 20000000;

std::string ErrnoText(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

void CloseFd(int* fd)
{
    if (*fd >= 0)
        ::close(*fd);
    *fd = -1;
}

void SleepNs(int64_t ns)
{
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace

CPtyMeterServer::CPtyMeterServer(const CSimMeter::Setup& setup)
    : m_pMeter(std::make_unique<CSimMeter>(m_clock, setup))
{
}

CPtyMeterServer::~CPtyMeterServer()
{
    RequestStop();
    Join();
    CloseLine();
    CloseFd(&m_wake[0]);
    CloseFd(&m_wake[1]);
}

int64_t CPtyMeterServer::WireTimeNs(uint64_t bytes)
{
    return int64_t(bytes * kBitsPerByte * 1000000000ull / kBaud);
}

int64_t CPtyMeterServer::NowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------- the line

bool CPtyMeterServer::OpenWakePipe(std::string* error)
{
    if (m_wake[0] >= 0)
        return true;
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        m_wake[0] = m_wake[1] = -1;
        if (error)
            *error = ErrnoText("cannot make a wake-up pipe", errno);
        return false;
    }
    return true;
}

bool CPtyMeterServer::MakeRaw(int fd, std::string* error)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        if (error)
            *error = ErrnoText("cannot read the line settings", errno);
        return false;
    }
    // The frames are binary: no echo, no line editing, no CR/LF or XON/XOFF
    // handling, nothing turned into signals, all eight bits kept.
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, B115200) != 0 || ::cfsetospeed(&t, B115200) != 0
        || ::tcsetattr(fd, TCSANOW, &t) != 0) {
        if (error)
            *error = ErrnoText("cannot set the line to raw 115200 8N1", errno);
        return false;
    }
    return true;
}

bool CPtyMeterServer::OpenPty(std::string* error)
{
    if (m_nLine >= 0) {
        if (error)
            *error = "a line is already open";
        return false;
    }
    if (!OpenWakePipe(error))
        return false;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        if (error)
            *error = ErrnoText("cannot open a pseudo-terminal", errno);
        return false;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof name) != 0) {
        if (error)
            *error = ErrnoText("cannot prepare the pseudo-terminal", errno);
        ::close(master);
        return false;
    }
    // O_NOCTTY: the slave must never become this process's controlling
    // terminal, whose hang-up would send it SIGHUP.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        if (error)
            *error = ErrnoText("cannot open the pseudo-terminal's slave", errno);
        ::close(master);
        return false;
    }
    // The slave's settings are the line's; the PC sets its own as well, but a
    // tool that only opens the port must not see a cooked line.
    if (!MakeRaw(slave, error)) {
        ::close(slave);
        ::close(master);
        return false;
    }
    m_nLine = master;
    m_nHeldSlave = slave;
    m_bPty = true;
    m_strPath = name;
    return true;
}

bool CPtyMeterServer::OpenTty(const std::string& path, std::string* error)
{
    if (m_nLine >= 0) {
        if (error)
            *error = "a line is already open";
        return false;
    }
    if (path.empty() || path.find('\0') != std::string::npos) {
        if (error)
            *error = "no usable tty path";
        return false;
    }
    if (!OpenWakePipe(error))
        return false;
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (error)
            *error = ErrnoText(("cannot open " + path).c_str(), errno);
        return false;
    }
    if (!::isatty(fd)) {
        if (error)
            *error = path + " is not a terminal";
        ::close(fd);
        return false;
    }
    if (!MakeRaw(fd, error)) {
        ::close(fd);
        return false;
    }
    m_nLine = fd;
    m_bPty = false;
    m_strPath = path;
    return true;
}

void CPtyMeterServer::CloseLine()
{
    CloseFd(&m_nLine);
    CloseFd(&m_nHeldSlave);
    m_pending.clear();
    m_bBlocked = false;
}

// ---------------------------------------------------------------- engine access

bool CPtyMeterServer::ParseFaults(const std::string& list, CSimFaults* faults)
{
    if (!faults)
        return false;
    // Tried on a copy first, so one unknown name changes nothing.
    CSimFaults probe = *faults;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        const size_t first = item.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
        if (!probe.SetByName(item))
            return false;
    }
    *faults = probe;
    return true;
}

bool CPtyMeterServer::SetFaults(const std::string& list)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return ParseFaults(list, &m_pMeter->Faults());
}

void CPtyMeterServer::ClearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pMeter->Faults().Clear();
}

void CPtyMeterServer::WithMeter(const std::function<void(CSimMeter&)>& fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fn)
        fn(*m_pMeter);
}

void CPtyMeterServer::VanishAfter(uint64_t replyBytes, int quietMs)
{
    m_nVanishQuietMs = std::max(0, quietMs);
    const uint64_t total = m_nWrittenTotal.load();
    m_nVanishAfter = replyBytes > UINT64_MAX - 1 - total ? UINT64_MAX - 1 : total + replyBytes;
}

void CPtyMeterServer::SetKeepTranscript(bool keep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bKeepTranscript = keep;
}

std::vector<uint8_t> CPtyMeterServer::GetBytesRead() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_read;
}

std::vector<uint8_t> CPtyMeterServer::GetBytesWritten() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

// ---------------------------------------------------------------- running

bool CPtyMeterServer::Start()
{
    if (m_nLine < 0 || m_thread.joinable() || IsEnded())
        return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

CPtyMeterServer::EndReason CPtyMeterServer::Join()
{
    if (m_thread.joinable())
        m_thread.join();
    return EndReason(m_nEnd.load());
}

void CPtyMeterServer::RequestStop()
{
    // Only an atomic store and write(): both may be used in a signal handler.
    m_bStop = true;
    if (m_wake[1] >= 0) {
        const ssize_t n = ::write(m_wake[1], "s", 1);
        (void)n;   // a full pipe already holds a wake-up
    }
}

CPtyMeterServer::EndReason CPtyMeterServer::Run()
{
    const EndReason reason = m_nLine < 0 ? END_ERROR : Serve();
    m_nEnd = reason;
    return reason;
}

int64_t CPtyMeterServer::NextDueNs() const
{
    if (m_pending.empty())
        return INT64_MAX;
    const Segment& s = m_pending.front();
    return s.nBaseNs + WireTimeNs(s.nSent + 1);
}

CPtyMeterServer::EndReason CPtyMeterServer::Serve()
{
    EndReason reason = END_RUNNING;
    for (;;) {
        if (m_bStop)
            return END_STOPPED;
        int64_t now = NowNs();
        if (m_pending.size() < 2) {
            // A meter stuck in an endless stream always has more to send.
            Segment more;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                more.bytes = m_pMeter->ContinueEndlessStream(16);
            }
            if (!more.bytes.empty()) {
                more.nBaseNs = std::max(now, m_nTxFreeNs);
                m_nTxFreeNs = more.nBaseNs + WireTimeNs(more.bytes.size());
                m_pending.push_back(std::move(more));
            }
        }
        if (!WriteDue(now, &reason))
            return reason;
        if (m_nVanishAtNs >= 0 && now >= m_nVanishAtNs + int64_t(m_nVanishQuietMs) * 1000000) {
            CloseLine();
            return END_VANISHED;
        }

        int64_t wakeAt = INT64_MAX;
        if (m_nVanishAtNs >= 0)
            wakeAt = m_nVanishAtNs + int64_t(m_nVanishQuietMs) * 1000000;
        else if (!m_pending.empty() && !m_bBlocked)
            // The bytes due by then go out together; a slice is short enough
            // that the PC still sees them trickle in.
            wakeAt = std::max(NextDueNs(), now + kSliceNs);

        pollfd fds[2] = {{m_nLine, short(POLLIN | (m_bBlocked ? POLLOUT : 0)), 0},
                         {m_wake[0], POLLIN, 0}};
        timespec timeout{};
        timespec* pTimeout = nullptr;
        if (wakeAt != INT64_MAX) {
            const int64_t wait = std::max<int64_t>(0, wakeAt - now);
            timeout.tv_sec = time_t(wait / 1000000000);
            timeout.tv_nsec = long(wait % 1000000000);
            pTimeout = &timeout;
        }
        const int ready = ::ppoll(fds, 2, pTimeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return END_ERROR;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        const short events = fds[0].revents;
        if (events & POLLNVAL)
            return END_ERROR;
        if (events & POLLOUT)
            m_bBlocked = false;
        if (events & POLLIN) {
            if (!ReadRequests(NowNs(), &reason))
                return reason;
        } else if (events & (POLLHUP | POLLERR)) {
            if (!m_bPty)
                return END_HANGUP;
            SleepNs(kNoPeerPauseNs);
        }
    }
}

bool CPtyMeterServer::ReadRequests(int64_t nowNs, EndReason* reason)
{
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_nLine, buffer, sizeof buffer);
        if (n > 0) {
            std::vector<CSimMeter::Reply> replies;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_bKeepTranscript)
                    m_read.insert(m_read.end(), buffer, buffer + n);
                m_pMeter->Receive(buffer, size_t(n));
                replies = m_pMeter->TakeReplies();
            }
            // The request has fully arrived now; each reply leaves after the
            // meter's processing delay, behind whatever it is still sending.
            for (CSimMeter::Reply& reply : replies) {
                if (reply.bytes.empty())
                    continue;
                Segment s;
                s.nBaseNs = std::max(nowNs + reply.nDelayUs * 1000, m_nTxFreeNs);
                s.bytes = std::move(reply.bytes);
                m_nTxFreeNs = s.nBaseNs + WireTimeNs(s.bytes.size());
                m_pending.push_back(std::move(s));
            }
            if (size_t(n) < sizeof buffer)
                return true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (m_bPty) {
            // A master reads EIO while no slave is open at all.
            SleepNs(kNoPeerPauseNs);
            return true;
        }
        // An empty read or EIO on a tty is its hang-up.
        *reason = (n == 0 || errno == EIO) ? END_HANGUP : END_ERROR;
        return false;
    }
}

bool CPtyMeterServer::WriteDue(int64_t nowNs, EndReason* reason)
{
    while (!m_pending.empty() && !m_bBlocked && m_nVanishAtNs < 0) {
        Segment& s = m_pending.front();
        // Bytes whose last bit has left the meter by now.
        size_t due = s.bytes.size();
        if (nowNs - s.nBaseNs < WireTimeNs(s.bytes.size()))
            due = nowNs <= s.nBaseNs
                ? 0
                : size_t(uint64_t(nowNs - s.nBaseNs) * kBaud / (uint64_t(kBitsPerByte) * 1000000000ull));
        const uint64_t vanishAfter = m_nVanishAfter;
        if (vanishAfter != UINT64_MAX) {
            const uint64_t written = m_nWrittenTotal;
            const uint64_t left = vanishAfter > written ? vanishAfter - written : 0;
            due = size_t(std::min<uint64_t>(due, s.nSent + left));
        }
        if (due > s.nSent) {
            ssize_t n;
            int error = 0;
            {
                // Written and noted under the lock, so whoever reads the
                // transcript never misses a byte the other side already has.
                std::lock_guard<std::mutex> lock(m_mutex);
                n = ::write(m_nLine, s.bytes.data() + s.nSent, due - s.nSent);
                error = errno;
                if (n > 0 && m_bKeepTranscript)
                    m_written.insert(m_written.end(), s.bytes.begin() + std::ptrdiff_t(s.nSent),
                                     s.bytes.begin() + std::ptrdiff_t(s.nSent) + n);
            }
            if (n < 0) {
                if (error == EINTR)
                    continue;
                if (error == EAGAIN || error == EWOULDBLOCK) {
                    m_bBlocked = true;
                    break;
                }
                *reason = (!m_bPty && error == EIO) ? END_HANGUP : END_ERROR;
                return false;
            }
            s.nSent += size_t(n);
            m_nWrittenTotal += uint64_t(n);
            if (s.nSent < due) {
                m_bBlocked = true;   // the line took part of it: wait until it has room
                break;
            }
        }
        if (m_nVanishAfter != UINT64_MAX && m_nWrittenTotal >= m_nVanishAfter) {
            m_nVanishAtNs = nowNs;
            break;
        }
        if (s.nSent < s.bytes.size())
            break;   // the rest is not due yet
        m_pending.pop_front();
    }
    if (m_nVanishAtNs < 0 && m_nVanishAfter != UINT64_MAX && m_nWrittenTotal >= m_nVanishAfter)
        m_nVanishAtNs = nowNs;
    return true;
}
