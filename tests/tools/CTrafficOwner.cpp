#include "CTrafficOwner.h"

#include <algorithm>

void CTrafficOwner::AppendPacket(int direction, const uint8_t* bytes, int count)
{
    Entry entry{direction == 0 ? 0 : 1, {}};
    if (bytes && count > 0)
        entry.bytes.assign(bytes, bytes + count);
    m_entries.push_back(std::move(entry));
}

void CTrafficOwner::AddMemoryRecord(int index, const uint8_t* record)
{
    if (index != int(m_memory.size()))
        m_bIndexOutOfOrder = true;
    Record r;
    std::copy_n(record, r.size(), r.begin());
    m_memory.push_back(r);
}

void CTrafficOwner::SetOutputSummary(const uint8_t* summary)
{
    m_summary.assign(summary, summary + 9);
}

void CTrafficOwner::AddOutputRecord(int index, const uint8_t* record)
{
    if (index != int(m_output.size()))
        m_bIndexOutOfOrder = true;
    Record r;
    std::copy_n(record, r.size(), r.begin());
    m_output.push_back(r);
}

std::vector<uint8_t> CTrafficOwner::Joined(int direction) const
{
    std::vector<uint8_t> all;
    for (const Entry& e : m_entries)
        if (e.nDirection == direction)
            all.insert(all.end(), e.bytes.begin(), e.bytes.end());
    return all;
}
