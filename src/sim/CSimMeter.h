#pragma once
// The simulated meter's protocol engine: bytes in on its receive line, reply
// bytes out. It knows nothing of USB or of time on the wire; CSimBridge paces
// its replies behind a simulated FT260, and any other transport (a
// pseudo-terminal) can do the same with TakeReplies().
//
// The meter answers every request with short frames of a fixed length per
// command. It keeps its identity, battery level, a running clock with the
// stored number, stored measurement records, a continuous measurement series,
// the calibration of three load-cell sizes and the image of a firmware update.
// Requests with broken framing or a wrong check byte are dropped silently, as
// the real meter does.
//
// One thread at a time: the engine has no lock of its own.

#include "CSimFaults.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ILinkClock;

class CSimMeter {
public:
    // Load-cell sizes, in the order the administrator window numbers them.
    enum CellSize { SIZE_7T = 0, SIZE_15T = 1, SIZE_30T = 2 };

    // One measurement as the meter stores it. The fields are kept raw, so a
    // test can store a record whose date is not a valid one.
    struct Record {
        uint16_t nYear = 2025;
        uint8_t nMonth = 1;
        uint8_t nDay = 1;
        uint8_t nHour = 0;
        uint8_t nMinute = 0;
        uint8_t nSecond = 0;
        uint16_t nForce = 0;     // 0.1 kN
        uint8_t nCellType = 0;   // 0, 1 or 2

        // A record of the given fields, cut to their byte widths.
        static Record Make(int year, int month, int day, int hour, int minute, int second,
                           int force, int cellType);
        // The 10 bytes this record takes on the wire.
        std::array<uint8_t, 10> Encode() const;
    };

    struct Setup {
        std::string strName = "SIM-METER";      // cut or space-padded to 9 bytes
        std::string strSerial = "SN250100042";  // cut or space-padded to 11 bytes
        bool bNoSerial = false;                 // serial field erased (all 0xFF)
        std::string strVersion = "1.05";        // cut or space-padded to 4 bytes
        int nBattery = 87;                      // percent, sent as a signed byte
        int nRecordCount = 150;                 // stored records, spread over the days below
        int nRecordDays = 40;                   // they reach back this many days from now
        uint32_t nRecordSeed = 1;
        int nSeriesCount = 20;                  // continuous series, at most 255
        uint32_t nSeriesSeed = 7;
        int nProcessingDelayUs = 1000;          // from the end of a request to the reply
    };

    // One answer: the bytes to send, and how long after the request has fully
    // arrived the first of them goes out.
    struct Reply {
        std::vector<uint8_t> bytes;
        int64_t nDelayUs = 0;
    };

    static constexpr uint8_t STX = 0x02;
    static constexpr uint8_t ETX = 0x03;
    static constexpr int kMaxLongPayload = 4090;   // a long request never exceeds 4096 bytes

    explicit CSimMeter(ILinkClock& clock);
    CSimMeter(ILinkClock& clock, const Setup& setup);

    // Bytes arriving on the meter's receive line, in any pieces. Every request
    // completed by them is acted on at once; its answer waits in TakeReplies().
    void Receive(const uint8_t* data, size_t size);
    std::vector<Reply> TakeReplies();
    bool HasReplies() const { return !m_replies.empty(); }

    CSimFaults& Faults() { return m_faults; }

    // A stored-record stream under the "endless-stream" fault never ends by
    // itself: the transport asks for more frames while it sends. False once
    // the switch is cleared.
    bool IsStreamingEndlessly() const { return m_bEndless && m_faults.m_bEndlessStream; }
    // The next frameCount frames of the endless stream (its stored records
    // over and over); empty when no endless stream is running.
    std::vector<uint8_t> ContinueEndlessStream(size_t frameCount);

    // Payload length of the reply frames of a command (for 0x35 and 0x41 the
    // length of each frame of the stream), or -1 outside 0x30-0x4E.
    static int ReplyPayloadLength(uint8_t command);
    // A short frame: STX, N + 1, command, payload, XOR check, ETX.
    static std::vector<uint8_t> MakeFrame(uint8_t command, const uint8_t* payload, size_t size);

