#include "MeterTime.h"

#include <cstdio>
#include <ctime>

const char* const kFixedStoredNumber = "000-1234-5678";

bool IsValidMeterDateTime(const MeterDateTime& when)
{
    return when.nYear >= 1900 && when.nMonth >= 1 && when.nMonth <= 12 && when.nDay >= 1
           && when.nDay <= 31 && when.nHour >= 0 && when.nHour <= 23 && when.nMinute >= 0
           && when.nMinute <= 59 && when.nSecond >= 0 && when.nSecond <= 59;
}

bool MeterDateTimeToTime(const MeterDateTime& when, int64_t* time)
{
    if (!IsValidMeterDateTime(when))
        return false;
    struct tm parts = {};
    parts.tm_year = when.nYear - 1900;
    parts.tm_mon = when.nMonth - 1;
    parts.tm_mday = when.nDay;
    parts.tm_hour = when.nHour;
    parts.tm_min = when.nMinute;
    parts.tm_sec = when.nSecond;
    parts.tm_isdst = -1;
    // mktime answers -1 both for failure and for one second before 1970;
    // only a failure leaves tm_yday at this marker.
    parts.tm_yday = -1;
    const time_t t = mktime(&parts);
    if (t == static_cast<time_t>(-1) && parts.tm_yday == -1)
        return false;
    *time = static_cast<int64_t>(t);
    return true;
}

bool LocalDateTime(int64_t time, MeterDateTime* when)
{
    const time_t t = static_cast<time_t>(time);
    struct tm parts = {};
    if (localtime_r(&t, &parts) == nullptr) {
        *when = MeterDateTime();
        when->nHour = when->nMinute = when->nSecond = 0xFF;
        return false;
    }
    when->nYear = parts.tm_year + 1900;
    when->nMonth = parts.tm_mon + 1;
    when->nDay = parts.tm_mday;
    when->nHour = parts.tm_hour;
    when->nMinute = parts.tm_min;
    when->nSecond = parts.tm_sec;
    return true;
}

MeterDateTime LocalDateTime(int64_t time)
{
    MeterDateTime when;
    LocalDateTime(time, &when);
    return when;
}

void EncodeDateTime(const MeterDateTime& when, uint8_t* bytes)
{
    bytes[0] = static_cast<uint8_t>((when.nYear >> 8) & 0xFF);
    bytes[1] = static_cast<uint8_t>(when.nYear & 0xFF);
    bytes[2] = static_cast<uint8_t>(when.nMonth);
    bytes[3] = static_cast<uint8_t>(when.nDay);
    bytes[4] = static_cast<uint8_t>(when.nHour);
    bytes[5] = static_cast<uint8_t>(when.nMinute);
    bytes[6] = static_cast<uint8_t>(when.nSecond);
}

MeterDateTime DecodeDateTime(const uint8_t* bytes)
{
    MeterDateTime when;
    when.nYear = bytes[0] * 256 + bytes[1];
    when.nMonth = bytes[2];
    when.nDay = bytes[3];
    when.nHour = bytes[4];
    when.nMinute = bytes[5];
    when.nSecond = bytes[6];
    return when;
}

std::string FormatLocalTime(int64_t time)
{
    const time_t t = static_cast<time_t>(time);
    struct tm parts = {};
    if (localtime_r(&t, &parts) == nullptr)
        return std::string();
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return std::string();
    return text;
}

std::string FormatRecordTime(const MeterDateTime& when)
{
    int64_t time = 0;
    if (MeterDateTimeToTime(when, &time)) {
        std::string text = FormatLocalTime(time);
        if (!text.empty())
            return text;
    }
    char text[96];
    std::snprintf(text, sizeof text, "시간 오류 (%04d-%02d-%02d %02d:%02d:%02d)", when.nYear,
                  when.nMonth, when.nDay, when.nHour, when.nMinute, when.nSecond);
    return text;
}

bool PackStoredNumber(const std::string& text, uint8_t* packed)
{
    int digits[11];
    int nCount = 0;
    for (char c : text) {
        if (c == '-')
            continue;
        if (c < '0' || c > '9' || nCount == 11)
            return false;
        digits[nCount++] = c - '0';
    }
    if (nCount != 11)
        return false;
    // Each byte carries the decimal value v of its digit pair as
    // (v / 10) * 16 + v % 10, i.e. packed BCD.
    auto pair = [&](int high, int low) {
        return static_cast<uint8_t>((high << 4) | low);
    };
    packed[0] = pair(digits[9], digits[10]);
    packed[1] = pair(digits[7], digits[8]);
    packed[2] = pair(digits[5], digits[6]);
    packed[3] = pair(digits[3], digits[4]);
    packed[4] = pair(digits[1], digits[2]);
    packed[5] = pair(0, digits[0]);
    return true;
}

std::string FormatStoredNumber(const uint8_t* packed)
{
    char text[32];
    std::snprintf(text, sizeof text, "%01X%02X-%02X%02X-%02X%02X", packed[5], packed[4], packed[3],
                  packed[2], packed[1], packed[0]);
    return text;
}

void EncodeClockRecord(const MeterClock& clock, uint8_t* record)
{
    EncodeDateTime(clock.when, record);
    for (int i = 0; i < 6; ++i)
        record[7 + i] = clock.storedNumber[i];
}

MeterClock DecodeClockRecord(const uint8_t* record)
{
    MeterClock clock;
    clock.when = DecodeDateTime(record);
    for (int i = 0; i < 6; ++i)
        clock.storedNumber[i] = record[7 + i];
    return clock;
}

MeterClock MakeMeterClock(int64_t time)
{
    MeterClock clock;
    LocalDateTime(time, &clock.when);
    PackStoredNumber(kFixedStoredNumber, clock.storedNumber);
    return clock;
}

bool IsPlausibleClockYear(int year)
{
    return year > 1970 && year < 2200;
}
