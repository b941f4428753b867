#pragma once
#include <cstdint>

// Receives every transfer on the link: direction 0 = written to the meter,
// anything else = read from it. count may be 0 (an empty read is logged too).
class IPacketLog {
public:
    virtual ~IPacketLog() = default;
    virtual void AppendPacket(int direction, const uint8_t* bytes, int count) = 0;
};
