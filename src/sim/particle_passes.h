#pragma once

// The per-particle passes of a sub-step, for a range of particles (internal to the simulation
// library), so that the grid passes can share them out between threads.

#include "model/geometry.h"

#include <cmath>
#include <limits>

namespace brownian::passes {

/// Whether a disc of radius h centred at c lies wholly inside the box along one axis.
inline bool insideBox(double c, double h)
{
    return (c - h > 0.0) & (c + h < static_cast<double>(field::kBoxSide));
}

/// Reverses each velocity component of particle i whose disc of radius h is not wholly inside
/// the box along that axis. Without branches, so that a loop over the particles vectorises.
inline void bounceOffWalls(const float *x, const float *y, float *vx, float *vy, int i, double h)
{
    const bool insideX = insideBox(x[i], h);
    const bool insideY = insideBox(y[i], h);
    vx[i] = insideX ? vx[i] : -vx[i];
    vy[i] = insideY ? vy[i] : -vy[i];
}

/// Moves particles from .. to - 1 by their velocities; false where a position is not finite.
/// The four arrays are distinct, so that the loop vectorises.
inline bool moveParticles(float *__restrict x, float *__restrict y, const float *__restrict vx,
    const float *__restrict vy, int from, int to)
{
    constexpr float kLargest = std::numeric_limits<float>::max();
    int outside = 0; // positions not finite (NaN compares false)
    for (int i = from; i < to; ++i) {
        const float movedX = vx[i] + x[i], movedY = vy[i] + y[i];
        x[i] = movedX;
        y[i] = movedY;
        outside |= !(std::fabs(movedX) <= kLargest) | !(std::fabs(movedY) <= kLargest);
    }
    return outside == 0;
}

} // namespace brownian::passes
