#include "stepper.h"

namespace brownian::lab {

Stepper::Stepper(ModPar &state, bool unbounded)
    : m_state(state)
    , m_unbounded(unbounded)
{
    m_unwrapped.reset(state);
}

void Stepper::tick(Canvas &path, TickCounters &counters, SubStepObserver *after)
{
    m_after = after;
    runTick(m_state, m_unbounded, path, m_frame, &counters, this);
}

void Stepper::afterSubStep(const ModPar &s)
{
    m_unwrapped.advance(s);
    if (m_after)
        m_after->afterSubStep(s);
}

} // namespace brownian::lab
