#include "LinkTestSupport.h"
#include "MeterRecords.h"

namespace {

Bytes StoredFrame(const Bytes& record)
{
    return Frame(0x35, record);
}

const Bytes kEndMarker = Frame(0x35, Bytes(10, 0x00));

class MemoryStreamTest : public LinkTest {
protected:
    // The meter sends the frames one every 20 ms, starting 150 ms after the request.
    void MeterSends(const std::vector<Bytes>& frames)
    {
        Bridge().m_onWrite = [this, frames](const Bytes&) {
            int delay = 150;
            for (const Bytes& frame : frames) {
                Bridge().Schedule(delay, frame);
                delay += 20;
            }
        };
    }
    int Download(int* count)
    {
        return m_link.ReadMemoryRecords(LocalTime(2025, 3, 1, 15, 30), LocalTime(2025, 3, 7, 8),
                                        count);
    }
};

TEST_F(MemoryStreamTest, RecordsUpToTheEndOfTheEndDateAreHandedOn)
{
    const Bytes first = MeasurementBytes(2025, 3, 1, 0, 0, 0, 1234, 1);
    const Bytes last = MeasurementBytes(2025, 3, 7, 23, 59, 59, 98, 0);
    const Bytes late = MeasurementBytes(2025, 3, 8, 0, 0, 0, 500, 2);
    MeterSends({StoredFrame(first), StoredFrame(late), StoredFrame(last), kEndMarker});

    int count = -1;
    EXPECT_EQ(LINK_OK, Download(&count));
    EXPECT_EQ(2, count);
    ASSERT_EQ(2u, m_owner.m_memory.size());
    EXPECT_EQ(0, m_owner.m_memory[0].nIndex);
    EXPECT_EQ(first, m_owner.m_memory[0].bytes);
    EXPECT_EQ(1, m_owner.m_memory[1].nIndex);
    EXPECT_EQ(last, m_owner.m_memory[1].bytes);

    // The request asks from the start date at midnight.
    ASSERT_EQ(1u, Bridge().m_writes.size());
    EXPECT_EQ(Frame(0x35, Hex("07 E9 03 01 00 00 00")), Bridge().m_writes[0]);
    EXPECT_EQ(12u, Bridge().m_writes[0].size());
    // Each frame read was logged, the late one too.
    EXPECT_EQ(4u * 15, m_owner.Logged(1).size());
    EXPECT_TRUE(IsOpen());
}

TEST_F(MemoryStreamTest, EndMarkerEndsTheStreamAndTheTailIsLogged)
{
    Bytes endAndTail = kEndMarker;
    endAndTail.insert(endAndTail.end(), {0x11, 0x22});
    MeterSends({endAndTail});
    int count = -1;
    EXPECT_EQ(LINK_OK, Download(&count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(endAndTail, m_owner.Logged(1));
    EXPECT_TRUE(Bridge().m_readable.empty());
}

TEST_F(MemoryStreamTest, FramesSplitAcrossPollsAreStillRead)
{
    Bytes stream;
    for (int i = 0; i < 5; ++i) {
        const Bytes frame = StoredFrame(MeasurementBytes(2025, 3, 2, 9, i, 0, 100, 0));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    stream.insert(stream.end(), kEndMarker.begin(), kEndMarker.end());
    Bridge().m_onWrite = [this, stream](const Bytes&) {
        for (size_t i = 0; i < stream.size(); i += 7)
            Bridge().Schedule(120 + int(i) * 3,
                              Bytes(stream.begin() + i, stream.begin() + std::min(i + 7, stream.size())));
    };
    int count = 0;
    EXPECT_EQ(LINK_OK, Download(&count));
    EXPECT_EQ(5, count);
}

TEST_F(MemoryStreamTest, SilenceEndsWithTimeoutAndKeepsTheRecords)
{
    MeterSends({StoredFrame(MeasurementBytes(2025, 3, 3, 10, 0, 0, 980, 0)),
                StoredFrame(MeasurementBytes(2025, 3, 3, 11, 0, 0, 980, 0))});
    int count = 0;
    EXPECT_EQ(LINK_TIMEOUT, Download(&count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(2u, m_owner.m_memory.size());
    EXPECT_TRUE(IsOpen());   // this stream never closes the link
    // 100 ms after the request, then polls until 30 in a row brought nothing.
    EXPECT_EQ(100 + 50 * 2 + 50 * 29, m_clock.SleptMs());
}

TEST_F(MemoryStreamTest, LostFrameMakesTheDownloadIncomplete)
{
    Bytes broken = StoredFrame(MeasurementBytes(2025, 3, 4, 10, 0, 0, 500, 0));
    broken[13] ^= 0x01;
    const Bytes good = StoredFrame(MeasurementBytes(2025, 3, 4, 11, 0, 0, 500, 0));
    MeterSends({good, broken, good, kEndMarker});
    int count = 0;
    EXPECT_EQ(LINK_CRC_ERROR, Download(&count));
    EXPECT_EQ(2, count);   // what did arrive is kept

    // A failed read is remembered the same way; the first loss decides.
    m_owner.m_memory.clear();
    Bridge().m_nReadCalls = 0;
    Bridge().m_failReads = {2};
    MeterSends({good, good, broken, good, kEndMarker});
    EXPECT_EQ(LINK_READ_FAILED, Download(&count));
    EXPECT_EQ(2, count);
    EXPECT_TRUE(IsOpen());
}

TEST_F(MemoryStreamTest, RecordWithoutAValidTimeIsHandedOnNotDropped)
{
    const Bytes broken = MeasurementBytes(2025, 13, 0, 25, 61, 0, 1234, 1);
    MeterSends({StoredFrame(broken), kEndMarker});
    int count = 0;
    EXPECT_EQ(LINK_OK, Download(&count));
    ASSERT_EQ(1, count);
    EXPECT_EQ(broken, m_owner.m_memory[0].bytes);

    const MeasurementRecord record = DecodeMeasurementRecord(m_owner.m_memory[0].bytes.data());
    EXPECT_FALSE(record.bTimeValid);
    EXPECT_EQ("시간 오류 (2025-13-00 25:61:00)", FormatRecordTime(record.when));
    EXPECT_EQ("12.5 톤", FormatForceTons(record.nRawForce));
}

TEST_F(MemoryStreamTest, WriteFailuresEndWithoutRecordsAndKeepTheLinkOpen)
{
    int count = -1;
    Bridge().m_nWriteStatus = BRIDGE_IO_ERROR;
    EXPECT_EQ(LINK_WRITE_FAILED, Download(&count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(IsOpen());

    // Nothing written is a failed write too, not an empty memory.
    Bridge().m_nWriteStatus = 0;
    Bridge().m_nWriteLimit = 0;
    count = -1;
    EXPECT_EQ(LINK_WRITE_FAILED, Download(&count));
    EXPECT_EQ(0, count);
}

TEST_F(MemoryStreamTest, BridgeFailingMidStreamKeepsTheRecordsButReportsIt)
{
    MeterSends({StoredFrame(MeasurementBytes(2025, 3, 5, 10, 0, 0, 1, 0))});
    // Query 1 is the stale-input check; the frame is read at query 2 and the
    // bridge fails from query 5 on.
    Bridge().m_nFailQueriesFrom = 5;
    int count = 0;
    EXPECT_EQ(LINK_READ_FAILED, Download(&count));
    EXPECT_EQ(1, count);
    EXPECT_TRUE(IsOpen());
}

TEST_F(MemoryStreamTest, UnopenableLinkLeavesTheCountAlone)
{
    m_library.m_nOpenStatus = BRIDGE_DEVICE_NOT_OPENED;
    int count = 42;
    EXPECT_EQ(LINK_OPEN_FAILED, Download(&count));
    EXPECT_EQ(42, count);
}

class OutputStreamTest : public LinkTest {
protected:
    static Bytes Header(int total)
    {
        return Frame(0x41, {static_cast<uint8_t>(total), 0x30, 0x39, 0x00, 0x05, 0xFF, 0xFF, 0x01,
                            0x00});
    }
    // The n-th record (from 1); its frame carries the index n - 1.
    static Bytes Record(int n)
    {
        Bytes payload = {static_cast<uint8_t>(n - 1)};
        const Bytes record = MeasurementBytes(2025, 3, 7, 12, 0, n, static_cast<uint16_t>(100 * n), 1);
        payload.insert(payload.end(), record.begin(), record.end());
        return Frame(0x42, payload);
    }
    void MeterSends(const std::vector<Bytes>& frames, int startMs = 550)
    {
        Bridge().m_onWrite = [this, frames, startMs](const Bytes&) {
            int delay = startMs;
            for (const Bytes& frame : frames) {
                Bridge().Schedule(delay, frame);
                delay += 30;
            }
        };
    }
};

TEST_F(OutputStreamTest, HeaderThenAnnouncedRecordsEndsWithSuccess)
{
    // A fourth record waiting in the same poll is read off, not handed on.
    Bytes lastTwo = Record(3);
    const Bytes extra = Record(4);
    lastTwo.insert(lastTwo.end(), extra.begin(), extra.end());
    Bridge().m_onWrite = [this, lastTwo](const Bytes&) {
        Bridge().Schedule(520, Header(3));
        Bridge().Schedule(600, Record(1));
        Bridge().Schedule(640, Record(2));
        Bridge().Schedule(700, lastTwo);
    };
    EXPECT_EQ(LINK_OK, m_link.ReadOutputRecords());
    EXPECT_EQ(Hex("02 02 41 00 41 03"), Bridge().m_writes.at(0));
    ASSERT_EQ(1u, m_owner.m_summaries.size());
    const Bytes header = Header(3);
    EXPECT_EQ(Bytes(header.begin() + 3, header.begin() + 12), m_owner.m_summaries[0]);
    ASSERT_EQ(3u, m_owner.m_output.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(i, m_owner.m_output[i].nIndex);
        const Bytes frame = Record(i + 1);
        EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 14), m_owner.m_output[i].bytes);
    }
    EXPECT_TRUE(Bridge().m_readable.empty());
    EXPECT_TRUE(IsOpen());
    // Finished at the poll that brought the third record: no idle wait.
    EXPECT_EQ(500 + 4 * 50, m_clock.SleptMs());
}

TEST_F(OutputStreamTest, MeterThatNeverAnswersTimesOutAndClosesTheLink)
{
    EXPECT_EQ(LINK_TIMEOUT, m_link.ReadOutputRecords());
    EXPECT_EQ(500 + 20 * 50, m_clock.SleptMs());
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(kPath, m_link.m_strDevicePath);
}

TEST_F(OutputStreamTest, EmptySeriesEndsThroughTheIdleLimitAsComplete)
{
    // An earlier download's failure must not be reported for this one.
    m_link.m_nResult = LINK_TIMEOUT;
    MeterSends({Header(0)});
    EXPECT_EQ(LINK_OK, m_link.ReadOutputRecords());
    EXPECT_EQ(1u, m_owner.m_summaries.size());
    EXPECT_TRUE(IsOpen());
}

TEST_F(OutputStreamTest, SeriesThatStopsShortIsReportedIncomplete)
{
    MeterSends({Header(3), Record(1), Record(2)});
    EXPECT_EQ(LINK_TIMEOUT, m_link.ReadOutputRecords());
    EXPECT_EQ(2u, m_owner.m_output.size());
    EXPECT_FALSE(IsOpen());
}

TEST_F(OutputStreamTest, LostRecordFrameMakesTheSeriesIncomplete)
{
    Bytes broken = Record(2);
    broken[0] = 0x00;
    MeterSends({Header(3), Record(1), broken, Record(3)});
    EXPECT_EQ(LINK_STX_ERROR, m_link.ReadOutputRecords());
    ASSERT_EQ(2u, m_owner.m_output.size());
    // Rows stay numbered without a hole; the third record is the last one.
    EXPECT_EQ(1, m_owner.m_output[1].nIndex);
    const Bytes third = Record(3);
    EXPECT_EQ(Bytes(third.begin() + 4, third.begin() + 14), m_owner.m_output[1].bytes);
    EXPECT_FALSE(IsOpen());
}

TEST_F(OutputStreamTest, UnknownFramesAreIgnored)
{
    MeterSends({Frame(0x39, Bytes(9, 0x01)), Header(1), Frame(0x45, Bytes(11, 0x02)), Record(1)});
    EXPECT_EQ(LINK_OK, m_link.ReadOutputRecords());
    EXPECT_EQ(1u, m_owner.m_output.size());
}

} // namespace
