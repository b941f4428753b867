#include "CFt260.h"

#include "MeterCommands.h"
#include "MeterTime.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

const uint8_t STX = 0x02;
const uint8_t ETX = 0x03;

const int POLL_STEP_MS = 50;
const int SHORT_REPLY_POLLS = 50;     // about 2.5 s
const int LONG_REPLY_POLLS = 100;     // about 5 s for a long request (firmware pieces)
const int MEMORY_START_PAUSE_MS = 100;
const int OUTPUT_START_PAUSE_MS = 500;
const int MEMORY_IDLE_LIMIT = 30;
const int OUTPUT_IDLE_LIMIT = 20;

// Reply payload length per command byte 0x30..0x4E. The meter answers every
// request with frames of a fixed length per command.
const int32_t kReplyPayloadLen[CFt260::COMMAND_COUNT] = {
    4,  9,  11, 1,  1,  10, 1,  9,    // 0x30..0x37
    1,  10, 1,  9,  1,  10, 1,  10,   // 0x38..0x3F
    1,  9,  11, 21, 1,  21, 1,  1,    // 0x40..0x47
    1,  1,  1,  13, 1,  21, 1,        // 0x48..0x4E
};

// Size a Windows interface-detail record would need for this path: a 4-byte
// size field followed by the path in UTF-16 with its terminator. Invalid
// UTF-8 bytes count as one unit each, as a replacement character would.
size_t InterfaceDetailSize(const std::string& path)
{
    size_t nUnits = 0;
    size_t i = 0;
    while (i < path.size()) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        size_t nLen = 1;
        if (c >= 0xC2 && c <= 0xDF)
            nLen = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            nLen = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            nLen = 4;
        bool bValid = nLen > 1 && i + nLen <= path.size();
        for (size_t k = 1; bValid && k < nLen; ++k)
            bValid = (static_cast<unsigned char>(path[i + k]) & 0xC0) == 0x80;
        if (!bValid)
            nLen = 1;
        nUnits += (nLen == 4) ? 2 : 1;   // outside the BMP: a surrogate pair
        i += nLen;
    }
    return 4 + 2 * (nUnits + 1);
}

} // namespace

CFt260::CFt260(IBridgeLibrary& library, ILinkClock& clock)
    : m_library(library), m_clock(clock)
{
    std::memset(m_TxBuf, 0, sizeof m_TxBuf);
    std::memset(m_RxBuf, 0, sizeof m_RxBuf);
    // The table holds whole reply frames: payload plus the frame's overhead.
    for (int i = 0; i < COMMAND_COUNT; ++i)
        m_nReplyLen[i] = kReplyPayloadLen[i] + FRAME_OVERHEAD;
}

CFt260::~CFt260()
{
    CloseLink();
}

// ---------------------------------------------------------------------------
// Discovery, open, configuration, close

std::string CFt260::FindDevice()
{
    std::string strFound;
    // Any number of interfaces; the first bridge in enumeration order wins.
    for (const HidInterfaceInfo& info : m_library.EnumerateHidInterfaces()) {
        // Such a long path does not fit the detail buffer the platform is
        // asked with, so the interface is never looked at.
        if (info.path.empty() || InterfaceDetailSize(info.path) >= 255)
            continue;
        if (!info.attributesRead)
            continue;
        if (info.vendorId == BRIDGE_VENDOR_ID && info.productId == BRIDGE_PRODUCT_ID) {
            strFound = info.path;
            break;
        }
    }
    m_strDevicePath = strFound;
    if (strFound.empty()) {
        CloseLink();
    }
    return strFound;
}

