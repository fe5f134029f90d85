#pragma once

// The state of the gas beside its motion: temperature, pressure from the collisions' virial and
// from the walls, and the hard-disc equation of state to hold them against. Unit mass; lengths
// in twips, time in sub-steps.
#include "analysis/motion.h"
#include "model/modpar.h"
#include "sim/collision_record.h"

#include <cstdint>
#include <deque>

namespace brownian {

/// The area the pressure is taken over, twips²: the torus's 6000 × 6000; in the box 5000 ×
/// (5000 − size), since the walls turn the centres back size/2 from them (with it the virial
/// pressure and the walls' pressure agree).
double gasArea(bool unbounded, double size);

/// Packing fraction η = N π σ² / (4 A), σ = size (twips), A = gasArea.
double packingFraction(int particles, double size, bool unbounded);

/// Henderson's equation of state for hard discs: Z = P A / (N kT) = (1 + η²/8) / (1 − η)².
double hendersonZ(double eta);

/// kT = K / N, twips² per sub-step² (two degrees of freedom a particle); on the torus the
/// centre of mass's motion is taken out and N − 1 used. 0 for fewer than two particles there.
double temperature(const Totals &totals, int particles, bool unbounded);

/// The virial pressure, twips⁻¹ per sub-step² (unit mass): P A = N kT + Σ r_ij·Δp_i / (2τ)
/// over the τ sub-steps of `record`, kT their temperature.
double virialPressure(const CollisionRecord &record, int particles, double kT, double area);

/// The walls' pressure in the box: the outward momentum they took per twip of wall per
/// sub-step (what a gauge on a wall reads).
double wallPressure(const CollisionRecord &record);

/// Temperature and pressure tick by tick from one placement on: the latest tick's, their
/// running means and the last kHistory ticks for a strip chart.
class GasGauge
{
public:
    static constexpr int kHistory = 4000;

    struct Reading
    {
        double kT = 0, pressure = 0;
        double pressureWall = 0; ///< 0 on the torus
        double meanKT = 0, meanPressure = 0; ///< running means up to this tick
    };

    void reset(const ModPar &state);
    /// After a tick: the totals of the state it left and the record of its sub-steps.
    void afterTick(const Totals &totals, const CollisionRecord &record);

    bool unbounded() const { return m_unbounded; }
    int particles() const { return m_particles; }
    double area() const { return m_area; }
    double eta() const { return m_eta; }
    std::int64_t ticks() const { return m_ticks; }
    const std::deque<Reading> &history() const { return m_history; }
    /// The latest tick's (zeros before the first).
    Reading last() const { return m_history.empty() ? Reading {} : m_history.back(); }
    /// Sub-step weighted means since the placement.
    double meanKT() const;
    double meanPressure() const;
    double meanWallPressure() const;
    /// P A / (N kT) from the means; 0 before the first tick.
    double z() const;

private:
    bool m_unbounded = false;
    int m_particles = 0;
    double m_area = 1, m_eta = 0;
    std::int64_t m_ticks = 0, m_subSteps = 0;
    double m_sumKT = 0, m_sumVirial = 0, m_sumWall = 0; // kT summed a sub-step
    std::deque<Reading> m_history;
};

} // namespace brownian
