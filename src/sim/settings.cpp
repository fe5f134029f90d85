#include "settings.h"

namespace brownian {

void applySettings(ModPar &state, const ParticleSettings &settings)
{
    state.NumSide = settings.numSide;
    state.ParSize = settings.size;
    state.ParSpeed = settings.speed;
    state.LocusNo = settings.locus;
    state.redim();
}

} // namespace brownian
