#include "state_compare.h"

#include <bit>
#include <utility>

namespace brownian::test {

std::vector<std::uint32_t> stateBits(const ModPar &s)
{
    std::vector<std::uint32_t> bits;
    bits.reserve(4 * static_cast<std::size_t>(s.ParX.size()));
    for (int i = 0; i < s.ParX.size(); ++i) {
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParX.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParY.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParVX.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParVY.at(i)));
    }
    return bits;
}

std::uint64_t stateChecksum(const ModPar &s)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint32_t word : stateBits(s)) {
        for (int b = 0; b < 4; ++b) {
            h ^= (word >> (8 * b)) & 0xffu;
            h *= 0x100000001b3ull;
        }
    }
    return h;
}

bool sameBits(float a, float b)
{
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

::testing::AssertionResult sameState(const ModPar &a, const ModPar &b)
{
    const std::pair<const char *, std::pair<Integer, Integer>> settings[] = {
        { "BoundMode", { a.BoundMode, b.BoundMode } },
        { "NumSide", { a.NumSide, b.NumSide } },
        { "ParSize", { a.ParSize, b.ParSize } },
        { "ParSpeed", { a.ParSpeed, b.ParSpeed } },
        { "LocusNo", { a.LocusNo, b.LocusNo } },
    };
    for (const auto &[name, values] : settings) {
        if (values.first != values.second)
            return ::testing::AssertionFailure()
                << name << " " << values.first.value() << " != " << values.second.value();
    }
    const std::pair<const char *, std::pair<const SingleArray *, const SingleArray *>> arrays[] = {
        { "ParX", { &a.ParX, &b.ParX } },
        { "ParY", { &a.ParY, &b.ParY } },
        { "ParVX", { &a.ParVX, &b.ParVX } },
        { "ParVY", { &a.ParVY, &b.ParVY } },
    };
    for (const auto &[name, pair] : arrays) {
        const SingleArray &x = *pair.first;
        const SingleArray &y = *pair.second;
        if (x.size() != y.size())
            return ::testing::AssertionFailure()
                << name << " holds " << x.size() << " and " << y.size() << " elements";
        for (int i = 0; i < x.size(); ++i) {
            if (!sameBits(x.at(i), y.at(i)))
                return ::testing::AssertionFailure()
                    << name << "(" << i << ") " << x.at(i) << " != " << y.at(i) << " (bit for bit)";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace brownian::test
