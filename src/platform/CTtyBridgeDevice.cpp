#include "CTtyBridgeDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint8_t kFlowRtsCts = 1;
constexpr uint8_t kFlowXonXoff = 3;
constexpr uint8_t kFlowNone = 4;

constexpr uint8_t kParityNone = 0;
constexpr uint8_t kParityOdd = 1;
constexpr uint8_t kParityEven = 2;
constexpr uint8_t kParityMark = 3;
constexpr uint8_t kParitySpace = 4;

constexpr uint8_t kStopBitsOne = 0;
constexpr uint8_t kStopBitsTwo = 2;

#ifdef CRTSCTS
constexpr tcflag_t kHardwareFlow = CRTSCTS;
#else
constexpr tcflag_t kHardwareFlow = 0;
#endif
#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif
constexpr tcflag_t kSoftwareFlow = IXON | IXOFF | IXANY;

struct BaudEntry {
    uint32_t rate;
    speed_t code;
};

// The rates termios names. B0 is left out on purpose: setting it hangs the
// line up (drops DTR) instead of choosing a rate.
constexpr BaudEntry kBaudRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedCode(uint32_t rate, speed_t* code)
{
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

uint32_t SpeedRate(speed_t code)
{
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.code == code)
            return entry.rate;
    }
    return 0;   // a rate termios does not name; the link then sets its own
}

// The settings this driver changes, compared after a change: tcsetattr
// succeeds when any part of a request was taken, and a driver may keep the
// old value of what its hardware cannot do (a pseudo-terminal always stays
// at 8 bits without parity).
bool SameLineSettings(const termios& a, const termios& b)
{
    const tcflag_t cflags = CSIZE | CSTOPB | PARENB | PARODD | kStickParity | kHardwareFlow
        | CLOCAL | CREAD;
    const tcflag_t iflags = kSoftwareFlow;
    const tcflag_t lflags = ICANON | ECHO | ISIG | IEXTEN;
    return (a.c_cflag & cflags) == (b.c_cflag & cflags)
        && (a.c_iflag & iflags) == (b.c_iflag & iflags)
        && (a.c_lflag & lflags) == (b.c_lflag & lflags)
        && cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

int OpenErrorStatus(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return BRIDGE_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return BRIDGE_DEVICE_NOT_FOUND;
    default:
        return BRIDGE_DEVICE_NOT_OPENED;
    }
}

}   // namespace

int CTtyBridgeDevice::Open(const std::string& path, std::unique_ptr<CTtyBridgeDevice>* device,
                           int writeStallMs)
{
    if (!device)
        return BRIDGE_INVALID_PARAMETER;
    device->reset();
    // The C library would stop at an embedded NUL and open a different file.
    if (path.find('\0') != std::string::npos)
        return BRIDGE_INVALID_PARAMETER;

    // O_NOCTTY: the port must never become the program's controlling
    // terminal, whose hang-up would send it SIGHUP. O_NONBLOCK stays on for
    // good: reads take what is waiting and the open itself does not wait
    // for a carrier.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return OpenErrorStatus(errno);
    if (!::isatty(fd)) {
        ::close(fd);
        return BRIDGE_DEVICE_NOT_OPENED;
    }
    device->reset(new CTtyBridgeDevice(fd, writeStallMs));
    return BRIDGE_OK;
}

std::unique_ptr<CTtyBridgeDevice> CTtyBridgeDevice::Adopt(int fd, int writeStallMs)
{
    if (fd < 0 || !::isatty(fd))
        return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return nullptr;
    return std::unique_ptr<CTtyBridgeDevice>(new CTtyBridgeDevice(fd, writeStallMs));
}

CTtyBridgeDevice::CTtyBridgeDevice(int fd, int writeStallMs)
    : m_nFd(fd), m_nWriteStallMs(std::max(0, writeStallMs))
{
}

CTtyBridgeDevice::~CTtyBridgeDevice()
{
    Close();
}

int CTtyBridgeDevice::GetAttributes(termios* attributes) const
{
    return ::tcgetattr(m_nFd, attributes) == 0 ? BRIDGE_OK : BRIDGE_IO_ERROR;
}

