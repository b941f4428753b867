#pragma once
#include "CFakeBridgeDevice.h"
#include "ILinkOwner.h"
#include "IPacketLog.h"

#include <vector>

// Stands in for the main window: keeps every logged transfer and every
// record the streams hand over.
class CRecordingOwner : public ILinkOwner, public IPacketLog {
public:
    struct Entry {
        int nDirection;
        Bytes bytes;
    };
    struct Record {
        int nIndex;
        Bytes bytes;
    };

    IPacketLog* GetPacketLog() override { return m_bHasLog ? this : nullptr; }
    void AppendPacket(int direction, const uint8_t* bytes, int count) override;
    void AddMemoryRecord(int index, const uint8_t* record) override;
    void SetOutputSummary(const uint8_t* summary) override;
    void AddOutputRecord(int index, const uint8_t* record) override;

    // All bytes logged in one direction, joined.
    Bytes Logged(int direction) const;

    bool m_bHasLog = true;
    std::vector<Entry> m_log;
    std::vector<Record> m_memory;
    std::vector<Bytes> m_summaries;
    std::vector<Record> m_output;
};
