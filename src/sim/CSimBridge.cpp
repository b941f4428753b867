#include "CSimBridge.h"

#include "CSimBridgeDevice.h"
#include "CSimMeter.h"
#include "ILinkClock.h"

#include <algorithm>
#include <sstream>

const char* const CSimBridge::kMeterPath = "sim:ft260";

namespace {

std::vector<HidInterfaceInfo> DefaultInterfaces()
{
    // What a desk PC shows besides the meter: a keyboard whose interface
    // cannot be opened for its attributes, a mouse, a headset.
    std::vector<HidInterfaceInfo> list(4);
    list[0].path = "sim:hid-keyboard";
    list[0].attributesRead = false;
    list[1].path = "sim:hid-mouse";
    list[1].attributesRead = true;
    list[1].vendorId = 0x046D;
    list[1].productId = 0xC077;
    list[2].path = "sim:hid-headset";
    list[2].attributesRead = true;
    list[2].vendorId = 0x0D8C;
    list[2].productId = 0x0014;
    list[3].path = CSimBridge::kMeterPath;
    list[3].attributesRead = true;
    list[3].vendorId = 0x0403;
    list[3].productId = 0x6030;
    return list;
}

} // namespace

CSimBridge::CSimBridge(CSimMeter& meter, ILinkClock& clock)
    : m_meter(meter), m_clock(clock), m_pAlive(std::make_shared<bool>(true)),
      m_interfaces(DefaultInterfaces()), m_uart(PowerUpConfig())
{
}

CSimBridge::~CSimBridge()
{
    *m_pAlive = false;
}

UartConfig CSimBridge::PowerUpConfig()
{
    // The chip wakes up with XON/XOFF flow control at 9600 baud, 8N1.
    UartConfig c;
    c.flowControl = 3;
    c.baudRate = 9600;
    c.dataBits = 8;
    c.parity = 0;
    c.stopBits = 0;
    c.breaking = 0;
    return c;
}

int64_t CSimBridge::WireTimeNs(uint64_t bytes)
{
    return int64_t(bytes * kBitsPerByte * 1000000000ull / kMeterBaud);
}

int64_t CSimBridge::NowNs() const
{
    return m_clock.MonotonicUs() * 1000;
}

// ---------------------------------------------------------------- discovery

std::vector<HidInterfaceInfo> CSimBridge::EnumerateHidInterfaces()
{
    std::vector<HidInterfaceInfo> list;
    for (const HidInterfaceInfo& info : m_interfaces)
        if (!(m_bUnplugged && info.path == kMeterPath))
            list.push_back(info);
    return list;
}

int CSimBridge::OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device)
{
    Log("OpenByDevicePath " + path);
    if (!device)
        return BRIDGE_INVALID_PARAMETER;
    device->reset();
    if (path != kMeterPath || m_bUnplugged)
        return BRIDGE_DEVICE_NOT_FOUND;
    Handle h;
    h.open = true;
    h.generation = m_nGeneration;
    // A new handle sees only what arrives from now on; what came while no
    // one listened is gone.
    h.nextSeq = ArrivedEnd(NowNs());
    m_handles.push_back(h);
    device->reset(new CSimBridgeDevice(this, m_pAlive, int(m_handles.size() - 1)));
    Trim();
    return BRIDGE_OK;
}

int CSimBridge::GetOpenDevices() const
{
    int n = 0;
    for (const Handle& h : m_handles)
        n += h.open && h.generation == m_nGeneration && !m_bUnplugged;
    return n;
}

// ---------------------------------------------------------------- faults

bool CSimBridge::SetFault(const std::string& name, bool on)
{
    if (name == "write-fail") {
        m_bWriteFail = on;
        return true;
    }
    if (name == "unplugged") {
        SetUnplugged(on);
        return true;
    }
    return m_meter.Faults().SetByName(name, on);
}

bool CSimBridge::SetFaults(const std::string& list)
{
    std::vector<std::string> names;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty())
            names.push_back(item);
    }
    // Try everything on copies first, so a typo changes nothing.
    CSimFaults probe = m_meter.Faults();
    for (const std::string& n : names)
        if (n != "write-fail" && n != "unplugged" && !probe.SetByName(n))
            return false;
    for (const std::string& n : names)
        SetFault(n);
    return true;
}

void CSimBridge::ClearFaults()
{
    m_meter.Faults().Clear();
    m_bWriteFail = false;
    SetUnplugged(false);
}

