#pragma once
// The progress line of a download on standard error: count (of the announced
// total for a continuous series), rate and the time left, rewritten in place.
// Only a person watching a terminal wants it: when standard error is not a
// terminal (a script, a log file, cron) nothing at all is written.

#include "SessionTypes.h"

#include <chrono>
#include <cstdio>
#include <string>

class CCliProgress {
public:
    // enabled: standard error is a terminal and --quiet was not given.
    explicit CCliProgress(bool enabled, std::FILE* out = stderr);
    ~CCliProgress();

    bool IsEnabled() const { return m_bEnabled; }
    // Whether the session's estimate of the time left may be shown. A
    // stored-record download guesses it from how far its records are into
    // the range asked for, which says nothing when the range is open-ended.
    void ShowTimeLeft(bool show) { m_bTimeLeft = show; }
    // Redraws at most every kRedrawMs.
    void Update(const DownloadProgress& progress);
    // Ends the line (its last state stays on the screen).
    void Finish();

    // "1234 records, 380/s, 3 s left" / "12/20 records, 15/s, 1 s left"
    static std::string Line(const DownloadProgress& progress);

    static constexpr int kRedrawMs = 100;

private:
    bool m_bEnabled;
    std::FILE* m_pOut;
    bool m_bTimeLeft = true;
    bool m_bDrawn = false;
    size_t m_nLastWidth = 0;
    std::chrono::steady_clock::time_point m_tLastDraw;
    DownloadProgress m_last;
};