IBridgeDevice* CFt260::Open()
{
    if (!m_strOpenPath.empty() && m_strOpenPath == m_strDevicePath)
        return m_hDevice.get();
    if (m_strDevicePath.empty()) {
        m_nOpenStatus = BRIDGE_DEVICE_NOT_FOUND;
        m_nResult = LINK_OPEN_FAILED;
        return m_hDevice.get();
    }
    // The path changed while a handle was open: that handle belongs to a
    // device that is no longer the one in use, so release it first.
    if (m_hDevice)
        CloseLink();

    std::unique_ptr<IBridgeDevice> device;
    const int nStatus = m_library.OpenByDevicePath(m_strDevicePath, &device);
    if (nStatus != BRIDGE_OK || !device) {
        m_nOpenStatus = (nStatus != BRIDGE_OK) ? nStatus : BRIDGE_OTHER_ERROR;
        m_nResult = LINK_OPEN_FAILED;
        return m_hDevice.get();
    }
    m_nOpenStatus = BRIDGE_OK;
    m_hDevice = std::move(device);
    m_strOpenPath = m_strDevicePath;
    // A failed configuration keeps the handle: the next exchange still tries it.
    m_nResult = InitUart();
    return m_hDevice.get();
}

int CFt260::InitUart()
{
    IBridgeDevice* device = m_hDevice.get();
    if (!device || device->UartInit() != BRIDGE_OK)
        return LINK_UART_INIT_FAILED;
    device->SelectGpioAFunction(3);   // GPIO A as transmit-active; not needed for the link

    UartConfig config;
    if (device->UartGetConfig(&config) != BRIDGE_OK)
        return LINK_UART_GET_CONFIG_FAILED;
    // Settings that already have the wanted value are not written again.
    if (config.baudRate != 115200 && device->UartSetBaudRate(115200) != BRIDGE_OK)
        return LINK_UART_BAUD_FAILED;
    if (config.flowControl != 4 && device->UartSetFlowControl(4) != BRIDGE_OK)
        return LINK_UART_FLOW_FAILED;
    if ((config.dataBits != 8 || config.stopBits != 0 || config.parity != 0)
        && device->UartSetDataCharacteristics(8, 0, 0) != BRIDGE_OK)
        return LINK_UART_DATA_FAILED;
    return LINK_OK;
}

void CFt260::CloseLink()
{
    if (m_hDevice) {
        m_hDevice->UartReset();
        m_hDevice->Close();
        m_hDevice.reset();
    }
    m_strOpenPath.clear();
}

std::string CFt260::GetErrorText() const
{
    return LinkResultText(m_nResult);
}

int CFt260::ReplyLength(int command) const
{
    if (command < FIRST_COMMAND || command > LAST_COMMAND)
        return 0;
    return m_nReplyLen[command - FIRST_COMMAND];
}

// ---------------------------------------------------------------------------
// Frames

bool CFt260::MakePacket(uint8_t command, const uint8_t* payload, int length)
{
    if (length < 0 || length > MAX_SHORT_PAYLOAD || (length > 0 && !payload))
        return false;
    std::memset(m_TxBuf, 0, sizeof m_TxBuf);
    // @0     1  STX 0x02
    // @1     1  length = payload + 1 (the command byte)
    // @2     1  command
    // @3     N  payload
    // @3+N   1  check byte: XOR of @0 .. @2+N
    // @4+N   1  ETX 0x03
    m_TxBuf[0] = STX;
    m_TxBuf[1] = static_cast<uint8_t>(length + 1);
    m_TxBuf[2] = command;
    if (length > 0)
        std::memcpy(m_TxBuf + 3, payload, static_cast<size_t>(length));
    m_TxBuf[3 + length] = CalcCheckByte(m_TxBuf, length + 3);
    m_TxBuf[4 + length] = ETX;
    m_nTxLen = length + FRAME_OVERHEAD;
    return true;
}

bool CFt260::MakeLongPacket(uint8_t command, const uint8_t* payload, int length)
{
    if (length < 0 || length > MAX_LONG_PAYLOAD || (length > 0 && !payload))
        return false;
    std::memset(m_TxBuf, 0, sizeof m_TxBuf);
    // @0     1  STX 0x02
    // @1     2  length = payload + 1, high byte first
    // @3     1  command
    // @4     N  payload
    // @4+N   1  check byte: XOR of @0 .. @3+N
    // @5+N   1  ETX 0x03
    const int nCounted = length + 1;
    m_TxBuf[0] = STX;
    m_TxBuf[1] = static_cast<uint8_t>(nCounted >> 8);
    m_TxBuf[2] = static_cast<uint8_t>(nCounted & 0xFF);
    m_TxBuf[3] = command;
    if (length > 0)
        std::memcpy(m_TxBuf + 4, payload, static_cast<size_t>(length));
    m_TxBuf[4 + length] = CalcCheckByte(m_TxBuf, length + 4);
    m_TxBuf[5 + length] = ETX;
    m_nTxLen = length + LONG_FRAME_OVERHEAD;
    return true;
}

