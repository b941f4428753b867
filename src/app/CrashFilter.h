#pragma once
// The handler of last resort. Once installed, a fatal signal (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGABRT) or std::terminate writes a crash record
// into the dump folder, named after the local time of the crash
// (YYYY-MM-DD_HH-MM-SS.dmp; when a record of that second exists already, it
// is kept and the new one is YYYY-MM-DD_HH-MM-SS_<process id>.dmp), and the
// process then ends as crashed: by the same signal, or by SIGABRT after
// std::terminate. Nothing is shown to the user, and a record that cannot be
// written (no dump folder, disk full) is silently left out.
//
// The record is text: the signal, its code and fault address, the thread,
// a backtrace and the process's memory map (to place the addresses).
//
// The handler runs in a broken process, so it allocates nothing and calls
// only async-signal-safe functions; everything else (the folder, the time
// zone's offsets, the alternate signal stack) is prepared by
// InstallCrashFilter. A stack overflow is recorded only on a thread with an
// alternate stack: the installing thread has one, every other thread the
// program starts creates a CCrashAltStack at its start.

#include <cstddef>
#include <cstdint>
#include <string>

// Installs the handlers (once; a second call only changes the folder).
// dumpDir ends with a separator. Returns false when the handlers could not be
// installed.
bool InstallCrashFilter(const std::string& dumpDir);

// Changes the folder records are written to (for when the program folder is
// chosen after installing).
void SetCrashDumpDir(const std::string& dumpDir);

bool IsCrashFilterInstalled();

// Puts back the handlers found at installation. The program never removes
// its filter; tests that install it in their own process do.
void RemoveCrashFilter();

// The path of a record written now: dump folder + "YYYY-MM-DD_HH-MM-SS.dmp"
// of the local time. Empty when no folder is set.
std::string BuildDumpPath();

// Async-signal-safe form: writes dumpDir followed by the name for the local
// time localSeconds (seconds since 1970 as shown on the local clock) into
// out, zero-terminated: "YYYY-MM-DD_HH-MM-SS.dmp", with processId > 0
// "YYYY-MM-DD_HH-MM-SS_<processId>.dmp", and with a counter > 0 as well
// "YYYY-MM-DD_HH-MM-SS_<processId>-<counter>.dmp". Returns the length, or 0
// when out is too small.
std::size_t BuildDumpPath(char* out, std::size_t size, const char* dumpDir, int64_t localSeconds,
                          long processId = 0, int counter = 0);

// Async-signal-safe: the local clock's reading (seconds since 1970) at the
// UTC second utcSeconds, summer time included, from offsets worked out when
// the filter was installed or its folder last set; they reach three years
// ahead, so a program that runs across a change of summer time names its
// record by the clock in force at the crash. Without them: utcSeconds.
int64_t LocalSecondsForRecord(int64_t utcSeconds);
