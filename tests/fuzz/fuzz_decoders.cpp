// The decoders of what the meter sends: measurement and summary records,
// calibration data, the clock record and its stored number, the short text
// replies, the firmware plan and the CP949 text fields. Each decoder gets a
// buffer of exactly the bytes it may read, so a read past them is caught.
//
// Input: repeated (selector byte, the bytes that decoder takes).

#include "AnsiText.h"
#include "CFuzzInput.h"
#include "MeterCommands.h"
#include "MeterRecords.h"
#include "MeterTime.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

bool IsUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || (n == 2 && c < 0xC2) || i + n > text.size())
            return false;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

bool IsPlainAscii(const uint8_t* bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] == 0 || bytes[i] >= 0x80)
            return false;
    return true;
}

// The number at the start of a formatted text.
double Leading(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

void Measurement(const uint8_t* record)
{
    const MeasurementRecord decoded = DecodeMeasurementRecord(record);
    const MeterDateTime when = DecodeDateTime(record);
    FUZZ_CHECK(decoded.when.nYear == when.nYear && decoded.when.nSecond == when.nSecond);
    FUZZ_CHECK(decoded.nRawForce == (record[7] << 8 | record[8]));
    FUZZ_CHECK(decoded.nLoadCellType == record[9]);
    if (decoded.bTimeValid)
        FUZZ_CHECK(IsValidMeterDateTime(when));
    uint8_t again[7];
    EncodeDateTime(when, again);
    FUZZ_CHECK(std::memcmp(again, record, 7) == 0);

    const std::string shown = FormatRecordTime(decoded.when);
    FUZZ_CHECK(!shown.empty() && IsUtf8(shown));
    FUZZ_CHECK(IsUtf8(LoadCellModelName(decoded.nLoadCellType)));

    // Tons are kN / 9.8 cut down to one decimal, kN the raw tenths.
    const double tons = decoded.nRawForce / 98.0;
    const double shownTons = Leading(FormatForceTons(decoded.nRawForce));
    FUZZ_CHECK(shownTons <= tons + 1e-9 && shownTons > tons - 0.1 - 1e-9);
    FUZZ_CHECK(std::fabs(Leading(FormatForceKn(decoded.nRawForce)) - decoded.nRawForce / 10.0) < 1e-9);
}

void Summary(const uint8_t* summary)
{
    const OutputSummary decoded = DecodeOutputSummary(summary);
    FUZZ_CHECK(decoded.nCount == summary[0]);
    const uint16_t values[4] = {decoded.nAverage, decoded.nMinimum, decoded.nMaximum,
                                decoded.nDeviation};
    for (int i = 0; i < 4; ++i) {
        FUZZ_CHECK(values[i] == (summary[1 + 2 * i] << 8 | summary[2 + 2 * i]));
        // Hundredths of a kN shown cut down to one decimal.
        const double shown = Leading(FormatSummaryForce(values[i]));
        FUZZ_CHECK(shown <= values[i] / 100.0 + 1e-9 && shown > values[i] / 100.0 - 0.1 - 1e-9);
    }
}

void Calibration(const uint8_t* record)
{
    const CalibrationRecord decoded = DecodeCalibrationRecord(record);
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(decoded.nPoints[i] < (1u << 24));
    for (int i = 0; i < 3; ++i) {
        uint8_t again[2];
        if (EncodeCorrectionValue(decoded.nCorrections[i], again))
            FUZZ_CHECK(std::memcmp(again, record + 15 + 2 * i, 2) == 0);
        else
            FUZZ_CHECK(decoded.nCorrections[i] < CORRECTION_MIN
                       || decoded.nCorrections[i] > CORRECTION_MAX);
    }
}

void Clock(const uint8_t* record)
{
    const MeterClock clock = DecodeClockRecord(record);
    uint8_t again[CLOCK_RECORD_LEN];
    EncodeClockRecord(clock, again);
    FUZZ_CHECK(std::memcmp(again, record, CLOCK_RECORD_LEN) == 0);

    // Packed BCD reads back through its text.
    const std::string number = FormatStoredNumber(clock.storedNumber);
    bool bBcd = (clock.storedNumber[5] >> 4) == 0;
    for (uint8_t b : clock.storedNumber)
        bBcd = bBcd && (b >> 4) <= 9 && (b & 0xF) <= 9;
    uint8_t packed[6] = {};
    FUZZ_CHECK(PackStoredNumber(number, packed) == bBcd);
    if (bBcd)
        FUZZ_CHECK(std::memcmp(packed, clock.storedNumber, 6) == 0);
}

void TextField(const uint8_t* field, size_t width)
{
    const std::string text = DecodeTextReply(field, width);
    FUZZ_CHECK(IsUtf8(text));
    if (IsPlainAscii(field, width))
        FUZZ_CHECK(text == std::string(reinterpret_cast<const char*>(field), width));
    if (width == SERIAL_FIELD_LEN)
        FUZZ_CHECK(IsUtf8(SerialNumberText(field)));
    const int percent = DecodeBatteryPercent(field);
    FUZZ_CHECK(percent >= -128 && percent <= 127);
}

void OutgoingText(const std::string& utf8, size_t width)
{
    const std::string field = MakeAnsiField(utf8, width);
    FUZZ_CHECK(field.size() == width);
    const std::string back = AnsiToUtf8(reinterpret_cast<const uint8_t*>(field.data()), width);
    FUZZ_CHECK(IsUtf8(back));
    Utf8ToAnsi(utf8);
}

void Firmware(const uint8_t* image, size_t size)
{
    const bool bHead = size >= 2 && ((image[0] == 0x33 && image[1] == 0x55) || (image[0] == 0x21 && image[1] == 0x6F));
    FUZZ_CHECK(HasFirmwareHead(image, size) == bHead);
    // The pieces follow each other from the head to the end, none too long.
    size_t offset = FIRMWARE_HEAD_LEN;
    for (const FirmwarePiece& piece : PlanFirmwarePieces(size)) {
        FUZZ_CHECK(piece.nOffset == offset);
        FUZZ_CHECK(piece.nLength > 0 && piece.nLength <= FIRMWARE_PIECE_MAX);
        offset += piece.nLength;
    }
    FUZZ_CHECK(offset == std::max<size_t>(size, FIRMWARE_HEAD_LEN));
}

// Runs f on a heap copy of exactly n input bytes; nothing when fewer are left.
template <typename F>
void WithBytes(CFuzzInput& in, size_t n, F f)
{
    if (in.Remaining() < n)
        return;
    const std::vector<uint8_t> bytes = in.Block(n);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[n ? n : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    f(exact.get());
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzUseUtc();
    CFuzzInput in(data, size);
    while (!in.Empty()) {
        switch (in.Byte() % 7) {
        case 0: WithBytes(in, MEASUREMENT_RECORD_LEN, Measurement); break;
        case 1: WithBytes(in, OUTPUT_SUMMARY_LEN, Summary); break;
        case 2: WithBytes(in, CALIBRATION_RECORD_LEN, Calibration); break;
        case 3: WithBytes(in, CLOCK_RECORD_LEN, Clock); break;
        case 4: {
            const size_t width = in.Byte() % 24;
            WithBytes(in, width, [width](const uint8_t* field) { TextField(field, width); });
            break;
        }
        case 5: {
            const size_t width = in.Byte() % 24;
            OutgoingText(in.Text(48), width);
            break;
        }
        default: {
            const size_t imageSize = in.Word() % 512;
            WithBytes(in, imageSize, [imageSize](const uint8_t* image) { Firmware(image, imageSize); });
            // The plan alone for sizes no input carries.
            Firmware(nullptr, 0);
            break;
        }
        }
    }
    return 0;
}
