#include "CExportText.h"

#include "CXlsText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// A strict check (no overlong forms, surrogates or values past U+10FFFF);
// valid text, by far the common case, is then returned without a copy
// through UTF-16.
bool IsValidUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        if (p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        p += extra + 1;
    }
    return true;
}

void AppendOffset(std::string& out, long offsetSeconds)
{
    const long minutes = std::labs(offsetSeconds) / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    out += text;
}

}   // namespace

std::string CExportText::ValidUtf8(std::string_view text)
{
    if (IsValidUtf8(text))
        return std::string(text);
    return CXlsText::ToUtf8(CXlsText::FromUtf8(std::string(text)));
}

std::string CExportText::UtcOffset(int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local {};
    if (!localtime_r(&t, &local))
        return {};
    std::string text;
    AppendOffset(text, local.tm_gmtoff);
    return text;
}

std::string CExportText::IsoLocalTime(int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local {};
    if (!localtime_r(&t, &local))
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string iso = text;
    AppendOffset(iso, local.tm_gmtoff);
    return iso;
}

std::string CExportText::RawFields(const MeterDateTime& when)
{
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.nYear, when.nMonth, when.nDay,
                  when.nHour, when.nMinute, when.nSecond);
    return text;
}

void CExportText::AppendTenths(std::string& out, int64_t tenths, char decimalPoint)
{
    // Through unsigned so that the most negative value does not overflow.
    const uint64_t magnitude = tenths < 0 ? 0 - static_cast<uint64_t>(tenths) : static_cast<uint64_t>(tenths);
    if (tenths < 0)
        out += '-';
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, magnitude / 10);
    out.append(digits, r.ptr);
    out += decimalPoint;
    out += char('0' + magnitude % 10);
}

std::string CExportText::Number(double value, char decimalPoint)
{
    if (!std::isfinite(value))
        return {};
    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, value);
    std::string out(text, r.ptr);
    if (decimalPoint != '.')
        for (char& c : out)
            if (c == '.')
                c = decimalPoint;
    return out;
}
