#include "CSimMeter.h"

#include "ILinkClock.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <tuple>

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// The meter forgets a half-received request after this much silence, so a
// request cut off on the way never swallows the next one.
constexpr int64_t kFrameGapUs = 50000;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

struct Civil {
    int64_t year;
    unsigned month, day, hour, minute, second;
};

Civil CivilFromSeconds(int64_t t)
{
    int64_t days = t / kSecondsPerDay;
    int64_t rest = t % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = doy - (153 * mp + 2) / 5 + 1;
    c.month = mp < 10 ? mp + 3 : mp - 9;
    c.year = int64_t(yoe) + era * 400 + (c.month <= 2);
    c.hour = unsigned(rest / 3600);
    c.minute = unsigned(rest / 60 % 60);
    c.second = unsigned(rest % 60);
    return c;
}

unsigned DaysInMonth(int64_t year, unsigned month)
{
    static const unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

// How far the PC's local time is ahead of UTC at t: a meter set by the PC
// shows local time, so the simulated one starts out that way.
int64_t LocalOffsetSeconds(int64_t t)
{
    std::time_t tt = std::time_t(t);
    std::tm lt{};
#ifdef _WIN32
    if (localtime_s(&lt, &tt) != 0)
        return 0;
#else
    if (!localtime_r(&tt, &lt))
        return 0;
#endif
    int64_t local = DaysFromCivil(lt.tm_year + 1900, unsigned(lt.tm_mon + 1), unsigned(lt.tm_mday))
                        * kSecondsPerDay
                    + lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec;
    return local - t;
}

// A small generator with the same sequence everywhere (the standard
// distributions are not portable), so a seed always gives the same records.
class SplitMix {
public:
    explicit SplitMix(uint64_t seed) : m_state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; n must be positive
    uint64_t Below(uint64_t n) { return Next() % n; }

private:
    uint64_t m_state;
};

template <size_t N>
void CopyPadded(std::array<uint8_t, N>& field, const std::string& text)
{
    field.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
}

CSimMeter::Record RecordAt(int64_t calendarSeconds, uint16_t force, uint8_t cellType)
{
    Civil c = CivilFromSeconds(calendarSeconds);
    CSimMeter::Record r;
    r.nYear = uint16_t(c.year);
    r.nMonth = uint8_t(c.month);
    r.nDay = uint8_t(c.day);
    r.nHour = uint8_t(c.hour);
    r.nMinute = uint8_t(c.minute);
    r.nSecond = uint8_t(c.second);
    r.nForce = force;
    r.nCellType = cellType;
    return r;
}

auto TimeKey(const CSimMeter::Record& r)
{
    return std::make_tuple(r.nYear, r.nMonth, r.nDay, r.nHour, r.nMinute, r.nSecond);
}

uint8_t Xor(const uint8_t* p, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

// Shortest request payload each command needs; a shorter one is not a request
// the meter can act on. Every request carries at least one byte.
size_t MinRequestPayload(uint8_t command)
{
    switch (command) {
    case 0x34: return 13;   // clock and stored number
    case 0x35: return 7;    // start date
    case 0x36: return 11;   // serial number
    case 0x47: return 3;    // correction slot and value
    case 0x49: return 2;    // firmware head
    case 0x4C: return 9;    // name
    default: return 1;
    }
}

// Resting load-cell capacity of each cell type, 0.1 kN.
const uint16_t kCellCapacity[3] = {686, 1470, 2940};

constexpr uint8_t ACK_OK = 0;
constexpr uint8_t ACK_REFUSED = 1;

} // namespace

CSimMeter::Record CSimMeter::Record::Make(int year, int month, int day, int hour, int minute,
                                          int second, int force, int cellType)
{
    Record r;
    r.nYear = uint16_t(year);
    r.nMonth = uint8_t(month);
    r.nDay = uint8_t(day);
    r.nHour = uint8_t(hour);
    r.nMinute = uint8_t(minute);
    r.nSecond = uint8_t(second);
    r.nForce = uint16_t(force);
    r.nCellType = uint8_t(cellType);
    return r;
}

std::array<uint8_t, 10> CSimMeter::Record::Encode() const
{
    // @0 2  year, big-endian
    // @2 1  month   @3 1 day   @4 1 hour   @5 1 minute   @6 1 second
    // @7 2  force, 0.1 kN, big-endian
    // @9 1  load-cell type
    return {uint8_t(nYear >> 8), uint8_t(nYear), nMonth, nDay, nHour, nMinute, nSecond,
            uint8_t(nForce >> 8), uint8_t(nForce), nCellType};
}

CSimMeter::CSimMeter(ILinkClock& clock) : CSimMeter(clock, Setup()) {}

CSimMeter::CSimMeter(ILinkClock& clock, const Setup& setup)
    : m_clock(clock), m_nProcessingDelayUs(std::max(0, setup.nProcessingDelayUs))
{
    CopyPadded(m_name, setup.strName);
    if (setup.bNoSerial)
        m_serial.fill(0xFF);
    else
        CopyPadded(m_serial, setup.strSerial);
    CopyPadded(m_version, setup.strVersion);
    m_nBattery = setup.nBattery;
    m_nClockOffset = LocalOffsetSeconds(m_clock.NowSeconds());
    m_nStartUs = m_clock.MonotonicUs();

    // Points are the raw load-cell readings at no load and the three reference
    // forces; the present value rests a little above the no-load point.
    m_cal[SIZE_7T].points = {8120, 120400, 196800, 254300};
    m_cal[SIZE_7T].corrections = {2048, 2051, 2046};
    m_cal[SIZE_7T].presentBase = 8150;
    m_cal[SIZE_15T].points = {8240, 131600, 180100, 228700};
    m_cal[SIZE_15T].corrections = {2048, 2048, 2048};
    m_cal[SIZE_15T].presentBase = 8262;
    m_cal[SIZE_30T].points = {8010, 126900, 173400, 220300};
    m_cal[SIZE_30T].corrections = {2040, 2048, 2057};
    m_cal[SIZE_30T].presentBase = 8031;

    GenerateRecords(setup);
    GenerateSeries(setup);
}

// ---------------------------------------------------------------- framing

int CSimMeter::ReplyPayloadLength(uint8_t command)
{
    static const int lengths[31] = {
        4, 9, 11, 1, 1, 10, 1, 9,    // 0x30-0x37
        1, 10, 1, 9, 1, 10, 1, 10,   // 0x38-0x3F
        1, 9, 11, 21, 1, 21, 1, 1,   // 0x40-0x47
        1, 1, 1, 13, 1, 21, 1,       // 0x48-0x4E
    };
    if (command < 0x30 || command > 0x4E)
        return -1;
    return lengths[command - 0x30];
}

std::vector<uint8_t> CSimMeter::MakeFrame(uint8_t command, const uint8_t* payload, size_t size)
{
    // @0     1  STX
    // @1     1  N + 1 (command and payload)
    // @2     1  command
    // @3     N  payload
    // @3+N   1  XOR of every byte before it, STX included
    // @4+N   1  ETX
    std::vector<uint8_t> frame;
    frame.reserve(size + 5);
    frame.push_back(STX);
    frame.push_back(uint8_t(size + 1));
    frame.push_back(command);
    if (size)
        frame.insert(frame.end(), payload, payload + size);
    frame.push_back(Xor(frame.data(), frame.size()));
    frame.push_back(ETX);
    return frame;
}

CSimMeter::ParseResult CSimMeter::ParseShort(size_t* frameLen) const
{
    // Tries the buffer's head as STX, length, command, payload, check, ETX.
    const uint8_t* p = m_rx.data();
    const size_t n = m_rx.size();
    if (n < 2)
        return PARSE_NEED_MORE;
    const size_t length = p[1];
    if (length == 0)
        return PARSE_BAD;
    if (n < 3)
        return PARSE_NEED_MORE;
    const uint8_t command = p[2];
    // The firmware commands come only in the long form.
    if (command < 0x30 || command > 0x4E || command == 0x49 || command == 0x4A)
        return PARSE_BAD;
    const size_t total = length + 4;
    if (n < total)
        return PARSE_NEED_MORE;
    if (p[total - 1] != ETX || Xor(p, total - 2) != p[total - 2])
        return PARSE_BAD;
    *frameLen = total;
    return PARSE_FRAME;
}

CSimMeter::ParseResult CSimMeter::ParseLong(size_t* frameLen) const
{
    // @0 1 STX   @1 2 N + 1, big-endian   @3 1 command   @4 N payload   check   ETX
    const uint8_t* p = m_rx.data();
    const size_t n = m_rx.size();
    if (n < 4)
        return PARSE_NEED_MORE;
    if (p[3] != 0x49 && p[3] != 0x4A)
        return PARSE_BAD;
    const size_t length = size_t(p[1]) << 8 | p[2];
    if (length < 1 || length > size_t(kMaxLongPayload) + 1)
        return PARSE_BAD;
    const size_t total = length + 5;
    if (n < total)
        return PARSE_NEED_MORE;
    if (p[total - 1] != ETX || Xor(p, total - 2) != p[total - 2])
        return PARSE_BAD;
    *frameLen = total;
    return PARSE_FRAME;
}

void CSimMeter::Receive(const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return;
    const int64_t now = m_clock.MonotonicUs();
    if (!m_rx.empty() && now - m_nLastRxUs > kFrameGapUs) {
        m_nDiscarded += m_rx.size();
        m_rx.clear();
    }
    m_nLastRxUs = now;
    m_rx.insert(m_rx.end(), data, data + size);
    ParseBuffer();
}

void CSimMeter::ParseBuffer()
{
    while (!m_rx.empty()) {
        auto stx = std::find(m_rx.begin(), m_rx.end(), STX);
        m_nDiscarded += size_t(stx - m_rx.begin());
        m_rx.erase(m_rx.begin(), stx);
        if (m_rx.empty())
            return;

        size_t shortLen = 0, longLen = 0;
        const ParseResult asShort = ParseShort(&shortLen);
        const ParseResult asLong = ParseLong(&longLen);
        if (asShort == PARSE_FRAME || asLong == PARSE_FRAME) {
            const bool isShort = asShort == PARSE_FRAME;
            const size_t len = isShort ? shortLen : longLen;
            const size_t head = isShort ? 3 : 4;
            std::vector<uint8_t> frame(m_rx.begin(), m_rx.begin() + std::ptrdiff_t(len));
            m_rx.erase(m_rx.begin(), m_rx.begin() + std::ptrdiff_t(len));
            HandleRequest(frame[head - 1], frame.data() + head, len - head - 2);
            continue;
        }
        if (asShort == PARSE_BAD && asLong == PARSE_BAD) {
            // Not a request after all: look for the next STX.
            m_rx.erase(m_rx.begin());
            ++m_nDiscarded;
            continue;
        }
        return;   // a request may still be arriving
    }
}

// ---------------------------------------------------------------- requests

void CSimMeter::HandleRequest(uint8_t command, const uint8_t* payload, size_t size)
{
    if (size < MinRequestPayload(command)) {
        m_nDiscarded += size + 5;
        return;
    }
    ++m_nRequests;
    if (m_faults.m_bNoReply)
        return;
    bool isStream = false;
    std::vector<std::vector<uint8_t>> frames = Answer(command, payload, size, &isStream);
    Queue(std::move(frames), isStream);
}

std::vector<std::vector<uint8_t>> CSimMeter::Answer(uint8_t command, const uint8_t* payload,
                                                    size_t size, bool* isStream)
{
    auto one = [command](const uint8_t* bytes, size_t n) {
        return std::vector<std::vector<uint8_t>>{MakeFrame(command, bytes, n)};
    };
    auto ack = [&one](uint8_t value) { return one(&value, 1); };
    // Which load-cell size a calibration command is about.
    auto sizeOf = [](uint8_t cmd) {
        switch (cmd) {
        case 0x4D: case 0x4E: return int(SIZE_7T);
        case 0x43: case 0x44: return int(SIZE_15T);
        default: return int(SIZE_30T);
        }
    };

    switch (command) {
    case 0x30:
        return one(m_version.data(), m_version.size());
    case 0x31:
        return one(m_name.data(), m_name.size());
    case 0x32:
        return one(m_serial.data(), m_serial.size());
    case 0x33:
        return ack(uint8_t(int8_t(std::clamp(m_nBattery, -128, 127))));
    case 0x34:
        return ack(SetClock(payload));
    case 0x35:
        *isStream = true;
        return AnswerMemory(payload);
    case 0x36:
        std::copy_n(payload, m_serial.size(), m_serial.begin());
        return ack(ACK_OK);
    case 0x41:
        *isStream = true;
        return AnswerOutput();
    case 0x43:
    case 0x45:
    case 0x4D: {
        const int cell = sizeOf(command);
        const Calibration& cal = m_cal[size_t(cell)];
        // @0  3×4  points 0-3, 24-bit big-endian
        // @12 3    present value, 24-bit big-endian
        // @15 2×3  corrections + 2048, 16-bit big-endian
        uint8_t out[21];
        for (int i = 0; i < 5; ++i) {
            const uint32_t v = i < 4 ? cal.points[size_t(i)] : GetPresentValue(cell);
            out[i * 3] = uint8_t(v >> 16);
            out[i * 3 + 1] = uint8_t(v >> 8);
            out[i * 3 + 2] = uint8_t(v);
        }
        for (int i = 0; i < 3; ++i) {
            out[15 + i * 2] = uint8_t(cal.corrections[size_t(i)] >> 8);
            out[16 + i * 2] = uint8_t(cal.corrections[size_t(i)]);
        }
        return one(out, sizeof out);
    }
    case 0x44:
    case 0x46:
    case 0x4E: {
        const int cell = sizeOf(command);
        const uint8_t point = payload[0];
        if (point > 3)
            return ack(ACK_REFUSED);
        m_cal[size_t(cell)].points[point] = GetPresentValue(cell);
        return ack(ACK_OK);
    }
    case 0x47: {
        // @0 1 slot: 0-2 15 t, 3-5 30 t, 6-8 7 t   @1 2 value + 2048, big-endian
        static const int slotSize[3] = {SIZE_15T, SIZE_30T, SIZE_7T};
        const uint8_t slot = payload[0];
        if (slot > 8)
            return ack(ACK_REFUSED);
        m_cal[size_t(slotSize[slot / 3])].corrections[slot % 3] =
            uint16_t(payload[1] << 8 | payload[2]);
        return ack(ACK_OK);
    }
    case 0x48:
        m_fwState = FW_AWAIT_HEAD;
        m_firmware.clear();
        m_nFwChunks = 0;
        return ack(ACK_OK);
    case 0x49: {
        // Only an update the PC announced with 0x48 takes a head.
        if (m_fwState == FW_IDLE)
            return ack(ACK_REFUSED);
        const bool known = (payload[0] == 0x33 && payload[1] == 0x55)
                        || (payload[0] == 0x21 && payload[1] == 0x6F);
        if (!known)
            return ack(ACK_REFUSED);
        m_firmware.assign(payload, payload + 2);
        m_nFwChunks = 0;
        m_fwState = FW_RECEIVING;
        return ack(ACK_OK);
    }
    case 0x4A:
        return ack(TakeFirmwareChunk(payload, size));
    case 0x4B: {
        // @0 2 year BE   @2 month   @3 day   @4 hour   @5 minute   @6 second
        // @7 6 stored number, packed BCD, as the PC last set it
        const Civil c = CivilFromSeconds(GetMeterTime());
        uint8_t out[13] = {uint8_t(c.year >> 8), uint8_t(c.year), uint8_t(c.month), uint8_t(c.day),
                           uint8_t(c.hour), uint8_t(c.minute), uint8_t(c.second)};
        std::copy(m_storedNumber.begin(), m_storedNumber.end(), out + 7);
        return one(out, sizeof out);
    }
    case 0x4C:
        std::copy_n(payload, m_name.size(), m_name.begin());
        return ack(ACK_OK);
    default: {
        // Commands without a use on the PC side are acknowledged with a
        // zero-filled reply of their length, as the meter's reply table fixes it.
        std::vector<uint8_t> zero(size_t(ReplyPayloadLength(command)), 0);
        return one(zero.data(), zero.size());
    }
    }
}

uint8_t CSimMeter::SetClock(const uint8_t* p)
{
    // @0 2 year BE   @2 month   @3 day   @4 hour   @5 minute   @6 second
    // @7 6 stored number, packed BCD
    // A time that is not a calendar time (the PC sends 0xFF hours when its own
    // clock conversion failed) is refused rather than stored as nonsense.
    const int64_t year = p[0] << 8 | p[1];
    const unsigned month = p[2], day = p[3], hour = p[4], minute = p[5], second = p[6];
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1
        || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return ACK_REFUSED;
    const int64_t calendar =
        DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    SetMeterTime(calendar);
    std::copy_n(p + 7, m_storedNumber.size(), m_storedNumber.begin());
    return ACK_OK;
}

uint8_t CSimMeter::TakeFirmwareChunk(const uint8_t* payload, size_t size)
{
    if (m_fwState != FW_RECEIVING)
        return ACK_REFUSED;   // no accepted head: nothing to add the data to
    ++m_nFwChunks;
    if (m_faults.m_nFwCrcChunk == m_nFwChunks) {
        // A checksum error ends the update; the PC has to start again.
        m_fwState = FW_IDLE;
        return 1;
    }
    m_firmware.insert(m_firmware.end(), payload, payload + size);
    return ACK_OK;
}

std::vector<std::vector<uint8_t>> CSimMeter::AnswerMemory(const uint8_t* p)
{
    // Request: @0 2 year BE   @2 month   @3 day   @4 hour   @5 minute   @6 second.
    // Every stored record from that moment on, oldest first, then an end
    // marker: a record frame whose payload is all zero.
    Record from;
    from.nYear = uint16_t(p[0] << 8 | p[1]);
    from.nMonth = p[2];
    from.nDay = p[3];
    from.nHour = p[4];
    from.nMinute = p[5];
    from.nSecond = p[6];
    auto first = std::lower_bound(m_records.begin(), m_records.end(), from,
                                  [](const Record& a, const Record& b) { return TimeKey(a) < TimeKey(b); });
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(size_t(m_records.end() - first) + 1);
    for (auto it = first; it != m_records.end(); ++it) {
        const std::array<uint8_t, 10> bytes = it->Encode();
        frames.push_back(MakeFrame(0x35, bytes.data(), bytes.size()));
    }
    if (m_faults.m_bEndlessStream) {
        // No end marker: the stored records go round for as long as the
        // switch stays on (ContinueEndlessStream).
        m_bEndless = true;
        m_nEndlessNext = 0;
        return frames;
    }
    const uint8_t end[10] = {};
    frames.push_back(MakeFrame(0x35, end, sizeof end));
    return frames;
}

std::vector<uint8_t> CSimMeter::ContinueEndlessStream(size_t frameCount)
{
    std::vector<uint8_t> bytes;
    if (!IsStreamingEndlessly()) {
        m_bEndless = false;
        return bytes;
    }
    // With nothing stored, one plain record stands in: the stream is about
    // never ending, not about what it carries.
    static const Record kStandIn = Record::Make(2025, 1, 1, 12, 0, 0, 1000, 0);
    for (size_t i = 0; i < frameCount; ++i) {
        const Record& r = m_records.empty() ? kStandIn : m_records[m_nEndlessNext % m_records.size()];
        ++m_nEndlessNext;
        const std::array<uint8_t, 10> record = r.Encode();
        const std::vector<uint8_t> frame = MakeFrame(0x35, record.data(), record.size());
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
}

std::vector<std::vector<uint8_t>> CSimMeter::AnswerOutput()
{
    // 'A' summary: @0 1 count   @1 2 average   @3 2 minimum   @5 2 maximum
    // @7 2 deviation; forces in 0.01 kN, big-endian. Then one 'B' frame per
    // measurement: @0 1 unused   @1 10 the record.
    const size_t count = m_series.size();
    uint32_t average = 0, minimum = 0, maximum = 0, deviation = 0;
    if (count > 0) {
        double sum = 0;
        uint32_t lo = 0xFFFF, hi = 0;
        for (const Record& r : m_series) {
            sum += r.nForce;
            lo = std::min<uint32_t>(lo, r.nForce);
            hi = std::max<uint32_t>(hi, r.nForce);
        }
        const double mean = sum / double(count);
        double squares = 0;
        for (const Record& r : m_series)
            squares += (r.nForce - mean) * (r.nForce - mean);
        // The series is the whole population of the run: no n - 1.
        const double sd = std::sqrt(squares / double(count));
        auto hundredths = [](double tenths) {
            return uint32_t(std::min(65535.0, std::floor(tenths * 10.0 + 0.5)));
        };
        average = hundredths(mean);
        minimum = hundredths(lo);
        maximum = hundredths(hi);
        deviation = hundredths(sd);
    }
    uint8_t summary[9] = {uint8_t(count), uint8_t(average >> 8), uint8_t(average),
                                uint8_t(minimum >> 8), uint8_t(minimum), uint8_t(maximum >> 8),
                                uint8_t(maximum), uint8_t(deviation >> 8), uint8_t(deviation)};
    std::vector<std::vector<uint8_t>> records;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t b[11] = {uint8_t(i)};   // @0 the record's index from 0
        const std::array<uint8_t, 10> bytes = m_series[i].Encode();
        std::copy(bytes.begin(), bytes.end(), b + 1);
        records.push_back(MakeFrame(0x42, b, sizeof b));
    }
    const CSimFaults& f = m_faults;
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(count + 3);
    if (f.m_bSeriesEarlyRecord && !records.empty())
        frames.push_back(records.back());
    if (f.m_bSeriesUncounted)
        summary[0] = 0;
    frames.push_back(MakeFrame(0x41, summary, sizeof summary));
    for (size_t i = 0; i < records.size(); ++i) {
        if (f.m_bSeriesGap && i == 1)
            continue;
        frames.push_back(records[i]);
        if (f.m_bSeriesRepeat && i == 0)
            frames.push_back(records[i]);
    }
    return frames;
}

void CSimMeter::Queue(std::vector<std::vector<uint8_t>> frames, bool isStream)
{
    if (frames.empty())
        return;
    const CSimFaults& f = m_faults;
    std::vector<uint8_t>& head = frames.front();
    if (f.m_bBadCheck)
        head[head.size() - 2] ^= 0xFF;
    if (f.m_bNoEtx)
        head.back() = 0x00;
    if (isStream && f.m_bCorruptInStream) {
        std::vector<uint8_t>& target = frames[frames.size() > 1 ? 1 : 0];
        target[4] ^= 0x5A;   // a payload byte: the check byte no longer fits
    }
    if (isStream && f.m_bGarbageInStream) {
        const size_t nTarget = std::min(size_t(f.m_nGarbageFrame), frames.size()) - 1;
        std::vector<uint8_t>& target = frames[nTarget];
        target.insert(target.begin() + std::ptrdiff_t(target.size() / 2), 0xEE);
    }
    if (f.m_bCutShort)
        frames.back().resize(frames.back().size() / 2);

    Reply reply;
    size_t total = 0;
    for (const auto& fr : frames)
        total += fr.size();
    reply.bytes.reserve(total + 6);
    // The tail of some earlier frame, still in the meter's transmit buffer.
    static const uint8_t stale[3] = {0x5A, 0x00, 0x03};
    static const uint8_t extra[3] = {0x00, 0x55, 0x03};
    if (f.m_bStaleBytes)
        reply.bytes.insert(reply.bytes.end(), stale, stale + 3);
    for (const auto& fr : frames)
        reply.bytes.insert(reply.bytes.end(), fr.begin(), fr.end());
    if (f.m_bExtraBytes)
        reply.bytes.insert(reply.bytes.end(), extra, extra + 3);
    reply.nDelayUs = f.m_bSlow ? int64_t(f.m_nSlowMs) * 1000 : m_nProcessingDelayUs;
    m_replies.push_back(std::move(reply));
}

std::vector<CSimMeter::Reply> CSimMeter::TakeReplies()
{
    std::vector<Reply> out;
    out.swap(m_replies);
    return out;
}

// ---------------------------------------------------------------- state

int64_t CSimMeter::GetMeterTime() const
{
    return m_clock.NowSeconds() + m_nClockOffset;
}

void CSimMeter::SetMeterTime(int64_t calendarSeconds)
{
    m_nClockOffset = calendarSeconds - m_clock.NowSeconds();
}

void CSimMeter::SetStoredRecords(std::vector<Record> records)
{
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return TimeKey(a) < TimeKey(b); });
    m_records = std::move(records);
}

