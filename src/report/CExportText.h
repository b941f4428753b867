#pragma once
// Text and number helpers shared by the open export formats (CSV, .xlsx,
// JSON): every text they write is valid UTF-8, every time carries its UTC
// offset and every number is written the same way in each of them.

#include "MeterTime.h"

#include <cstdint>
#include <string>
#include <string_view>

class CExportText {
public:
    // The text itself when it is valid UTF-8; otherwise each bad sequence
    // becomes U+FFFD, so the file stays readable and shows where it broke.
    static std::string ValidUtf8(std::string_view text);

    // ISO 8601 local time of the PC's zone with its offset,
    // "2026-03-05T14:07:09+09:00"; empty when the time cannot be shown.
    static std::string IsoLocalTime(int64_t time);
    // "+09:00" / "-03:30": the zone's offset at that time; empty when unknown.
    static std::string UtcOffset(int64_t time);
    // The raw fields as the meter sent them, "2026-13-01 10:00:00".
    static std::string RawFields(const MeterDateTime& when);

    // A count of tenths as a decimal number with one decimal, the given
    // decimal point: 1234 -> "123.4", -5 -> "-0.5". Exact, no rounding.
    static void AppendTenths(std::string& out, int64_t tenths, char decimalPoint = '.');
    // A real number in the shortest form that reads back as the same double,
    // decimal point as given; "" for NaN and infinities (the caller decides
    // what a missing number is in its format).
    static std::string Number(double value, char decimalPoint = '.');
};
