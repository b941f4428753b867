#pragma once
#include "IBridgeDevice.h"
#include "IHidHandle.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// The UART of one FT260, driven through the chip's own HID reports: the
// 0xA1 system-setting feature report configures it, 0xE0 reads the
// configuration back, output reports 0xF0-0xFE carry transmit data and
// input reports 0xF0-0xFE bring received data.
//
// The chip pushes received data unasked and has no "bytes waiting" report,
// so a reader thread moves every input report into a host-side buffer as it
// arrives; queue status is that buffer's size and UartRead takes from it
// without waiting. Reading continuously matters: the kernel keeps only 64
// unread reports per open handle and drops the rest, and the link may spend
// longer than that between two polls during a record stream.
class CHidFt260Device : public IBridgeDevice {
public:
    // The chip drops to a slow clock after 5 s without USB traffic when its
    // power saving is on, and then loses received bytes above 4800 baud.
    static constexpr int kDefaultKeepAliveMs = 4000;
    // Received bytes beyond this many unread ones are dropped.
    static constexpr size_t kRxLimit = size_t(1) << 20;
    // The longest wait of the reader between two checks of its stop flag.
    static constexpr int kReadPollMs = 50;

    // keepAliveMs: period of the wake-up request while the chip's power
    // saving is on; 0 sends none.
    explicit CHidFt260Device(std::unique_ptr<IHidHandle> handle,
                             int keepAliveMs = kDefaultKeepAliveMs);
    ~CHidFt260Device() override;

    CHidFt260Device(const CHidFt260Device&) = delete;
    CHidFt260Device& operator=(const CHidFt260Device&) = delete;

    // Checks that the opened interface (its USB interface number, -1 when
    // unknown) is the chip's UART, reads whether power saving is on and
    // starts the reader. BRIDGE_DEVICE_NOT_OPENED when the chip does not
    // answer or the interface is not a UART.
    int Start(int interfaceNumber);

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

    // Received bytes dropped so far because the buffer was full.
    uint64_t DroppedRxBytes() const;

private:
    int SendSystemSetting(const uint8_t* report, size_t length);
    int GetFeature(uint8_t reportId, uint8_t* report, size_t size);
    void ClearRx();
    void ReaderLoop();
    void AcceptInputReport(const uint8_t* report, int length);

    std::unique_ptr<IHidHandle> m_pHandle;
    int m_nKeepAliveMs;
    bool m_bKeepAlive = false;
    bool m_bOpen = true;

    // Output and feature reports go out one at a time: the reader thread's
    // wake-up request shares the handle with the caller's thread.
    std::mutex m_csControl;

    mutable std::mutex m_csRx;
    std::deque<uint8_t> m_RxFifo;         // guarded by m_csRx
    bool m_bRxFailed = false;             // guarded by m_csRx: the device stopped answering
    uint64_t m_nRxDropped = 0;            // guarded by m_csRx

    std::atomic<bool> m_bStop{false};
    std::thread m_thReader;
};
