#include "integer.h"

namespace brownian {

Integer Integer::fromDouble(double value)
{
    const double rounded = roundHalfEven(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        throwOverflow("conversion to Integer");
    return Integer(static_cast<int>(rounded));
}

Integer operator/(Integer a, Integer b)
{
    if (b.m_value == 0)
        throw RuntimeFault(FaultKind::Floating, "division by zero");
    return Integer::fromInt(a.m_value / b.m_value, "division");
}

Integer operator%(Integer a, Integer b)
{
    if (b.m_value == 0)
        throw RuntimeFault(FaultKind::Floating, "division by zero");
    return Integer::fromInt(a.m_value % b.m_value, "remainder");
}

} // namespace brownian
