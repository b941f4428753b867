// The meter's side of the wire: which requests it takes, and the shape of
// every reply frame.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Reply payload length per command 0x30..0x4E, as the meter's reply table fixes it.
const size_t kReplyPayload[31] = {4, 9, 11, 1, 1, 10, 1, 9, 1, 10, 1, 9, 1, 10, 1, 10,
                                  1, 9, 11, 21, 1, 21, 1, 1, 1, 1, 1, 13, 1, 21, 1};

Bytes RequestFor(uint8_t command)
{
    switch (command) {
    case 0x34: return ShortRequest(command, {0x07, 0xE9, 3, 7, 14, 5, 9, 0x78, 0x56, 0x34, 0x12, 0, 0});
    case 0x35: return ShortRequest(command, {0x07, 0xD0, 1, 1, 0, 0, 0});
    case 0x36: return ShortRequest(command, Bytes(11, 'S'));
    case 0x47: return ShortRequest(command, {0x04, 0x07, 0xFB});
    case 0x49: return LongRequest(command, {0x33, 0x55});
    case 0x4A: return LongRequest(command, Bytes(1024, 0xA5));
    case 0x4C: return ShortRequest(command, Bytes(9, 'N'));
    default: return ShortRequest(command, {0x00});
    }
}

class MeterFraming : public ::testing::Test {
protected:
    CManualClock clock{1741323909};
    CSimMeter meter{clock};
};

} // namespace

TEST_F(MeterFraming, EveryCommandGetsFramesOfItsFixedLength)
{
    Ask(meter, ShortRequest(0x48, {0x00}));   // so that 0x49 and 0x4A are taken
    for (int c = 0x30; c <= 0x4E; ++c) {
        const uint8_t cmd = uint8_t(c);
        SCOPED_TRACE(testing::Message() << "command 0x" << std::hex << c);
        const Bytes reply = Ask(meter, RequestFor(cmd));
        if (cmd == 0x35) {
            // records, then the end marker, all 15-byte frames
            ASSERT_GT(reply.size(), 15u);
            ASSERT_EQ(reply.size() % 15, 0u);
            for (const Bytes& f : Frames(reply, 15))
                EXPECT_TRUE(IsFrame(f, 0x35, 10));
        } else if (cmd == 0x41) {
            ASSERT_GE(reply.size(), 14u);
            EXPECT_TRUE(IsFrame(Bytes(reply.begin(), reply.begin() + 14), 0x41, 9));
            const std::vector<Bytes> records = Frames(reply, 16, 14);
            EXPECT_EQ(records.size(), size_t(reply[3 + 0]));
            EXPECT_EQ(14 + records.size() * 16, reply.size());
            for (const Bytes& f : records)
                EXPECT_TRUE(IsFrame(f, 0x42, 11));
        } else {
            EXPECT_TRUE(IsFrame(reply, cmd, kReplyPayload[c - 0x30]));
        }
    }
}

TEST_F(MeterFraming, KnownAnswerForTheNameRequest)
{
    CSimMeter::Setup setup;
    setup.strName = "ABC";
    CSimMeter named(clock, setup);
    const Bytes reply = Ask(named, {0x02, 0x02, 0x31, 0x00, 0x31, 0x03});
    const Bytes expected = {0x02, 0x0A, 0x31, 'A', 'B', 'C', ' ', ' ', ' ', ' ', ' ', ' ', 0x79, 0x03};
    EXPECT_EQ(reply, expected);
}

TEST_F(MeterFraming, BrokenRequestsAreDroppedWithoutAnswer)
{
    Bytes badCheck = ShortRequest(0x31, {0x00});
    badCheck[4] ^= 0x01;
    Bytes noEtx = ShortRequest(0x31, {0x00});
    noEtx.back() = 0x00;
    const Bytes cases[] = {
        badCheck,
        noEtx,
        ShortRequest(0x2F, {0x00}),          // below the command range
        ShortRequest(0x4F, {0x00}),          // above it
        ShortRequest(0x49, {0x33, 0x55}),    // firmware head only comes in the long form
        ShortRequest(0x31, {}),              // every request carries a payload
        ShortRequest(0x34, {0x07, 0xE9, 3}), // clock request cut to 3 bytes
    };
    for (const Bytes& request : cases) {
        EXPECT_TRUE(Ask(meter, request).empty());
        clock.AdvanceUs(100000);   // each stands alone on the line
    }
    EXPECT_EQ(meter.GetRequestCount(), 0);
    EXPECT_GT(meter.GetDiscardedBytes(), 0u);
    // and the meter still listens afterwards
    EXPECT_TRUE(IsFrame(Ask(meter, ShortRequest(0x30, {0x00})), 0x30, 4));
}

TEST_F(MeterFraming, FindsRequestsAmongNoiseAndAcrossPieces)
{
    // Noise, a stray STX and a request in one write; then a request in three pieces.
    Bytes noisy = {0x55, 0x02, 0xFF, 0x13};
    const Bytes name = ShortRequest(0x31, {0x00});
    noisy.insert(noisy.end(), name.begin(), name.end());
    EXPECT_TRUE(IsFrame(Ask(meter, noisy), 0x31, 9));

    const Bytes version = ShortRequest(0x30, {0x00});
    clock.AdvanceUs(100000);
    meter.Receive(version.data(), 2);
    meter.Receive(version.data() + 2, 1);
    EXPECT_FALSE(meter.HasReplies());
    EXPECT_TRUE(IsFrame(Ask(meter, Bytes(version.begin() + 3, version.end())), 0x30, 4));

    // Two requests in one write get two answers, in order.
    Bytes both = ShortRequest(0x33, {0x00});
    both.insert(both.end(), version.begin(), version.end());
    const Bytes reply = Ask(meter, both);
    ASSERT_EQ(reply.size(), 6u + 9u);
    EXPECT_TRUE(IsFrame(Bytes(reply.begin(), reply.begin() + 6), 0x33, 1));
    EXPECT_TRUE(IsFrame(Bytes(reply.begin() + 6, reply.end()), 0x30, 4));
}

TEST_F(MeterFraming, RequestCutOffOnTheWayDoesNotSwallowTheNextOne)
{
    // A short frame announcing 254 payload bytes, of which only 3 come.
    const Bytes cut = {0x02, 0xFF, 0x31, 0x00};
    meter.Receive(cut.data(), cut.size());
    clock.AdvanceUs(2500000);   // the PC times out and asks again
    EXPECT_TRUE(IsFrame(Ask(meter, ShortRequest(0x31, {0x00})), 0x31, 9));
}

TEST_F(MeterFraming, LongFrameWhoseLengthLooksLikeACommand)
{
    // 304 payload bytes: the length's low byte is 0x31, the name command.
    Ask(meter, ShortRequest(0x48, {0x00}));
    Ask(meter, LongRequest(0x49, {0x21, 0x6F}));
    const Bytes chunk(304, 0x03);
    EXPECT_EQ(Ask(meter, LongRequest(0x4A, chunk)), ShortRequest(0x4A, {0x00}));
    EXPECT_EQ(meter.GetFirmwareImage().size(), 2u + 304u);
}
