#include "settings.h"

#include <cmath>

namespace brownian {

void applySettings(ModPar &state, const ParticleSettings &settings)
{
    state.NumSide = settings.numSide;
    state.ParSize = settings.size;
    state.ParSpeed = settings.speed;
    state.LocusNo = settings.locus;
    state.redim();
}

bool scaleVelocities(ModPar &state, double factor)
{
    float *v[2] = { state.ParVX.data(), state.ParVY.data() };
    const int count[2] = { state.ParVX.size(), state.ParVY.size() };
    for (int axis = 0; axis < 2; ++axis) {
        for (int i = 0; i < count[axis]; ++i) {
            if (!(std::fabs(static_cast<float>(v[axis][i] * factor)) <= kFastestComponent))
                return false; // NaN too
        }
    }
    for (int axis = 0; axis < 2; ++axis) {
        for (int i = 0; i < count[axis]; ++i)
            v[axis][i] = static_cast<float>(v[axis][i] * factor);
    }
    return true;
}

} // namespace brownian
