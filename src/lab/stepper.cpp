#include "stepper.h"

namespace brownian::lab {

Stepper::Stepper(Simulation &simulation, bool unbounded)
    : m_simulation(simulation)
    , m_unbounded(unbounded)
{
    m_unwrapped.reset(simulation.state());
}

void Stepper::tick(Canvas &path, TickCounters &counters, SubStepObserver *after)
{
    m_after = after;
    m_simulation.tick(m_unbounded, path, m_frame, &counters, this);
}

void Stepper::afterSubStep(const ModPar &s)
{
    m_unwrapped.advance(s);
    if (m_after)
        m_after->afterSubStep(s);
}

} // namespace brownian::lab
