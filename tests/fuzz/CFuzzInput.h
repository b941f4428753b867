#pragma once
// Reads a fuzzer's bytes as a sequence of small decisions. Every read
// succeeds: past the end it answers zeros and empty blocks, so a short input
// is simply a run that decides "no" to everything still to come.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFuzzInput {
public:
    CFuzzInput(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}

    bool Empty() const { return m_nPos >= m_nSize; }
    size_t Remaining() const { return m_nSize - m_nPos; }

    uint8_t Byte();
    uint16_t Word();                        // big-endian
    // count bytes, or fewer when the input runs out.
    std::vector<uint8_t> Block(size_t count);
    // A length byte (at most maxLength) and that many bytes.
    std::string Text(size_t maxLength);
    std::vector<uint8_t> Rest();

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

// A property of the code under test that does not hold: says which and
// aborts, which both the fuzzer and the regression run count as a finding.
[[noreturn]] void FuzzFail(const char* what, const char* file, int line);
#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : FuzzFail(#condition, __FILE__, __LINE__))

// Local time is UTC for the whole run, so that dates decode the same on
// every machine.
void FuzzUseUtc();
