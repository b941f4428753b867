#pragma once
// The console's stand-in for the main window: receives the records of the
// two streams and prints one line per record.

#include "ILinkOwner.h"

#include <cstdio>

class CConsoleOwner : public ILinkOwner {
public:
    explicit CConsoleOwner(std::FILE* out) : m_pOut(out) {}

    IPacketLog* GetPacketLog() override { return nullptr; }
    void AddMemoryRecord(int index, const uint8_t* record) override;
    void SetOutputSummary(const uint8_t* summary) override;
    void AddOutputRecord(int index, const uint8_t* record) override;

    int GetRecordCount() const { return m_nRecords; }
    void ResetCount() { m_nRecords = 0; }

private:
    void PrintRecord(int number, const uint8_t* record);

    std::FILE* m_pOut;
    int m_nRecords = 0;
};