int CTtyBridgeDevice::SetAttributes(const termios& wanted)
{
    if (::tcsetattr(m_nFd, TCSANOW, &wanted) != 0)
        return BRIDGE_IO_ERROR;
    termios applied{};
    if (::tcgetattr(m_nFd, &applied) != 0)
        return BRIDGE_IO_ERROR;
    // The driver refused part of the request; saying so lets the link report
    // the step instead of talking to the meter with settings it did not ask for.
    return SameLineSettings(applied, wanted) ? BRIDGE_OK : BRIDGE_OTHER_ERROR;
}

bool CTtyBridgeDevice::HungUp() const
{
    pollfd entry{m_nFd, POLLIN, 0};
    int n;
    do {
        n = ::poll(&entry, 1, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return true;
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int CTtyBridgeDevice::UartInit()
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    termios t{};
    int rc = GetAttributes(&t);
    if (rc != BRIDGE_OK)
        return rc;

    // No echo, no line editing, no CR/LF translation, no signals from bytes,
    // no stripping of the eighth bit.
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | kStickParity | kHardwareFlow);
    t.c_cflag |= CS8 | CLOCAL | CREAD;   // CLOCAL: no modem lines on the meter's UART
    t.c_iflag &= ~(kSoftwareFlow | INPCK);
    // VMIN 1, VTIME 0: a read with nothing waiting then reports "try again"
    // instead of an empty read, so an empty read always means a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, B115200) != 0 || ::cfsetospeed(&t, B115200) != 0)
        return BRIDGE_OTHER_ERROR;
    return SetAttributes(t);
}

int CTtyBridgeDevice::SelectGpioAFunction(int /*function*/)
{
    return m_nFd < 0 ? BRIDGE_INVALID_HANDLE : BRIDGE_OK;
}

int CTtyBridgeDevice::UartGetConfig(UartConfig* config)
{
    if (!config)
        return BRIDGE_INVALID_PARAMETER;
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    termios t{};
    const int rc = GetAttributes(&t);
    if (rc != BRIDGE_OK)
        return rc;

    UartConfig read;
    read.baudRate = SpeedRate(::cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5: read.dataBits = 5; break;
    case CS6: read.dataBits = 6; break;
    case CS7: read.dataBits = 7; break;
    default: read.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        read.parity = kParityNone;
    else if (t.c_cflag & kStickParity)
        read.parity = (t.c_cflag & PARODD) ? kParityMark : kParitySpace;
    else
        read.parity = (t.c_cflag & PARODD) ? kParityOdd : kParityEven;
    read.stopBits = (t.c_cflag & CSTOPB) ? kStopBitsTwo : kStopBitsOne;
    if (kHardwareFlow != 0 && (t.c_cflag & kHardwareFlow))
        read.flowControl = kFlowRtsCts;
    else if (t.c_iflag & (IXON | IXOFF))
        read.flowControl = kFlowXonXoff;
    else
        read.flowControl = kFlowNone;
    read.breaking = 0;
    *config = read;
    return BRIDGE_OK;
}

int CTtyBridgeDevice::UartSetBaudRate(uint32_t baudRate)
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    speed_t code;
    if (!SpeedCode(baudRate, &code))
        return BRIDGE_INVALID_PARAMETER;
    termios t{};
    const int rc = GetAttributes(&t);
    if (rc != BRIDGE_OK)
        return rc;
    if (::cfsetispeed(&t, code) != 0 || ::cfsetospeed(&t, code) != 0)
        return BRIDGE_INVALID_PARAMETER;
    return SetAttributes(t);
}

int CTtyBridgeDevice::UartSetFlowControl(int mode)
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    if (mode != kFlowNone && mode != kFlowXonXoff && !(mode == kFlowRtsCts && kHardwareFlow != 0))
        return BRIDGE_INVALID_PARAMETER;
    termios t{};
    const int rc = GetAttributes(&t);
    if (rc != BRIDGE_OK)
        return rc;
    t.c_cflag &= ~kHardwareFlow;
    t.c_iflag &= ~kSoftwareFlow;
    if (mode == kFlowRtsCts)
        t.c_cflag |= kHardwareFlow;
    else if (mode == kFlowXonXoff)
        t.c_iflag |= IXON | IXOFF;
    return SetAttributes(t);
}

