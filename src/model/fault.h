#pragma once

#include <stdexcept>
#include <string>

namespace brownian {

/// The kinds of run-time fault the simulation can raise.
enum class FaultKind {
    Overflow, ///< a 16-bit Integer operation left -32768..32767
    Subscript, ///< an array index outside the array's range
    Floating, ///< a floating result that is infinite or not a number
};

/// A run-time fault of the simulation. The program has no recovery path for it: the
/// application reports it once and ends with a non-zero status.
class RuntimeFault : public std::runtime_error
{
public:
    RuntimeFault(FaultKind kind, const std::string &detail);

    FaultKind kind() const { return m_kind; }
    /// The fault's name as shown to the user, in Japanese (UTF-8).
    std::string japaneseName() const;
    /// The fault's name in English, for command-line tools.
    std::string englishName() const;

private:
    FaultKind m_kind;
};

[[noreturn]] void throwOverflow(const char *what);
[[noreturn]] void throwSubscript(long index, long size);
[[noreturn]] void throwFloating(const char *what);

/// Rounds a Double to a Single; an infinite or NaN result is a floating fault.
inline float toSingle(double value)
{
    const float result = static_cast<float>(value);
    if (result - result != 0.0f) // true exactly for inf and NaN
        throwFloating("single result");
    return result;
}

} // namespace brownian
