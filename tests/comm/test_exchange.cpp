#include "LinkTestSupport.h"

#include <cstring>

namespace {

const Bytes kName = Hex("42 52 56 2D 31 30 30 20 20");   // "BRV-100  "

class ExchangeTest : public LinkTest {
protected:
    int AskName()
    {
        std::memset(m_reply, 0xCD, sizeof m_reply);
        const uint8_t payload[] = {0x00};
        return m_link.SendPacket(0x31, payload, 1, m_reply);
    }
    void ExpectClosedButKnown(const FakeBridgeState& state, int closes = 1)
    {
        EXPECT_FALSE(IsOpen());
        EXPECT_TRUE(m_link.m_strOpenPath.empty());
        EXPECT_EQ(kPath, m_link.m_strDevicePath);
        EXPECT_EQ(closes, state.m_nResetCalls);
        EXPECT_EQ(closes, state.m_nCloseCalls);
    }
    uint8_t m_reply[64];
};

TEST_F(ExchangeTest, ReplyPayloadReachesTheCallerAndEveryTransferIsLogged)
{
    AnswerWith([](const Bytes&) { return Frame(0x31, kName); });
    m_clock.SetNowSeconds(1741323909);

    ASSERT_EQ(LINK_OK, AskName());
    EXPECT_EQ(kName, Bytes(m_reply, m_reply + 9));
    for (int i = 9; i < 32; ++i)
        EXPECT_EQ(0, m_reply[i]) << i;   // the link clears 32 bytes, no more
    EXPECT_EQ(0xCD, m_reply[32]);

    ASSERT_EQ(2u, m_owner.m_log.size());
    EXPECT_EQ(0, m_owner.m_log[0].nDirection);
    EXPECT_EQ(Hex("02 02 31 00 31 03"), m_owner.m_log[0].bytes);
    EXPECT_EQ(1, m_owner.m_log[1].nDirection);
    EXPECT_EQ(Frame(0x31, kName), m_owner.m_log[1].bytes);

    EXPECT_EQ(14u, m_link.m_nRxLen);
    EXPECT_EQ(6, m_link.m_nTxLen);
    EXPECT_EQ(1741323909, m_link.m_tTx);
    EXPECT_EQ(1741323909, m_link.m_tRx);   // 100 ms later, same second
    EXPECT_TRUE(IsOpen());
    EXPECT_EQ("성공 (0)", m_link.GetErrorText());
}

TEST_F(ExchangeTest, ReplyArrivingInPiecesIsReadOnceWhole)
{
    const Bytes reply = Frame(0x31, kName);
    Bridge().m_onWrite = [this, reply](const Bytes&) {
        Bridge().Schedule(60, Bytes(reply.begin(), reply.begin() + 5));
        Bridge().Schedule(400, Bytes(reply.begin() + 5, reply.end()));
    };
    ASSERT_EQ(LINK_OK, AskName());
    ASSERT_EQ(2u, m_owner.m_log.size());
    EXPECT_EQ(reply, m_owner.m_log[1].bytes);
}

TEST_F(ExchangeTest, PartOfAReplyWithinTheWaitIsLoggedAndFails)
{
    const Bytes reply = Frame(0x31, kName);
    Bridge().m_onWrite = [this, reply](const Bytes&) {
        Bridge().Schedule(60, Bytes(reply.begin(), reply.begin() + 5));
    };
    const int64_t before = m_clock.SleptMs();
    EXPECT_EQ(LINK_READ_FAILED, AskName());
    EXPECT_EQ(2500, m_clock.SleptMs() - before);   // 50 polls of 50 ms
    ASSERT_EQ(2u, m_owner.m_log.size());
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), m_owner.m_log[1].bytes);
    EXPECT_EQ(5u, m_link.m_nRxLen);
    ExpectClosedButKnown(Bridge());
    EXPECT_EQ("UART 읽기 실패 (-1092)", m_link.GetErrorText());
}

