#pragma once

#include <cstdint>

namespace brownian {

/// What the collisions and the walls did to the momenta, summed over the sub-steps since the
/// record was last cleared: the figures of the pressure. A simulation fills it only while it is
/// handed one (Simulation::setCollisionRecord); the sums never depend on the thread count.
struct CollisionRecord
{
    /// Σ r_ij · Δp_i over the pairs collided, twips² per sub-step (unit mass): r_ij = r_i - r_j
    /// where the pair was collided (the nearest image on the torus) and Δp_i the change of the
    /// lower-numbered particle i's velocity in that collision. In the box, whose pair pass moves
    /// nothing, it is taken as Σ_i r_i · ΔP_i over what the pass gave each particle: the same
    /// but for the roundings by which a collision does not keep the momentum exactly.
    double virial = 0;
    /// Momentum the four walls of the box took, its outward component, twips per sub-step
    /// (unit mass); always 0 on the torus.
    double wallMomentum = 0;
    /// Sub-steps summed.
    std::int64_t subSteps = 0;

    void clear() { *this = {}; }
};

} // namespace brownian
