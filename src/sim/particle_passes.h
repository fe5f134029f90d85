#pragma once

// The per-particle passes of a sub-step, for a range of particles (internal to the simulation
// library), so that the grid passes can share them out between threads.

#include "model/geometry.h"

#include <cmath>

namespace brownian::passes {

/// Reverses each velocity component of particle i whose disc of radius h is not wholly inside
/// the box along that axis. Without branches, so that a loop over the particles vectorises.
inline void bounceOffWalls(const float *x, const float *y, float *vx, float *vy, int i, double h)
{
    constexpr double edge = field::kBoxSide;
    const double xi = x[i], yi = y[i];
    const bool insideX = (xi - h > 0.0) & (xi + h < edge);
    const bool insideY = (yi - h > 0.0) & (yi + h < edge);
    vx[i] = insideX ? vx[i] : -vx[i];
    vy[i] = insideY ? vy[i] : -vy[i];
}

/// Moves particles from .. to - 1 by their velocities; false where a position is not finite.
inline bool moveParticles(float *x, float *y, const float *vx, const float *vy, int from, int to)
{
    bool finite = true;
    for (int i = from; i < to; ++i) {
        x[i] = vx[i] + x[i];
        y[i] = vy[i] + y[i];
        finite &= std::isfinite(x[i]) & std::isfinite(y[i]);
    }
    return finite;
}

} // namespace brownian::passes
