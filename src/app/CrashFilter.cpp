#include "CrashFilter.h"

#include "CCrashAltStack.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#include <dbghelp.h>
#else
#include <csignal>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kMaxDir = 4096;
constexpr std::size_t kMaxPath = kMaxDir + 64;
// Names tried for one record: the second's own, then with the process id,
// then with the process id and a counter.
constexpr int kNameAttempts = 100;

// Two buffers, so that changing the folder never leaves a half-copied one
// visible to a crash on another thread.
char g_aDumpDirs[2][kMaxDir];
std::atomic<int> g_nDumpDir {-1};   // buffer in use, -1: none set

#ifndef _WIN32
// The local clock's offset from UTC, as spans that each begin at a UTC
// second, from a day before the last refresh to kOffsetHorizon after it. The
// handler may not consult the time zone, so the changes to and from summer
// time are worked out beforehand (at installation and whenever the folder is
// set) and the handler only looks up the span its moment falls in.
struct SOffsetSpan {
    int64_t m_nFrom;   // first UTC second of the span
    long m_nOffset;    // seconds to add to UTC
};
struct SOffsetTable {
    SOffsetSpan m_aSpans[32];
    int m_nCount = 0;
};
constexpr int64_t kDay = 86400;
constexpr int64_t kOffsetHorizon = 3 * 366 * kDay;
// Two tables, so that a refresh never changes the one a crash may be reading.
SOffsetTable g_aOffsetTables[2];
std::atomic<int> g_nOffsetTable {-1};   // table in use, -1: none yet
std::mutex g_csOffsetRefresh;           // refreshes only, never the handler
#endif

std::atomic<bool> g_bInstalled {false};

// Bounded text building without allocation.
struct CFixedText {
    char* m_pBuf;
    std::size_t m_nSize;
    std::size_t m_nLen = 0;
    bool m_bOk = true;

    CFixedText(char* buf, std::size_t size) : m_pBuf(buf), m_nSize(size)
    {
        if (size)
            buf[0] = '\0';
        else
            m_bOk = false;
    }
    void Add(char c)
    {
        if (!m_bOk || m_nLen + 1 >= m_nSize) {
            m_bOk = false;
            return;
        }
        m_pBuf[m_nLen++] = c;
        m_pBuf[m_nLen] = '\0';
    }
    void Add(const char* s)
    {
        while (s && *s)
            Add(*s++);
    }
    void AddDec(int64_t v, int minDigits = 1)
    {
        char digits[24];
        int n = 0;
        uint64_t u = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
        do {
            digits[n++] = char('0' + u % 10);
            u /= 10;
        } while (u && n < 24);
        while (n < minDigits && n < 24)
            digits[n++] = '0';
        if (v < 0)
            Add('-');
        while (n)
            Add(digits[--n]);
    }
    void AddHex(uintptr_t v)
    {
        Add("0x");
        char digits[2 * sizeof v];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v & 0xF];
            v >>= 4;
        } while (v);
        while (n)
            Add(digits[--n]);
    }
};

struct SCivilTime {
    int64_t year;
    int month, day, hour, minute, second;
};

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
SCivilTime CivilFromSeconds(int64_t seconds)
{
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    SCivilTime t {};
    t.day = int(doy - (153 * mp + 2) / 5 + 1);
    t.month = int(mp < 10 ? mp + 3 : mp - 9);
    t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
    t.hour = int(rest / 3600);
    t.minute = int(rest % 3600 / 60);
    t.second = int(rest % 60);
    return t;
}

void AddTimestamp(CFixedText& text, int64_t localSeconds, char dateTimeSep, char timeSep)
{
    const SCivilTime t = CivilFromSeconds(localSeconds);
    text.AddDec(t.year);
    text.Add('-');
    text.AddDec(t.month, 2);
    text.Add('-');
    text.AddDec(t.day, 2);
    text.Add(dateTimeSep);
    text.AddDec(t.hour, 2);
    text.Add(timeSep);
    text.AddDec(t.minute, 2);
    text.Add(timeSep);
    text.AddDec(t.second, 2);
}

const char* ActiveDumpDir()
{
    const int index = g_nDumpDir.load();
    return index < 0 ? nullptr : g_aDumpDirs[index];
}

