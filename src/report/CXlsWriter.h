#pragma once
// Turns a CXlsWorkbook into the Workbook stream of an Excel 97-2003 file
// (BIFF8 records) and saves it inside its compound file.
//
// Stream layout: the globals substream (fonts, number formats, XFs, styles,
// palette, the sheet's BOUNDSHEET, the print titles as a built-in name, the
// shared strings), then the worksheet substream (page set-up with the
// footer, column widths, row blocks of up to 32 rows with their cells and
// DBCELL, window settings, merged areas).

#include "CXlsPalette.h"
#include "CXlsRecordStream.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CXlsWorkbook;

class CXlsWriter {
public:
    static constexpr uint16_t kDefaultCellXf = 15;   // the look of a plain cell
    static constexpr uint16_t kFirstOwnXf = 21;      // after the built-in style XFs

    explicit CXlsWriter(const CXlsWorkbook& book);

    // The complete Workbook stream; false (with a reason) only when a record
    // came out too long, which would make Excel refuse the file.
    bool BuildStream(CXlsRecordStream* out, std::string* error);

    bool Save(const std::string& path, std::string* error);

    // After BuildStream: the palette used and the XF of each format id.
    const CXlsPalette& Palette() const { return m_palette; }
    uint16_t XfOfFormat(int formatId) const { return m_vFormatXf[size_t(formatId)]; }

private:
    using XfBytes = std::array<uint8_t, 20>;

    void PrepareFormats();
    std::string FontRecordData(const std::string& utf8Face, double points, bool bold,
                               bool italic, bool underline, uint32_t colour) const;
    uint16_t NumberFormatIndex(const std::string& utf8Format);
    void PrepareStrings();
    void PrepareMerges();
    bool RowExists(size_t row) const;

    void WriteGlobals(CXlsRecordStream& out, size_t* boundSheetOffsetAt);
    void WritePrintTitles(CXlsRecordStream& out);
    void WriteStyleXf(CXlsRecordStream& out, uint16_t font, uint16_t numberFormat,
                      uint8_t usedFlags);
    void WriteSheet(CXlsRecordStream& out);
    void WriteCellTable(CXlsRecordStream& out, size_t indexAt);

    const CXlsWorkbook& m_book;
    CXlsPalette m_palette;
    uint16_t m_nDefaultRowTwips = 300;

    std::string m_strDefaultFont;                                  // FONT data of fonts 0..3
    std::vector<std::string> m_vFonts;                             // FONT data of 5, 6, ...
    std::vector<std::pair<uint16_t, std::u16string>> m_vNumberFormats;   // own, from 164
    std::vector<XfBytes> m_vCellXfs;                               // XF 21, 22, ...
    std::vector<uint16_t> m_vFormatXf;                             // format id -> XF

    std::vector<uint32_t> m_vSstIndex;                 // text pool index -> SST index
    std::vector<const std::u16string*> m_vSstStrings;  // in SST order
    uint32_t m_nSstReferences = 0;

    struct SSpan {
        uint16_t m_nFirst, m_nLast, m_nXf;   // columns of a merged area in one row
    };
    std::vector<std::vector<SSpan>> m_vSpans;   // per row
    size_t m_nRowCount = 0;                     // rows with cells, heights or merges
};
