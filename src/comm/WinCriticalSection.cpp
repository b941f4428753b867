#include "WinCriticalSection.h"

void WinCriticalSection::Enter()
{
    m_mutex.lock();
}

void WinCriticalSection::Leave()
{
    m_mutex.unlock();
}
