#include "CCliProgress.h"

#include <cmath>

CCliProgress::CCliProgress(bool enabled, std::FILE* out)
    : m_bEnabled(enabled)
    , m_pOut(out)
{
}

CCliProgress::~CCliProgress()
{
    Finish();
}

std::string CCliProgress::Line(const DownloadProgress& p)
{
    char text[128];
    if (p.nTotal >= 0)
        std::snprintf(text, sizeof text, "%d/%d records", p.nRecords, p.nTotal);
    else
        std::snprintf(text, sizeof text, "%d record%s", p.nRecords, p.nRecords == 1 ? "" : "s");
    std::string line = text;
    std::snprintf(text, sizeof text, ", %.0f/s", p.dRate);
    line += text;
    if (p.dRemainingS >= 0.0) {
        const long left = std::lround(p.dRemainingS);
        if (left >= 60)
            std::snprintf(text, sizeof text, ", %ld min %02ld s left", left / 60, left % 60);
        else
            std::snprintf(text, sizeof text, ", %ld s left", left);
        line += text;
    }
    return line;
}

void CCliProgress::Update(const DownloadProgress& progress)
{
    if (!m_bEnabled)
        return;
    m_last = progress;
    if (!m_bTimeLeft)
        m_last.dRemainingS = -1.0;
    const auto now = std::chrono::steady_clock::now();
    if (m_bDrawn && now - m_tLastDraw < std::chrono::milliseconds(kRedrawMs))
        return;
    m_tLastDraw = now;
    const std::string line = Line(m_last);
    // Spaces wipe the rest of a longer line drawn before.
    const size_t pad = m_nLastWidth > line.size() ? m_nLastWidth - line.size() : 0;
    std::fprintf(m_pOut, "\r%s%*s", line.c_str(), int(pad), "");
    std::fflush(m_pOut);
    m_nLastWidth = line.size();
    m_bDrawn = true;
}

void CCliProgress::Finish()
{
    if (!m_bEnabled || !m_bDrawn)
        return;
    // The final count, whatever the redraw limit held back.
    m_bDrawn = false;
    Update(m_last);
    std::fputc('\n', m_pOut);
    std::fflush(m_pOut);
    m_bDrawn = false;
    m_nLastWidth = 0;
}
