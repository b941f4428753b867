#include "CCrashAltStack.h"
#include "CrashFilter.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <spawn.h>
#include <thread>
#include <sys/wait.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct SProbeRun {
    int status = -1;
    pid_t pid = 0;
    std::time_t before = 0;
    std::time_t after = 0;
};

SProbeRun RunProbe(const std::string& dumpDir, const char* mode)
{
    SProbeRun run;
    const char* argv[] = {BREVANE_CRASH_PROBE, dumpDir.c_str(), mode, nullptr};
    run.before = std::time(nullptr);
    if (posix_spawn(&run.pid, BREVANE_CRASH_PROBE, nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
        waitpid(run.pid, &run.status, 0);
    run.after = std::time(nullptr);
    return run;
}

std::string NameFor(std::time_t t)
{
    struct tm local {};
    localtime_r(&t, &local);
    char name[64];
    std::snprintf(name, sizeof name, "%d-%02d-%02d_%02d-%02d-%02d.dmp", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

// The record named after a second of the run, or "".
std::string FindRecord(const std::string& dir, const SProbeRun& run)
{
    for (std::time_t t = run.before; t <= run.after; ++t)
        if (fs::exists(dir + NameFor(t)))
            return dir + NameFor(t);
    return {};
}

std::size_t CountFiles(const std::string& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++n;
    return n;
}

} // namespace

TEST(CrashFilter, RecordIsNamedAfterTheLocalTime)
{
    struct tm crash {};
    crash.tm_year = 2026 - 1900;
    crash.tm_mon = 11;
    crash.tm_mday = 6;
    crash.tm_hour = 9;
    crash.tm_min = 5;
    crash.tm_sec = 3;
    char path[128];
    ASSERT_GT(BuildDumpPath(path, sizeof path, "/p/Dmp/", timegm(&crash)), 0u);
    EXPECT_STREQ(path, "/p/Dmp/2026-12-06_09-05-03.dmp");

    // The handler's own calendar arithmetic against the C library's, over
    // three centuries of leap years and month ends.
    for (int64_t s = -2208988800LL; s < 7258118400LL; s += 86400LL * 17 + 3631) {
        const std::time_t t = std::time_t(s);
        struct tm utc {};
        gmtime_r(&t, &utc);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%d-%02d-%02d_%02d-%02d-%02d.dmp", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        ASSERT_GT(BuildDumpPath(path, sizeof path, "", s), 0u);
        ASSERT_STREQ(path, expected) << "at " << s;
    }

    char tiny[16];
    EXPECT_EQ(BuildDumpPath(tiny, sizeof tiny, "/p/Dmp/", 0), 0u);
    EXPECT_STREQ(tiny, "");

    SetCrashDumpDir("/p/Dmp/");
    const std::time_t before = std::time(nullptr);
    const std::string now = BuildDumpPath();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(now == "/p/Dmp/" + NameFor(before) || now == "/p/Dmp/" + NameFor(after)) << now;
    SetCrashDumpDir("");
    EXPECT_EQ(BuildDumpPath(), "");
}

TEST(CrashFilter, FatalSignalsLeaveARecordAndEndTheProcessByTheSignal)
{
    const struct {
        const char* mode;
        int signal;
    } cases[] = {{"segv", SIGSEGV},
                 {"abort", SIGABRT},
                 {"fpe", SIGFPE},
                 {"overflow", SIGSEGV},
                 {"thread-overflow", SIGSEGV}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        CTestFolder dir;
        const std::string dumpDir = dir / "Dmp/";
        fs::create_directory(dumpDir);
        const SProbeRun run = RunProbe(dumpDir, c.mode);

        ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status;
        EXPECT_EQ(WTERMSIG(run.status), c.signal);
        const std::string record = FindRecord(dumpDir, run);
        ASSERT_FALSE(record.empty());
        EXPECT_EQ(CountFiles(dumpDir), 1u);
        const std::string text = ReadBytes(record);
        EXPECT_EQ(text.rfind("Brevane crash record\n", 0), 0u);
        EXPECT_NE(text.find("signal: " + std::to_string(c.signal) + " "), std::string::npos);
        EXPECT_NE(text.find("\nbacktrace:\n"), std::string::npos);
        // The memory map places the addresses: it names the executable.
        const std::size_t map = text.find("\nmemory map:\n");
        ASSERT_NE(map, std::string::npos);
        EXPECT_NE(text.find("brevane_crash_probe", map), std::string::npos);
        if (std::string(c.mode) == "segv") {
            EXPECT_NE(text.find("address: 0x10\n"), std::string::npos);
        }
    }
}

TEST(CrashFilter, AThreadKeepsItsSignalStackUntilItEnds)
{
    struct SSeen {
        bool after = false, again = false;
    } seen;
    std::thread([&] {
        stack_t stack {};
        CCrashAltStack::ForThisThread();
        sigaltstack(nullptr, &stack);
        seen.after = !(stack.ss_flags & SS_DISABLE) && stack.ss_size == CCrashAltStack::kSize;
        const void* first = stack.ss_sp;
        CCrashAltStack::ForThisThread();
        sigaltstack(nullptr, &stack);
        seen.again = stack.ss_sp == first;
    }).join();
    EXPECT_TRUE(seen.after);
    EXPECT_TRUE(seen.again);

    // The scoped form gives back what the thread had before.
    stack_t before {}, after {};
    sigaltstack(nullptr, &before);
    {
        const CCrashAltStack altStack;
        EXPECT_TRUE(altStack.IsActive());
    }
    sigaltstack(nullptr, &after);
    EXPECT_EQ(after.ss_sp, before.ss_sp);
    EXPECT_EQ(after.ss_flags, before.ss_flags);
}

TEST(CrashFilter, TerminateLeavesOneRecordWithTheExceptionAndEndsByAbort)
{
    CTestFolder dir;
    const std::string dumpDir = dir / "Dmp/";
    fs::create_directory(dumpDir);
    const SProbeRun run = RunProbe(dumpDir, "terminate");

    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), SIGABRT);
    const std::string record = FindRecord(dumpDir, run);
    ASSERT_FALSE(record.empty());
    // The abort that ends the process must not write over the terminate record.
    const std::string text = ReadBytes(record);
    EXPECT_NE(text.find("reason: std::terminate\n"), std::string::npos);
    EXPECT_NE(text.find("exception: probe failure\n"), std::string::npos);
}

TEST(CrashFilter, ARecordOfTheSameSecondIsKept)
{
    CTestFolder dir;
    const std::string dumpDir = dir / "Dmp/";
    fs::create_directory(dumpDir);
    // Earlier crashes in every second the probe may crash in.
    const std::string earlier = "Brevane crash record\nan earlier crash\n";
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t < now + 30; ++t)
        WriteBytes(dumpDir + NameFor(t), earlier);

    const SProbeRun run = RunProbe(dumpDir, "segv");
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(CountFiles(dumpDir), 31u);
    std::string record;
    for (std::time_t t = run.before; t <= run.after && record.empty(); ++t) {
        EXPECT_EQ(ReadBytes(dumpDir + NameFor(t)), earlier);
        std::string name = NameFor(t);
        name.insert(name.size() - 4, "_" + std::to_string(run.pid));
        if (fs::exists(dumpDir + name))
            record = dumpDir + name;
    }
    ASSERT_FALSE(record.empty()) << "the second record is named with its process id";
    EXPECT_NE(ReadBytes(record).find("signal: 11 SIGSEGV"), std::string::npos);

    // And a third of the same second and process, should the id come again.
    char path[128];
    ASSERT_GT(BuildDumpPath(path, sizeof path, "/p/", 0, 4242, 2), 0u);
    EXPECT_STREQ(path, "/p/1970-01-01_00-00-00_4242-2.dmp");
}