int CTtyBridgeDevice::UartSetDataCharacteristics(int dataBits, int stopBits, int parity)
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    // Nothing is changed unless all three fit; two stop bits are coded 2.
    if ((dataBits != 7 && dataBits != 8) || (stopBits != kStopBitsOne && stopBits != kStopBitsTwo)
        || parity < kParityNone || parity > kParityEven)
        return BRIDGE_INVALID_PARAMETER;
    termios t{};
    const int rc = GetAttributes(&t);
    if (rc != BRIDGE_OK)
        return rc;
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | kStickParity);
    t.c_cflag |= (dataBits == 7) ? CS7 : CS8;
    if (stopBits == kStopBitsTwo)
        t.c_cflag |= CSTOPB;
    if (parity == kParityOdd)
        t.c_cflag |= PARENB | PARODD;
    else if (parity == kParityEven)
        t.c_cflag |= PARENB;
    return SetAttributes(t);
}

int CTtyBridgeDevice::UartGetQueueStatus(uint32_t* bytesWaiting)
{
    if (!bytesWaiting)
        return BRIDGE_INVALID_PARAMETER;
    *bytesWaiting = 0;
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;

    int waiting = 0;
    if (::ioctl(m_nFd, FIONREAD, &waiting) != 0)
        return BRIDGE_IO_ERROR;
    // Bytes still in the kernel are handed out first; an empty queue on a
    // hung-up line is the end of the device, not a meter that is silent.
    if (waiting > 0) {
        *bytesWaiting = uint32_t(waiting);
        return BRIDGE_OK;
    }
    return HungUp() ? BRIDGE_IO_ERROR : BRIDGE_OK;
}

int CTtyBridgeDevice::UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                               uint32_t* bytesRead)
{
    if (!bytesRead)
        return BRIDGE_INVALID_PARAMETER;
    *bytesRead = 0;
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    if (bytesToRead > bufferSize || (!buffer && bytesToRead > 0))
        return BRIDGE_INVALID_PARAMETER;
    if (bytesToRead == 0)
        return BRIDGE_OK;

    for (;;) {
        const ssize_t n = ::read(m_nFd, buffer, bytesToRead);
        if (n > 0) {
            *bytesRead = uint32_t(n);
            return BRIDGE_OK;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return BRIDGE_OK;   // nothing waiting
        // An empty read is the end of the line once it has been hung up;
        // with settings left by someone else (VMIN 0) it only means "nothing".
        if (n == 0 && !HungUp())
            return BRIDGE_OK;
        return BRIDGE_IO_ERROR;
    }
}

int CTtyBridgeDevice::UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                                uint32_t* bytesWritten)
{
    using Clock = std::chrono::steady_clock;
    if (!bytesWritten)
        return BRIDGE_INVALID_PARAMETER;
    *bytesWritten = 0;
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    if (bytesToWrite > bufferSize || (!buffer && bytesToWrite > 0))
        return BRIDGE_INVALID_PARAMETER;

    // The kernel takes what fits in its output buffer; a full buffer (flow
    // control holding the line, a peer that does not read) is waited out
    // for at most m_nWriteStallMs without progress, never forever.
    uint32_t done = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_nWriteStallMs);
    while (done < bytesToWrite) {
        const ssize_t n = ::write(m_nFd, buffer + done, bytesToWrite - done);
        if (n > 0) {
            done += uint32_t(n);
            *bytesWritten = done;
            deadline = Clock::now() + std::chrono::milliseconds(m_nWriteStallMs);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return BRIDGE_IO_ERROR;

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        if (left.count() <= 0)
            return BRIDGE_IO_ERROR;
        pollfd entry{m_nFd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, int(left.count()));
        if (ready < 0 && errno != EINTR)
            return BRIDGE_IO_ERROR;
        if (ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return BRIDGE_IO_ERROR;
    }
    return BRIDGE_OK;
}

int CTtyBridgeDevice::UartReset()
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    return ::tcflush(m_nFd, TCIOFLUSH) == 0 ? BRIDGE_OK : BRIDGE_IO_ERROR;
}

int CTtyBridgeDevice::Close()
{
    if (m_nFd < 0)
        return BRIDGE_INVALID_HANDLE;
    // The descriptor is released even when close reports an error.
    ::close(m_nFd);
    m_nFd = -1;
    return BRIDGE_OK;
}
