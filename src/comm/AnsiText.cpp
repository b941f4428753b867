#include "AnsiText.h"

#include <cstring>
#include <iconv.h>

namespace {

const char* const kAnsiCodePage = "CP949";

class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv()
    {
        if (IsOpen())
            iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one character's bytes; false when the converter rejects them.
    bool Convert(const char* bytes, size_t count, std::string* out)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char input[8];
        char output[16];
        std::memcpy(input, bytes, count);
        char* in = input;
        char* outPtr = output;
        size_t nIn = count;
        size_t nOut = sizeof output;
        if (iconv(m_cd, &in, &nIn, &outPtr, &nOut) == static_cast<size_t>(-1) || nIn != 0)
            return false;
        out->append(output, sizeof output - nOut);
        return true;
    }

private:
    iconv_t m_cd;
};

// Length of the UTF-8 sequence at text[i], or 0 when it is not one.
size_t Utf8SequenceLength(const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t nLen = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        nLen = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        nLen = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        nLen = 4;
    else
        return 0;
    if (i + nLen > text.size())
        return 0;
    for (size_t k = 1; k < nLen; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    return nLen;
}

bool IsAnsiLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

} // namespace

std::string Utf8ToAnsi(const std::string& utf8)
{
    CIconv converter(kAnsiCodePage, "UTF-8");
    std::string ansi;
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t nLen = Utf8SequenceLength(utf8, i);
        if (nLen == 0) {
            ansi.push_back('?');
            ++i;
            continue;
        }
        if (nLen == 1)
            ansi.push_back(utf8[i]);
        else if (!converter.IsOpen() || !converter.Convert(utf8.data() + i, nLen, &ansi))
            ansi.push_back('?');
        i += nLen;
    }
    return ansi;
}

std::string AnsiToUtf8(const uint8_t* field, size_t width)
{
    size_t nLen = 0;
    while (nLen < width && field[nLen] != 0)
        ++nLen;

    CIconv converter("UTF-8", kAnsiCodePage);
    const char* bytes = reinterpret_cast<const char*>(field);
    std::string utf8;
    size_t i = 0;
    while (i < nLen) {
        const unsigned char c = field[i];
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
            ++i;
        } else if (IsAnsiLeadByte(c) && i + 1 < nLen && converter.IsOpen()
                   && converter.Convert(bytes + i, 2, &utf8)) {
            i += 2;
        } else {
            utf8.push_back('?');
            ++i;
        }
    }
    return utf8;
}

std::string MakeAnsiField(const std::string& utf8, size_t width)
{
    const std::string ansi = Utf8ToAnsi(utf8);
    // Cut before a two-byte character that would not fit whole: half of one
    // would turn into a different character, or none, on the meter.
    size_t nKeep = 0;
    while (nKeep < ansi.size()) {
        const bool bDouble = IsAnsiLeadByte(static_cast<unsigned char>(ansi[nKeep]))
                             && nKeep + 1 < ansi.size();
        const size_t nChar = bDouble ? 2 : 1;
        if (nKeep + nChar > width)
            break;
        nKeep += nChar;
    }
    std::string field = ansi.substr(0, nKeep);
    field.append(width - nKeep, ' ');
    return field;
}
