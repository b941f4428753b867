#include "ArchiveTypes.h"

#include "MeterTime.h"

int64_t StoredTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    return int64_t(year) * 10000000000LL + int64_t(month) * 100000000LL + int64_t(day) * 1000000LL +
           int64_t(hour) * 10000 + int64_t(minute) * 100 + second;
}

int64_t StoredTimeOfRecord(const uint8_t* record)
{
    const MeterDateTime when = DecodeDateTime(record);
    return StoredTimeOf(when.nYear, when.nMonth, when.nDay, when.nHour, when.nMinute, when.nSecond);
}

MeterDateTime StoredTimeFields(int64_t storedTime)
{
    MeterDateTime when;
    when.nYear = int(storedTime / 10000000000LL);
    when.nMonth = int(storedTime / 100000000LL % 100);
    when.nDay = int(storedTime / 1000000LL % 100);
    when.nHour = int(storedTime / 10000 % 100);
    when.nMinute = int(storedTime / 100 % 100);
    when.nSecond = int(storedTime % 100);
    return when;
}

std::string FormatStoredTime(int64_t storedTime)
{
    return FormatRecordTime(StoredTimeFields(storedTime));
}
