#pragma once
// A scripted FT260 bridge for the link's tests. Received bytes become
// readable when the manual clock reaches their arrival time; a responder
// sees every frame written and schedules the meter's answer. Switches make
// each bridge call fail on demand.

#include "CManualClock.h"
#include "IBridgeDevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct FakeBridgeState {
    explicit FakeBridgeState(CManualClock& clock) : m_clock(clock) {}

    // Bytes the meter sends delayMs after now.
    void Schedule(int delayMs, const Bytes& bytes);
    // Moves every arrival that is due into the readable queue.
    void Promote();

    CManualClock& m_clock;
    struct Arrival {
        int64_t nAtUs;
        Bytes bytes;
    };
    std::deque<Arrival> m_pending;
    std::deque<uint8_t> m_readable;

    // Called with each frame written whole.
    std::function<void(const Bytes&)> m_onWrite;
    std::vector<Bytes> m_writes;

    UartConfig m_config{4, 115200, 8, 0, 0, 0};

    // Failure switches: a status other than 0 makes the call fail.
    int m_nInitStatus = 0;
    int m_nGetConfigStatus = 0;
    int m_nSetBaudStatus = 0;
    int m_nSetFlowStatus = 0;
    int m_nSetDataStatus = 0;
    int m_nWriteStatus = 0;
    int m_nWriteLimit = -1;          // >= 0: at most this many bytes are taken
    std::set<int> m_failReads;       // 1-based numbers of the read calls that fail
    int m_nFailQueriesFrom = 0;      // > 0: this query call and all later ones fail

    // Call counts.
    int m_nInitCalls = 0;
    int m_nGpioFunction = -1;
    int m_nSetBaudCalls = 0;
    int m_nSetFlowCalls = 0;
    int m_nSetDataCalls = 0;
    int m_nQueryCalls = 0;
    int m_nReadCalls = 0;
    int m_nResetCalls = 0;
    int m_nCloseCalls = 0;
};

class CFakeBridgeDevice : public IBridgeDevice {
public:
    explicit CFakeBridgeDevice(std::shared_ptr<FakeBridgeState> state) : m_state(std::move(state)) {}

    int UartInit() override;
    int SelectGpioAFunction(int function) override;
    int UartGetConfig(UartConfig* config) override;
    int UartSetBaudRate(uint32_t baudRate) override;
    int UartSetFlowControl(int mode) override;
    int UartSetDataCharacteristics(int dataBits, int stopBits, int parity) override;
    int UartGetQueueStatus(uint32_t* bytesWaiting) override;
    int UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                 uint32_t* bytesRead) override;
    int UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                  uint32_t* bytesWritten) override;
    int UartReset() override;
    int Close() override;

private:
    std::shared_ptr<FakeBridgeState> m_state;
};