    // --- state, for tests and for other transports ---
    std::string GetName() const { return std::string(m_name.begin(), m_name.end()); }
    std::string GetSerial() const { return std::string(m_serial.begin(), m_serial.end()); }
    int GetBattery() const { return m_nBattery; }
    void SetBattery(int percent) { m_nBattery = percent; }

    // Meter time as calendar seconds since 1970 (the meter has no time zone:
    // this is the number whose UTC breakdown is the meter's display).
    int64_t GetMeterTime() const;
    void SetMeterTime(int64_t calendarSeconds);
    std::array<uint8_t, 6> GetStoredNumber() const { return m_storedNumber; }

    // Kept sorted by time; the meter sends them oldest first.
    void SetStoredRecords(std::vector<Record> records);
    const std::vector<Record>& GetStoredRecords() const { return m_records; }
    // At most 255 (the summary counts in one byte); more are dropped.
    void SetOutputSeries(std::vector<Record> series);
    const std::vector<Record>& GetOutputSeries() const { return m_series; }

    // size 0-2 (CellSize), point 0-3, correction 0-2; 0 outside those.
    uint32_t GetCalPoint(int size, int point) const;
    int GetCorrection(int size, int index) const;
    // The load cell's present reading: its resting value and a small drift
    // that changes once a second.
    uint32_t GetPresentValue(int size) const;
    void SetPresentBase(int size, uint32_t value);

    bool IsUpdating() const { return m_fwState != FW_IDLE; }
    // The head and every chunk the meter accepted, in order.
    const std::vector<uint8_t>& GetFirmwareImage() const { return m_firmware; }
    int GetFirmwareChunks() const { return m_nFwChunks; }

    int GetRequestCount() const { return m_nRequests; }        // well-formed requests taken
    size_t GetDiscardedBytes() const { return m_nDiscarded; }  // bytes that formed no request

private:
    enum FirmwareState { FW_IDLE, FW_AWAIT_HEAD, FW_RECEIVING };

    struct Calibration {
        std::array<uint32_t, 4> points{};
        std::array<uint16_t, 3> corrections{};   // value + 2048, as they travel
        uint32_t presentBase = 0;
    };

    enum ParseResult { PARSE_NEED_MORE, PARSE_BAD, PARSE_FRAME };
    ParseResult ParseShort(size_t* frameLen) const;
    ParseResult ParseLong(size_t* frameLen) const;
    void ParseBuffer();

    void HandleRequest(uint8_t command, const uint8_t* payload, size_t size);
    std::vector<std::vector<uint8_t>> Answer(uint8_t command, const uint8_t* payload, size_t size,
                                             bool* isStream);
    std::vector<std::vector<uint8_t>> AnswerMemory(const uint8_t* payload);
    std::vector<std::vector<uint8_t>> AnswerOutput();
    uint8_t SetClock(const uint8_t* payload);
    uint8_t TakeFirmwareChunk(const uint8_t* payload, size_t size);
    void Queue(std::vector<std::vector<uint8_t>> frames, bool isStream);

    void GenerateRecords(const Setup& setup);
    void GenerateSeries(const Setup& setup);

    ILinkClock& m_clock;
    CSimFaults m_faults;

    std::array<uint8_t, 9> m_name{};
    std::array<uint8_t, 11> m_serial{};
    std::array<uint8_t, 4> m_version{};
    int m_nBattery = 0;
    int64_t m_nClockOffset = 0;   // meter calendar seconds minus the clock's seconds
    std::array<uint8_t, 6> m_storedNumber{};
    std::vector<Record> m_records;
    std::vector<Record> m_series;
    std::array<Calibration, 3> m_cal;
    int64_t m_nStartUs = 0;   // the drift of the present value counts from here

    FirmwareState m_fwState = FW_IDLE;
    std::vector<uint8_t> m_firmware;
    int m_nFwChunks = 0;       // chunks taken in this update, the refused one included
    int m_nProcessingDelayUs = 0;

    std::vector<uint8_t> m_rx;     // received bytes not yet forming a request
    int64_t m_nLastRxUs = 0;
    std::vector<Reply> m_replies;
    bool m_bEndless = false;        // a stored-record stream without end is running
    size_t m_nEndlessNext = 0;      // the stored record it sends next
    int m_nRequests = 0;
    size_t m_nDiscarded = 0;
};
