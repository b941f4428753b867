#include "TextCodec.h"

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the sequence that starts with lead byte c, 0 when c cannot start one.
std::size_t SequenceLength(unsigned char c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t len = SequenceLength(c);
        if (len == 0 || i + len > n)
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if (!IsContinuation(static_cast<unsigned char>(bytes[i + k])))
                return false;
        if (len >= 3) {
            const auto c1 = static_cast<unsigned char>(bytes[i + 1]);
            // Overlong three- and four-byte forms, UTF-16 surrogates, > U+10FFFF.
            if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) ||
                (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
                return false;
        }
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto b0 = static_cast<unsigned char>(bytes[2 * i]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? char32_t((b0 << 8) | b1) : char32_t((b1 << 8) | b0);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unitAt(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, u);   // a lone surrogate becomes U+FFFD there
    }
    return out;
}

} // namespace

std::string Utf16LeToUtf8(std::string_view bytes)
{
    return Utf16ToUtf8(bytes, false);
}

#ifdef _WIN32

std::string Cp949ToUtf8(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    // Without MB_ERR_INVALID_CHARS the code page's invalid bytes become the
    // default character instead of failing the whole text.
    const int n = static_cast<int>(bytes.size());
    const int wideLen = MultiByteToWideChar(949, 0, bytes.data(), n, nullptr, 0);
    if (wideLen <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(wideLen), L'\0');
    MultiByteToWideChar(949, 0, bytes.data(), n, wide.data(), wideLen);
    const int outLen = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLen, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(outLen > 0 ? outLen : 0), '\0');
    if (outLen > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLen, out.data(), outLen, nullptr, nullptr);
    return out;
}

#else

std::string Cp949ToUtf8(std::string_view bytes)
{
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP949");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: keep the ASCII, mark the rest.
        for (char c : bytes)
            AppendUtf8(out, static_cast<unsigned char>(c) < 0x80 ? char32_t(c) : kReplacement);
        return out;
    }
    out.reserve(bytes.size() * 3 / 2);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, sizeof buffer - dstLeft);
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (err == E2BIG)
            continue;
        // EILSEQ or an incomplete last character: mark one byte and go on.
        // iconv may have taken a broken last character whole, with nothing
        // left to skip.
        AppendUtf8(out, kReplacement);
        if (inLeft == 0)
            break;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

#endif

std::string DecodeTextFile(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE")
        return Utf16ToUtf8(bytes.substr(2), false);
    else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF")
        return Utf16ToUtf8(bytes.substr(2), true);
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Cp949ToUtf8(bytes);
}

std::string SanitizeUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t len = SequenceLength(static_cast<unsigned char>(bytes[i]));
        if (len != 0 && i + len <= bytes.size() && IsValidUtf8(bytes.substr(i, len))) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            AppendUtf8(out, kReplacement);
            ++i;
        }
    }
    return out;
}

std::string TruncateUtf8(std::string_view text, std::size_t maxCodePoints)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuation(static_cast<unsigned char>(text[i])))
            continue;
        if (count == maxCodePoints)
            return std::string(text.substr(0, i));
        ++count;
    }
    return std::string(text);
}

std::size_t CountUtf8(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text)
        if (!IsContinuation(static_cast<unsigned char>(c)))
            ++count;
    return count;
}