void CSimMeter::SetOutputSeries(std::vector<Record> series)
{
    if (series.size() > 255)
        series.resize(255);
    m_series = std::move(series);
}

uint32_t CSimMeter::GetCalPoint(int size, int point) const
{
    if (size < 0 || size > 2 || point < 0 || point > 3)
        return 0;
    return m_cal[size_t(size)].points[size_t(point)];
}

int CSimMeter::GetCorrection(int size, int index) const
{
    if (size < 0 || size > 2 || index < 0 || index > 2)
        return 0;
    return int(m_cal[size_t(size)].corrections[size_t(index)]) - 2048;
}

void CSimMeter::SetPresentBase(int size, uint32_t value)
{
    if (size >= 0 && size <= 2)
        m_cal[size_t(size)].presentBase = value & 0xFFFFFF;
}

uint32_t CSimMeter::GetPresentValue(int size) const
{
    if (size < 0 || size > 2)
        return 0;
    const int64_t second = (m_clock.MonotonicUs() - m_nStartUs) / 1000000;
    SplitMix mix(uint64_t(second) * 3 + uint64_t(size));
    const int64_t drift = int64_t(mix.Below(25)) - 12;
    const int64_t v = int64_t(m_cal[size_t(size)].presentBase) + drift;
    return uint32_t(std::clamp<int64_t>(v, 0, 0xFFFFFF));
}

