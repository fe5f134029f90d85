#include "modpar.h"

#include "geometry.h"

#include <cmath>

namespace brownian {

void ModPar::setDefaults()
{
    BoundMode = 0;
    NumSide = 5;
    ParSize = 400;
    ParSpeed = 3;
    LocusNo = 12;
}

void ModPar::redim()
{
    // The upper bound is a floating power minus 1, rounded to a 32-bit integer.
    const double upper = roundHalfEven(std::pow(NumSide.toDouble(), 2.0) - 1.0);
    const int count = static_cast<int>(upper) + 1;
    ParX.redim(count);
    ParY.redim(count);
    ParVX.redim(count);
    ParVY.redim(count);
}

Integer ModPar::lastIndex() const
{
    return Integer::fromDouble(std::pow(NumSide.toDouble(), 2.0) - 1.0);
}

namespace {
constexpr Integer kBoxSide = static_cast<int>(field::kBoxSide);
} // namespace

void InitPar(ModPar &s, Integer Margin)
{
    const Integer n = s.NumSide;
    const Integer size = s.ParSize;
    const Integer last = s.lastIndex();
    for (Integer i = 0; i <= last; i = i + 1) {
        const Integer row = i / n;
        const Integer col = i % n;
        const Integer product = n * size;
        const Integer side = Margin + kBoxSide;
        const Integer freeSpace = side - product;

        const double gap = freeSpace.toDouble() / n.toDouble();
        const double half = size.toDouble() / 2.0;
        const double halfMargin = Margin.toDouble() / 2.0;

        const double r1 = s.random.nextSingle();
        s.ParX[i] =
            toSingle(((gap * (col.toDouble() + r1) + (col * size).toDouble()) + half) - halfMargin);
        const double r2 = s.random.nextSingle();
        s.ParY[i] =
            toSingle(((gap * (row.toDouble() + r2) + (row * size).toDouble()) + half) - halfMargin);
        const double r3 = s.random.nextSingle();
        s.ParVX[i] = toSingle((r3 - 0.5) * 5.0);
        const double r4 = s.random.nextSingle();
        s.ParVY[i] = toSingle((r4 - 0.5) * 5.0);
        if (i == last)
            break; // the counter is not incremented past the last index
    }
}

void exchangeVelocities(ModPar &s, Integer I, Integer J, float dx, float dy)
{
    if (dx == 0.0f && dy == 0.0f)
        return; // coincident centres: no line of centres, nothing to exchange

    const ExchangedVelocities v = exchangeArithmetic(dx, dy, s.ParVX[I], s.ParVY[I], s.ParVX[J],
        s.ParVY[J], [](double value) { return toSingle(value); });
    s.ParVX[I] = v.vxI;
    s.ParVY[I] = v.vyI;
    s.ParVX[J] = v.vxJ;
    s.ParVY[J] = v.vyJ;
}

void CollidePar(ModPar &s, Integer I, Integer J)
{
    const float dx = toSingle(static_cast<double>(s.ParX[I]) - s.ParX[J]);
    const float dy = toSingle(static_cast<double>(s.ParY[I]) - s.ParY[J]);
    exchangeVelocities(s, I, J, dx, dy);
}

} // namespace brownian
