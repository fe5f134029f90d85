#pragma once

#include <csignal>

namespace brownian::lab {

/// Turns Ctrl-C, SIGTERM and SIGHUP into a flag for as long as it lives, so that a run can stop
/// between two ticks and remove its temporary files.
class InterruptGuard
{
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

    static bool interrupted();

private:
    static constexpr int kSignals[] = { SIGINT, SIGTERM, SIGHUP };
    struct sigaction m_old[3] {};
};

} // namespace brownian::lab
