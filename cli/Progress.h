// A one-line progress report with frames per second for long runs, shown on standard
// error only when it is a terminal, so logs and pipes stay clean.
#pragma once

#include <chrono>

namespace corvelle {

class Progress {
public:
    /// `total` frames, or 0 when the count is not known in advance (a stream).
    explicit Progress(long total);
    /// Ends the line if anything was shown.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// Counts one finished frame and redraws at most ten times a second.
    void FrameDone();

private:
    void Draw();

    long m_total;
    long m_done = 0;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}   // namespace corvelle
