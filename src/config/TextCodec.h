#pragma once
// Text conversions of the settings files. Everything inside the program is
// UTF-8; a file carried over from a Korean Windows PC may be in the system's
// ANSI code page (CP949) or in UTF-16LE with a byte order mark.

#include <cstddef>
#include <string>
#include <string_view>

// True when bytes is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of one code point; surrogates and values above
// U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-16LE bytes (without BOM) to UTF-8. Unpaired surrogates become U+FFFD;
// an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes);

// CP949 (Korean Windows code page, a superset of EUC-KR) to UTF-8. A byte
// that starts no valid character becomes U+FFFD, so nothing stops the rest.
std::string Cp949ToUtf8(std::string_view bytes);

// The content of a text file as UTF-8: a UTF-8 BOM is removed, a UTF-16LE or
// UTF-16BE BOM selects that encoding, valid UTF-8 is taken as it is, and
// anything else is read as CP949.
std::string DecodeTextFile(std::string_view bytes);

// bytes with every ill-formed sequence replaced by U+FFFD: valid UTF-8.
std::string SanitizeUtf8(std::string_view bytes);

// The first maxCodePoints characters of a UTF-8 text. Never cuts inside a
// multi-byte sequence.
std::string TruncateUtf8(std::string_view text, std::size_t maxCodePoints);

// Number of characters (code points) of a UTF-8 text.
std::size_t CountUtf8(std::string_view text);
