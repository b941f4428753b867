#include "CXlsText.h"

#include <cstdint>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(std::u16string& out, uint32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::u16string CXlsText::FromUtf8(const std::string& utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    const size_t n = utf8.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b0 = static_cast<uint8_t>(utf8[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0;
        uint32_t minimum = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            extra = 1; cp = b0 & 0x1F; minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            extra = 2; cp = b0 & 0x0F; minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            extra = 3; cp = b0 & 0x07; minimum = 0x10000;
        } else {
            out.push_back(kReplacement);   // continuation byte or C0/C1/F5..FF lead
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= n || (static_cast<uint8_t>(utf8[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<uint8_t>(utf8[j]) & 0x3F);
        }
        if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(kReplacement);
            // Resume at the first byte that did not belong to the sequence,
            // so a good character after a cut-off one is kept.
            i = j;
            continue;
        }
        AppendCodePoint(out, cp);
        i = j;
    }
    return out;
}

std::string CXlsText::ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string CXlsText::Truncate(const std::u16string& text, size_t maxUnits)
{
    if (text.size() <= maxUnits)
        return text;
    size_t cut = maxUnits;
    if (cut > 0 && IsHighSurrogate(text[cut - 1]) && IsLowSurrogate(text[cut]))
        --cut;
    return text.substr(0, cut);
}

bool CXlsText::IsCompressible(const std::u16string& text)
{
    for (char16_t u : text) {
        if (u > 0xFF)
            return false;
    }
    return true;
}

std::u16string CXlsText::SanitizeSheetName(const std::u16string& name)
{
    std::u16string out;
    out.reserve(name.size());
    for (char16_t u : name) {
        switch (u) {
        case u':': case u'\\': case u'/': case u'?': case u'*': case u'[': case u']':
            out.push_back(u'_');
            break;
        default:
            out.push_back(u < 0x20 || u == 0x7F ? u'_' : u);
        }
    }
    out = Truncate(out, kMaxSheetNameUnits);
    // The tab name may hold an apostrophe, but not at either end.
    if (!out.empty() && out.front() == u'\'')
        out.front() = u'_';
    if (!out.empty() && out.back() == u'\'')
        out.back() = u'_';
    if (out.empty())
        return u"Sheet1";
    std::u16string lower = out;
    for (char16_t& u : lower) {
        if (u >= u'A' && u <= u'Z')
            u = static_cast<char16_t>(u - u'A' + u'a');
    }
    if (lower == u"history")
        out.push_back(u'_');
    return out;
}
