// What the meter keeps and gives back: identity, clock, stored records, the
// continuous series, calibration and the firmware image.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

class MeterState : public ::testing::Test {
protected:
    CManualClock clock{1741323909};
    CSimMeter meter{clock};

    Bytes PayloadOf(uint8_t command, Bytes payload = {0x00})
    {
        return Payload(Ask(meter, ShortRequest(command, std::move(payload))));
    }
    uint32_t Be24(const Bytes& p, size_t at) { return uint32_t(p[at] << 16 | p[at + 1] << 8 | p[at + 2]); }
    int Correction(const Bytes& p, size_t i) { return (p[15 + 2 * i] << 8 | p[16 + 2 * i]) - 2048; }
};

const Bytes kSetClock = {0x07, 0xE9, 3, 7, 14, 5, 9, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00};

} // namespace

TEST_F(MeterState, IdentityIsPaddedAndWritesAreKept)
{
    EXPECT_EQ(PayloadOf(0x30), Bytes({'1', '.', '0', '5'}));
    EXPECT_EQ(PayloadOf(0x4C, Bytes({'N', 'E', 'W', ' ', ' ', ' ', ' ', ' ', ' '})), Bytes{0});
    EXPECT_EQ(PayloadOf(0x31), Bytes({'N', 'E', 'W', ' ', ' ', ' ', ' ', ' ', ' '}));
    const Bytes serial = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'X'};
    EXPECT_EQ(PayloadOf(0x36, serial), Bytes{0});
    EXPECT_EQ(PayloadOf(0x32), serial);

    CSimMeter::Setup setup;
    setup.bNoSerial = true;
    setup.nBattery = -5;
    CSimMeter blank(clock, setup);
    EXPECT_EQ(Payload(Ask(blank, ShortRequest(0x32, {0}))), Bytes(11, 0xFF));
    EXPECT_EQ(Payload(Ask(blank, ShortRequest(0x33, {0}))), Bytes{0xFB});
}