#ifdef _WIN32

void RefreshUtcOffsets()
{
    // The exception filter is no signal handler: it asks the time zone itself.
}

#else

long UtcOffsetAt(int64_t utcSeconds)
{
    const std::time_t t = std::time_t(utcSeconds);
    struct tm local {};
    return localtime_r(&t, &local) ? local.tm_gmtoff : 0;
}

void RefreshUtcOffsets()
{
    std::lock_guard<std::mutex> lock(g_csOffsetRefresh);
    const int next = g_nOffsetTable.load() == 0 ? 1 : 0;
    SOffsetTable& table = g_aOffsetTables[next];
    const int64_t now = int64_t(std::time(nullptr));
    const int64_t end = now + kOffsetHorizon;
    int64_t t = now - kDay;
    long offset = UtcOffsetAt(t);
    table.m_aSpans[0] = {std::numeric_limits<int64_t>::min(), offset};
    table.m_nCount = 1;
    const int capacity = int(sizeof table.m_aSpans / sizeof table.m_aSpans[0]);
    // A day at a time; within the day where the offset changes, the second
    // it changes by halving. Zones change at most a few times a year.
    while (t < end && table.m_nCount < capacity) {
        const int64_t step = std::min(kDay, end - t);
        if (UtcOffsetAt(t + step) == offset) {
            t += step;
            continue;
        }
        int64_t same = t, changed = t + step;
        while (changed - same > 1) {
            const int64_t mid = same + (changed - same) / 2;
            (UtcOffsetAt(mid) == offset ? same : changed) = mid;
        }
        offset = UtcOffsetAt(changed);
        table.m_aSpans[table.m_nCount++] = {changed, offset};
        t = changed;
    }
    g_nOffsetTable.store(next);
}

#endif

int64_t LocalSecondsNow()
{
    return LocalSecondsForRecord(int64_t(std::time(nullptr)));
}

} // namespace

int64_t LocalSecondsForRecord(int64_t utcSeconds)
{
#ifdef _WIN32
    constexpr int64_t kEpochGap = 11644473600LL;   // 1601-01-01 to 1970-01-01
    ULARGE_INTEGER utc {};
    utc.QuadPart = uint64_t(utcSeconds + kEpochGap) * 10000000ULL;
    FILETIME utcFile {utc.LowPart, utc.HighPart}, localFile {};
    SYSTEMTIME utcTime {}, localTime {};
    if (!FileTimeToSystemTime(&utcFile, &utcTime) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &localTime) ||
        !SystemTimeToFileTime(&localTime, &localFile))
        return utcSeconds;
    ULARGE_INTEGER local {};
    local.LowPart = localFile.dwLowDateTime;
    local.HighPart = localFile.dwHighDateTime;
    return int64_t(local.QuadPart / 10000000ULL) - kEpochGap;
#else
    const int index = g_nOffsetTable.load();
    if (index < 0)
        return utcSeconds;
    const SOffsetTable& table = g_aOffsetTables[index];
    long offset = table.m_aSpans[0].m_nOffset;
    for (int i = 1; i < table.m_nCount && table.m_aSpans[i].m_nFrom <= utcSeconds; ++i)
        offset = table.m_aSpans[i].m_nOffset;
    return utcSeconds + offset;
#endif
}

std::size_t BuildDumpPath(char* out, std::size_t size, const char* dumpDir, int64_t localSeconds,
                          long processId, int counter)
{
    CFixedText text(out, size);
    text.Add(dumpDir);
    AddTimestamp(text, localSeconds, '_', '-');
    if (processId > 0) {
        text.Add('_');
        text.AddDec(processId);
        if (counter > 0) {
            text.Add('-');
            text.AddDec(counter);
        }
    }
    text.Add(".dmp");
    if (!text.m_bOk) {
        if (size)
            out[0] = '\0';
        return 0;
    }
    return text.m_nLen;
}

void SetCrashDumpDir(const std::string& dumpDir)
{
    RefreshUtcOffsets();
    if (dumpDir.empty() || dumpDir.size() >= kMaxDir) {
        g_nDumpDir.store(-1);
        return;
    }
    const int next = g_nDumpDir.load() == 0 ? 1 : 0;
    std::memcpy(g_aDumpDirs[next], dumpDir.c_str(), dumpDir.size() + 1);
    g_nDumpDir.store(next);
}

