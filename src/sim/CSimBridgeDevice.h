#pragma once
// One open handle on the simulated bridge. Every call goes to the CSimBridge
// that handed it out; once that bridge is gone, or the meter was unplugged,
// the calls fail as they would on a vanished USB device.

#include "IBridgeDevice.h"

#include <memory>

class CSimBridge;

class CSimBridgeDevice : public IBridgeDevice {
public:
    CSimBridgeDevice(CSimBridge* bridge, std::shared_ptr<bool> bridgeAlive, int id);
    ~CSimBridgeDevice() override;   // a handle dropped without Close() is closed
    CSimBridgeDevice(const CSimBridgeDevice&) = delete;
    CSimBridgeDevice& operator=(const CSimBridgeDevice&) = delete;

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
    CSimBridge* Bridge() const { return *m_pAlive ? m_pBridge : nullptr; }

    CSimBridge* m_pBridge;
    std::shared_ptr<bool> m_pAlive;
    int m_nId;
};
