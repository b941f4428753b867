#include "CHidFt260Device.h"

#include "CCrashAltStack.h"

#include <algorithm>
#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif
#include <chrono>
#include <cstring>

namespace {

// Report ids of the chip.
constexpr uint8_t kReportChipVersion = 0xA0;     // feature GET, 13 bytes
constexpr uint8_t kReportSystemSetting = 0xA1;   // feature GET (status) and SET (requests)
constexpr uint8_t kReportUartStatus = 0xE0;      // feature GET, 10 bytes
constexpr uint8_t kReportUartFirst = 0xF0;       // input/output UART data, 4 bytes more per id
constexpr uint8_t kReportUartLast = 0xFE;

// Requests of the system-setting report (byte 1 of a 0xA1 SET).
constexpr uint8_t kReqUartMode = 0x03;           // flow control; 0 switches the UART off
constexpr uint8_t kReqGpioAFunction = 0x08;
constexpr uint8_t kReqUartReset = 0x40;
constexpr uint8_t kReqUartConfigure = 0x41;
constexpr uint8_t kReqUartBaudRate = 0x42;
constexpr uint8_t kReqUartDataBits = 0x43;
constexpr uint8_t kReqUartParity = 0x44;
constexpr uint8_t kReqUartStopBits = 0x45;

constexpr size_t kReportSize = 64;               // largest report, id included
constexpr size_t kMaxTxChunk = 60;               // data bytes of report 0xFE

// The link's settings: 115200 baud, 8 data bits, no parity, one stop bit,
// no flow control.
constexpr uint8_t kFlowNone = 4;
constexpr uint32_t kLinkBaudRate = 115200;
constexpr uint8_t kDataBits8 = 8;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kStopBitsOne = 0;

constexpr uint32_t kMinBaudRate = 1200;
constexpr uint32_t kMaxBaudRate = 12000000;

void PutLe32(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

uint32_t GetLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}   // namespace

CHidFt260Device::CHidFt260Device(std::unique_ptr<IHidHandle> handle, int keepAliveMs)
    : m_pHandle(std::move(handle)), m_nKeepAliveMs(keepAliveMs), m_bOpen(m_pHandle != nullptr)
{
}

CHidFt260Device::~CHidFt260Device()
{
    Close();
}

int CHidFt260Device::Start(int interfaceNumber)
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    if (m_thReader.joinable())
        return BRIDGE_OK;

    // System status, 0xA1 GET:
    // @0  1  0xA1
    // @1  1  chip mode: bit0 DCNF0, bit1 DCNF1
    // @2  12 clock, suspend, power, I2C, UART mode and pin functions
    // @14 1  power saving enabled
    uint8_t status[kReportSize] = {};
    int n = GetFeature(kReportSystemSetting, status, sizeof(status));
    if (n < 2)
        return BRIDGE_DEVICE_NOT_OPENED;

    // Chip mode 1 has no UART at all; modes 0 and 3 put the I2C controller
    // on interface 0 and the UART on interface 1; mode 2 has only a UART.
    const int chipMode = status[1] & 0x03;
    if (chipMode == 1)
        return BRIDGE_DEVICE_NOT_OPENED;
    if (interfaceNumber == 0 && (chipMode == 0 || chipMode == 3))
        return BRIDGE_DEVICE_NOT_OPENED;

    // A status too short to say is taken as power saving on: the wake-up
    // request costs little, a dozing chip loses data.
    const bool bPowerSaving = n < 15 || status[14] != 0;
    m_bKeepAlive = m_nKeepAliveMs > 0 && bPowerSaving;

    m_bStop = false;
    m_thReader = std::thread(&CHidFt260Device::ReaderLoop, this);
    return BRIDGE_OK;
}

// The chip has no single "initialise" request. The UART controller is
// reset to drop whatever a previous user left in it, and then configured in
// one request for the link's 115200 8N1 without flow control: the chip
// powers up with XON/XOFF flow control, which would swallow 0x11 and 0x13
// bytes of binary frames, and mode 0 would switch the UART off. The link's
// read-back of the configuration then finds nothing left to change.
int CHidFt260Device::UartInit()
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;

    const uint8_t reset[] = {kReportSystemSetting, kReqUartReset};
    int rc = SendSystemSetting(reset, sizeof(reset));
    if (rc != BRIDGE_OK)
        return rc;
    ClearRx();

    // @0  1  0xA1 system setting
    // @1  1  0x41 configure UART
    // @2  1  flow control, 4 = none
    // @3  4  baud rate, little-endian
    // @7  1  data bits
    // @8  1  parity, 0 = none
    // @9  1  stop bits, 0 = one
    // @10 1  break, 0 = off
    uint8_t config[11] = {kReportSystemSetting, kReqUartConfigure, kFlowNone};
    PutLe32(config + 3, kLinkBaudRate);
    config[7] = kDataBits8;
    config[8] = kParityNone;
    config[9] = kStopBitsOne;
    config[10] = 0;
    return SendSystemSetting(config, sizeof(config));
}