TEST_F(ExchangeTest, SilenceLogsAnEmptyRead)
{
    EXPECT_EQ(LINK_READ_FAILED, AskName());
    ASSERT_EQ(2u, m_owner.m_log.size());
    EXPECT_EQ(1, m_owner.m_log[1].nDirection);
    EXPECT_TRUE(m_owner.m_log[1].bytes.empty());
}

TEST_F(ExchangeTest, LongRequestWaitsTwiceAsLong)
{
    AnswerWith([](const Bytes&) { return Frame(0x4A, {0x00}); }, 4000);
    Bytes piece(1024, 0xA5);
    EXPECT_EQ(LINK_OK, m_link.SendLongPacket(0x4A, piece.data(), 1024, m_reply));
    EXPECT_EQ(1030u, Bridge().m_writes.back().size());

    AnswerWith([](const Bytes&) { return Frame(0x31, kName); }, 4000);
    EXPECT_EQ(LINK_READ_FAILED, AskName());
}

TEST_F(ExchangeTest, StaleInputIsDrainedBeforeTheRequestAndTrailingBytesAfterTheReply)
{
    Bridge().Schedule(0, Hex("AA BB CC"));
    AnswerWith([](const Bytes&) {
        Bytes reply = Frame(0x31, kName);
        reply.push_back(0x77);   // tail behind the reply
        return reply;
    });
    ASSERT_EQ(LINK_OK, AskName());
    ASSERT_EQ(4u, m_owner.m_log.size());
    EXPECT_EQ(1, m_owner.m_log[0].nDirection);
    EXPECT_EQ(Hex("AA BB CC"), m_owner.m_log[0].bytes);
    EXPECT_EQ(0, m_owner.m_log[1].nDirection);
    EXPECT_EQ(Frame(0x31, kName), m_owner.m_log[2].bytes);
    EXPECT_EQ(Hex("77"), m_owner.m_log[3].bytes);
    EXPECT_EQ(kName, Bytes(m_reply, m_reply + 9));   // the tail changes nothing copied
    EXPECT_EQ(14u, m_link.m_nRxLen);
    // The last reply stays readable for the administrator window's display.
    EXPECT_EQ(Frame(0x31, kName), Bytes(m_link.m_RxBuf, m_link.m_RxBuf + m_link.m_nRxLen));
    EXPECT_TRUE(Bridge().m_readable.empty());
}

TEST_F(ExchangeTest, LongRequestLeavesTrailingBytesForTheNextDrain)
{
    AnswerWith([](const Bytes&) {
        Bytes reply = Frame(0x49, {0x00});
        reply.push_back(0x77);
        return reply;
    });
    const uint8_t head[] = {0x33, 0x55};
    ASSERT_EQ(LINK_OK, m_link.SendLongPacket(0x49, head, 2, m_reply));
    EXPECT_EQ(Hex("77"), Bytes(Bridge().m_readable.begin(), Bridge().m_readable.end()));
}

// Each failure of an exchange gives its code and closes the link, keeping
// the device path so the next exchange re-opens it.
struct FailureCase {
    const char* szName;
    std::function<void(FakeBridgeState&)> setUp;
    Bytes reply;
    int nExpected;
};

