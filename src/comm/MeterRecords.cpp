#include "MeterRecords.h"

#include <cmath>
#include <cstdio>

namespace {

uint32_t BigEndian(const uint8_t* bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

MeasurementRecord DecodeMeasurementRecord(const uint8_t* record)
{
    MeasurementRecord decoded;
    decoded.when = DecodeDateTime(record);
    decoded.bTimeValid = MeterDateTimeToTime(decoded.when, &decoded.tWhen);
    decoded.nRawForce = static_cast<uint16_t>(BigEndian(record + 7, 2));
    decoded.nLoadCellType = record[9];
    return decoded;
}

const char* LoadCellModelName(int type)
{
    switch (type) {
    case 0:
        return "VR70";
    case 1:
        return "VR150";
    case 2:
        return "VR300";
    default:
        return "";
    }
}

double ForceTons(uint16_t raw)
{
    // kN / 9.8, never rounded up: a load is not reported above what it was
    return std::floor(raw / 98.0 * 10) / 10;
}

std::string FormatForceTons(uint16_t raw)
{
    char text[32];
    std::snprintf(text, sizeof text, "%4.1f 톤", ForceTons(raw));
    return text;
}

std::string FormatForceKn(uint16_t raw)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KN", raw / 10.0);
    return text;
}

OutputSummary DecodeOutputSummary(const uint8_t* summary)
{
    OutputSummary decoded;
    decoded.nCount = summary[0];
    decoded.nAverage = static_cast<uint16_t>(BigEndian(summary + 1, 2));
    decoded.nMinimum = static_cast<uint16_t>(BigEndian(summary + 3, 2));
    decoded.nMaximum = static_cast<uint16_t>(BigEndian(summary + 5, 2));
    decoded.nDeviation = static_cast<uint16_t>(BigEndian(summary + 7, 2));
    return decoded;
}

std::string FormatSummaryForce(uint16_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02.1f KN", (value / 10 * 10) / 100.0);
    return text;
}

CalibrationRecord DecodeCalibrationRecord(const uint8_t* record)
{
    CalibrationRecord decoded;
    for (int i = 0; i < 4; ++i)
        decoded.nPoints[i] = BigEndian(record + 3 * i, 3);
    decoded.nPresent = BigEndian(record + 12, 3);
    for (int i = 0; i < 3; ++i)
        decoded.nCorrections[i] = DecodeCorrectionValue(record + 15 + 2 * i);
    return decoded;
}

bool EncodeCorrectionValue(int value, uint8_t* bytes)
{
    if (value < CORRECTION_MIN || value > CORRECTION_MAX)
        return false;
    const int stored = value + CORRECTION_OFFSET;
    bytes[0] = static_cast<uint8_t>(stored >> 8);
    bytes[1] = static_cast<uint8_t>(stored & 0xFF);
    return true;
}

int DecodeCorrectionValue(const uint8_t* bytes)
{
    return static_cast<int>(BigEndian(bytes, 2)) - CORRECTION_OFFSET;
}
