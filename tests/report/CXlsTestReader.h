#pragma once
// A strict reader for the tests: opens a compound file, checks its header,
// FAT, DIFAT and directory, and splits the Workbook stream into records.
// Anything inconsistent is reported as a problem text rather than guessed
// around, so a test can assert there are none.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CXlsTestReader {
public:
    struct SRecord {
        uint16_t m_nType;
        size_t m_nOffset;             // stream position of the record header
        std::vector<uint8_t> m_vData;
    };

    struct SCellRef {
        uint16_t m_nType;             // LABELSST, RK, NUMBER, BLANK, BOOLERR
        uint16_t m_nXf;
        double m_dNumber = 0;         // RK and NUMBER
        uint32_t m_nSst = 0;          // LABELSST
        uint8_t m_nError = 0;         // BOOLERR
    };

    bool Load(const std::string& path);            // container and records
    bool LoadContainer(const std::string& path);   // the compound file only
    bool LoadStream(const std::vector<uint8_t>& stream);   // Workbook stream only

    const std::vector<std::string>& Problems() const { return m_vProblems; }
    std::string ProblemText() const;

    const std::vector<uint8_t>& FileBytes() const { return m_vFile; }
    const std::vector<uint8_t>& Stream() const { return m_vStream; }
    uint32_t DeclaredStreamSize() const { return m_nDeclaredSize; }
    const std::vector<SRecord>& Records() const { return m_vRecords; }

    // Records of one type in stream order.
    std::vector<const SRecord*> All(uint16_t type) const;

    // The shared strings put back together across CONTINUE records.
    const std::vector<std::u16string>& SharedStrings() const { return m_vSst; }
    uint32_t SstTotal() const { return m_nSstTotal; }

    // Cells of the (only) worksheet by (row, column).
    const std::map<std::pair<int, int>, SCellRef>& Cells() const { return m_mapCells; }
    std::u16string TextAt(int row, int column) const;

    static uint16_t U16(const std::vector<uint8_t>& data, size_t at);
    static uint32_t U32(const std::vector<uint8_t>& data, size_t at);
    static double DecodeRk(uint32_t rk);

private:
    void Problem(const std::string& text) { m_vProblems.push_back(text); }
    void ReadCompoundFile();
    void SplitRecords();
    void ReadSharedStrings();
    void ReadCells();

    std::vector<uint8_t> m_vFile;
    std::vector<uint8_t> m_vStream;
    uint32_t m_nDeclaredSize = 0;
    std::vector<SRecord> m_vRecords;
    std::vector<std::u16string> m_vSst;
    uint32_t m_nSstTotal = 0;
    std::map<std::pair<int, int>, SCellRef> m_mapCells;
    std::vector<std::string> m_vProblems;
};