int CHidFt260Device::SelectGpioAFunction(int function)
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    // 0 GPIO, 3 transmit-active output, 4 transmit LED
    if (function != 0 && function != 3 && function != 4)
        return BRIDGE_INVALID_PARAMETER;
    const uint8_t report[] = {kReportSystemSetting, kReqGpioAFunction, uint8_t(function)};
    return SendSystemSetting(report, sizeof(report));
}

int CHidFt260Device::UartGetConfig(UartConfig* config)
{
    if (!config)
        return BRIDGE_INVALID_PARAMETER;
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;

    // UART status, 0xE0 GET:
    // @0 1  0xE0
    // @1 1  flow control (0 off, 1 RTS/CTS, 2 DTR/DSR, 3 XON/XOFF, 4 none)
    // @2 4  baud rate, little-endian
    // @6 1  data bits
    // @7 1  parity
    // @8 1  stop bits
    // @9 1  break
    uint8_t report[kReportSize] = {};
    if (GetFeature(kReportUartStatus, report, sizeof(report)) < 10)
        return BRIDGE_IO_ERROR;
    config->flowControl = report[1];
    config->baudRate = GetLe32(report + 2);
    config->dataBits = report[6];
    config->parity = report[7];
    config->stopBits = report[8];
    config->breaking = report[9];
    return BRIDGE_OK;
}

int CHidFt260Device::UartSetBaudRate(uint32_t baudRate)
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    if (baudRate < kMinBaudRate || baudRate > kMaxBaudRate)
        return BRIDGE_INVALID_PARAMETER;
    // @0 1  0xA1, @1 1  0x42, @2 4  baud rate little-endian
    uint8_t report[6] = {kReportSystemSetting, kReqUartBaudRate};
    PutLe32(report + 2, baudRate);
    return SendSystemSetting(report, sizeof(report));
}

int CHidFt260Device::UartSetFlowControl(int mode)
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    if (mode < 0 || mode > 4)
        return BRIDGE_INVALID_PARAMETER;
    const uint8_t report[] = {kReportSystemSetting, kReqUartMode, uint8_t(mode)};
    return SendSystemSetting(report, sizeof(report));
}

int CHidFt260Device::UartSetDataCharacteristics(int dataBits, int stopBits, int parity)
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    // Two stop bits are coded 2, not 1; nothing is sent unless all three fit.
    if ((dataBits != 7 && dataBits != 8) || (stopBits != 0 && stopBits != 2) || parity < 0
        || parity > 4)
        return BRIDGE_INVALID_PARAMETER;

    const uint8_t bits[] = {kReportSystemSetting, kReqUartDataBits, uint8_t(dataBits)};
    const uint8_t par[] = {kReportSystemSetting, kReqUartParity, uint8_t(parity)};
    const uint8_t stop[] = {kReportSystemSetting, kReqUartStopBits, uint8_t(stopBits)};
    int rc = SendSystemSetting(bits, sizeof(bits));
    if (rc == BRIDGE_OK)
        rc = SendSystemSetting(par, sizeof(par));
    if (rc == BRIDGE_OK)
        rc = SendSystemSetting(stop, sizeof(stop));
    return rc;
}

int CHidFt260Device::UartGetQueueStatus(uint32_t* bytesWaiting)
{
    if (!bytesWaiting)
        return BRIDGE_INVALID_PARAMETER;
    *bytesWaiting = 0;
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;

    std::lock_guard<std::mutex> lock(m_csRx);
    // Bytes that came in before the device failed are still handed out.
    if (m_RxFifo.empty() && m_bRxFailed)
        return BRIDGE_IO_ERROR;
    *bytesWaiting = uint32_t(m_RxFifo.size());
    return BRIDGE_OK;
}

int CHidFt260Device::UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                              uint32_t* bytesRead)
{
    if (!bytesRead)
        return BRIDGE_INVALID_PARAMETER;
    *bytesRead = 0;
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    if (bytesToRead > bufferSize || (!buffer && bytesToRead > 0))
        return BRIDGE_INVALID_PARAMETER;

    std::lock_guard<std::mutex> lock(m_csRx);
    if (m_RxFifo.empty() && m_bRxFailed)
        return BRIDGE_IO_ERROR;
    const size_t n = std::min<size_t>(bytesToRead, m_RxFifo.size());
    std::copy_n(m_RxFifo.begin(), n, buffer);
    m_RxFifo.erase(m_RxFifo.begin(), m_RxFifo.begin() + std::ptrdiff_t(n));
    *bytesRead = uint32_t(n);
    return BRIDGE_OK;
}