std::string BuildDumpPath()
{
    const char* dir = ActiveDumpDir();
    if (!dir)
        return {};
    RefreshUtcOffsets();
    char path[kMaxPath];
    return BuildDumpPath(path, sizeof path, dir, LocalSecondsNow()) ? std::string(path) : std::string();
}

bool IsCrashFilterInstalled()
{
    return g_bInstalled.load();
}

#ifdef _WIN32

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER g_pOldFilter = nullptr;
std::terminate_handler g_pOldTerminate = nullptr;

void WriteMiniDump(EXCEPTION_POINTERS* pointers)
{
    const char* dir = ActiveDumpDir();
    if (!dir)
        return;
    const int64_t now = LocalSecondsNow();
    HANDLE file = INVALID_HANDLE_VALUE;
    // An earlier record of the same second is kept (see CreateRecordFile).
    for (int attempt = 0; attempt < kNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        char path[kMaxPath];
        wchar_t wide[kMaxPath];
        if (!BuildDumpPath(path, sizeof path, dir, now, attempt ? long(GetCurrentProcessId()) : 0,
                           attempt > 1 ? attempt : 0) ||
            !MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, int(kMaxPath)))
            return;
        file = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return;
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    MINIDUMP_EXCEPTION_INFORMATION info {};
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = pointers;
    info.ClientPointers = FALSE;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                      pointers ? &info : nullptr, nullptr, nullptr);
    CloseHandle(file);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers)
{
    WriteMiniDump(pointers);
    // End with the exception's code, not 0: a crash must not look like a normal exit.
    TerminateProcess(GetCurrentProcess(), pointers ? pointers->ExceptionRecord->ExceptionCode : 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

void CrashTerminate()
{
    WriteMiniDump(nullptr);
    TerminateProcess(GetCurrentProcess(), 3);   // the code abort() ends with
}

} // namespace

bool InstallCrashFilter(const std::string& dumpDir)
{
    SetCrashDumpDir(dumpDir);
    if (g_bInstalled.exchange(true))
        return true;
    g_pOldFilter = SetUnhandledExceptionFilter(CrashFilter);
    g_pOldTerminate = std::set_terminate(CrashTerminate);
    return true;
}

void RemoveCrashFilter()
{
    if (!g_bInstalled.exchange(false))
        return;
    SetUnhandledExceptionFilter(g_pOldFilter);
    std::set_terminate(g_pOldTerminate);
}

#else

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction g_aOldActions[kSignalCount];
std::terminate_handler g_pOldTerminate = nullptr;

// The installing thread's own stack for the handler.
CCrashAltStack* g_pAltStack = nullptr;

// Thread that is writing the record, 0 while none is.
std::atomic<long> g_nCrashingThread {0};
static_assert(std::atomic<long>::is_always_lock_free, "the handler needs a lock-free flag");

const char* SignalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

long CurrentThreadId()
{
    return long(syscall(SYS_gettid));
}

void WriteText(int fd, const char* s, std::size_t n)
{
    while (n > 0) {
        const ssize_t done = write(fd, s, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        s += done;
        n -= std::size_t(done);
    }
}

void WriteLine(int fd, const CFixedText& text)
{
    WriteText(fd, text.m_pBuf, text.m_nLen);
    WriteText(fd, "\n", 1);
}

void CopyFileInto(int fd, const char* path)
{
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        WriteText(fd, buffer, std::size_t(n));
    }
    close(in);
}

// A new file for the record. A record of the same second is another crash a
// moment earlier (another instance started from the same folder) and is
// kept: the first takes the second's own name, later ones add the process id
// and, should that be taken too, a counter. -1 when none can be made.
int CreateRecordFile(const char* dir, int64_t localSeconds)
{
    char path[kMaxPath];
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!BuildDumpPath(path, sizeof path, dir, localSeconds, attempt ? long(getpid()) : 0,
                           attempt > 1 ? attempt : 0))
            return -1;
        const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// info is null for std::terminate; what is the escaping exception's text.
void WriteRecord(int sig, const siginfo_t* info, const char* reason, const char* what)
{
    const char* dir = ActiveDumpDir();
    if (!dir)
        return;
    const int64_t now = LocalSecondsNow();
    const int fd = CreateRecordFile(dir, now);
    if (fd < 0)
        return;

    char buffer[512];
    auto line = [&](auto&& fill) {
        CFixedText text(buffer, sizeof buffer);
        fill(text);
        WriteLine(fd, text);
    };
    line([&](CFixedText& t) { t.Add("Brevane crash record"); });
    line([&](CFixedText& t) {
        t.Add("time: ");
        AddTimestamp(t, now, ' ', ':');
    });
    if (reason)
        line([&](CFixedText& t) {
            t.Add("reason: ");
            t.Add(reason);
        });
    if (what)
        line([&](CFixedText& t) {
            t.Add("exception: ");
            t.Add(what);
        });
    line([&](CFixedText& t) {
        t.Add("signal: ");
        t.AddDec(sig);
        t.Add(' ');
        t.Add(SignalName(sig));
    });
    if (info) {
        line([&](CFixedText& t) {
            t.Add("code: ");
            t.AddDec(info->si_code);
        });
        if (sig != SIGABRT)
            line([&](CFixedText& t) {
                t.Add("address: ");
                t.AddHex(reinterpret_cast<uintptr_t>(info->si_addr));
            });
    }
    line([&](CFixedText& t) {
        t.Add("process: ");
        t.AddDec(getpid());
        t.Add("  thread: ");
        t.AddDec(CurrentThreadId());
    });

    WriteText(fd, "backtrace:\n", 11);
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);

    WriteText(fd, "memory map:\n", 12);
    CopyFileInto(fd, "/proc/self/maps");
    close(fd);
}