uint8_t CFt260::CalcCheckByte(const uint8_t* bytes, int count)
{
    uint8_t nCheck = bytes[0];
    for (int i = 1; i < count; ++i)
        nCheck ^= bytes[i];
    return nCheck;
}

int CFt260::CheckPacket() const
{
    const uint32_t nLen = std::min<uint32_t>(m_nRxLen, LINK_BUFFER_SIZE);
    // @0 STX, @1 length (command + payload), @2 command, payload,
    // @len-2 check byte, @len-1 ETX
    if (nLen == 0 || m_RxBuf[0] != STX)
        return LINK_STX_ERROR;
    if (nLen < 2 || m_RxBuf[nLen - 1] != ETX)
        return LINK_ETX_ERROR;
    // The length byte must account for exactly the bytes read: a frame that
    // claims fewer would have its tail accepted unchecked, one that claims
    // more was cut.
    const uint32_t nCovered = static_cast<uint32_t>(m_RxBuf[1]) + 2;
    if (nCovered + 2 != nLen)
        return LINK_LENGTH_ERROR;
    // The check covers STX, length, command and payload.
    if (CalcCheckByte(m_RxBuf, static_cast<int>(nCovered)) != m_RxBuf[nLen - 2])
        return LINK_CRC_ERROR;
    return LINK_OK;
}

// ---------------------------------------------------------------------------
// Bridge traffic, all of it logged

void CFt260::Log(int direction, const uint8_t* bytes, uint32_t count)
{
    if (!m_pOwner)
        return;
    if (IPacketLog* log = m_pOwner->GetPacketLog())
        log->AppendPacket(direction, bytes, static_cast<int>(count));
}

bool CFt260::WriteRequest()
{
    uint32_t nWritten = 0;
    const int nStatus = m_hDevice->UartWrite(m_TxBuf, LINK_BUFFER_SIZE,
                                             static_cast<uint32_t>(m_nTxLen), &nWritten);
    nWritten = std::min(nWritten, static_cast<uint32_t>(m_nTxLen));
    Log(0, m_TxBuf, nWritten);
    // A frame that did not leave whole cannot be answered; calling that a
    // write failure says what happened instead of waiting for a reply.
    if (nStatus != BRIDGE_OK || nWritten != static_cast<uint32_t>(m_nTxLen)) {
        m_nResult = LINK_WRITE_FAILED;
        return false;
    }
    m_tTx = m_clock.NowSeconds();
    return true;
}

// Reads one frame, or what there is of it, into a cleared m_RxBuf; returns
// the bridge status. m_nRxLen gets the count read either way.
int CFt260::ReadFrame(uint32_t count)
{
    std::memset(m_RxBuf, 0, sizeof m_RxBuf);
    count = std::min<uint32_t>(count, LINK_BUFFER_SIZE);
    uint32_t nRead = 0;
    const int nStatus = m_hDevice->UartRead(m_RxBuf, LINK_BUFFER_SIZE, count, &nRead);
    m_nRxLen = std::min(nRead, count);
    Log(1, m_RxBuf, m_nRxLen);
    return nStatus;
}

void CFt260::FlushRx(uint8_t* buffer, uint32_t count)
{
    WinCriticalSection::Guard guard(m_csLock);
    while (m_hDevice && count > 0) {
        const uint32_t nChunk = std::min<uint32_t>(count, LINK_BUFFER_SIZE);
        uint32_t nRead = 0;
        const int nStatus = m_hDevice->UartRead(buffer, LINK_BUFFER_SIZE, nChunk, &nRead);
        nRead = std::min(nRead, nChunk);
        Log(1, buffer, nRead);
        if (nStatus != BRIDGE_OK || nRead == 0)
            break;
        count -= nRead;
    }
}

