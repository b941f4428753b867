#pragma once
// Points in time as the meter keeps them (separate year, month, day, hour,
// minute and second fields in local time) and the 13-byte clock record of
// the set-clock request and the read-clock reply.

#include <cstdint>
#include <string>

struct MeterDateTime {
    int nYear = 0;
    int nMonth = 0;    // 1..12
    int nDay = 0;      // 1..31
    int nHour = 0;     // 0..23
    int nMinute = 0;
    int nSecond = 0;
};

// Whether the fields can be made into a point in time: year from 1900,
// month 1-12, day 1-31, hour up to 23, minute and second up to 59. Inside
// these ranges the local-time conversion normalises (31 February is 3 March).
bool IsValidMeterDateTime(const MeterDateTime& when);

// Local-time conversion; false (and *time untouched) for invalid fields.
bool MeterDateTimeToTime(const MeterDateTime& when, int64_t* time);

// The local fields of a point in time. When the conversion fails the date
// fields are 0 and the time fields 0xFF, which the meter rejects as a time.
bool LocalDateTime(int64_t time, MeterDateTime* when);
MeterDateTime LocalDateTime(int64_t time);

// @0 2 year, big-endian  @2 1 month  @3 1 day  @4 1 hour  @5 1 minute  @6 1 second
void EncodeDateTime(const MeterDateTime& when, uint8_t* bytes);
MeterDateTime DecodeDateTime(const uint8_t* bytes);

// "%Y-%m-%d %H:%M:%S" in local time; empty when the time cannot be shown.
std::string FormatLocalTime(int64_t time);
// A record's time for display: the local time when the fields are valid,
// otherwise "시간 오류 (YYYY-MM-DD HH:MM:SS)" with the raw numbers, so a
// record with a broken clock is still shown and marked.
std::string FormatRecordTime(const MeterDateTime& when);

// The number the meter keeps with its clock: 11 decimal digits written as
// NNN-NNNN-NNNN. The program always stores this one.
extern const char* const kFixedStoredNumber;   // "000-1234-5678"

// Packs the digits (dashes are dropped) into the six bytes @7..@12 of the
// clock record. With the digits d0..d10 from the left:
//   @7 d9 d10   @8 d7 d8   @9 d5 d6   @10 d3 d4   @11 d1 d2   @12 0 d0
// each pair as packed BCD (first digit in the high nibble). False, with
// nothing written, unless the text holds exactly 11 digits besides dashes.
bool PackStoredNumber(const std::string& text, uint8_t* packed);
// The six bytes back as text: "%01X%02X-%02X%02X-%02X%02X" of @12..@7.
std::string FormatStoredNumber(const uint8_t* packed);

enum : int { CLOCK_RECORD_LEN = 13 };

struct MeterClock {
    MeterDateTime when;
    uint8_t storedNumber[6] = {0, 0, 0, 0, 0, 0};   // @7..@12 as they travel
};

// @0 7 date and time (EncodeDateTime)  @7 6 stored number (PackStoredNumber)
void EncodeClockRecord(const MeterClock& clock, uint8_t* record);
MeterClock DecodeClockRecord(const uint8_t* record);

// The clock record for setting the meter to a point in time with the fixed
// stored number.
MeterClock MakeMeterClock(int64_t time);

// The years a read-back clock is shown for; outside them the meter's clock
// was never set.
bool IsPlausibleClockYear(int year);