void CSimBridge::SetUnplugged(bool on)
{
    if (on == m_bUnplugged)
        return;
    m_bUnplugged = on;
    if (on) {
        ++m_nGeneration;
        m_nWireBaseSeq += m_wire.size();
        m_wire.clear();
        m_nMeterTxFreeNs = 0;
        m_nPcTxFreeNs = 0;
        for (Handle& h : m_handles)
            h.open = false;
    } else {
        m_uart = PowerUpConfig();
    }
}

// ---------------------------------------------------------------- the wire

void CSimBridge::Schedule(const uint8_t* data, size_t size, int64_t startNs)
{
    const int64_t start = std::max(startNs, m_nMeterTxFreeNs);
    for (size_t i = 0; i < size; ++i)
        m_wire.push_back(Arrival{start + WireTimeNs(i + 1), data[i]});
    if (size)
        m_nMeterTxFreeNs = m_wire.back().atNs;
}

void CSimBridge::InjectIncoming(const uint8_t* data, size_t size)
{
    if (!data || m_bUnplugged)
        return;
    // All of them are waiting at once, behind whatever is still on the wire.
    const int64_t at = std::max(NowNs(), m_nMeterTxFreeNs);
    for (size_t i = 0; i < size; ++i)
        m_wire.push_back(Arrival{at, data[i]});
    if (size)
        m_nMeterTxFreeNs = at;
}

// A meter stuck in an endless stream keeps the wire busy: about 100 ms of
// its frames are kept scheduled ahead of now.
void CSimBridge::FeedEndlessStream()
{
    const int64_t now = NowNs();
    while (m_meter.IsStreamingEndlessly() && !m_bUnplugged && m_nMeterTxFreeNs < now + 100000000) {
        const std::vector<uint8_t> more = m_meter.ContinueEndlessStream(16);
        if (more.empty())
            break;
        Schedule(more.data(), more.size(), now);
    }
}

uint64_t CSimBridge::ArrivedEnd(int64_t nowNs) const
{
    auto it = std::upper_bound(m_wire.begin(), m_wire.end(), nowNs,
                               [](int64_t t, const Arrival& a) { return t < a.atNs; });
    return m_nWireBaseSeq + uint64_t(it - m_wire.begin());
}

size_t CSimBridge::BytesInFlight() const
{
    return size_t(m_nWireBaseSeq + m_wire.size() - ArrivedEnd(NowNs()));
}

void CSimBridge::Trim()
{
    // Bytes every open handle has read, or that arrived while none was open,
    // are of no further use.
    uint64_t keepFrom = ArrivedEnd(NowNs());
    for (const Handle& h : m_handles)
        if (h.open && h.generation == m_nGeneration)
            keepFrom = std::min(keepFrom, h.nextSeq);
    while (m_nWireBaseSeq < keepFrom && !m_wire.empty()) {
        m_wire.pop_front();
        ++m_nWireBaseSeq;
    }
}

bool CSimBridge::UartMatchesMeter() const
{
    // Flow control 0 switches the UART off; any other framing than 8N1 at
    // the meter's rate gives it nothing but noise.
    return m_uart.flowControl != 0 && m_uart.baudRate == kMeterBaud && m_uart.dataBits == 8
        && m_uart.parity == 0 && m_uart.stopBits == 0;
}

// ---------------------------------------------------------------- device calls

CSimBridge::Handle* CSimBridge::Live(int id, int* status)
{
    if (id < 0 || size_t(id) >= m_handles.size() || !m_handles[size_t(id)].open) {
        *status = BRIDGE_INVALID_HANDLE;
        return nullptr;
    }
    Handle& h = m_handles[size_t(id)];
    if (m_bUnplugged || h.generation != m_nGeneration) {
        *status = BRIDGE_IO_ERROR;
        return nullptr;
    }
    *status = BRIDGE_OK;
    return &h;
}

int CSimBridge::DevConfig(int id, const std::string& call)
{
    int status;
    Log(call);
    Live(id, &status);
    return status;
}

int CSimBridge::DevGetConfig(int id, UartConfig* config)
{
    int status;
    Log("UartGetConfig");
    if (!Live(id, &status))
        return status;
    if (!config)
        return BRIDGE_INVALID_PARAMETER;
    *config = m_uart;
    return BRIDGE_OK;
}

