#include "CXlsCompoundFile.h"
#include "ReportTestSupport.h"

#include <sys/stat.h>

namespace {

uint64_t Capacity(const CXlsCompoundFile::SLayout& l)
{
    return uint64_t(l.m_nFatSectors) * 128;
}

bool DifatHolds(uint32_t fatSectors, uint32_t difatSectors)
{
    return fatSectors <= 109 + uint64_t(difatSectors) * 127;
}

}  // namespace

TEST(CXlsCompoundFile, PlanIsSufficientAndMinimalAcrossBoundaries)
{
    // Sizes around the points where one more FAT or DIFAT sector is needed:
    // 127 stream sectors fill one FAT sector with itself and the directory,
    // and 109 FAT sectors are all the header can list.
    std::vector<uint64_t> sizes = {4096, 4097, 126 * 512, 127 * 512, 128 * 512, 65024,
                                   65025, 1 << 20, 109 * 128 * 512 - 110 * 512,
                                   109 * 128 * 512 - 109 * 512, 109 * 128 * 512,
                                   110 * 128 * 512, 400u * 128 * 512};
    for (uint64_t size = 4096; size < 300000; size += 4093)
        sizes.push_back(size);
    for (uint64_t size : sizes) {
        const CXlsCompoundFile::SLayout l = CXlsCompoundFile::Plan(size);
        const uint64_t sectors = l.SectorCount();
        SCOPED_TRACE(size);
        EXPECT_EQ(l.m_nStreamSectors, (size + 511) / 512);
        EXPECT_EQ(sectors, uint64_t(l.m_nStreamSectors) + l.m_nFatSectors + l.m_nDifatSectors + 1);
        EXPECT_GE(Capacity(l), sectors);
        EXPECT_TRUE(DifatHolds(l.m_nFatSectors, l.m_nDifatSectors));
        // One FAT sector fewer could not describe even the smaller file.
        EXPECT_LT(uint64_t(l.m_nFatSectors - 1) * 128, sectors - 1);
        if (l.m_nDifatSectors > 0) {
            EXPECT_FALSE(DifatHolds(l.m_nFatSectors, l.m_nDifatSectors - 1));
        }
    }
}

TEST(CXlsCompoundFile, ShortStreamIsPaddedPastTheMiniStreamCutoff)
{
    std::vector<uint8_t> stream(700);
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = uint8_t(i * 7 + 1);
    const std::string path = ScratchPath("short.cfb");
    std::string error;
    ASSERT_TRUE(CXlsCompoundFile::Write(path, stream, &error)) << error;

    CXlsTestReader reader;
    ASSERT_TRUE(reader.LoadContainer(path)) << reader.ProblemText();
    std::remove(path.c_str());
    EXPECT_EQ(reader.DeclaredStreamSize(), 4096u);
    EXPECT_EQ(reader.FileBytes().size(), 512u * (1 + 8 + 1 + 1));
    const std::vector<uint8_t>& back = reader.Stream();
    ASSERT_EQ(back.size(), 4096u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), back.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + 700, back.end(), [](uint8_t b) { return b == 0; }));
}

TEST(CXlsCompoundFile, LargeStreamNeedsDifatSectorsAndReadsBackIntact)
{
    // 120 FAT sectors' worth: more than the header's 109 slots.
    std::vector<uint8_t> stream(120u * 128 * 512 + 333);
    uint32_t x = 12345;
    for (uint8_t& b : stream) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    const std::string path = ScratchPath("large.cfb");
    std::string error;
    ASSERT_TRUE(CXlsCompoundFile::Write(path, stream, &error)) << error;

    CXlsTestReader reader;
    ASSERT_TRUE(reader.LoadContainer(path)) << reader.ProblemText();
    std::remove(path.c_str());
    EXPECT_GT(CXlsTestReader::U32(reader.FileBytes(), 0x48), 0u);   // DIFAT sectors used
    EXPECT_EQ(reader.DeclaredStreamSize(), stream.size());
    EXPECT_TRUE(reader.Stream() == stream);
}

TEST(CXlsCompoundFile, FailedWritesSayWhyAndLeaveNothingBehind)
{
    const std::vector<uint8_t> stream(5000, 0x11);
    std::string error;

    const std::string missingDir = ScratchPath("no_such_dir") + "/report.xls";
    EXPECT_FALSE(CXlsCompoundFile::Write(missingDir, stream, &error));
    EXPECT_NE(error.find(missingDir), std::string::npos) << error;

    // A full disk: the open succeeds and the data cannot be written. The
    // device itself must survive the clean-up of the partial file.
    struct stat info;
    if (stat("/dev/full", &info) == 0) {
        error.clear();
        EXPECT_FALSE(CXlsCompoundFile::Write("/dev/full", stream, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(stat("/dev/full", &info), 0);
    }

    // A null error pointer is allowed.
    EXPECT_FALSE(CXlsCompoundFile::Write(missingDir, stream, nullptr));
}
