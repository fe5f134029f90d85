#pragma once

// The one way the tests build a simulation state: the program's defaults, a mode, and the
// particle settings applied as the settings dialog applies them.

#include "model/modpar.h"

#include <cstdint>
#include <optional>

namespace brownian::test {

/// Builds states from the program's defaults (bounded, 5 × 5 particles of size 400, speed 3,
/// tracked particle 12, the fixed start state of the random source).
class StateBuilder
{
public:
    StateBuilder &numSide(int n);
    StateBuilder &size(int twips);
    StateBuilder &speed(int subSteps);
    StateBuilder &locus(int index);
    StateBuilder &unbounded(bool on = true);
    /// Seeds the random source before any placement.
    StateBuilder &seed(std::uint64_t seed);

    /// The settings applied (applySettings): every array element 0, nothing placed.
    ModPar build() const;
    /// build(), then the placement of the program's restart (InitPar with the mode's margin).
    ModPar placed() const;
    /// build(), then every particle at rest on a 1000-twip grid from (500, 500), far from the
    /// others and from the walls, for tests that place a few particles by hand.
    ModPar parked() const;

private:
    int m_numSide = 5, m_size = 400, m_speed = 3, m_locus = 12;
    bool m_unbounded = false;
    std::optional<std::uint64_t> m_seed;
};

/// The start of most step tests: StateBuilder with speed 1 and tracked particle 0, parked.
ModPar parkedState(int numSide, int size);

/// One particle's position and velocity.
struct Particle
{
    float x, y, vx, vy;
};

void put(ModPar &state, int index, Particle particle);
Particle get(const ModPar &state, int index);

/// Sum of the squared speeds (twice the kinetic energy of unit masses), in Double.
double kineticSum(const ModPar &state);

} // namespace brownian::test
