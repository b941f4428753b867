#pragma once
// Text helpers of the workbook writer. Callers hand in UTF-8; a workbook
// keeps every text as UTF-16 code units, which is what the file stores.

#include <cstddef>
#include <string>

class CXlsText {
public:
    // Invalid UTF-8 (stray continuation bytes, overlong forms, encoded
    // surrogates, values past U+10FFFF, cut-off sequences) becomes U+FFFD
    // per bad sequence, so a broken text still shows where it went wrong.
    static std::u16string FromUtf8(const std::string& utf8);
    static std::string ToUtf8(const std::u16string& text);

    // At most maxUnits code units; a surrogate pair is never cut in half.
    static std::u16string Truncate(const std::u16string& text, size_t maxUnits);

    // True when every code unit fits one byte, so the file may store the
    // text with one byte per character.
    static bool IsCompressible(const std::u16string& text);

    // A name the sheet tab accepts: at most 31 units, none of : \ / ? * [ ]
    // or control characters (each becomes '_'), no apostrophe at either end,
    // not empty (then "Sheet1") and not the reserved name "History".
    static std::u16string SanitizeSheetName(const std::u16string& name);

    static constexpr size_t kMaxSheetNameUnits = 31;
};
