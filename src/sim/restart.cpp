#include "restart.h"

#include "model/geometry.h"

#include <cstdint>

namespace brownian {

Integer restartMargin(Integer boundMode)
{
    return boundMode * Integer(field::kUnboundedMargin);
}

void restart(ModPar &state)
{
    InitPar(state, restartMargin(state.BoundMode));
}

Integer centreParticle(double count)
{
    const double n = Integer::fromDouble(count).toDouble();
    const bool odd = static_cast<std::int32_t>(roundHalfEven(count)) % 2 == 1;
    if (odd)
        return Integer::fromDouble((n * n - 1.0) / 2.0);
    return Integer::fromDouble(n * n / 2.0 - n / 2.0 - 1.0);
}

} // namespace brownian
