#pragma once
#include <mutex>

// The link's lock. Re-entrant for the thread that holds it, so an operation
// that already holds it may call another one that takes it again.
class WinCriticalSection {
public:
    WinCriticalSection() = default;
    virtual ~WinCriticalSection() = default;

    WinCriticalSection(const WinCriticalSection&) = delete;
    WinCriticalSection& operator=(const WinCriticalSection&) = delete;

    void Enter();
    void Leave();

    // Holds the section for one scope and leaves it on every way out.
    class Guard {
    public:
        explicit Guard(WinCriticalSection& section) : m_section(section) { m_section.Enter(); }
        ~Guard() { m_section.Leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        WinCriticalSection& m_section;
    };

private:
    std::recursive_mutex m_mutex;
};
