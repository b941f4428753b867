#pragma once
// The one link to the meter: finds the FT260 bridge, opens and configures its
// UART, frames requests, runs request/reply exchanges and the two record
// streams, and keeps the result code of the last operation.
//
// Everything runs on the caller's thread; each exchange or stream holds
// m_csLock for its whole run and blocks while it polls in 50 ms steps.
// RequestCancel() is the one call another thread may make while an
// operation runs: the operation ends at its next poll with LINK_CANCELLED.

#include "IBridgeDevice.h"
#include "IBridgeLibrary.h"
#include "ILinkClock.h"
#include "ILinkOwner.h"
#include "IPacketLog.h"
#include "LinkResult.h"
#include "WinCriticalSection.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CFt260 {
public:
    enum : int {
        LINK_BUFFER_SIZE = 4096,
        FIRST_COMMAND = 0x30,
        LAST_COMMAND = 0x4E,
        COMMAND_COUNT = LAST_COMMAND - FIRST_COMMAND + 1,
        FRAME_OVERHEAD = 5,        // STX, length, command, check byte, ETX
        LONG_FRAME_OVERHEAD = 6,   // the long form has two length bytes
        MAX_SHORT_PAYLOAD = 254,   // the length byte counts payload + command
        MAX_LONG_PAYLOAD = LINK_BUFFER_SIZE - LONG_FRAME_OVERHEAD,
        REPLY_CLEAR_SIZE = 32,     // callers pass reply buffers of at least this size
    };
    // The most record frames one stored-record download takes. A meter that
    // keeps sending past it is stuck; the download ends with LINK_TIMEOUT and
    // keeps the records handed on. Far above what a meter stores (and the
    // 100,000 the simulated meter can hold).
    static constexpr int MAX_MEMORY_RECORDS = 200000;
    static constexpr uint16_t BRIDGE_VENDOR_ID = 0x0403;
    static constexpr uint16_t BRIDGE_PRODUCT_ID = 0x6030;

    CFt260(IBridgeLibrary& library, ILinkClock& clock);
    virtual ~CFt260();

    CFt260(const CFt260&) = delete;
    CFt260& operator=(const CFt260&) = delete;

    // Discovery: the path of the first present 0403:6030 HID interface, or an
    // empty string. Also kept in m_strDevicePath; finding nothing closes the link.
    std::string FindDevice();
    // Makes sure a handle is open for m_strDevicePath; returns it (null = not open).
    IBridgeDevice* Open();
    // Configures the open bridge's UART to 115200 8N1 without flow control.
    int InitUart();
    // The message of m_nResult, with the code in place of its %d.
    std::string GetErrorText() const;

    // Frame building into m_TxBuf. Return false (and build nothing) when the
    // payload does not fit the frame form.
    bool MakePacket(uint8_t command, const uint8_t* payload, int length);
    bool MakeLongPacket(uint8_t command, const uint8_t* payload, int length);
    // XOR of the first count bytes; for a count below 2 the first byte itself.
    static uint8_t CalcCheckByte(const uint8_t* bytes, int count);
    // Checks the frame in m_RxBuf of m_nRxLen bytes.
    int CheckPacket() const;

    // One request, one reply. reply: a caller buffer of at least 32 bytes
    // (may be null when the reply is not wanted); on success it starts with
    // the reply payload.
    int SendPacket(int command, const uint8_t* payload, int length, uint8_t* reply);
    // The same with the long request frame (firmware transfer).
    int SendLongPacket(int command, const uint8_t* payload, int length, uint8_t* reply);
    // Reads count bytes from the bridge into buffer (4096 bytes) and logs them.
    void FlushRx(uint8_t* buffer, uint32_t count);

    // Stored records from the local date of from (00:00:00) up to the local
    // date of to (23:59:59), handed to m_pOwner->AddMemoryRecord. *count gets
    // the number handed on.
    int ReadMemoryRecords(int64_t from, int64_t to, int* count);
    // The continuous series: summary to SetOutputSummary, then each record
    // to AddOutputRecord.
    int ReadOutputRecords();

    // Asks the running exchange or stream to stop; callable from any thread.
    // The request stays set until ClearCancel(): while it is set every
    // exchange or stream ends with LINK_CANCELLED, before sending or at its
    // next poll. An operation cancelled before its request went out leaves
    // the link as it was; one cancelled after that closes the link (UART
    // reset), since the meter may still be answering or streaming, and the
    // next exchange drains what arrives and rejects a frame of another command.
    void RequestCancel() { m_bCancel.store(true); }
    void ClearCancel() { m_bCancel.store(false); }
    bool IsCancelRequested() const { return m_bCancel.load(); }

    // The expected reply frame length of a command, or 0 outside 0x30..0x4E.
    int ReplyLength(int command) const;

    // Read directly by the windows (last-exchange display, open test).
    ILinkOwner* m_pOwner = nullptr;
    std::unique_ptr<IBridgeDevice> m_hDevice;   // null = closed
    uint8_t m_TxBuf[LINK_BUFFER_SIZE];
    int32_t m_nTxLen = 0;
    int64_t m_tTx = 0;
    uint8_t m_RxBuf[LINK_BUFFER_SIZE];
    uint32_t m_nRxLen = 0;
    int64_t m_tRx = 0;
    int32_t m_nResult = LINK_OK;
    int32_t m_nReplyLen[COMMAND_COUNT];
    std::string m_strOpenPath;     // UTF-8; empty when closed
    std::string m_strDevicePath;   // UTF-8; empty when discovery found nothing
    WinCriticalSection m_csLock;
    // Bridge status of the last open attempt that failed (BRIDGE_OK after a
    // successful open). BRIDGE_ACCESS_DENIED means the bridge is there but the
    // user may not open it, which a window can explain.
    int m_nOpenStatus = BRIDGE_OK;

private:
    // Bytes drained behind a reply or before a request (logged, never shown).
    uint8_t m_DrainBuf[LINK_BUFFER_SIZE];
    // Stream bytes read but not yet taken as a frame (see NextStreamFrame).
    uint8_t m_StreamBuf[LINK_BUFFER_SIZE];
    uint32_t m_nStreamLen = 0;
    std::atomic<bool> m_bCancel{false};

    enum StreamStep { STREAM_FRAME, STREAM_WAIT };

    int Exchange(int command, const uint8_t* payload, int length, uint8_t* reply, bool bLong);
    bool WriteRequest();
    int ReadFrame(uint32_t count);
    void DrainWaiting();
    bool Cancelled();
    int NextStreamFrame(uint32_t* waiting, uint32_t frameSize, const uint32_t* sizes,
                        int sizeCount, int32_t* firstSkip);
    void CloseLink();
    void Log(int direction, const uint8_t* bytes, uint32_t count);

    IBridgeLibrary& m_library;
    ILinkClock& m_clock;
};
