#pragma once
// One opened FT260 bridge: the UART operations the link needs from the chip.
// The real chip (platform/) and the simulated meter (sim/) both implement it.
// Every operation returns 0 on success and a BridgeStatus code otherwise.

#include <cstdint>

enum BridgeStatus : int {
    BRIDGE_OK = 0,
    BRIDGE_INVALID_HANDLE = 1,
    BRIDGE_DEVICE_NOT_FOUND = 2,
    BRIDGE_DEVICE_NOT_OPENED = 3,
    BRIDGE_IO_ERROR = 4,
    BRIDGE_INVALID_PARAMETER = 6,
    BRIDGE_ACCESS_DENIED = 7,   // the device exists but the user may not open it
    BRIDGE_OTHER_ERROR = 18,
};

// UART settings as the chip reports them.
struct UartConfig {
    uint8_t flowControl = 0;   // 0 off, 1 RTS/CTS, 2 DTR/DSR, 3 XON/XOFF, 4 none
    uint32_t baudRate = 0;
    uint8_t dataBits = 0;      // 7 or 8
    uint8_t parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;      // 0 one, 2 two
    uint8_t breaking = 0;
};

class IBridgeDevice {
public:
    virtual ~IBridgeDevice() = default;

    virtual int UartInit() = 0;
    virtual int SelectGpioAFunction(int function) = 0;   // 3 = transmit-active output
    virtual int UartGetConfig(UartConfig* config) = 0;
    virtual int UartSetBaudRate(uint32_t baudRate) = 0;
    virtual int UartSetFlowControl(int mode) = 0;        // 4 = no flow control
    virtual int UartSetDataCharacteristics(int dataBits, int stopBits, int parity) = 0;

    // Number of received bytes waiting to be read.
    virtual int UartGetQueueStatus(uint32_t* bytesWaiting) = 0;
    // Reads up to bytesToRead of the waiting bytes; never blocks for more.
    virtual int UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                         uint32_t* bytesRead) = 0;
    virtual int UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                          uint32_t* bytesWritten) = 0;
    virtual int UartReset() = 0;
    virtual int Close() = 0;
};
