#include "interrupt.h"

namespace brownian::lab {

namespace {
// A signal handler can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
}
} // namespace

InterruptGuard::InterruptGuard()
{
    g_interrupted = 0;
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &action, &m_old[k]);
}

InterruptGuard::~InterruptGuard()
{
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &m_old[k], nullptr);
}

bool InterruptGuard::interrupted()
{
    return g_interrupted != 0;
}

} // namespace brownian::lab
