#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace brownian::lab {

/// A progress bar on standard error, shown only when that is a terminal and the work has
/// already taken a second; cleared again when done.
class Progress
{
public:
    /// `total` units of work, named `unit` ("tick", "run"); `enabled` false shows nothing.
    Progress(std::int64_t total, bool enabled, const char *unit = "tick");
    ~Progress() { finish(); }

    /// `done` units finished. Cheap when nothing is to be drawn.
    void update(std::int64_t done);
    void finish();

    /// The bar's text for `done` of `total` after `elapsedSeconds`, `width` characters of bar.
    static std::string line(std::int64_t done, std::int64_t total, double elapsedSeconds, int width,
        const char *unit = "tick");
    static bool stderrIsTerminal();

private:
    std::int64_t m_total;
    const char *m_unit;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now(),
                                          m_lastDraw = m_start;
};

} // namespace brownian::lab