TEST_F(ExchangeTest, EveryFailureClosesTheLinkWithItsCode)
{
    const Bytes good = Frame(0x31, kName);
    Bytes noStx = good;
    noStx[0] = 0x00;
    Bytes noEtx = good;
    noEtx.back() = 0x00;
    Bytes badCheck = good;
    badCheck[12] ^= 0x40;
    const FailureCase cases[] = {
        {"write refused", [](FakeBridgeState& s) { s.m_nWriteStatus = BRIDGE_IO_ERROR; }, good,
         LINK_WRITE_FAILED},
        {"short write", [](FakeBridgeState& s) { s.m_nWriteLimit = 3; }, good, LINK_WRITE_FAILED},
        {"read fails", [](FakeBridgeState& s) { s.m_failReads = {1}; }, good, LINK_READ_FAILED},
        {"no STX", [](FakeBridgeState&) {}, noStx, LINK_STX_ERROR},
        {"no ETX", [](FakeBridgeState&) {}, noEtx, LINK_ETX_ERROR},
        {"bad check byte", [](FakeBridgeState&) {}, badCheck, LINK_CRC_ERROR},
    };
    int nCloses = 0;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.szName);
        FakeBridgeState& state = Bridge();
        state.m_nWriteStatus = 0;
        state.m_nWriteLimit = -1;
        state.m_failReads.clear();
        state.m_nReadCalls = 0;
        state.m_readable.clear();
        state.m_pending.clear();
        c.setUp(state);
        const Bytes reply = c.reply;
        AnswerWith([reply](const Bytes&) { return reply; });

        EXPECT_EQ(c.nExpected, AskName());
        EXPECT_EQ(c.nExpected, m_link.m_nResult);
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(0, m_reply[i]) << i;
        ExpectClosedButKnown(state, ++nCloses);
    }
    // Each exchange opened the same device again.
    EXPECT_EQ(6u, m_library.m_openedPaths.size());
}

TEST_F(ExchangeTest, FailedQueueQueryStillReadsAndChecksSafely)
{
    Bridge().m_nFailQueriesFrom = 2;   // the stale-input query works, the first poll fails
    EXPECT_EQ(LINK_STX_ERROR, AskName());   // nothing read: no STX
    EXPECT_EQ(0u, m_link.m_nRxLen);
    EXPECT_FALSE(IsOpen());
}

TEST_F(ExchangeTest, OpenRefusedSendsNothing)
{
    m_library.m_nOpenStatus = BRIDGE_ACCESS_DENIED;
    EXPECT_EQ(LINK_OPEN_FAILED, AskName());
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, m_link.m_nOpenStatus);
    EXPECT_TRUE(m_owner.m_log.empty());
    EXPECT_EQ(0xCD, m_reply[0]);   // not even cleared
    EXPECT_EQ("장비 열기 실패 (-1100)", m_link.GetErrorText());

    m_library.m_nOpenStatus = BRIDGE_OK;
    AnswerWith([](const Bytes&) { return Frame(0x31, kName); });
    EXPECT_EQ(LINK_OK, AskName());
    EXPECT_EQ(BRIDGE_OK, m_link.m_nOpenStatus);
}

TEST_F(ExchangeTest, RequestsThatCannotBeFramedAreRefusedWithoutTouchingTheLink)
{
    AnswerWith([](const Bytes&) { return Frame(0x31, kName); });
    ASSERT_EQ(LINK_OK, AskName());
    const uint8_t payload[300] = {};
    // The caller's mistake is not dressed up as a receive failure.
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendPacket(0x2F, payload, 1, m_reply));
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendPacket(0x4F, payload, 1, m_reply));
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendPacket(0x131, payload, 1, m_reply));
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendPacket(0x31, payload, 255, m_reply));
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendPacket(0x31, payload, -1, m_reply));
    EXPECT_EQ(LINK_REQUEST_REFUSED, m_link.SendLongPacket(0x4A, nullptr, 10, m_reply));
    EXPECT_EQ("잘못된 요청 (-1111)", m_link.GetErrorText());
    EXPECT_EQ(1u, Bridge().m_writes.size());
    EXPECT_TRUE(IsOpen());
}

TEST_F(ExchangeTest, LinkWithoutLogWindowStillWorks)
{
    m_owner.m_bHasLog = false;
    AnswerWith([](const Bytes&) { return Frame(0x31, kName); });
    EXPECT_EQ(LINK_OK, AskName());
    m_link.m_pOwner = nullptr;
    EXPECT_EQ(LINK_OK, AskName());
    EXPECT_TRUE(m_owner.m_log.empty());
}

} // namespace
