#include "CXlsSharedStrings.h"
#include "CXlsText.h"
#include "ReportTestSupport.h"

namespace {

// Puts each text in its own cell of column 0 and checks that the table
// read back holds exactly these texts and that each cell points at its own.
void ExpectRoundTrip(const std::vector<std::u16string>& texts, CXlsTestReader* reader)
{
    CXlsWorkbook book;
    for (size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(book.SetText(int(i), 0, texts[i]));
    SaveAndRead(book, reader);
    ASSERT_EQ(reader->SharedStrings().size(), texts.size());
    EXPECT_EQ(reader->SstTotal(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        if (reader->TextAt(int(i), 0) != texts[i]) {
            ADD_FAILURE() << "text " << i << " differs: "
                          << CXlsText::ToUtf8(reader->TextAt(int(i), 0)).substr(0, 60);
            return;
        }
    }
}

std::u16string Repeat(const std::u16string& piece, size_t units)
{
    std::u16string text;
    while (text.size() < units)
        text += piece;
    return text.substr(0, units);
}

}  // namespace

TEST(CXlsSharedStrings, ManyStringsSpreadOverContinueRecords)
{
    std::vector<std::u16string> texts;
    for (int i = 0; i < 3000; ++i) {
        std::u16string t = (i % 3 == 0) ? u"측정 압력 값 " : u"value ";
        t += CXlsText::FromUtf8(std::to_string(i));
        texts.push_back(t);
    }
    CXlsTestReader reader;
    ExpectRoundTrip(texts, &reader);
    EXPECT_GE(reader.All(0x003C).size(), 3u);
}

TEST(CXlsSharedStrings, LongStringsContinueWithTheirFlagsByte)
{
    // A Hangul text over several records, a one-byte-per-character text over
    // several records, and short texts between them.
    CXlsTestReader reader;
    ExpectRoundTrip({u"앞", Repeat(u"저장 압력 확인 데이터 ", 20000), u"중간",
                     Repeat(u"NO. 1234567890 ", 30000), u"끝"},
                    &reader);
    EXPECT_GE(reader.All(0x003C).size(), 7u);
}

TEST(CXlsSharedStrings, HeaderAndCharactersNeverSplitAtAnyBoundaryPosition)
{
    // Move the record boundary across every position of a string's header
    // and first characters, for both character widths. The strict reader
    // fails on a split header, a split UTF-16 unit or a missing flags byte.
    for (int shift = 0; shift < 12; ++shift) {
        for (bool wide : {false, true}) {
            SCOPED_TRACE("shift " + std::to_string(shift) + (wide ? " UTF-16" : " bytes"));
            // 8224 - 8 (counts) - 3 (header) = 8213 bytes of characters fill
            // the first record exactly; shorter fillers leave `shift` bytes.
            const size_t filler = 8213 - size_t(shift);
            std::vector<std::u16string> texts{std::u16string(filler, u'x')};
            texts.push_back(wide ? u"한글 텍스트" : u"latin text");
            texts.push_back(wide ? u"둘째" : u"second");
            CXlsTestReader reader;
            ExpectRoundTrip(texts, &reader);
            if (HasFatalFailure() || HasNonfatalFailure())
                return;
        }
    }
}

TEST(CXlsSharedStrings, ExtSstBucketsPointAtTheirStrings)
{
    std::vector<std::u16string> texts;
    for (int i = 0; i < 2500; ++i)
        texts.push_back(CXlsText::FromUtf8(std::to_string(i)) + Repeat(u"로드셀 ", size_t(i % 40)));
    CXlsTestReader reader;
    ExpectRoundTrip(texts, &reader);
    ASSERT_FALSE(HasFailure());

    const auto ext = reader.All(0x00FF);
    ASSERT_EQ(ext.size(), 1u);
    const std::vector<uint8_t>& d = ext[0]->m_vData;
    const uint16_t perBucket = CXlsTestReader::U16(d, 0);
    EXPECT_EQ(perBucket, CXlsSharedStrings::BucketSize(texts.size()));
    const size_t buckets = (d.size() - 2) / 8;
    EXPECT_EQ(buckets, (texts.size() + perBucket - 1) / perBucket);
    EXPECT_LE(buckets, 128u);

    const std::vector<uint8_t>& stream = reader.Stream();
    for (size_t b = 0; b < buckets; ++b) {
        const uint32_t position = CXlsTestReader::U32(d, 2 + 8 * b);
        const uint16_t inRecord = CXlsTestReader::U16(d, 6 + 8 * b);
        const std::u16string& first = texts[b * perBucket];
        SCOPED_TRACE(b);
        EXPECT_EQ(CXlsTestReader::U16(stream, position), first.size());
        EXPECT_EQ(stream[position + 2], CXlsText::IsCompressible(first) ? 0x00 : 0x01);
        EXPECT_EQ(stream[position + 3], uint8_t(first[0]));
        // The offset is counted from the header of the record the string is in.
        const size_t recordStart = position - inRecord;
        const uint16_t type = CXlsTestReader::U16(stream, recordStart);
        EXPECT_TRUE(type == 0x00FC || type == 0x003C);
        EXPECT_LT(inRecord, 4 + CXlsTestReader::U16(stream, recordStart + 2));
    }
}