TEST(CrashFilter, TheRecordFollowsTheLocalClockAcrossSummerTime)
{
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    // Central European time with its summer time rule: two changes a year.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    SetCrashDumpDir("/p/Dmp/");   // works the offsets out for the zone now in force

    const std::time_t now = std::time(nullptr);
    int changes = 0;
    long lastOffset = 0;
    for (std::time_t t = now; t < now + 2 * 366 * 86400; t += 3 * 3600 + 17) {
        struct tm local {};
        localtime_r(&t, &local);
        if (t != now && local.tm_gmtoff != lastOffset)
            ++changes;
        lastOffset = local.tm_gmtoff;
        ASSERT_EQ(LocalSecondsForRecord(t), int64_t(t) + local.tm_gmtoff) << "at " << t;
    }
    EXPECT_GE(changes, 3);

    if (oldTz)
        setenv("TZ", savedTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    SetCrashDumpDir("");
}

TEST(CrashFilter, WithoutTheDumpFolderTheCrashLeavesNoRecordButStillEndsTheProcess)
{
    CTestFolder dir;
    const SProbeRun run = RunProbe(dir / "Dmp/", "segv");
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), SIGSEGV);
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    // And a normal end writes nothing.
    fs::create_directory(dir / "Dmp");
    const SProbeRun normal = RunProbe(dir / "Dmp/", "exit");
    ASSERT_TRUE(WIFEXITED(normal.status));
    EXPECT_EQ(WEXITSTATUS(normal.status), 0);
    EXPECT_TRUE(fs::is_empty(dir / "Dmp"));
}
