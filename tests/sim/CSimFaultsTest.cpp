// The engine's fault switches and what each does to the bytes on the wire.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

class MeterFaults : public ::testing::Test {
protected:
    CManualClock clock{1741323909};
    CSimMeter meter{clock};
    const Bytes nameRequest = ShortRequest(0x31, {0x00});
    Bytes good;   // the answer to nameRequest without faults

    void SetUp() override { good = Ask(meter, nameRequest); }

    Bytes AskWith(const char* fault, const Bytes& request)
    {
        EXPECT_TRUE(meter.Faults().SetByName(fault)) << fault;
        const Bytes reply = Ask(meter, request);
        meter.Faults().Clear();
        return reply;
    }
    Bytes MemoryRequest() { return ShortRequest(0x35, {0x07, 0xE9, 1, 1, 0, 0, 0}); }
};

} // namespace

TEST(SimFaultNames, KnownNamesSetTheirSwitchAndOthersChangeNothing)
{
    CSimFaults f;
    EXPECT_TRUE(f.SetByName("cut-short"));
    EXPECT_TRUE(f.m_bCutShort);
    EXPECT_TRUE(f.SetByName("cut-short", false));
    EXPECT_FALSE(f.m_bCutShort);
    EXPECT_TRUE(f.SetByName("slow:300"));
    EXPECT_TRUE(f.m_bSlow);
    EXPECT_EQ(f.m_nSlowMs, 300);
    EXPECT_TRUE(f.SetByName("fw-crc:7"));
    EXPECT_EQ(f.m_nFwCrcChunk, 7);
    EXPECT_TRUE(f.SetByName("garbage-in-stream:2500"));
    EXPECT_EQ(f.m_nGarbageFrame, 2500);
    EXPECT_TRUE(f.SetByName("garbage-in-stream", false));
    EXPECT_FALSE(f.m_bGarbageInStream);
    EXPECT_EQ(f.m_nGarbageFrame, 2);
    for (const char* name : {"endless-stream", "series-early-record", "series-uncounted",
                             "series-repeat", "series-gap"}) {
        CSimFaults one;
        EXPECT_TRUE(one.SetByName(name)) << name;
        EXPECT_TRUE(one.AnySet()) << name;
        EXPECT_NE(std::string(CSimFaults::KnownNames()).find(name), std::string::npos) << name;
    }

    const CSimFaults before = f;
    for (const char* bad : {"", "cut", "no-reply:2", "fw-crc", "fw-crc:0", "fw-crc:x", "slow:-1",
                            "slow:99999999999", "write-fail", "NO-REPLY", "garbage-in-stream:0",
                            "endless-stream:1"})
        EXPECT_FALSE(f.SetByName(bad)) << bad;
    EXPECT_EQ(f.m_nSlowMs, before.m_nSlowMs);
    EXPECT_EQ(f.m_nFwCrcChunk, before.m_nFwCrcChunk);
    f.Clear();
    EXPECT_FALSE(f.AnySet());
}

TEST_F(MeterFaults, EachSwitchChangesTheReplyBytesItsOwnWay)
{
    ASSERT_TRUE(IsFrame(good, 0x31, 9));

    EXPECT_TRUE(AskWith("no-reply", nameRequest).empty());

    const Bytes cut = AskWith("cut-short", nameRequest);
    EXPECT_EQ(cut, Bytes(good.begin(), good.begin() + 7));

    Bytes expected = good;
    expected[12] ^= 0xFF;
    EXPECT_EQ(AskWith("bad-check", nameRequest), expected);

    expected = good;
    expected.back() = 0x00;
    EXPECT_EQ(AskWith("no-etx", nameRequest), expected);

    const Bytes stale = AskWith("stale-bytes", nameRequest);
    ASSERT_EQ(stale.size(), good.size() + 3);
    EXPECT_NE(stale[0], 0x02);
    EXPECT_EQ(Bytes(stale.begin() + 3, stale.end()), good);

    const Bytes extra = AskWith("extra-bytes", nameRequest);
    ASSERT_EQ(extra.size(), good.size() + 3);
    EXPECT_EQ(Bytes(extra.begin(), extra.begin() + 14), good);

    // The meter answers late but whole.
    meter.Faults().SetByName("slow");
    meter.Receive(nameRequest.data(), nameRequest.size());
    std::vector<CSimMeter::Reply> replies = meter.TakeReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, good);
    EXPECT_EQ(replies[0].nDelayUs, 1200000);
    meter.Faults().Clear();
    meter.Receive(nameRequest.data(), nameRequest.size());
    EXPECT_LT(meter.TakeReplies()[0].nDelayUs, 10000);
}

