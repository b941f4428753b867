#pragma once
// Builds requests the way the PC does and splits the meter's answers into
// frames, written separately from the meter so that both sides are checked.

#include "CManualClock.h"
#include "CSimMeter.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline uint8_t XorOf(const uint8_t* p, size_t n)
{
    uint8_t x = 0;
    while (n--)
        x ^= *p++;
    return x;
}

inline Bytes ShortRequest(uint8_t command, Bytes payload)
{
    Bytes f;
    f.reserve(payload.size() + 5);
    f.push_back(0x02);
    f.push_back(uint8_t(payload.size() + 1));
    f.push_back(command);
    for (uint8_t b : payload)
        f.push_back(b);
    f.push_back(XorOf(f.data(), f.size()));
    f.push_back(0x03);
    return f;
}

inline Bytes LongRequest(uint8_t command, Bytes payload)
{
    const size_t len = payload.size() + 1;
    Bytes f;
    f.reserve(payload.size() + 6);
    for (uint8_t b : {uint8_t(0x02), uint8_t(len >> 8), uint8_t(len), command})
        f.push_back(b);
    for (uint8_t b : payload)
        f.push_back(b);
    f.push_back(XorOf(f.data(), f.size()));
    f.push_back(0x03);
    return f;
}

// Everything the meter answers to one write, as one byte string.
inline Bytes Ask(CSimMeter& meter, const Bytes& request)
{
    meter.Receive(request.data(), request.size());
    Bytes out;
    for (const CSimMeter::Reply& r : meter.TakeReplies())
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    return out;
}

// True when bytes is exactly one well-formed reply frame of command with a
// payload of payloadLen bytes.
inline bool IsFrame(const Bytes& bytes, uint8_t command, size_t payloadLen)
{
    return bytes.size() == payloadLen + 5 && bytes[0] == 0x02 && bytes[1] == payloadLen + 1
        && bytes[2] == command && bytes[bytes.size() - 2] == XorOf(bytes.data(), bytes.size() - 2)
        && bytes.back() == 0x03;
}

inline Bytes Payload(const Bytes& frame)
{
    return frame.size() < 5 ? Bytes() : Bytes(frame.begin() + 3, frame.end() - 2);
}

// Splits a run of equally sized frames.
inline std::vector<Bytes> Frames(const Bytes& bytes, size_t frameLen, size_t offset = 0)
{
    std::vector<Bytes> out;
    for (size_t i = offset; i + frameLen <= bytes.size(); i += frameLen)
        out.emplace_back(bytes.begin() + std::ptrdiff_t(i), bytes.begin() + std::ptrdiff_t(i + frameLen));
    return out;
}

inline CSimMeter::Record Rec(int y, int mo, int d, int h, int mi, int s, int force = 100, int type = 1)
{
    return CSimMeter::Record::Make(y, mo, d, h, mi, s, force, type);
}