int CHidFt260Device::UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                               uint32_t* bytesWritten)
{
    if (!bytesWritten)
        return BRIDGE_INVALID_PARAMETER;
    *bytesWritten = 0;
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    if (bytesToWrite > bufferSize || (!buffer && bytesToWrite > 0))
        return BRIDGE_INVALID_PARAMETER;

    std::lock_guard<std::mutex> lock(m_csControl);
    uint32_t done = 0;
    while (done < bytesToWrite) {
        const size_t n = std::min<size_t>(kMaxTxChunk, bytesToWrite - done);
        // @0 1  id 0xF0 + (n - 1) / 4, the smallest report that holds n bytes
        // @1 1  n, the data bytes that follow (1..60)
        // @2 n  data
        uint8_t report[kReportSize];
        report[0] = uint8_t(kReportUartFirst + (n - 1) / 4);
        report[1] = uint8_t(n);
        std::memcpy(report + 2, buffer + done, n);
        if (m_pHandle->WriteOutputReport(report, n + 2) != int(n + 2))
            return BRIDGE_IO_ERROR;
        done += uint32_t(n);
        *bytesWritten = done;
    }
    return BRIDGE_OK;
}

int CHidFt260Device::UartReset()
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    const uint8_t report[] = {kReportSystemSetting, kReqUartReset};
    int rc = SendSystemSetting(report, sizeof(report));
    // What was received before the reset belongs to an exchange that is over.
    ClearRx();
    return rc;
}

int CHidFt260Device::Close()
{
    if (!m_bOpen)
        return BRIDGE_INVALID_HANDLE;
    m_bStop = true;
    if (m_thReader.joinable())
        m_thReader.join();
    m_pHandle->Close();
    m_bOpen = false;
    ClearRx();
    return BRIDGE_OK;
}

uint64_t CHidFt260Device::DroppedRxBytes() const
{
    std::lock_guard<std::mutex> lock(m_csRx);
    return m_nRxDropped;
}

int CHidFt260Device::SendSystemSetting(const uint8_t* report, size_t length)
{
    std::lock_guard<std::mutex> lock(m_csControl);
    return m_pHandle->SendFeatureReport(report, length) == int(length) ? BRIDGE_OK
                                                                        : BRIDGE_IO_ERROR;
}

int CHidFt260Device::GetFeature(uint8_t reportId, uint8_t* report, size_t size)
{
    // A whole 64-byte buffer: some HID stacks refuse a GET sized exactly to
    // the report.
    std::lock_guard<std::mutex> lock(m_csControl);
    report[0] = reportId;
    int n = m_pHandle->GetFeatureReport(report, size);
    if (n < 1 || size_t(n) > size || report[0] != reportId)
        return -1;
    return n;
}

void CHidFt260Device::ClearRx()
{
    std::lock_guard<std::mutex> lock(m_csRx);
    m_RxFifo.clear();
}

void CHidFt260Device::ReaderLoop()
{
    // So that an overflow of this thread's stack still leaves a crash record.
    const CCrashAltStack altStack;
#ifndef _WIN32
    // The program's asynchronous signals are handled by its other threads,
    // so that none interrupts the wait for the chip's reports; the fault
    // signals stay open for the crash record.
    sigset_t signals;
    sigfillset(&signals);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigdelset(&signals, fault);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif
    using Clock = std::chrono::steady_clock;
    const auto keepAlivePeriod = std::chrono::milliseconds(m_nKeepAliveMs);
    auto tNextKeepAlive = Clock::now() + keepAlivePeriod;

    uint8_t report[kReportSize];
    while (!m_bStop) {
        int n = m_pHandle->ReadInputReport(report, sizeof(report), kReadPollMs);
        if (n < 0) {
            std::lock_guard<std::mutex> lock(m_csRx);
            m_bRxFailed = true;
            return;
        }
        if (n > 0)
            AcceptInputReport(report, std::min<int>(n, int(sizeof(report))));

        if (m_bKeepAlive && Clock::now() >= tNextKeepAlive) {
            // Any cheap request keeps the chip out of its slow clock; its
            // failure shows in the caller's next operation, not here.
            uint8_t version[kReportSize] = {};
            GetFeature(kReportChipVersion, version, sizeof(version));
            tNextKeepAlive = Clock::now() + keepAlivePeriod;
        }
    }
}

void CHidFt260Device::AcceptInputReport(const uint8_t* report, int length)
{
    // @0 1  id 0xF0..0xFE (0xB1 reports pin interrupts and carries no data)
    // @1 1  number of valid data bytes
    // @2 .. data
    if (length < 2 || report[0] < kReportUartFirst || report[0] > kReportUartLast)
        return;
    const size_t n = report[1];
    // A length byte claiming more than the report carries: the report is
    // not trusted at all rather than padded with bytes that never came.
    if (n > size_t(length) - 2)
        return;

    std::lock_guard<std::mutex> lock(m_csRx);
    if (m_RxFifo.size() + n > kRxLimit) {
        m_nRxDropped += n;
        return;
    }
    m_RxFifo.insert(m_RxFifo.end(), report + 2, report + 2 + n);
}
