#pragma once

#include "model/modpar.h"

namespace brownian {

/// The placement margin of a mode, twips: 0 for the bounded box (BoundMode 0), 1000 for the
/// wrap-around field (BoundMode 1), i.e. BoundMode × 1000.
Integer restartMargin(Integer boundMode);

/// Places the particles afresh for the state's current mode: InitPar with that mode's margin.
void restart(ModPar &state);

/// The particle tracked by default on an n × n grid (n 1..181): the middle particle for an odd
/// n, the upper-left of the four central particles for an even n.
Integer centreParticle(double count);

} // namespace brownian