void CSimMeter::GenerateRecords(const Setup& setup)
{
    const int count = std::max(0, setup.nRecordCount);
    const int64_t now = GetMeterTime();
    const int64_t span = int64_t(std::max(1, setup.nRecordDays)) * kSecondsPerDay;
    const int64_t midnight = now - ((now % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    SplitMix rnd(setup.nRecordSeed);
    std::vector<Record> records;
    records.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        // A few of them are from today, so that a download of today finds something.
        const int64_t t = i < 3 ? midnight + int64_t(rnd.Below(uint64_t(now - midnight + 1)))
                                : now - int64_t(rnd.Below(uint64_t(span)));
        const uint8_t type = uint8_t(rnd.Below(3));
        const uint16_t cap = kCellCapacity[type];
        const uint16_t force = uint16_t(cap / 10 + rnd.Below(uint64_t(cap) * 9 / 10));
        records.push_back(RecordAt(t, force, type));
    }
    SetStoredRecords(std::move(records));
}

void CSimMeter::GenerateSeries(const Setup& setup)
{
    const int count = std::clamp(setup.nSeriesCount, 0, 255);
    const int64_t now = GetMeterTime();
    SplitMix rnd(setup.nSeriesSeed);
    std::vector<Record> series;
    int force = 500 + int(rnd.Below(400));
    for (int i = 0; i < count; ++i) {
        force = std::clamp(force + int(rnd.Below(41)) - 20, 50, int(kCellCapacity[1]));
        series.push_back(RecordAt(now - count + i, uint16_t(force), 1));
    }
    m_series = std::move(series);
}