[[noreturn]] void EndByDefault(int sig)
{
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig);   // pending while the handler blocks it
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    _exit(128 + sig);   // only if the default action did not end the process
}

// False when another thread is already writing a record; it ends the
// process, so this thread only waits. A fault inside the handler itself
// (same thread) ends the process at once.
bool EnterCrash(int sig)
{
    const long self = CurrentThreadId();
    long expected = 0;
    if (g_nCrashingThread.compare_exchange_strong(expected, self))
        return true;
    if (expected == self)
        EndByDefault(sig);
    return false;
}

void CrashFilter(int sig, siginfo_t* info, void*)
{
    if (!EnterCrash(sig)) {
        for (;;)
            pause();
    }
    WriteRecord(sig, info, nullptr, nullptr);
    EndByDefault(sig);
}

void CrashTerminate()
{
    if (!EnterCrash(SIGABRT)) {
        for (;;)
            pause();
    }
    // Not a signal handler: asking for the escaping exception's text is safe here.
    const char* what = nullptr;
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            what = "(not a std::exception)";
        }
    }
    WriteRecord(SIGABRT, nullptr, "std::terminate", what);
    EndByDefault(SIGABRT);
}

} // namespace

bool InstallCrashFilter(const std::string& dumpDir)
{
    SetCrashDumpDir(dumpDir);
    if (g_bInstalled.load())
        return true;

    // backtrace() loads the unwinder on its first call, which allocates:
    // do that now, not in the handler.
    void* frames[4];
    backtrace(frames, 4);

    // A stack overflow leaves no stack to run the handler on. This one serves
    // the installing thread (the user-interface thread); every other thread
    // brings its own (CCrashAltStack).
    if (!g_pAltStack)
        g_pAltStack = new CCrashAltStack;

    struct sigaction action {};
    action.sa_sigaction = CrashFilter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
        if (sigaction(kSignals[i], &action, &g_aOldActions[i]) != 0) {
            for (int k = 0; k < i; ++k)
                sigaction(kSignals[k], &g_aOldActions[k], nullptr);
            return false;
        }
    }
    g_pOldTerminate = std::set_terminate(CrashTerminate);
    g_nCrashingThread.store(0);
    g_bInstalled.store(true);
    return true;
}

void RemoveCrashFilter()
{
    if (!g_bInstalled.exchange(false))
        return;
    std::set_terminate(g_pOldTerminate);
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kSignals[i], &g_aOldActions[i], nullptr);
    delete g_pAltStack;
    g_pAltStack = nullptr;
}

#endif
