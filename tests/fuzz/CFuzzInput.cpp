#include "CFuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

uint8_t CFuzzInput::Byte()
{
    return m_nPos < m_nSize ? m_pData[m_nPos++] : 0;
}

uint16_t CFuzzInput::Word()
{
    const uint16_t high = Byte();
    return uint16_t(high << 8 | Byte());
}

std::vector<uint8_t> CFuzzInput::Block(size_t count)
{
    const size_t n = count < Remaining() ? count : Remaining();
    std::vector<uint8_t> bytes(m_pData + m_nPos, m_pData + m_nPos + n);
    m_nPos += n;
    return bytes;
}

std::string CFuzzInput::Text(size_t maxLength)
{
    const size_t length = Byte() % (maxLength + 1);
    const std::vector<uint8_t> bytes = Block(length);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> CFuzzInput::Rest()
{
    return Block(Remaining());
}

void FuzzFail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::abort();
}

void FuzzUseUtc()
{
    static const bool s_bDone = [] {
        setenv("TZ", "UTC", 1);
        tzset();
        return true;
    }();
    (void)s_bDone;
}
