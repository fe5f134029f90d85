#pragma once

#include <csignal>

namespace brownian::lab {

/// Turns Ctrl-C and SIGTERM into a flag for as long as it lives, so that a run can stop
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
    struct sigaction m_oldInt
    {
    }, m_oldTerm {};
};

} // namespace brownian::lab