// Whatever is waiting is not an answer to anything the link is about to ask
// (the meter may still be sending the tail of an earlier reply), so it is
// read off and logged. It goes to a buffer of its own: m_RxBuf keeps the
// last frame with its count in m_nRxLen, which the administrator window
// shows as the last reply.
void CFt260::DrainWaiting()
{
    uint32_t nWaiting = 0;
    if (m_hDevice->UartGetQueueStatus(&nWaiting) == BRIDGE_OK && nWaiting > 0)
        FlushRx(m_DrainBuf, nWaiting);
}

// ---------------------------------------------------------------------------
// Request / reply

int CFt260::SendPacket(int command, const uint8_t* payload, int length, uint8_t* reply)
{
    return Exchange(command, payload, length, reply, false);
}

int CFt260::SendLongPacket(int command, const uint8_t* payload, int length, uint8_t* reply)
{
    return Exchange(command, payload, length, reply, true);
}

// A cancel request ends the operation in hand; the code says so.
bool CFt260::Cancelled()
{
    if (!m_bCancel.load())
        return false;
    m_nResult = LINK_CANCELLED;
    return true;
}

int CFt260::Exchange(int command, const uint8_t* payload, int length, uint8_t* reply, bool bLong)
{
    WinCriticalSection::Guard guard(m_csLock);

    // A request that cannot be framed is the caller's mistake: refused before
    // anything is sent, and the link is left as it is.
    const int nMaxPayload = bLong ? MAX_LONG_PAYLOAD : MAX_SHORT_PAYLOAD;
    if (command < FIRST_COMMAND || command > LAST_COMMAND || length < 0 || length > nMaxPayload
        || (length > 0 && !payload)) {
        m_nResult = LINK_REQUEST_REFUSED;
        return m_nResult;
    }
    if (Cancelled())
        return m_nResult;

    if (!m_hDevice) {
        Open();
        if (!m_hDevice)
            return m_nResult;
    }
    if (reply)
        std::memset(reply, 0, REPLY_CLEAR_SIZE);
    const uint8_t nCommand = static_cast<uint8_t>(command);
    if (bLong)
        MakeLongPacket(nCommand, payload, length);
    else
        MakePacket(nCommand, payload, length);

    DrainWaiting();
    if (WriteRequest()) {
        const uint32_t nExpected = static_cast<uint32_t>(ReplyLength(command));
        const int nPolls = bLong ? LONG_REPLY_POLLS : SHORT_REPLY_POLLS;
        uint32_t nWaiting = 0;
        bool bQueryFailed = false;
        bool bComplete = false;
        bool bCancelled = false;
        // The reply is read in one piece once all of it is waiting.
        for (int i = 0; i < nPolls; ++i) {
            m_clock.SleepMs(POLL_STEP_MS);
            if (Cancelled()) {
                bCancelled = true;
                break;
            }
            if (m_hDevice->UartGetQueueStatus(&nWaiting) != BRIDGE_OK) {
                bQueryFailed = true;
                break;
            }
            if (nWaiting >= nExpected) {
                bComplete = true;
                break;
            }
        }
        if (bCancelled) {
            // m_nResult is set; the reply, if it still comes, goes with the reset.
        } else if (!bComplete && !bQueryFailed) {
            // Too late: what did arrive is kept for the log and the display.
            ReadFrame(nWaiting);
            m_nResult = LINK_READ_FAILED;
        } else {
            if (ReadFrame(nExpected) != BRIDGE_OK) {
                m_nResult = LINK_READ_FAILED;
            } else {
                m_tRx = m_clock.NowSeconds();
                int nCheck = CheckPacket();
                // A sound frame of another command is the late answer to an
                // earlier request, never this one's.
                if (nCheck == LINK_OK && m_RxBuf[2] != nCommand)
                    nCheck = LINK_ID_ERROR;
                // A read that handed back fewer bytes than the command's reply
                // is no whole reply, even when they form a sound shorter frame.
                if (nCheck == LINK_OK && m_nRxLen != nExpected)
                    nCheck = LINK_LENGTH_ERROR;
                if (nCheck != LINK_OK) {
                    m_nResult = nCheck;
                } else {
                    if (reply)
                        std::memcpy(reply, m_RxBuf + 3, nExpected - FRAME_OVERHEAD);
                    m_nResult = LINK_OK;
                }
            }
            // Bytes behind the reply belong to nothing the link asked for.
            if (!bLong)
                DrainWaiting();
        }
    }

    if (m_nResult != LINK_OK)
        CloseLink();
    return m_nResult;
}

