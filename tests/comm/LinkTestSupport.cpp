#include "LinkTestSupport.h"

#include <cctype>
#include <cstdio>
#include <ctime>

Bytes Hex(const std::string& text)
{
    Bytes bytes;
    int nHigh = -1;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            nHigh = -1;
            continue;
        }
        const int nDigit = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (nHigh < 0) {
            nHigh = nDigit;
        } else {
            bytes.push_back(static_cast<uint8_t>(nHigh * 16 + nDigit));
            nHigh = -1;
        }
    }
    return bytes;
}

std::string ToHex(const Bytes& bytes)
{
    std::string text;
    char piece[4];
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, "%02X ", b);
        text += piece;
    }
    return text;
}

Bytes Frame(uint8_t command, const Bytes& payload)
{
    Bytes frame;
    frame.reserve(payload.size() + 5);
    frame.push_back(0x02);
    frame.push_back(static_cast<uint8_t>(payload.size() + 1));
    frame.push_back(command);
    for (uint8_t b : payload)
        frame.push_back(b);
    uint8_t check = 0;
    for (uint8_t b : frame)
        check ^= b;
    frame.push_back(check);
    frame.push_back(0x03);
    return frame;
}

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm parts = {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&parts));
}

Bytes MeasurementBytes(int year, int month, int day, int hour, int minute, int second,
                       uint16_t force, uint8_t type)
{
    return {static_cast<uint8_t>(year >> 8), static_cast<uint8_t>(year & 0xFF),
            static_cast<uint8_t>(month),     static_cast<uint8_t>(day),
            static_cast<uint8_t>(hour),      static_cast<uint8_t>(minute),
            static_cast<uint8_t>(second),    static_cast<uint8_t>(force >> 8),
            static_cast<uint8_t>(force & 0xFF), type};
}

const char* const LinkTest::kPath = "/dev/hidraw-bridge";

LinkTest::LinkTest() : m_clock(LocalTime(2025, 3, 7, 14, 5, 9)), m_library(m_clock),
                       m_link(m_library, m_clock)
{
    m_library.AddInterface(kPath);
    m_link.m_pOwner = &m_owner;
    m_link.FindDevice();
}

void LinkTest::AnswerWith(std::function<Bytes(const Bytes&)> answer, int delayMs)
{
    FakeBridgeState& state = Bridge();
    state.m_onWrite = [&state, answer, delayMs](const Bytes& request) {
        const Bytes reply = answer(request);
        if (!reply.empty())
            state.Schedule(delayMs, reply);
    };
}
