// Draws the progress line with a carriage return, a bar when the total is known.
#include "Progress.h"

#include <cstdio>
#include <string>

#include <unistd.h>

namespace corvelle {
namespace {

constexpr int kBarWidth = 30;

}   // namespace

Progress::Progress(long total)
    : m_total(total),
      m_enabled(isatty(STDERR_FILENO) == 1),
      m_start(std::chrono::steady_clock::now()),
      m_lastDraw(m_start) {}

Progress::~Progress() {
    if (!m_enabled || m_done == 0)
        return;
    Draw();
    std::fputc('\n', stderr);
}

void Progress::FrameDone() {
    ++m_done;
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_lastDraw < std::chrono::milliseconds(100))
        return;
    m_lastDraw = now;
    Draw();
}

void Progress::Draw() {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double fps = seconds > 0.0 ? static_cast<double>(m_done) / seconds : 0.0;
    std::string line = "\rcorvelle: ";
    if (m_total > 0) {
        const int filled = static_cast<int>((static_cast<long long>(m_done) * kBarWidth) / m_total);
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " +
                std::to_string(m_done) + "/" + std::to_string(m_total);
    } else {
        line += "frame " + std::to_string(m_done);
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "  %.1f fps ", fps);
    line += rate;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    m_shown = true;
}

}   // namespace corvelle