// ---------------------------------------------------------------------------
// Record streams

// The streams read whole frames while enough bytes are waiting. One byte too
// many or too few on the line would shift every later frame, so the start of
// a frame is looked for rather than assumed: a frame is taken only where an
// STX, a length byte giving one of the stream's frame sizes, a good check byte
// and an ETX line up. Bytes before such a start are dropped, so a stray byte
// costs at most the frame it landed in; the first loss is kept in *firstSkip.
// Returns STREAM_FRAME with the frame in m_RxBuf (m_nRxLen its size), or
// STREAM_WAIT once fewer bytes are waiting than the next frame needs.
int CFt260::NextStreamFrame(uint32_t* waiting, uint32_t frameSize, const uint32_t* sizes,
                            int sizeCount, int32_t* firstSkip)
{
    auto skip = [firstSkip](int32_t code) {
        if (*firstSkip == LINK_OK)
            *firstSkip = code;
    };
    auto drop = [this](uint32_t count) {
        std::memmove(m_StreamBuf, m_StreamBuf + count, m_nStreamLen - count);
        m_nStreamLen -= count;
    };
    for (;;) {
        if (m_nStreamLen > 0 && m_StreamBuf[0] != STX) {
            const void* next = std::memchr(m_StreamBuf + 1, STX, m_nStreamLen - 1);
            skip(LINK_STX_ERROR);
            drop(next ? static_cast<uint32_t>(static_cast<const uint8_t*>(next) - m_StreamBuf)
                      : m_nStreamLen);
            continue;
        }
        uint32_t nWant = frameSize;
        if (m_nStreamLen >= 2) {
            nWant = static_cast<uint32_t>(m_StreamBuf[1]) + 4;
            if (std::find(sizes, sizes + sizeCount, nWant) == sizes + sizeCount) {
                skip(LINK_LENGTH_ERROR);
                drop(1);
                continue;
            }
        }
        if (m_nStreamLen < nWant) {
            const uint32_t nNeed = nWant - m_nStreamLen;
            if (*waiting < nNeed || !m_hDevice)
                return STREAM_WAIT;
            const int nStatus = ReadFrame(nNeed);
            *waiting -= nNeed;
            if (nStatus != BRIDGE_OK) {
                // What the failed read held is gone; the search goes on behind it.
                m_nResult = LINK_READ_FAILED;
                skip(LINK_READ_FAILED);
                continue;
            }
            if (m_nRxLen == 0) {
                skip(LINK_READ_FAILED);
                continue;
            }
            m_tRx = m_clock.NowSeconds();
            std::memcpy(m_StreamBuf + m_nStreamLen, m_RxBuf, m_nRxLen);
            m_nStreamLen += m_nRxLen;
            continue;
        }
        // A candidate: checked where the display and CheckPacket look for it.
        std::memset(m_RxBuf, 0, sizeof m_RxBuf);
        std::memcpy(m_RxBuf, m_StreamBuf, nWant);
        m_nRxLen = nWant;
        const int nCheck = CheckPacket();
        if (nCheck != LINK_OK) {
            skip(nCheck);
            drop(1);
            continue;
        }
        drop(nWant);
        return STREAM_FRAME;
    }
}

