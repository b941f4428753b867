#include "LinkTestSupport.h"

#include <cstring>

namespace {

class FrameTest : public LinkTest {
protected:
    Bytes Sent() const { return Bytes(m_link.m_TxBuf, m_link.m_TxBuf + m_link.m_nTxLen); }
    int Check(const Bytes& received)
    {
        std::memset(m_link.m_RxBuf, 0xEE, sizeof m_link.m_RxBuf);
        if (!received.empty())
            std::memcpy(m_link.m_RxBuf, received.data(), received.size());
        m_link.m_nRxLen = static_cast<uint32_t>(received.size());
        return m_link.CheckPacket();
    }
};

TEST_F(FrameTest, ShortFrameCarriesLengthCommandPayloadCheckAndEtx)
{
    const uint8_t payload[] = {0x00};
    ASSERT_TRUE(m_link.MakePacket(0x31, payload, 1));
    EXPECT_EQ(Hex("02 02 31 00 31 03"), Sent());

    // The check byte covers STX and length too, not only the payload.
    uint8_t clock[13] = {0x07, 0xE9, 0x03, 0x07, 0x0E, 0x05, 0x09, 0x78, 0x56, 0x34, 0x12, 0, 0};
    ASSERT_TRUE(m_link.MakePacket(0x34, clock, 13));
    EXPECT_EQ(Frame(0x34, Bytes(clock, clock + 13)), Sent());
}

TEST_F(FrameTest, LongFrameHasTwoLengthBytesHighFirst)
{
    Bytes piece(1024);
    for (size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(m_link.MakeLongPacket(0x4A, piece.data(), 1024));
    const Bytes sent = Sent();
    ASSERT_EQ(1030u, sent.size());
    EXPECT_EQ(Hex("02 04 01 4A"), Bytes(sent.begin(), sent.begin() + 4));
    EXPECT_EQ(piece, Bytes(sent.begin() + 4, sent.begin() + 1028));
    uint8_t check = 0;
    for (size_t i = 0; i < 1028; ++i)
        check ^= sent[i];
    EXPECT_EQ(check, sent[1028]);
    EXPECT_EQ(0x03, sent[1029]);
}

TEST_F(FrameTest, PayloadThatCannotBeFramedIsRefusedAndLeavesTheLastFrame)
{
    const uint8_t payload[] = {0x00};
    ASSERT_TRUE(m_link.MakePacket(0x31, payload, 1));
    Bytes big(4096, 0x55);
    EXPECT_FALSE(m_link.MakePacket(0x31, big.data(), 255));   // length byte would wrap
    EXPECT_FALSE(m_link.MakeLongPacket(0x4A, big.data(), 4091));   // past the buffer
    EXPECT_FALSE(m_link.MakePacket(0x31, nullptr, 3));
    EXPECT_EQ(Hex("02 02 31 00 31 03"), Sent());
    EXPECT_TRUE(m_link.MakePacket(0x31, big.data(), 254));
    EXPECT_EQ(0xFF, m_link.m_TxBuf[1]);
    EXPECT_TRUE(m_link.MakeLongPacket(0x4A, big.data(), 4090));
    EXPECT_EQ(4096, m_link.m_nTxLen);
}

TEST_F(FrameTest, CheckByteOfFewerThanTwoBytesIsTheFirstByte)
{
    const uint8_t bytes[] = {0x5A, 0xFF};
    EXPECT_EQ(0x5A, CFt260::CalcCheckByte(bytes, 1));
    EXPECT_EQ(0x5A, CFt260::CalcCheckByte(bytes, 0));
    EXPECT_EQ(0xA5, CFt260::CalcCheckByte(bytes, 2));
}

TEST_F(FrameTest, ReplyCheckOrderAndCodes)
{
    const Bytes good = Frame(0x31, Hex("42 52 56 2D 31 30 30 20 20"));
    ASSERT_EQ(14u, good.size());
    EXPECT_EQ(LINK_OK, Check(good));

    Bytes noStx = good;
    noStx[0] = 0x12;
    EXPECT_EQ(LINK_STX_ERROR, Check(noStx));
    Bytes noEtx = good;
    noEtx.back() = 0x13;
    EXPECT_EQ(LINK_ETX_ERROR, Check(noEtx));
    Bytes badCheck = good;
    badCheck[5] ^= 0x01;
    EXPECT_EQ(LINK_CRC_ERROR, Check(badCheck));

    // The reply's length and command are not compared with the request:
    // a valid one-byte acknowledgement passes.
    EXPECT_EQ(LINK_OK, Check(Frame(0x34, {0x00})));
}

TEST_F(FrameTest, ReplyCheckNeverLooksPastWhatWasRead)
{
    // The bytes behind what was read are 0xEE; a check that used them would
    // not give these answers.
    EXPECT_EQ(LINK_STX_ERROR, Check({}));
    EXPECT_EQ(LINK_ETX_ERROR, Check({0x02}));
    EXPECT_EQ(LINK_LENGTH_ERROR, Check({0x02, 0x03}));
    // A length byte claiming more than arrived: 02 FF 31 .. 03
    EXPECT_EQ(LINK_LENGTH_ERROR, Check(Hex("02 FF 31 00 CC 03")));
    // ... or fewer: the tail behind the check byte it counts would pass unchecked.
    // A 16-byte serial reply whose length byte covers 7 payload bytes.
    Bytes shortCount = Hex("02 08 32 53 4E 32 35 30 31 30 EE EE EE EE");
    shortCount.push_back(CFt260::CalcCheckByte(shortCount.data(), 10));
    shortCount.push_back(0x03);
    EXPECT_EQ(LINK_LENGTH_ERROR, Check(shortCount));
}

TEST_F(FrameTest, ReplyLengthsAreWholeFrames)
{
    // Payload lengths of the meter's replies for 0x30..0x4E.
    const int payload[] = {4, 9, 11, 1, 1, 10, 1, 9,  1, 10, 1, 9, 1, 10, 1, 10,
                           1, 9, 11, 21, 1, 21, 1, 1, 1, 1, 1, 13, 1, 21, 1};
    for (int command = 0x30; command <= 0x4E; ++command)
        EXPECT_EQ(payload[command - 0x30] + 5, m_link.ReplyLength(command)) << command;
    EXPECT_EQ(0, m_link.ReplyLength(0x2F));
    EXPECT_EQ(0, m_link.ReplyLength(0x4F));
}

} // namespace
