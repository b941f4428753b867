#pragma once
// The FT260 bridge with the simulated meter behind it. Discovery lists a few
// unrelated HID interfaces and then the bridge at kMeterPath (0403:6030);
// opening it gives a CSimBridgeDevice whose writes reach the meter's engine
// and whose reads return the meter's replies as they come off the wire.
//
// Timing: the UART runs at 115200 baud with 10 bits a byte, 86.8 us each.
// A reply starts once the request has crossed the wire and the meter has
// taken its processing delay, and its bytes arrive one by one after that,
// measured with ILinkClock::MonotonicUs. With a manual clock the link's
// pauses therefore make bytes appear; with the system clock it is real time.
//
// The bridge also carries the two faults of the USB side: failing writes and
// an unplugged meter. The faults that change bytes are the engine's.
//
// One thread at a time. Devices handed out may outlive the bridge: their
// calls then fail.

#include "IBridgeLibrary.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class CSimMeter;
class ILinkClock;

class CSimBridge : public IBridgeLibrary {
public:
    static const char* const kMeterPath;
    static constexpr uint32_t kMeterBaud = 115200;
    static constexpr int kBitsPerByte = 10;   // start, 8 data, stop

    CSimBridge(CSimMeter& meter, ILinkClock& clock);
    ~CSimBridge() override;
    CSimBridge(const CSimBridge&) = delete;
    CSimBridge& operator=(const CSimBridge&) = delete;

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override;
    int OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device) override;

    // --- faults ---
    // "write-fail" and "unplugged" are the bridge's; every other name goes to
    // the engine (CSimFaults::SetByName). False for an unknown name.
    bool SetFault(const std::string& name, bool on = true);
    // A comma-separated list of names; nothing changes unless all are known.
    bool SetFaults(const std::string& list);
    void ClearFaults();
    void SetWriteFail(bool on) { m_bWriteFail = on; }
    // Pulling the cable drops every open handle for good and everything on
    // the wire; plugging it in again powers the chip up with its default UART
    // settings.
    void SetUnplugged(bool on);
    bool IsUnplugged() const { return m_bUnplugged; }

    // --- discovery ---
    // Replaces the interfaces discovery lists. The meter answers only at
    // kMeterPath, and only while plugged in.
    void SetInterfaces(std::vector<HidInterfaceInfo> interfaces) { m_interfaces = std::move(interfaces); }

    // --- the wire ---
    static int64_t WireTimeNs(uint64_t bytes);
    // Bytes that reach the PC now (after whatever is on the wire), unasked.
    void InjectIncoming(const uint8_t* data, size_t size);
    // Bytes scheduled on the wire that have not arrived yet.
    size_t BytesInFlight() const;

    // --- observation ---
    UartConfig GetUartConfig() const { return m_uart; }
    void SetUartConfig(const UartConfig& config) { m_uart = config; }
    static UartConfig PowerUpConfig();
    // Opens, closes and UART calls in order, e.g. "UartSetBaudRate 115200";
    // reads, writes and queue queries are only counted.
    const std::vector<std::string>& GetCallLog() const { return m_callLog; }
    void ClearCallLog() { m_callLog.clear(); }
    int GetOpenDevices() const;
    uint64_t GetBytesWritten() const { return m_nBytesWritten; }
    uint64_t GetQueueQueries() const { return m_nQueueQueries; }

private:
    friend class CSimBridgeDevice;

    struct Arrival {
        int64_t atNs;
        uint8_t byte;
    };
    struct Handle {
        bool open = false;
        uint64_t generation = 0;   // handles of an earlier plug-in are dead
        uint64_t nextSeq = 0;      // sequence number of the next byte this handle reads
    };

    int64_t NowNs() const;
    Handle* Live(int id, int* status);
    void Log(std::string entry) { m_callLog.push_back(std::move(entry)); }
    void Schedule(const uint8_t* data, size_t size, int64_t startNs);
    uint64_t ArrivedEnd(int64_t nowNs) const;   // sequence number after the last arrived byte
    void Trim();
    void FeedEndlessStream();
    bool UartMatchesMeter() const;

    // Operations of CSimBridgeDevice, by handle id.
    int DevConfig(int id, const std::string& call);
    int DevGetConfig(int id, UartConfig* config);
    int DevSetBaudRate(int id, uint32_t baudRate);
    int DevSetFlowControl(int id, int mode);
    int DevSetDataCharacteristics(int id, int dataBits, int stopBits, int parity);
    int DevQueueStatus(int id, uint32_t* bytesWaiting);
    int DevRead(int id, uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead, uint32_t* bytesRead);
    int DevWrite(int id, const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                 uint32_t* bytesWritten);
    int DevClose(int id);

    CSimMeter& m_meter;
    ILinkClock& m_clock;
    std::shared_ptr<bool> m_pAlive;

    std::vector<HidInterfaceInfo> m_interfaces;
    bool m_bWriteFail = false;
    bool m_bUnplugged = false;
    uint64_t m_nGeneration = 0;
    UartConfig m_uart;

    std::vector<Handle> m_handles;   // index = handle id
    std::deque<Arrival> m_wire;      // meter to PC, in arrival order
    uint64_t m_nWireBaseSeq = 0;     // sequence number of m_wire.front()
    int64_t m_nMeterTxFreeNs = 0;    // when the meter's last scheduled byte has arrived
    int64_t m_nPcTxFreeNs = 0;       // when the PC's last written byte has reached the meter

    std::vector<std::string> m_callLog;
    uint64_t m_nBytesWritten = 0;
    uint64_t m_nQueueQueries = 0;
};