int CFt260::ReadMemoryRecords(int64_t from, int64_t to, int* count)
{
    WinCriticalSection::Guard guard(m_csLock);
    if (Cancelled()) {
        if (count)
            *count = 0;
        return m_nResult;
    }
    if (!m_hDevice) {
        Open();
        if (!m_hDevice)
            return m_nResult;
    }
    int nIndex = 0;

    // The meter starts at the requested date; records after the end date at
    // 23:59:59 are dropped here.
    MeterDateTime lower = LocalDateTime(from);
    lower.nHour = lower.nMinute = lower.nSecond = 0;
    MeterDateTime upper = LocalDateTime(to);
    upper.nHour = 23;
    upper.nMinute = 59;
    upper.nSecond = 59;
    int64_t tUpper = 0;
    const bool bHasUpper = MeterDateTimeToTime(upper, &tUpper);

    uint8_t payload[7];
    EncodeDateTime(lower, payload);   // @0 2 year BE, @2 month, @3 day, @4 h, @5 m, @6 s
    MakePacket(CMD_READ_MEMORY, payload, sizeof payload);
    DrainWaiting();
    if (!WriteRequest()) {
        if (count)
            *count = 0;
        return m_nResult;
    }
    m_clock.SleepMs(MEMORY_START_PAUSE_MS);

    const uint32_t nFrame = static_cast<uint32_t>(ReplyLength(CMD_READ_MEMORY));
    m_nStreamLen = 0;
    int32_t nFirstSkip = LINK_OK;   // the first frame lost, if any
    int nFrames = 0;                // record frames taken, dropped ones included
    int nIdle = 0;
    // This stream leaves the link open on its own failures; a meter that is
    // still sending (cancel, or no end in sight) has its bytes reset away.
    bool bStillSending = false;
    bool bEnd = false;
    while (!bEnd) {
        m_clock.SleepMs(POLL_STEP_MS);
        if (Cancelled()) {
            bStillSending = true;
            break;
        }
        uint32_t nWaiting = 0;
        if (!m_hDevice || m_hDevice->UartGetQueueStatus(&nWaiting) != BRIDGE_OK) {
            // The bridge went away in the middle: what came is kept, but the
            // list is not complete.
            m_nResult = LINK_READ_FAILED;
            break;
        }
        while (!bEnd && NextStreamFrame(&nWaiting, nFrame, &nFrame, 1, &nFirstSkip) == STREAM_FRAME) {
            if (m_RxBuf[2] != CMD_READ_MEMORY)
                continue;   // a frame of no concern to this stream
            // @3 10 the stored record; year high byte 0 marks the end
            const uint8_t* record = m_RxBuf + 3;
            if (record[0] == 0) {
                if (nWaiting > 0)
                    FlushRx(m_DrainBuf, nWaiting);
                m_nResult = nFirstSkip;
                bEnd = true;
                break;
            }
            if (nFrames >= MAX_MEMORY_RECORDS) {
                m_nResult = LINK_TIMEOUT;
                bStillSending = true;
                bEnd = true;
                break;
            }
            ++nFrames;
            const MeterDateTime when = DecodeDateTime(record);
            int64_t tWhen = 0;
            // A record whose time fields make no time cannot be compared with
            // the end date; it is handed on so the measurement is not lost.
            const bool bKnown = MeterDateTimeToTime(when, &tWhen);
            if (!bKnown || !bHasUpper || tWhen <= tUpper) {
                if (m_pOwner)
                    m_pOwner->AddMemoryRecord(nIndex, record);
                ++nIndex;
            }
            nIdle = 0;
            // Thousands of frames may be waiting at once: a cancel is looked
            // at between them too.
            if (Cancelled()) {
                bStillSending = true;
                bEnd = true;
            }
        }
        if (!bEnd && ++nIdle >= MEMORY_IDLE_LIMIT) {
            m_nResult = LINK_TIMEOUT;
            break;
        }
    }
    if (bStillSending)
        CloseLink();
    if (count)
        *count = nIndex;
    return m_nResult;
}

