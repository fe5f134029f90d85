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

/// Heating (↑) and cooling (↓) scale every velocity by these factors.
inline constexpr double kHeating = 1.1, kCooling = 1.0 / 1.1;
/// The largest velocity component scaling gives, twips per sub-step: the field's period, the
/// most the wrap pass brings back into the field in one sub-step.
inline constexpr double kFastestComponent = 6000.0;

/// Multiplies every velocity component by `factor` (> 0) in Double and rounds it to Single:
/// all or nothing. Where a result would be beyond ±kFastestComponent (or a velocity is not a
/// number) nothing changes and the result is false.
bool scaleVelocities(ModPar &state, double factor);

} // namespace brownian
