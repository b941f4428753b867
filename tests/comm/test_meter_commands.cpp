#include "AnsiText.h"
#include "LinkTestSupport.h"
#include "MeterCommands.h"
#include "MeterRecords.h"

#include <cstdint>

namespace {

Bytes Payload(const MeterRequest& request)
{
    return Bytes(request.payload, request.payload + request.nLength);
}

TEST(ClockRecord, SetRequestCarriesLocalTimeAndTheStoredNumber)
{
    const MeterClock clock = MakeMeterClock(LocalTime(2025, 3, 7, 14, 5, 9));
    const MeterRequest request = MakeSetClockRequest(clock);
    EXPECT_EQ(CMD_SET_CLOCK, request.nCommand);
    EXPECT_EQ(Hex("07 E9 03 07 0E 05 09 78 56 34 12 00 00"), Payload(request));

    const MeterClock back = DecodeClockRecord(request.payload);
    EXPECT_EQ("000-1234-5678", FormatStoredNumber(back.storedNumber));
    EXPECT_EQ("2025-03-07 14:05:09", FormatRecordTime(back.when));
}

TEST(ClockRecord, StoredNumberPacking)
{
    uint8_t packed[6];
    ASSERT_TRUE(PackStoredNumber("987-6543-2109", packed));
    EXPECT_EQ(Hex("09 21 43 65 87 09"), Bytes(packed, packed + 6));
    EXPECT_EQ("987-6543-2109", FormatStoredNumber(packed));
    ASSERT_TRUE(PackStoredNumber("00012345678", packed));   // dashes are optional
    EXPECT_EQ(Hex("78 56 34 12 00 00"), Bytes(packed, packed + 6));

    // A byte @12 of 0x10 or more prints one more digit in the first group.
    const uint8_t wide[6] = {0x78, 0x56, 0x34, 0x12, 0x00, 0x1A};
    EXPECT_EQ("1A00-1234-5678", FormatStoredNumber(wide));

    for (const char* bad : {"", "000-1234-567", "000-1234-56789", "000-12a4-5678"})
        EXPECT_FALSE(PackStoredNumber(bad, packed)) << bad;
}

TEST(ClockRecord, UnconvertibleTimeGivesTheRejectedPattern)
{
    MeterDateTime when;
    EXPECT_FALSE(LocalDateTime(INT64_MAX, &when));
    uint8_t bytes[7];
    EncodeDateTime(when, bytes);
    EXPECT_EQ(Hex("00 00 00 00 FF FF FF"), Bytes(bytes, bytes + 7));
    EXPECT_TRUE(IsPlausibleClockYear(1971));
    EXPECT_TRUE(IsPlausibleClockYear(2199));
    EXPECT_FALSE(IsPlausibleClockYear(1970));
    EXPECT_FALSE(IsPlausibleClockYear(2200));
}

TEST(TextFields, PaddedWithSpacesToTheWidth)
{
    EXPECT_EQ(Hex("41 42 43 31 20 20 20 20 20 20 20"), Payload(MakeSetSerialRequest("ABC1")));
    EXPECT_EQ("SN-12345678", std::string(reinterpret_cast<const char*>(
                                             MakeSetSerialRequest("SN-12345678").payload), 11));
    EXPECT_EQ(CMD_SET_SERIAL, MakeSetSerialRequest("x").nCommand);
    const MeterRequest name = MakeSetNameRequest("ABCDEFGHIJKL");
    EXPECT_EQ(CMD_SET_NAME, name.nCommand);
    EXPECT_EQ(9, name.nLength);
    EXPECT_EQ("ABCDEFGHI", std::string(reinterpret_cast<const char*>(name.payload), 9));
    EXPECT_EQ(0, name.payload[9]);
}

TEST(TextFields, HangulIsSentInTheKoreanCodePageAndNeverCutInHalf)
{
    // 압력계측기: five syllables, two bytes each in CP949.
    const std::string ansi = Utf8ToAnsi("압력계측기");
    ASSERT_EQ(10u, ansi.size());
    const MeterRequest name = MakeSetNameRequest("압력계측기");
    ASSERT_EQ(9, name.nLength);
    EXPECT_EQ(Bytes(ansi.begin(), ansi.begin() + 8), Bytes(name.payload, name.payload + 8));
    EXPECT_EQ(0x20, name.payload[8]);
    EXPECT_EQ("압력계측 ", DecodeTextReply(name.payload, 9));

    const std::string field = MakeAnsiField("가A", 3);
    EXPECT_EQ(Hex("B0 A1 41"), Bytes(field.begin(), field.end()));
    EXPECT_EQ("A ", MakeAnsiField("A가", 2));
    // Characters the code page lacks become '?', as do broken UTF-8 bytes.
    EXPECT_EQ("a?b?", Utf8ToAnsi("a\xF0\x9F\x98\x80" "b\xC3"));
}

TEST(TextFields, ReceivedTextEndsAtTheFirstZeroOrTheWidth)
{
    const uint8_t reply[32] = {'V', '1', '.', '2', 'X', 'Y'};
    EXPECT_EQ("V1.2", DecodeTextReply(reply, VERSION_FIELD_LEN));
    const uint8_t shortName[32] = {'A', 'B', 0, 'C'};
    EXPECT_EQ("AB", DecodeTextReply(shortName, NAME_FIELD_LEN));
    // A lone lead byte at the end, or a byte that is no character, is shown as '?'.
    const uint8_t broken[32] = {0xB0, 0xA1, 0x41, 0xFF, 0xB0};
    EXPECT_EQ("가A??", DecodeTextReply(broken, 5));
}

TEST(TextFields, SerialNumberMarkers)
{
    uint8_t reply[32] = {0xFF, 'A'};
    EXPECT_EQ("-", SerialNumberText(reply));
    reply[0] = 0x00;
    EXPECT_EQ("-", SerialNumberText(reply));
    reply[0] = 'S';
    EXPECT_EQ("SA", SerialNumberText(reply));
    const uint8_t battery[32] = {0xFF};
    EXPECT_EQ(-1, DecodeBatteryPercent(battery));
}

TEST(Calibration, CorrectionValuesTravelOffsetBy2048)
{
    uint8_t bytes[2];
    ASSERT_TRUE(EncodeCorrectionValue(-5, bytes));
    EXPECT_EQ(Hex("07 FB"), Bytes(bytes, bytes + 2));
    ASSERT_TRUE(EncodeCorrectionValue(0, bytes));
    EXPECT_EQ(Hex("08 00"), Bytes(bytes, bytes + 2));
    EXPECT_FALSE(EncodeCorrectionValue(1001, bytes));
    EXPECT_FALSE(EncodeCorrectionValue(-1001, bytes));

    MeterRequest request;
    ASSERT_TRUE(MakeCorrectionRequest(LOADCELL_30T, 1, -5, &request));   // row 8 of 30 t
    EXPECT_EQ(CMD_SET_CORRECTION, request.nCommand);
    EXPECT_EQ(Hex("04 07 FB"), Payload(request));
    ASSERT_TRUE(MakeCorrectionRequest(LOADCELL_7T, 0, 12, &request));    // row 7 of 7 t
    EXPECT_EQ(Hex("06 08 0C"), Payload(request));
    ASSERT_TRUE(MakeCorrectionRequest(LOADCELL_15T, 2, 1000, &request));
    EXPECT_EQ(Hex("02 0B E8"), Payload(request));
    EXPECT_FALSE(MakeCorrectionRequest(LOADCELL_15T, 3, 0, &request));
    EXPECT_FALSE(MakeCorrectionRequest(static_cast<LoadCellSize>(3), 0, 0, &request));
}

TEST(Calibration, CommandsPerSize)
{
    EXPECT_EQ(0x4D, MakeCalibrationReadRequest(LOADCELL_7T).nCommand);
    EXPECT_EQ(0x43, MakeCalibrationReadRequest(LOADCELL_15T).nCommand);
    EXPECT_EQ(0x45, MakeCalibrationReadRequest(LOADCELL_30T).nCommand);
    MeterRequest request;
    ASSERT_TRUE(MakeCalibrationPointRequest(LOADCELL_7T, 2, &request));   // the 50 KN point
    EXPECT_EQ(0x4E, request.nCommand);
    EXPECT_EQ(Hex("02"), Payload(request));
    ASSERT_TRUE(MakeCalibrationPointRequest(LOADCELL_15T, 0, &request));
    EXPECT_EQ(0x44, request.nCommand);
    ASSERT_TRUE(MakeCalibrationPointRequest(LOADCELL_30T, 3, &request));
    EXPECT_EQ(0x46, request.nCommand);
    EXPECT_FALSE(MakeCalibrationPointRequest(LOADCELL_30T, 4, &request));
    EXPECT_EQ(0, CalibrationReadCommand(static_cast<LoadCellSize>(7)));
}

TEST(Calibration, RecordDecodesPointsPresentValueAndCorrections)
{
    const Bytes reply =
        Hex("00 00 10  01 02 03  7F FF FF  FF FF FF  00 80 00  08 00  04 18  0B E8");
    const CalibrationRecord record = DecodeCalibrationRecord(reply.data());
    EXPECT_EQ(0x10u, record.nPoints[0]);
    EXPECT_EQ(0x010203u, record.nPoints[1]);
    EXPECT_EQ(0x7FFFFFu, record.nPoints[2]);
    EXPECT_EQ(0xFFFFFFu, record.nPoints[3]);
    EXPECT_EQ(0x8000u, record.nPresent);
    EXPECT_EQ(0, record.nCorrections[0]);
    EXPECT_EQ(-1000, record.nCorrections[1]);
    EXPECT_EQ(1000, record.nCorrections[2]);
}

TEST(Measurements, ForceTexts)
{
    EXPECT_EQ(" 1.0 톤", FormatForceTons(98));
    EXPECT_EQ("12.5 톤", FormatForceTons(1234));
    EXPECT_EQ("668.7 톤", FormatForceTons(65535));
    EXPECT_EQ(" 0.4 톤", FormatForceTons(48));   // cut down, not rounded (0.49 t)
    EXPECT_EQ(" 0.5 톤", FormatForceTons(49));
    EXPECT_EQ("6553.5 KN", FormatForceKn(65535));
    EXPECT_EQ("123.4 KN", FormatForceKn(1234));
    EXPECT_EQ("123.4 KN", FormatSummaryForce(12345));
    EXPECT_EQ("0.0 KN", FormatSummaryForce(5));
    EXPECT_EQ("655.3 KN", FormatSummaryForce(65535));
}

TEST(Measurements, RecordFieldsAndModels)
{
    const Bytes bytes = MeasurementBytes(2025, 2, 31, 23, 59, 59, 0x1234, 2);
    const MeasurementRecord record = DecodeMeasurementRecord(bytes.data());
    EXPECT_EQ(0x1234, record.nRawForce);
    EXPECT_STREQ("VR300", LoadCellModelName(record.nLoadCellType));
    // Inside the field ranges the local-time conversion normalises.
    EXPECT_TRUE(record.bTimeValid);
    EXPECT_EQ(LocalTime(2025, 3, 3, 23, 59, 59), record.tWhen);
    EXPECT_STREQ("VR70", LoadCellModelName(0));
    EXPECT_STREQ("VR150", LoadCellModelName(1));
    EXPECT_STREQ("", LoadCellModelName(3));

    for (const Bytes& broken : {MeasurementBytes(1899, 1, 1, 0, 0, 0, 0, 0),
                                MeasurementBytes(2025, 0, 1, 0, 0, 0, 0, 0),
                                MeasurementBytes(2025, 1, 32, 0, 0, 0, 0, 0),
                                MeasurementBytes(2025, 1, 1, 24, 0, 0, 0, 0),
                                MeasurementBytes(2025, 1, 1, 0, 60, 0, 0, 0),
                                MeasurementBytes(2025, 1, 1, 0, 0, 60, 0, 0)}) {
        const MeasurementRecord bad = DecodeMeasurementRecord(broken.data());
        EXPECT_FALSE(bad.bTimeValid) << ToHex(broken);
        EXPECT_EQ(0u, FormatRecordTime(bad.when).find("시간 오류 (")) << ToHex(broken);
    }
}

TEST(Measurements, OutputSummaryFields)
{
    const Bytes payload = Hex("03 30 39 00 05 FF FF 01 00");
    const OutputSummary summary = DecodeOutputSummary(payload.data());
    EXPECT_EQ(3, summary.nCount);
    EXPECT_EQ(12345, summary.nAverage);
    EXPECT_EQ(5, summary.nMinimum);
    EXPECT_EQ(65535, summary.nMaximum);
    EXPECT_EQ(256, summary.nDeviation);
}

TEST(Firmware, HeadAndPiecesFromOffsetTwo)
{
    const uint8_t good1[] = {0x33, 0x55};
    const uint8_t good2[] = {0x21, 0x6F};
    const uint8_t bad[] = {0x55, 0x33};
    EXPECT_TRUE(HasFirmwareHead(good1, 2));
    EXPECT_TRUE(HasFirmwareHead(good2, 2));
    EXPECT_FALSE(HasFirmwareHead(bad, 2));
    EXPECT_FALSE(HasFirmwareHead(good1, 1));

    EXPECT_TRUE(PlanFirmwarePieces(2).empty());
    auto pieces = PlanFirmwarePieces(1026);
    ASSERT_EQ(1u, pieces.size());
    EXPECT_EQ(2u, pieces[0].nOffset);
    EXPECT_EQ(1024u, pieces[0].nLength);
    pieces = PlanFirmwarePieces(2050);
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ(1026u, pieces[1].nOffset);
    EXPECT_EQ(1024u, pieces[1].nLength);
    pieces = PlanFirmwarePieces(1027);
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ(1u, pieces[1].nLength);
}

class FirmwareExchangeTest : public LinkTest {};

TEST_F(FirmwareExchangeTest, HeadAndPiecesTravelInLongFrames)
{
    Bytes image(1030);
    image[0] = 0x33;
    image[1] = 0x55;
    for (size_t i = 2; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    AnswerWith([](const Bytes& request) {
        return Frame(request[3], {static_cast<uint8_t>(request[3] == 0x4A ? 0x01 : 0x00)});
    });
    uint8_t reply[REPLY_BUFFER_LEN];
    ASSERT_EQ(LINK_OK, SendFirmwareHead(m_link, image.data(), reply));
    EXPECT_TRUE(IsFirmwareHeadAccepted(reply));
    EXPECT_EQ(Hex("02 00 03 49 33 55 2E 03"), Bridge().m_writes.back());

    const auto pieces = PlanFirmwarePieces(image.size());
    ASSERT_EQ(2u, pieces.size());
    ASSERT_EQ(LINK_OK, SendFirmwarePiece(m_link, image.data(), pieces[1], reply));
    EXPECT_TRUE(IsFirmwareCrcError(reply));
    const Bytes& sent = Bridge().m_writes.back();
    ASSERT_EQ(4u + 6, sent.size());
    EXPECT_EQ(Bytes(image.begin() + 1026, image.end()), Bytes(sent.begin() + 4, sent.begin() + 8));
}

} // namespace
