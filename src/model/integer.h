#pragma once

#include "fault.h"

#include <cmath>
#include <cstdint>

namespace brownian {

/// A signed 16-bit integer whose every operation is checked: a result outside
/// -32768..32767 raises an overflow fault instead of wrapping.
class Integer
{
public:
    constexpr Integer() = default;
    /// Any int in -32768..32767; a value outside that range is an overflow fault.
    constexpr Integer(int value) // NOLINT(google-explicit-constructor): reads like the number
        : m_value(checked(value, "conversion"))
    {
    }

    /// Rounds a Double to the nearest Integer, halves to even. NaN, infinities and values
    /// outside the range are overflow faults.
    static Integer fromDouble(double value);

    constexpr int value() const { return m_value; }
    constexpr double toDouble() const { return m_value; }
    constexpr float toSingle() const { return static_cast<float>(m_value); }

    friend constexpr Integer operator+(Integer a, Integer b)
    {
        return fromInt(a.m_value + b.m_value, "addition");
    }
    friend constexpr Integer operator-(Integer a, Integer b)
    {
        return fromInt(a.m_value - b.m_value, "subtraction");
    }
    friend constexpr Integer operator*(Integer a, Integer b)
    {
        return fromInt(a.m_value * b.m_value, "multiplication");
    }
    /// Truncating integer division (the integer quotient); division by zero is a fault.
    friend Integer operator/(Integer a, Integer b);
    /// Remainder of the truncating division, with the sign of the dividend.
    friend Integer operator%(Integer a, Integer b);
    friend constexpr Integer operator-(Integer a) { return fromInt(-a.m_value, "negation"); }

    friend constexpr auto operator<=>(Integer a, Integer b) = default;

private:
    static constexpr int checked(int value, const char *what)
    {
        if (value < -32768 || value > 32767)
            throwOverflow(what);
        return value;
    }
    static constexpr Integer fromInt(int value, const char *what)
    {
        Integer result;
        result.m_value = static_cast<std::int16_t>(checked(value, what));
        return result;
    }

    std::int16_t m_value = 0;
};

/// Rounds to the nearest integer with halves to even, as every conversion of a floating value
/// to an integer in the program does. Returns a double so that callers choose the range check.
inline double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which the program never changes from
    // round-to-nearest-even.
    return std::nearbyint(value);
}

} // namespace brownian
