#include "analysis/motion.h"

namespace brownian {

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

void UnwrappedPositions::reset(const ModPar &s)
{
    m_subSteps = 0;
    m_x.assign(s.ParX.data(), s.ParX.data() + s.ParX.size());
    m_y.assign(s.ParY.data(), s.ParY.data() + s.ParY.size());
}

void UnwrappedPositions::advance(const ModPar &s)
{
    ++m_subSteps;
    const float *vx = s.ParVX.data();
    const float *vy = s.ParVY.data();
    const std::size_t n = m_x.size();
    for (std::size_t i = 0; i < n; ++i) {
        m_x[i] += vx[i];
        m_y[i] += vy[i];
    }
}

MotionSampler::MotionSampler(const ModPar &start, bool unbounded, bool msd, bool speeds,
    std::optional<std::int64_t> subSteps)
{
    const int n = start.ParX.size();
    if (msd) {
        m_msd = subSteps ? std::make_unique<MsdAccumulator>(n, *subSteps, unbounded)
                         : std::make_unique<MsdAccumulator>(n, unbounded);
    }
    if (speeds) {
        const double sum = sumSquaredSpeeds(start.ParVX.data(), start.ParVY.data(), n, unbounded);
        m_speeds = std::make_unique<SpeedHistogram>(n, unbounded, sum);
    }
}

void MotionSampler::sample(
    const ModPar &s, const std::vector<double> &ux, const std::vector<double> &uy)
{
    if (m_msd)
        m_msd->add(ux.data(), uy.data());
    if (m_speeds)
        m_speeds->add(s.ParVX.data(), s.ParVY.data());
}

} // namespace brownian
