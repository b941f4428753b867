#pragma once
// A stack of its own for the crash handler, on the thread that creates this
// object, for as long as the object lives.
//
// A thread that overflows its stack leaves the handler no room to run on, and
// the crash ends without a record. Every thread the program starts therefore
// creates one of these first thing, as a local of its thread function, so it
// lasts the thread's whole run:
//
//     void Worker() { CCrashAltStack altStack; ... }
//
// (InstallCrashFilter does the same for the thread that installs it.) Plain
// C++ with no toolkit: any thread of any library can use it.

#include <cstddef>

#ifndef _WIN32
#include <csignal>
#endif

class CCrashAltStack {
public:
    // Large enough for the unwinder and for sanitizer-instrumented handler code.
    static constexpr std::size_t kSize = 256 * 1024;

    CCrashAltStack();
    ~CCrashAltStack();   // puts back what the thread had before

    CCrashAltStack(const CCrashAltStack&) = delete;
    CCrashAltStack& operator=(const CCrashAltStack&) = delete;

    // False when the stack could not be set up (no memory); the thread then
    // runs as it would have without.
    bool IsActive() const { return m_bActive; }

    // For a thread whose function is not ours to write (a QThread running
    // its event loop: call it from a slot of the thread's started signal, on
    // that thread): gives the calling thread a stack that lasts until the
    // thread ends. A second call on the same thread does nothing.
    static void ForThisThread();

private:
    bool m_bActive = false;
#ifndef _WIN32
    void* m_pStack = nullptr;
    stack_t m_oldStack {};
#endif
};
