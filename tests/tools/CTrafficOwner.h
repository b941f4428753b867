#pragma once
// The test's stand-in for the main window: keeps every transfer the link
// logs, in order and with its direction, and every record the two streams
// hand on.

#include "ILinkOwner.h"
#include "IPacketLog.h"

#include <array>
#include <cstdint>
#include <vector>

class CTrafficOwner : public ILinkOwner, public IPacketLog {
public:
    struct Entry {
        int nDirection;   // 0 sent, 1 received
        std::vector<uint8_t> bytes;
    };
    using Record = std::array<uint8_t, 10>;

    IPacketLog* GetPacketLog() override { return this; }
    void AppendPacket(int direction, const uint8_t* bytes, int count) override;
    void AddMemoryRecord(int index, const uint8_t* record) override;
    void SetOutputSummary(const uint8_t* summary) override;
    void AddOutputRecord(int index, const uint8_t* record) override;

    // Every byte logged in one direction, in the order logged.
    std::vector<uint8_t> Sent() const { return Joined(0); }
    std::vector<uint8_t> Received() const { return Joined(1); }

    std::vector<Entry> m_entries;
    std::vector<Record> m_memory;
    std::vector<Record> m_output;
    std::vector<uint8_t> m_summary;   // 9 bytes once a summary came
    bool m_bIndexOutOfOrder = false;  // a stream numbered its records wrongly

private:
    std::vector<uint8_t> Joined(int direction) const;
};
