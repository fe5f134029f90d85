#include "progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace brownian::lab {

Progress::Progress(std::int64_t total, bool enabled, const char *unit)
    : m_total(total)
    , m_unit(unit)
    , m_enabled(enabled && total > 0)
{
}

bool Progress::stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

std::string Progress::line(
    std::int64_t done, std::int64_t total, double elapsed, int width, const char *unit)
{
    const double fraction =
        total > 0 ? std::clamp(static_cast<double>(done) / total, 0.0, 1.0) : 1.0;
    const int filled = static_cast<int>(fraction * width);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "] %3d%%  %s %lld/%lld", static_cast<int>(fraction * 100),
        unit, static_cast<long long>(done), static_cast<long long>(total));
    std::string text = "[" + std::string(filled, '#') + std::string(width - filled, '.') + buffer;
    if (fraction > 0 && fraction < 1) {
        std::snprintf(
            buffer, sizeof buffer, "  %.0f s left", elapsed * (1 - fraction) / fraction + 0.5);
        text += buffer;
    }
    return text;
}

void Progress::update(std::int64_t done)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    // Shown after a second, then redrawn at most five times a second.
    if (now - m_start < std::chrono::seconds(1)
        || (m_shown && now - m_lastDraw < std::chrono::milliseconds(200)))
        return;
    m_lastDraw = now;
    m_shown = true;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    std::fprintf(stderr, "\r%s\033[K", line(done, m_total, elapsed, 30, m_unit).c_str());
    std::fflush(stderr);
}

void Progress::finish()
{
    if (m_shown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    m_shown = m_enabled = false;
}

} // namespace brownian::lab
