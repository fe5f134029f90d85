#include "analysis/gas.h"

#include "model/geometry.h"

#include <numbers>

namespace brownian {

namespace {

/// Total length of the box's four walls, twips.
constexpr double kWallLength = 4.0 * field::kBoxSide;

} // namespace

double gasArea(bool unbounded, double size)
{
    if (unbounded)
        return static_cast<double>(field::kPeriod) * field::kPeriod;
    return static_cast<double>(field::kBoxSide) * (field::kBoxSide - size);
}

double packingFraction(int particles, double size, bool unbounded)
{
    return particles * std::numbers::pi * size * size / (4.0 * gasArea(unbounded, size));
}

double hendersonZ(double eta)
{
    return (1.0 + eta * eta / 8.0) / ((1.0 - eta) * (1.0 - eta));
}

double temperature(const Totals &t, int particles, bool unbounded)
{
    if (!unbounded)
        return particles > 0 ? t.kineticEnergy / particles : 0.0;
    if (particles < 2)
        return 0.0;
    const double drift =
        (t.momentumX * t.momentumX + t.momentumY * t.momentumY) / (2.0 * particles);
    return (t.kineticEnergy - drift) / (particles - 1);
}

double virialPressure(const CollisionRecord &r, int particles, double kT, double area)
{
    const double steps = r.subSteps > 0 ? static_cast<double>(r.subSteps) : 1.0;
    return (particles * kT + r.virial / (2.0 * steps)) / area;
}

double wallPressure(const CollisionRecord &r)
{
    const double steps = r.subSteps > 0 ? static_cast<double>(r.subSteps) : 1.0;
    return r.wallMomentum / (kWallLength * steps);
}

void GasGauge::reset(const ModPar &s)
{
    m_unbounded = s.BoundMode != Integer(0);
    m_particles = s.ParVX.size();
    const double size = s.ParSize.toDouble();
    m_area = gasArea(m_unbounded, size);
    m_eta = packingFraction(m_particles, size, m_unbounded);
    m_ticks = m_subSteps = 0;
    m_sumKT = m_sumVirial = m_sumWall = 0;
    m_history.clear();
}

void GasGauge::afterTick(const Totals &totals, const CollisionRecord &record)
{
    Reading r;
    r.kT = temperature(totals, m_particles, m_unbounded);
    r.pressure = virialPressure(record, m_particles, r.kT, m_area);
    r.pressureWall = m_unbounded ? 0.0 : wallPressure(record);
    ++m_ticks;
    m_subSteps += record.subSteps;
    m_sumKT += r.kT * record.subSteps;
    m_sumVirial += record.virial;
    m_sumWall += record.wallMomentum;
    r.meanKT = meanKT();
    r.meanPressure = meanPressure();
    m_history.push_back(r);
    if (m_history.size() > static_cast<std::size_t>(kHistory))
        m_history.pop_front();
}

double GasGauge::meanKT() const
{
    return m_subSteps > 0 ? m_sumKT / m_subSteps : 0.0;
}

double GasGauge::meanPressure() const
{
    if (m_subSteps == 0)
        return 0.0;
    return (m_particles * meanKT() + m_sumVirial / (2.0 * m_subSteps)) / m_area;
}

double GasGauge::meanWallPressure() const
{
    return m_subSteps > 0 && !m_unbounded ? m_sumWall / (kWallLength * m_subSteps) : 0.0;
}

double GasGauge::z() const
{
    const double kT = meanKT();
    return kT > 0 ? meanPressure() * m_area / (m_particles * kT) : 0.0;
}

} // namespace brownian
