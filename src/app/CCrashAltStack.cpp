#include "CCrashAltStack.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32

// Windows runs the exception filter on the faulting thread's own stack; what
// a thread can do is keep back a part of it that only the overflow handling
// may use.
CCrashAltStack::CCrashAltStack()
{
    ULONG guarantee = 64 * 1024;
    m_bActive = SetThreadStackGuarantee(&guarantee) != 0;
}

CCrashAltStack::~CCrashAltStack() = default;

#else

CCrashAltStack::CCrashAltStack()
{
    m_pStack = std::malloc(kSize);
    if (!m_pStack)
        return;
    stack_t stack {};
    stack.ss_sp = m_pStack;
    stack.ss_size = kSize;
    m_bActive = sigaltstack(&stack, &m_oldStack) == 0;
    if (!m_bActive) {
        std::free(m_pStack);
        m_pStack = nullptr;
    }
}

CCrashAltStack::~CCrashAltStack()
{
    if (!m_bActive)
        return;
    // The memory may go only once the thread no longer points at it.
    if (sigaltstack(&m_oldStack, nullptr) == 0)
        std::free(m_pStack);
}

#endif

void CCrashAltStack::ForThisThread()
{
    thread_local const CCrashAltStack s_altStack;
    (void)s_altStack;
}
