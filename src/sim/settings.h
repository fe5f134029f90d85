#pragma once

#include "model/modpar.h"

namespace brownian {

/// The particle settings a person can change: what the settings dialog's O.K. writes.
struct ParticleSettings
{
    /// Particles per side of the start grid; N = numSide².
    Integer numSide = 5;
    /// Particle diameter, twips.
    Integer size = 400;
    /// Sub-steps per tick.
    Integer speed = 3;
    /// Tracked particle, 0..N-1.
    Integer locus = 12;
};

/// Writes the settings into the state in the order NumSide, ParSize, ParSpeed, LocusNo, then
/// re-dimensions the four arrays (every element 0). Places nothing.
void applySettings(ModPar &state, const ParticleSettings &settings);

} // namespace brownian