TEST_F(MeterState, ClockStartsAtLocalTimeAndKeepsRunningAfterASet)
{
    std::time_t now = std::time_t(clock.NowSeconds());
    std::tm lt{};
    localtime_r(&now, &lt);
    Bytes p = PayloadOf(0x4B);
    ASSERT_EQ(p.size(), 13u);
    EXPECT_EQ(p[0] << 8 | p[1], lt.tm_year + 1900);
    EXPECT_EQ(Bytes(p.begin() + 2, p.begin() + 7),
              Bytes({uint8_t(lt.tm_mon + 1), uint8_t(lt.tm_mday), uint8_t(lt.tm_hour),
                     uint8_t(lt.tm_min), uint8_t(lt.tm_sec)}));

    EXPECT_EQ(PayloadOf(0x34, kSetClock), Bytes{0});
    clock.AdvanceUs(75 * 1000000LL);   // 14:05:09 + 75 s, into the next minute
    const Bytes expected = {0x07, 0xE9, 3, 7, 14, 6, 24, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00};
    EXPECT_EQ(PayloadOf(0x4B), expected);

    // Year end rolls over the date.
    EXPECT_EQ(PayloadOf(0x34, {0x07, 0xE8, 12, 31, 23, 59, 59, 0, 0, 0, 0, 0, 1}), Bytes{0});
    clock.AdvanceUs(1000000);
    EXPECT_EQ(PayloadOf(0x4B), Bytes({0x07, 0xE9, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(MeterState, ClockThatIsNoCalendarTimeIsRefusedAndChangesNothing)
{
    EXPECT_EQ(PayloadOf(0x34, kSetClock), Bytes{0});
    const Bytes before = PayloadOf(0x4B);
    const Bytes bad[] = {
        {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6},          // PC's own conversion failed
        {0x07, 0xE9, 2, 29, 10, 0, 0, 0, 0, 0, 0, 0, 0},           // 2025 has no 29 February
        {0x07, 0xE9, 13, 1, 10, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x07, 0xE9, 1, 1, 10, 60, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Bytes& request : bad)
        EXPECT_EQ(PayloadOf(0x34, request), Bytes{1});
    EXPECT_EQ(PayloadOf(0x4B), before);
    EXPECT_EQ(PayloadOf(0x34, {0x07, 0xE8, 2, 29, 10, 0, 0, 0, 0, 0, 0, 0, 0}), Bytes{0});   // leap year
}

TEST_F(MeterState, MemoryStreamStartsAtTheRequestedDateAndEndsWithAMarker)
{
    // Stored out of order; sent oldest first.
    meter.SetStoredRecords({Rec(2025, 3, 9, 8, 0, 0, 300), Rec(2025, 3, 6, 23, 59, 59, 100),
                            Rec(2025, 3, 7, 0, 0, 0, 200), Rec(2024, 12, 31, 12, 0, 0, 50),
                            Rec(2025, 3, 7, 18, 30, 5, 65535, 2)});
    const Bytes reply = Ask(meter, ShortRequest(0x35, {0x07, 0xE9, 3, 7, 0, 0, 0}));
    const std::vector<Bytes> frames = Frames(reply, 15);
    ASSERT_EQ(frames.size() * 15, reply.size());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(Payload(frames[0]), Bytes({0x07, 0xE9, 3, 7, 0, 0, 0, 0x00, 0xC8, 1}));
    EXPECT_EQ(Payload(frames[1]), Bytes({0x07, 0xE9, 3, 7, 18, 30, 5, 0xFF, 0xFF, 2}));
    EXPECT_EQ(Payload(frames[2]), Bytes({0x07, 0xE9, 3, 9, 8, 0, 0, 0x01, 0x2C, 1}));
    EXPECT_EQ(Payload(frames[3]), Bytes(10, 0));

    // After the last record: the end marker alone.
    EXPECT_EQ(Frames(Ask(meter, ShortRequest(0x35, {0x07, 0xEA, 1, 1, 0, 0, 0})), 15).size(), 1u);
}

TEST_F(MeterState, GeneratedRecordsSpanManyDaysIncludeTodayAndFollowTheSeed)
{
    CSimMeter::Setup setup;
    setup.nRecordCount = 500;
    setup.nRecordDays = 30;
    setup.nRecordSeed = 42;
    CSimMeter a(clock, setup), b(clock, setup);
    setup.nRecordSeed = 43;
    CSimMeter c(clock, setup);
    const auto& ra = a.GetStoredRecords();
    ASSERT_EQ(ra.size(), 500u);
    EXPECT_EQ(Ask(a, ShortRequest(0x35, {0x07, 0xD0, 1, 1, 0, 0, 0})),
              Ask(b, ShortRequest(0x35, {0x07, 0xD0, 1, 1, 0, 0, 0})));
    EXPECT_NE(Ask(a, ShortRequest(0x35, {0x07, 0xD0, 1, 1, 0, 0, 0})),
              Ask(c, ShortRequest(0x35, {0x07, 0xD0, 1, 1, 0, 0, 0})));

    std::time_t now = std::time_t(clock.NowSeconds());
    std::tm lt{};
    localtime_r(&now, &lt);
    int today = 0, days = 0, lastDay = -1;
    for (const CSimMeter::Record& r : ra) {
        const int key = r.nYear * 400 + r.nMonth * 32 + r.nDay;
        days += key != lastDay;
        lastDay = key;
        today += r.nYear == lt.tm_year + 1900 && r.nMonth == lt.tm_mon + 1 && r.nDay == lt.tm_mday;
        EXPECT_LE(r.nCellType, 2);
        EXPECT_GT(r.nForce, 0);
    }
    EXPECT_GE(today, 3);
    EXPECT_GE(days, 25);
}

TEST_F(MeterState, OutputSummaryIsComputedFromTheSeries)
{
    meter.SetOutputSeries({Rec(2025, 3, 7, 9, 0, 0, 100, 0), Rec(2025, 3, 7, 9, 0, 1, 200, 0),
                           Rec(2025, 3, 7, 9, 0, 2, 300, 0)});
    const Bytes reply = Ask(meter, ShortRequest(0x41, {0x00}));
    ASSERT_EQ(reply.size(), 14u + 3 * 16);
    // count 3, average 20.0 kN, minimum 10.0, maximum 30.0, deviation 8.16 kN (population)
    EXPECT_EQ(Payload(Bytes(reply.begin(), reply.begin() + 14)),
              Bytes({3, 0x07, 0xD0, 0x03, 0xE8, 0x0B, 0xB8, 0x03, 0x30}));
    const std::vector<Bytes> b = Frames(reply, 16, 14);
    // Each record frame starts with its index.
    EXPECT_EQ(Payload(b[2]), Bytes({2, 0x07, 0xE9, 3, 7, 9, 0, 2, 0x01, 0x2C, 0}));
    EXPECT_EQ(0, Payload(b[0])[0]);

    // An empty series: the summary alone, all zero.
    meter.SetOutputSeries({});
    EXPECT_EQ(Ask(meter, ShortRequest(0x41, {0x00})), ShortRequest(0x41, Bytes(9, 0)));
}

TEST_F(MeterState, SeriesAboveOneByteOfCountIsCut)
{
    std::vector<CSimMeter::Record> many(300, Rec(2025, 3, 7, 9, 0, 0, 10));
    meter.SetOutputSeries(many);
    const Bytes reply = Ask(meter, ShortRequest(0x41, {0x00}));
    EXPECT_EQ(reply[3], 255);
    EXPECT_EQ(reply.size(), 14u + 255 * 16);

    // Summary values that do not fit 16 bits stay at the top instead of wrapping.
    meter.SetOutputSeries({Rec(2025, 3, 7, 9, 0, 0, 65535)});
    const Bytes top = Ask(meter, ShortRequest(0x41, {0x00}));
    EXPECT_EQ(Payload(Bytes(top.begin(), top.begin() + 14)),
              Bytes({1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
}

TEST_F(MeterState, SetPointTakesThePresentValueAndCorrectionsLandInTheirSlots)
{
    const Bytes before = PayloadOf(0x4D);   // 7 t
    ASSERT_EQ(before.size(), 21u);
    const uint32_t present = Be24(before, 12);

    EXPECT_EQ(PayloadOf(0x4E, {2}), Bytes{0});
    Bytes after = PayloadOf(0x4D);
    EXPECT_EQ(Be24(after, 6), present);   // same second: no drift in between
    EXPECT_EQ(Be24(after, 0), Be24(before, 0));
    EXPECT_EQ(Be24(after, 3), Be24(before, 3));
    EXPECT_EQ(Be24(after, 9), Be24(before, 9));

    // 0x47 slots: 0-2 15 t, 3-5 30 t, 6-8 7 t.
    EXPECT_EQ(PayloadOf(0x47, {4, 0x07, 0xFB}), Bytes{0});   // 30 t, second: -5
    EXPECT_EQ(PayloadOf(0x47, {6, 0x08, 0x0C}), Bytes{0});   // 7 t, first: 12
    EXPECT_EQ(PayloadOf(0x47, {0, 0x04, 0x18}), Bytes{0});   // 15 t, first: -1000
    EXPECT_EQ(Correction(PayloadOf(0x45), 1), -5);
    EXPECT_EQ(Correction(PayloadOf(0x4D), 0), 12);
    EXPECT_EQ(Correction(PayloadOf(0x43), 0), -1000);
    EXPECT_EQ(Correction(PayloadOf(0x43), 1), 0);

    // Out-of-range slot or point: refused, nothing moves.
    const Bytes cal15 = PayloadOf(0x43);
    EXPECT_EQ(PayloadOf(0x47, {9, 0x08, 0x00}), Bytes{1});
    EXPECT_EQ(PayloadOf(0x44, {4}), Bytes{1});
    EXPECT_EQ(PayloadOf(0x43), cal15);
}

TEST_F(MeterState, PresentValueDriftsALittleOncePerSecond)
{
    meter.SetPresentBase(CSimMeter::SIZE_15T, 50000);
    const uint32_t first = meter.GetPresentValue(CSimMeter::SIZE_15T);
    clock.AdvanceUs(999999 - clock.MonotonicUs() % 1000000);
    EXPECT_EQ(meter.GetPresentValue(CSimMeter::SIZE_15T), first);
    int changes = 0;
    uint32_t last = first;
    for (int i = 0; i < 30; ++i) {
        clock.AdvanceUs(1000000);
        const uint32_t v = meter.GetPresentValue(CSimMeter::SIZE_15T);
        EXPECT_NEAR(double(v), 50000.0, 12.0);
        changes += v != last;
        last = v;
    }
    EXPECT_GT(changes, 15);
}

TEST_F(MeterState, FirmwareHeadIsJudgedAndChunksAreKept)
{
    // A head without an announced update is refused.
    EXPECT_EQ(Ask(meter, LongRequest(0x49, {0x33, 0x55})), ShortRequest(0x49, {1}));

    EXPECT_EQ(PayloadOf(0x48), Bytes{0});
    EXPECT_EQ(Ask(meter, LongRequest(0x49, {0x55, 0x33})), ShortRequest(0x49, {1}));
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, {1, 2, 3})), ShortRequest(0x4A, {1}));   // no head yet
    EXPECT_EQ(Ask(meter, LongRequest(0x49, {0x21, 0x6F})), ShortRequest(0x49, {0}));

    Bytes image = {0x21, 0x6F};
    for (int i = 0; i < 3; ++i) {
        Bytes chunk(i < 2 ? 1024 : 1, uint8_t(0x10 + i));
        chunk[0] = uint8_t(i);
        image.insert(image.end(), chunk.begin(), chunk.end());
        EXPECT_EQ(Ask(meter, LongRequest(0x4A, chunk)), ShortRequest(0x4A, {0}));
    }
    EXPECT_EQ(meter.GetFirmwareImage(), image);
    EXPECT_EQ(meter.GetFirmwareChunks(), 3);

    // A new request starts a new image.
    EXPECT_EQ(PayloadOf(0x48), Bytes{0});
    EXPECT_TRUE(meter.GetFirmwareImage().empty());
}