int CFt260::ReadOutputRecords()
{
    WinCriticalSection::Guard guard(m_csLock);
    if (Cancelled())
        return m_nResult;
    if (!m_hDevice) {
        Open();
        if (!m_hDevice)
            return m_nResult;
    }

    const uint8_t payload[1] = {0x00};
    MakePacket(CMD_READ_OUTPUT, payload, sizeof payload);
    DrainWaiting();
    if (WriteRequest()) {
        m_clock.SleepMs(OUTPUT_START_PAUSE_MS);

        // The header frame is shorter than the record frames behind it.
        const uint32_t nHeaderSize = static_cast<uint32_t>(ReplyLength(CMD_READ_OUTPUT));
        const uint32_t nRecordSize = static_cast<uint32_t>(ReplyLength(CMD_OUTPUT_RECORD));
        const uint32_t sizes[2] = {nHeaderSize, nRecordSize};
        uint32_t nFrame = nHeaderSize;
        m_nStreamLen = 0;
        bool bHeaderSeen = false;
        bool bFinished = false;
        int nRows = 0;       // records handed on
        int nNext = 0;       // index the next record frame should carry
        int nExpected = 0;
        int32_t nFirstSkip = LINK_OK;
        // A sound frame that does not belong where it came spoils the series.
        auto outOfSequence = [&nFirstSkip] {
            if (nFirstSkip == LINK_OK)
                nFirstSkip = LINK_ID_ERROR;
        };
        int nIdle = 0;
        for (;;) {
            m_clock.SleepMs(POLL_STEP_MS);
            if (Cancelled())
                break;
            uint32_t nWaiting = 0;
            if (!m_hDevice || m_hDevice->UartGetQueueStatus(&nWaiting) != BRIDGE_OK) {
                m_nResult = LINK_READ_FAILED;
                break;
            }
            while (NextStreamFrame(&nWaiting, nFrame, sizes, 2, &nFirstSkip) == STREAM_FRAME) {
                // Frames still waiting once the list is complete are read off
                // and logged, not handed on.
                if (bFinished)
                    continue;
                const uint8_t nCommand = m_RxBuf[2];
                if (nCommand == CMD_READ_OUTPUT && m_nRxLen == nHeaderSize) {
                    // 'A' @3 9: @0 count, then average, minimum, maximum, deviation
                    if (bHeaderSeen) {
                        // A second header belongs to no series this one knows.
                        outOfSequence();
                        continue;
                    }
                    if (m_pOwner)
                        m_pOwner->SetOutputSummary(m_RxBuf + 3);
                    nExpected = m_RxBuf[3];
                    bHeaderSeen = true;
                    nFrame = nRecordSize;
                    nIdle = 0;
                } else if (nCommand == CMD_OUTPUT_RECORD && m_nRxLen == nRecordSize) {
                    // 'B' @3 11: @0 the record's index from 0, @1 10 the measurement record.
                    // Only records the header announced become rows, each
                    // once; a frame before the header, a repeat, or one past
                    // the count is dropped, and a gap shows in the result.
                    const int nFrameIndex = m_RxBuf[3];
                    if (!bHeaderSeen || nFrameIndex < nNext || nFrameIndex >= nExpected) {
                        outOfSequence();
                        continue;
                    }
                    if (nFrameIndex > nNext)
                        outOfSequence();
                    if (m_pOwner)
                        m_pOwner->AddOutputRecord(nRows, m_RxBuf + 4);
                    ++nRows;
                    nNext = nFrameIndex + 1;
                    if (nNext == nExpected) {
                        m_nResult = nFirstSkip;
                        bFinished = true;
                    }
                    nIdle = 0;
                }
                if (Cancelled())
                    break;
            }
            if (bFinished || IsCancelRequested())
                break;
            if (++nIdle >= OUTPUT_IDLE_LIMIT) {
                if (!bHeaderSeen || nNext < nExpected) {
                    // The meter never answered, or stopped before the count it
                    // announced: the list on screen is not the whole series.
                    m_nResult = LINK_TIMEOUT;
                } else {
                    // An empty series (a header announcing no record) is
                    // complete: its result is its own, not an older one.
                    m_nResult = nFirstSkip;
                }
                break;
            }
        }
        if (!bFinished && IsCancelRequested())
            m_nResult = LINK_CANCELLED;
    }

    if (m_nResult != LINK_OK)
        CloseLink();
    return m_nResult;
}