TEST_F(MeterFaults, NoReplyLeavesTheMeterUntouched)
{
    meter.Faults().SetByName("no-reply");
    EXPECT_TRUE(Ask(meter, ShortRequest(0x4C, Bytes(9, 'Z'))).empty());
    meter.Faults().Clear();
    EXPECT_EQ(Ask(meter, nameRequest), good);
}

TEST_F(MeterFaults, StreamFaultsHitOneFrameOrTheEnd)
{
    meter.SetStoredRecords({Rec(2025, 3, 7, 1, 0, 0), Rec(2025, 3, 7, 2, 0, 0), Rec(2025, 3, 7, 3, 0, 0)});
    const Bytes clean = Ask(meter, MemoryRequest());
    ASSERT_EQ(clean.size(), 4u * 15);

    // Corrupted: same length, only the second frame fails its check.
    const std::vector<Bytes> corrupt = Frames(AskWith("corrupt-in-stream", MemoryRequest()), 15);
    ASSERT_EQ(corrupt.size(), 4u);
    EXPECT_TRUE(IsFrame(corrupt[0], 0x35, 10));
    EXPECT_FALSE(IsFrame(corrupt[1], 0x35, 10));
    EXPECT_EQ(corrupt[2], Frames(clean, 15)[2]);

    // Garbage: one byte more, inside the second frame; the first is intact.
    const Bytes garbage = AskWith("garbage-in-stream", MemoryRequest());
    ASSERT_EQ(garbage.size(), clean.size() + 1);
    EXPECT_EQ(Bytes(garbage.begin(), garbage.begin() + 15), Bytes(clean.begin(), clean.begin() + 15));
    EXPECT_EQ(Bytes(garbage.begin() + 31, garbage.end()), Bytes(clean.begin() + 30, clean.end()));

    // Cut short: every record arrives, the end marker only half.
    const Bytes cut = AskWith("cut-short", MemoryRequest());
    EXPECT_EQ(cut, Bytes(clean.begin(), clean.begin() + 45 + 7));

    // A bad check byte spoils the first frame only.
    const std::vector<Bytes> bad = Frames(AskWith("bad-check", MemoryRequest()), 15);
    EXPECT_FALSE(IsFrame(bad[0], 0x35, 10));
    EXPECT_TRUE(IsFrame(bad[1], 0x35, 10));

    // The stray byte can be put into any frame; past the last, into the last.
    const Bytes third = AskWith("garbage-in-stream:3", MemoryRequest());
    EXPECT_EQ(Bytes(third.begin(), third.begin() + 30), Bytes(clean.begin(), clean.begin() + 30));
    EXPECT_EQ(Bytes(third.end() - 15, third.end()), Bytes(clean.end() - 15, clean.end()));
    const Bytes last = AskWith("garbage-in-stream:99", MemoryRequest());
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 45), Bytes(clean.begin(), clean.begin() + 45));

    // Exchanges are not record streams: the stream switches leave them alone.
    EXPECT_EQ(AskWith("garbage-in-stream", nameRequest), good);
}

TEST_F(MeterFaults, FirmwareChecksumErrorOnTheChosenChunkEndsTheUpdate)
{
    ASSERT_TRUE(meter.Faults().SetByName("fw-crc:3"));
    Ask(meter, ShortRequest(0x48, {0x00}));
    Ask(meter, LongRequest(0x49, {0x33, 0x55}));
    const Bytes ok = ShortRequest(0x4A, {0}), crc = ShortRequest(0x4A, {1});
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, Bytes(1024, 1))), ok);
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, Bytes(1024, 2))), ok);
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, Bytes(1024, 3))), crc);
    EXPECT_EQ(meter.GetFirmwareImage().size(), 2u + 2048u);
    EXPECT_FALSE(meter.IsUpdating());
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, Bytes(10, 4))), crc);
    EXPECT_EQ(meter.GetFirmwareImage().size(), 2u + 2048u);
}
