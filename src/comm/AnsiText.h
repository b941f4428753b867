#pragma once
// Text fields of the meter travel as single-byte characters of the Korean
// ANSI code page (CP949: ASCII plus two-byte Hangul), without a terminator.
// Inside the program text is UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>

// UTF-8 to CP949. A character the code page lacks (or any non-ASCII one when
// the converter is unavailable) becomes '?'.
std::string Utf8ToAnsi(const std::string& utf8);

// A received field to UTF-8: the bytes up to the first zero or width bytes,
// whichever comes first. Bytes that are not CP949 become '?'.
std::string AnsiToUtf8(const uint8_t* field, size_t width);

// The exactly width bytes a text field is sent as: the text in CP949, cut
// at the width but never through a two-byte character, padded with spaces.
std::string MakeAnsiField(const std::string& utf8, size_t width);
