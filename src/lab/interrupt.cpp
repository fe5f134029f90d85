#include "interrupt.h"

namespace brownian::lab {

namespace {
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
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool InterruptGuard::interrupted()
{
    return g_interrupted != 0;
}

} // namespace brownian::lab
