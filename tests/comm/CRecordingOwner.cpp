#include "CRecordingOwner.h"

void CRecordingOwner::AppendPacket(int direction, const uint8_t* bytes, int count)
{
    m_log.push_back({direction, Bytes(bytes, bytes + count)});
}

void CRecordingOwner::AddMemoryRecord(int index, const uint8_t* record)
{
    m_memory.push_back({index, Bytes(record, record + 10)});
}

void CRecordingOwner::SetOutputSummary(const uint8_t* summary)
{
    m_summaries.emplace_back(summary, summary + 9);
}

void CRecordingOwner::AddOutputRecord(int index, const uint8_t* record)
{
    m_output.push_back({index, Bytes(record, record + 10)});
}

Bytes CRecordingOwner::Logged(int direction) const
{
    Bytes joined;
    for (const Entry& entry : m_log) {
        if ((entry.nDirection == 0) == (direction == 0))
            joined.insert(joined.end(), entry.bytes.begin(), entry.bytes.end());
    }
    return joined;
}
