#pragma once
// A pseudo-terminal pair for tests: the test holds the master side and plays
// the meter; the code under test opens the slave side by its path like any
// serial port.

#include <cstdint>
#include <string>
#include <vector>

struct termios;

class CPseudoTerminal {
public:
    CPseudoTerminal();
    ~CPseudoTerminal();
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    bool IsOpen() const { return m_nMaster >= 0; }
    const std::string& SlavePath() const { return m_strSlavePath; }

    // Sends bytes to the slave side; false when not all of them went out.
    bool Write(const std::vector<uint8_t>& bytes);
    // What the slave side sent, until count bytes came or timeoutMs passed
    // without one.
    std::vector<uint8_t> Read(size_t count, int timeoutMs = 2000);
    // Closing the master hangs the slave side up.
    void CloseMaster();

    // The slave's line settings as the kernel holds them, through a
    // descriptor of its own.
    bool GetSlaveAttributes(termios* attributes) const;
    bool SetSlaveAttributes(const termios& attributes) const;

private:
    int m_nMaster = -1;
    std::string m_strSlavePath;
};
