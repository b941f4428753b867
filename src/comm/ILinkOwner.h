#pragma once
#include <cstdint>

class IPacketLog;

// What the link needs from the window that owns it: the packet log it holds
// and the receivers of the two record streams.
class ILinkOwner {
public:
    virtual ~ILinkOwner() = default;

    // The log window held by the owner, or null (then nothing is logged).
    virtual IPacketLog* GetPacketLog() = 0;

    // index counts from 0; record is the 10-byte measurement record.
    virtual void AddMemoryRecord(int index, const uint8_t* record) = 0;
    // summary is the 9-byte payload of the 'A' frame.
    virtual void SetOutputSummary(const uint8_t* summary) = 0;
    // index counts from 0; record is bytes 1..10 of the 'B' payload.
    virtual void AddOutputRecord(int index, const uint8_t* record) = 0;
};
