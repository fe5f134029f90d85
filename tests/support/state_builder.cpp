#include "state_builder.h"

#include "sim/restart.h"
#include "sim/settings.h"

namespace brownian::test {

StateBuilder &StateBuilder::numSide(int n)
{
    m_numSide = n;
    return *this;
}

StateBuilder &StateBuilder::size(int twips)
{
    m_size = twips;
    return *this;
}

StateBuilder &StateBuilder::speed(int subSteps)
{
    m_speed = subSteps;
    return *this;
}

StateBuilder &StateBuilder::locus(int index)
{
    m_locus = index;
    return *this;
}

StateBuilder &StateBuilder::unbounded(bool on)
{
    m_unbounded = on;
    return *this;
}

StateBuilder &StateBuilder::seed(std::uint64_t seed)
{
    m_seed = seed;
    return *this;
}

ModPar StateBuilder::build() const
{
    ModPar s;
    s.setDefaults();
    s.BoundMode = m_unbounded ? 1 : 0;
    applySettings(s, { m_numSide, m_size, m_speed, m_locus });
    if (m_seed)
        s.random.seed(*m_seed);
    return s;
}

ModPar StateBuilder::placed() const
{
    ModPar s = build();
    restart(s);
    return s;
}

ModPar StateBuilder::parked() const
{
    ModPar s = build();
    const int count = s.ParX.size();
    for (int i = 0; i < count; ++i) {
        s.ParX.at(i) = 500.0f + 1000.0f * static_cast<float>(i % m_numSide);
        s.ParY.at(i) = 500.0f + 1000.0f * static_cast<float>(i / m_numSide);
    }
    return s;
}

ModPar parkedState(int numSide, int size)
{
    return StateBuilder().numSide(numSide).size(size).speed(1).locus(0).parked();
}

void put(ModPar &s, int i, Particle p)
{
    s.ParX.at(i) = p.x;
    s.ParY.at(i) = p.y;
    s.ParVX.at(i) = p.vx;
    s.ParVY.at(i) = p.vy;
}

Particle get(const ModPar &s, int i)
{
    return { s.ParX.at(i), s.ParY.at(i), s.ParVX.at(i), s.ParVY.at(i) };
}

double kineticSum(const ModPar &s)
{
    double sum = 0.0;
    for (int i = 0; i < s.ParX.size(); ++i) {
        const double vx = s.ParVX.at(i), vy = s.ParVY.at(i);
        sum += vx * vx + vy * vy;
    }
    return sum;
}

} // namespace brownian::test
