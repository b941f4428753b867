// The link over a scripted bridge on the manual clock: request/reply
// exchanges and both record streams, with the meter's bytes arriving in
// arbitrary pieces at arbitrary times, some of them well-formed frames.
//
// Input: a flags byte, then up to six operations, each
//   op byte (exchange, long exchange, stored records, continuous series),
//   a cancel byte (0 none, 255 before the start, n after n rows handed on),
//   its parameters, stale bytes waiting before the request, and the pieces
//   the meter sends after it: a byte (bit 7 frame, bits 0-6 delay in 20 ms
//   steps) and either a command, length and payload framed here, or raw bytes.

#include "CFakeBridgeLibrary.h"
#include "CFt260.h"
#include "CFuzzInput.h"
#include "CManualClock.h"
#include "CRecordingOwner.h"
#include "LinkResult.h"
#include "MeterTime.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

constexpr int64_t kStart = 1765000000;   // 2025-12-06, the manual clock's epoch
const char* const kPath = "/dev/hidraw-fuzz";

Bytes Framed(uint8_t command, const Bytes& payload)
{
    Bytes frame{0x02, uint8_t(payload.size() + 1), command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint8_t check = 0;
    for (uint8_t b : frame)
        check ^= b;
    frame.push_back(check);
    frame.push_back(0x03);
    return frame;
}

Bytes Joined(const std::vector<CRecordingOwner::Entry>& log, int direction)
{
    Bytes joined;
    for (const CRecordingOwner::Entry& entry : log)
        if ((entry.nDirection == 0) == (direction == 0))
            joined.insert(joined.end(), entry.bytes.begin(), entry.bytes.end());
    return joined;
}

// What the meter sends, in the order the bridge makes it readable: by
// arrival time, and in sending order at equal times.
struct Arrival {
    int64_t nAtUs;
    Bytes bytes;
};

// The window's side of a cancel: asks the link to stop once it has handed
// on a given number of rows.
class CCancellingOwner : public CRecordingOwner {
public:
    void AddMemoryRecord(int index, const uint8_t* record) override
    {
        CRecordingOwner::AddMemoryRecord(index, record);
        Counted();
    }
    void SetOutputSummary(const uint8_t* summary) override
    {
        CRecordingOwner::SetOutputSummary(summary);
        Counted();
    }
    void AddOutputRecord(int index, const uint8_t* record) override
    {
        CRecordingOwner::AddOutputRecord(index, record);
        Counted();
    }

    CFt260* m_pLink = nullptr;
    CManualClock* m_pClock = nullptr;
    int m_nCancelAfter = 0;        // rows still to come before the cancel; 0 none
    int64_t m_nCancelledAtUs = -1;

private:
    void Counted()
    {
        if (m_nCancelAfter > 0 && --m_nCancelAfter == 0) {
            m_pLink->RequestCancel();
            m_nCancelledAtUs = m_pClock->MonotonicUs();
        }
    }
};

class CLinkRun {
public:
    explicit CLinkRun(CFuzzInput& in) : m_in(in), m_clock(kStart), m_library(m_clock), m_link(m_library, m_clock)
    {
        m_library.AddInterface(kPath);
        const uint8_t flags = in.Byte();
        m_owner.m_bHasLog = (flags & 1) == 0;
        FakeBridgeState& bridge = m_library.State(kPath);
        if (flags & 2)
            bridge.m_nWriteLimit = in.Byte();
        if (flags & 4) {
            bridge.m_failReads.insert(1 + in.Byte() % 64);
            m_bBytesMayBeLost = true;
        }
        if (flags & 8)
            bridge.m_nFailQueriesFrom = 1 + in.Word() % 400;
        bridge.m_onWrite = [this](const Bytes&) { OnWrite(); };
        m_link.m_pOwner = &m_owner;
        m_owner.m_pLink = &m_link;
        m_owner.m_pClock = &m_clock;
        m_link.FindDevice();
    }

    void Run()
    {
        for (int i = 0; i < 6 && !m_in.Empty(); ++i) {
            const uint8_t op = m_in.Byte();
            // Cancel: 0 never, 255 before the operation starts, otherwise
            // after that many rows handed on.
            const uint8_t cancel = m_in.Byte();
            const size_t nWritesBefore = m_library.State(kPath).m_writes.size();
            m_owner.m_nCancelAfter = cancel == 255 ? 0 : cancel;
            m_owner.m_nCancelledAtUs = -1;
            if (cancel == 255)
                m_link.RequestCancel();
            int result = LINK_OK;
            switch (op % 4) {
            case 0: result = Exchange(false); break;
            case 1: result = Exchange(true); break;
            case 2: result = MemoryStream(); break;
            default: result = OutputStream(); break;
            }
            if (cancel == 255) {
                // Cancelled before it began: nothing goes out.
                FUZZ_CHECK(result == LINK_CANCELLED || result == LINK_REQUEST_REFUSED);
                FUZZ_CHECK(m_library.State(kPath).m_writes.size() == nWritesBefore);
            } else if (m_owner.m_nCancelledAtUs >= 0) {
                // Cancelled in the middle: the stream stops at its next poll.
                FUZZ_CHECK(result == LINK_CANCELLED || result == LINK_OK);
                FUZZ_CHECK(m_clock.MonotonicUs() - m_owner.m_nCancelledAtUs <= 100000);
            }
            m_link.ClearCancel();
            m_owner.m_nCancelAfter = 0;
            m_pieces.clear();   // a request that never went out gets no answer
            CheckLog();
        }
    }

private:
    // Stale bytes now, the pieces once the request is written whole.
    void ScriptMeter()
    {
        const Bytes stale = m_in.Block(m_in.Byte() % 32);
        if (!stale.empty())
            Send(0, stale);
        std::vector<std::pair<int, Bytes>> pieces;
        const int count = m_in.Byte() % 24;
        int delayMs = 0;
        for (int i = 0; i < count && !m_in.Empty(); ++i) {
            const uint8_t kind = m_in.Byte();
            delayMs += (kind & 0x7F) * 20;
            if (kind & 0x80) {
                const uint8_t command = m_in.Byte();
                pieces.emplace_back(delayMs, Framed(command, m_in.Block(m_in.Byte() % 24)));
            } else {
                pieces.emplace_back(delayMs, m_in.Block(m_in.Byte() % 64));
            }
        }
        m_pieces = std::move(pieces);
    }

    // The meter answers the first request written whole after ScriptMeter.
    void OnWrite()
    {
        const std::vector<std::pair<int, Bytes>> pieces = std::move(m_pieces);
        m_pieces.clear();
        for (const auto& piece : pieces)
            Send(piece.first, piece.second);
    }

    void Send(int delayMs, const Bytes& bytes)
    {
        const int64_t at = m_clock.MonotonicUs() + int64_t(delayMs) * 1000;
        m_library.State(kPath).Schedule(delayMs, bytes);
        auto pos = std::upper_bound(m_arrivals.begin(), m_arrivals.end(), at,
                                    [](int64_t t, const Arrival& a) { return t < a.nAtUs; });
        m_arrivals.insert(pos, Arrival{at, bytes});
        m_nLastArrivalUs = std::max(m_nLastArrivalUs, at);
    }

    int Exchange(bool bLong)
    {
        const int command = m_in.Byte();
        const int length = bLong ? m_in.Word() % 1200 : m_in.Byte();
        Bytes payload = m_in.Block(size_t(length));
        payload.resize(size_t(length) + 1);
        ScriptMeter();

        // Exactly the 32 bytes callers promise, so a write past them is caught.
        std::unique_ptr<uint8_t[]> reply(new uint8_t[CFt260::REPLY_CLEAR_SIZE]);
        const size_t nWritesBefore = m_library.State(kPath).m_writes.size();
        const int64_t tStart = m_clock.MonotonicUs();
        const int result = bLong ? m_link.SendLongPacket(command, payload.data(), length, reply.get())
                                 : m_link.SendPacket(command, payload.data(), length, reply.get());
        CheckResult(result);

        const int nMaxPayload = bLong ? CFt260::MAX_LONG_PAYLOAD : CFt260::MAX_SHORT_PAYLOAD;
        if (command < CFt260::FIRST_COMMAND || command > CFt260::LAST_COMMAND || length > nMaxPayload) {
            // A request that cannot be framed is refused before anything goes out.
            FUZZ_CHECK(result != LINK_OK);
            FUZZ_CHECK(m_library.State(kPath).m_writes.size() == nWritesBefore);
        }
        if (result == LINK_OK) {
            // Success means a whole, checked reply of the command's length,
            // and the caller got exactly its payload.
            const uint32_t n = uint32_t(m_link.ReplyLength(command));
            FUZZ_CHECK(n >= CFt260::FRAME_OVERHEAD && m_link.m_nRxLen == n);
            const uint8_t* frame = m_link.m_RxBuf;
            FUZZ_CHECK(frame[0] == 0x02 && frame[n - 1] == 0x03);
            uint8_t check = 0;
            for (uint32_t i = 0; i < n - 2; ++i)
                check ^= frame[i];
            FUZZ_CHECK(check == frame[n - 2]);
            FUZZ_CHECK(std::equal(frame + 3, frame + n - 2, reply.get()));
        }
        // A reply is waited for in 50 ms steps, 50 of them (long: 100).
        const int64_t tBoundUs = int64_t(bLong ? 100 : 50) * 50000 + 1000000;
        FUZZ_CHECK(m_clock.MonotonicUs() - tStart <= tBoundUs);
        return result;
    }

    int MemoryStream()
    {
        const int64_t from = kStart + int64_t(int16_t(m_in.Word())) * 21600;
        const int64_t to = from + int64_t(int16_t(m_in.Word())) * 3600;
        ScriptMeter();
        const size_t nBefore = m_owner.m_memory.size();
        const int64_t tStart = m_clock.MonotonicUs();
        int count = -1;
        const int result = m_link.ReadMemoryRecords(from, to, &count);
        CheckResult(result);

        const size_t nHanded = m_owner.m_memory.size() - nBefore;
        if (count >= 0)
            FUZZ_CHECK(size_t(count) == nHanded);
        MeterDateTime upper = LocalDateTime(to);
        upper.nHour = 23;
        upper.nMinute = 59;
        upper.nSecond = 59;
        int64_t tUpper = 0;
        const bool bHasUpper = MeterDateTimeToTime(upper, &tUpper);
        for (size_t i = nBefore; i < m_owner.m_memory.size(); ++i) {
            const CRecordingOwner::Record& record = m_owner.m_memory[i];
            FUZZ_CHECK(record.nIndex == int(i - nBefore));
            // The end marker is never handed on, and nothing after the end date.
            FUZZ_CHECK(record.bytes[0] != 0);
            int64_t tWhen = 0;
            if (bHasUpper && MeterDateTimeToTime(DecodeDateTime(record.bytes.data()), &tWhen))
                FUZZ_CHECK(tWhen <= tUpper);
        }
        CheckStreamEnded(tStart);
        return result;
    }

    int OutputStream()
    {
        ScriptMeter();
        const size_t nRecordsBefore = m_owner.m_output.size();
        const size_t nSummariesBefore = m_owner.m_summaries.size();
        const int64_t tStart = m_clock.MonotonicUs();
        const int result = m_link.ReadOutputRecords();
        CheckResult(result);

        for (size_t i = nRecordsBefore; i < m_owner.m_output.size(); ++i)
            FUZZ_CHECK(m_owner.m_output[i].nIndex == int(i - nRecordsBefore));
        if (result == LINK_OK) {
            // Success: the series was announced, and nothing announced is missing.
            FUZZ_CHECK(m_owner.m_summaries.size() > nSummariesBefore);
            FUZZ_CHECK(m_owner.m_output.size() - nRecordsBefore >= m_owner.m_summaries.back()[0]);
        }
        CheckStreamEnded(tStart);
        return result;
    }

    // A stream ends once the meter has gone quiet for its idle limit.
    void CheckStreamEnded(int64_t tStartUs)
    {
        const int64_t tQuiet = std::max(tStartUs, m_nLastArrivalUs);
        FUZZ_CHECK(m_clock.MonotonicUs() <= tQuiet + 3000000);
    }

    void CheckResult(int result)
    {
        FUZZ_CHECK(result == m_link.m_nResult);
        FUZZ_CHECK(result <= 0);
        m_link.GetErrorText();
    }

    // Every byte written is logged as sent; every byte read is logged as
    // received, in the order the meter sent them, and nothing else is.
    void CheckLog()
    {
        if (!m_owner.m_bHasLog)
            return;
        for (const CRecordingOwner::Entry& entry : m_owner.m_log)
            FUZZ_CHECK(entry.bytes.size() <= size_t(CFt260::LINK_BUFFER_SIZE));
        Bytes written;
        for (const Bytes& write : m_library.State(kPath).m_writes)
            written.insert(written.end(), write.begin(), write.end());
        FUZZ_CHECK(Joined(m_owner.m_log, 0) == written);
        if (m_bBytesMayBeLost)
            return;
        Bytes sent;
        for (const Arrival& arrival : m_arrivals)
            sent.insert(sent.end(), arrival.bytes.begin(), arrival.bytes.end());
        const Bytes received = Joined(m_owner.m_log, 1);
        FUZZ_CHECK(received.size() <= sent.size());
        FUZZ_CHECK(std::equal(received.begin(), received.end(), sent.begin()));
    }

    CFuzzInput& m_in;
    CManualClock m_clock;
    CFakeBridgeLibrary m_library;
    CCancellingOwner m_owner;
    CFt260 m_link;
    std::vector<std::pair<int, Bytes>> m_pieces;   // the meter's answer to the next request
    std::vector<Arrival> m_arrivals;
    int64_t m_nLastArrivalUs = 0;
    bool m_bBytesMayBeLost = false;   // a failing read drops what it was reading
};

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzUseUtc();
    CFuzzInput in(data, size);
    CLinkRun run(in);
    run.Run();
    return 0;
}
