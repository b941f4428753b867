#pragma once
#include "IBridgeDevice.h"

#include <memory>
#include <string>

// The bridge's UART reached as a serial port of the operating system: the
// FT260 serial driver's /dev/ttyFT*, any USB serial adapter, or a
// pseudo-terminal with a simulated or recorded meter on its other side.
//
// The UART settings map onto termios; there is no reader thread because the
// kernel already keeps what arrives, and "bytes waiting" is FIONREAD. The
// descriptor stays non-blocking so a read only takes what is there.
//
// A line that went away (unplugged adapter, closed pseudo-terminal master)
// is hung up by the kernel: from then on queue status, read and write fail
// with BRIDGE_IO_ERROR, so the link sees a failed query rather than a meter
// that never answers.
class CTtyBridgeDevice : public IBridgeDevice {
public:
    // How long a write may make no progress before it gives up.
    static constexpr int kDefaultWriteStallMs = 1000;

    // Opens path as a serial port without touching its settings.
    // BRIDGE_ACCESS_DENIED when the user may not open it,
    // BRIDGE_DEVICE_NOT_FOUND when nothing is there, BRIDGE_DEVICE_NOT_OPENED
    // when it cannot be opened or is not a terminal.
    static int Open(const std::string& path, std::unique_ptr<CTtyBridgeDevice>* device,
                    int writeStallMs = kDefaultWriteStallMs);

    // Takes over a terminal descriptor that is already open, such as the
    // master side of a pseudo-terminal the program made for a simulated
    // meter; it is made non-blocking and closed with the device. Null (and
    // the descriptor left alone) when it is not a terminal.
    static std::unique_ptr<CTtyBridgeDevice> Adopt(int fd,
                                                   int writeStallMs = kDefaultWriteStallMs);

    ~CTtyBridgeDevice() override;
    CTtyBridgeDevice(const CTtyBridgeDevice&) = delete;
    CTtyBridgeDevice& operator=(const CTtyBridgeDevice&) = delete;

    // Raw mode with 115200 8N1 and no flow control in one step: a port left
    // in cooked mode or with XON/XOFF would rewrite or eat bytes of binary
    // frames (CR/LF, 0x11, 0x13) before the later steps could fix it.
    int UartInit() override;
    // A serial port's pins belong to its driver; there is nothing to select.
    int SelectGpioAFunction(int function) override;
    int UartGetConfig(UartConfig* config) override;
    int UartSetBaudRate(uint32_t baudRate) override;
    // 4 none, 1 RTS/CTS, 3 XON/XOFF; termios has no DTR/DSR mode and no
    // "UART off", so 0 and 2 are BRIDGE_INVALID_PARAMETER.
    int UartSetFlowControl(int mode) override;
    int UartSetDataCharacteristics(int dataBits, int stopBits, int parity) override;
    int UartGetQueueStatus(uint32_t* bytesWaiting) override;
    int UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                 uint32_t* bytesRead) override;
    int UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                  uint32_t* bytesWritten) override;
    // Drops what was received and not yet read, and what was written and not
    // yet sent.
    int UartReset() override;
    int Close() override;

private:
    CTtyBridgeDevice(int fd, int writeStallMs);

    bool HungUp() const;
    int GetAttributes(struct termios* attributes) const;
    int SetAttributes(const struct termios& wanted);

    int m_nFd;
    int m_nWriteStallMs;
};