int CSimBridge::DevSetBaudRate(int id, uint32_t baudRate)
{
    int status;
    Log("UartSetBaudRate " + std::to_string(baudRate));
    if (!Live(id, &status))
        return status;
    if (baudRate < 1200 || baudRate > 12000000)
        return BRIDGE_INVALID_PARAMETER;
    m_uart.baudRate = baudRate;
    return BRIDGE_OK;
}

int CSimBridge::DevSetFlowControl(int id, int mode)
{
    int status;
    Log("UartSetFlowControl " + std::to_string(mode));
    if (!Live(id, &status))
        return status;
    if (mode < 0 || mode > 4)
        return BRIDGE_INVALID_PARAMETER;
    m_uart.flowControl = uint8_t(mode);
    return BRIDGE_OK;
}

int CSimBridge::DevSetDataCharacteristics(int id, int dataBits, int stopBits, int parity)
{
    int status;
    Log("UartSetDataCharacteristics " + std::to_string(dataBits) + " " + std::to_string(stopBits)
        + " " + std::to_string(parity));
    if (!Live(id, &status))
        return status;
    if ((dataBits != 7 && dataBits != 8) || (stopBits != 0 && stopBits != 2) || parity < 0
        || parity > 4)
        return BRIDGE_INVALID_PARAMETER;
    m_uart.dataBits = uint8_t(dataBits);
    m_uart.stopBits = uint8_t(stopBits);
    m_uart.parity = uint8_t(parity);
    return BRIDGE_OK;
}

int CSimBridge::DevQueueStatus(int id, uint32_t* bytesWaiting)
{
    int status;
    ++m_nQueueQueries;
    Handle* h = Live(id, &status);
    if (!h)
        return status;
    if (!bytesWaiting)
        return BRIDGE_INVALID_PARAMETER;
    FeedEndlessStream();
    const uint64_t end = ArrivedEnd(NowNs());
    *bytesWaiting = end > h->nextSeq ? uint32_t(end - h->nextSeq) : 0;
    return BRIDGE_OK;
}

int CSimBridge::DevRead(int id, uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                        uint32_t* bytesRead)
{
    int status;
    if (bytesRead)
        *bytesRead = 0;
    Handle* h = Live(id, &status);
    if (!h)
        return status;
    if (!buffer || !bytesRead || bytesToRead > bufferSize)
        return BRIDGE_INVALID_PARAMETER;
    const uint64_t end = ArrivedEnd(NowNs());
    const uint64_t available = end > h->nextSeq ? end - h->nextSeq : 0;
    const uint32_t n = uint32_t(std::min<uint64_t>(bytesToRead, available));
    auto from = m_wire.begin() + std::ptrdiff_t(h->nextSeq - m_nWireBaseSeq);
    for (uint32_t i = 0; i < n; ++i, ++from)
        buffer[i] = from->byte;
    h->nextSeq += n;
    *bytesRead = n;
    Trim();
    return BRIDGE_OK;
}

int CSimBridge::DevWrite(int id, const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                         uint32_t* bytesWritten)
{
    int status;
    if (bytesWritten)
        *bytesWritten = 0;
    if (!Live(id, &status))
        return status;
    if (!buffer || !bytesWritten || bytesToWrite > bufferSize)
        return BRIDGE_INVALID_PARAMETER;
    if (m_bWriteFail)
        return BRIDGE_IO_ERROR;

    const int64_t now = NowNs();
    const int64_t requestEnd = std::max(now, m_nPcTxFreeNs) + WireTimeNs(bytesToWrite);
    m_nPcTxFreeNs = requestEnd;
    m_nBytesWritten += bytesToWrite;
    *bytesWritten = bytesToWrite;
    if (!UartMatchesMeter())
        return BRIDGE_OK;

    m_meter.Receive(buffer, bytesToWrite);
    for (const CSimMeter::Reply& reply : m_meter.TakeReplies())
        Schedule(reply.bytes.data(), reply.bytes.size(), requestEnd + reply.nDelayUs * 1000);
    return BRIDGE_OK;
}

int CSimBridge::DevClose(int id)
{
    Log("Close");
    if (id < 0 || size_t(id) >= m_handles.size() || !m_handles[size_t(id)].open)
        return BRIDGE_INVALID_HANDLE;
    m_handles[size_t(id)].open = false;
    Trim();
    return BRIDGE_OK;
}
