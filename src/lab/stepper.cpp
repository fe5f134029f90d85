#include "stepper.h"

namespace brownian::lab {

Totals stateTotals(const ModPar &s)
{
    Totals t;
    const int n = s.ParVX.size();
    const float *vx = s.ParVX.data();
    const float *vy = s.ParVY.data();
    double twiceEnergy = 0;
    for (int i = 0; i < n; ++i) {
        const double x = vx[i], y = vy[i];
        twiceEnergy += x * x + y * y;
        t.momentumX += x;
        t.momentumY += y;
    }
    t.kineticEnergy = twiceEnergy / 2.0;
    return t;
}

Stepper::Stepper(ModPar &state, bool unbounded)
    : m_state(state)
    , m_unbounded(unbounded)
    , m_ux(state.ParX.data(), state.ParX.data() + state.ParX.size())
    , m_uy(state.ParY.data(), state.ParY.data() + state.ParY.size())
{
}

void Stepper::tick(Canvas &path, TickCounters &counters, SubStepObserver *after)
{
    m_after = after;
    runTick(m_state, m_unbounded, path, m_frame, &counters, this);
}

void Stepper::afterSubStep(const ModPar &s)
{
    ++m_subSteps;
    const float *vx = s.ParVX.data();
    const float *vy = s.ParVY.data();
    const std::size_t n = m_ux.size();
    for (std::size_t i = 0; i < n; ++i) {
        m_ux[i] += vx[i];
        m_uy[i] += vy[i];
    }
    if (m_after)
        m_after->afterSubStep(s);
}

} // namespace brownian::lab
