#pragma once

#include "integer.h"
#include "random_source.h"
#include "single_array.h"

namespace brownian {

/// The one simulation state of the program: five settings and four parallel particle arrays.
/// The windows share one instance by reference; tests and the lab tool build their own.
struct ModPar
{
    /// Index of the tracked particle, whose path is drawn; 0..N-1.
    Integer LocusNo;
    /// Particles per side of the start grid; the particle count is N = NumSide².
    Integer NumSide;
    /// Particle diameter in twips, also the centre distance at which two particles touch.
    Integer ParSize;
    /// Sub-steps per tick (speed level), usually 1..5. Never a velocity factor.
    Integer ParSpeed;
    /// Particle centres in twips, indexes 0..N-1.
    SingleArray ParX, ParY;
    /// Velocities in twips per sub-step, indexes 0..N-1.
    SingleArray ParVX, ParVY;
    /// 0: bounded box 0..5000 with walls; 1: wrap-around field -500..5500.
    Integer BoundMode;

    /// The uniform source that only InitPar draws from.
    RandomSource random;

    /// Sets the start-up defaults: BoundMode 0, NumSide 5, ParSize 400, ParSpeed 3, LocusNo 12.
    void setDefaults();
    /// Re-creates all four arrays with indexes 0..NumSide²-1, every element 0.
    void redim();
    /// N - 1, the last particle index: NumSide² - 1 as a Double power, rounded to an Integer.
    Integer lastIndex() const;
};

/// Places every particle on a jittered grid filling the square -Margin/2..5000+Margin/2 and
/// gives it a random velocity in [-2.5, 2.5) per axis; four draws per particle in the order
/// x, y, vx, vy. Margin is 0 (bounded) or 1000 (unbounded).
void InitPar(ModPar &state, Integer Margin);

/// The elastic collision of two equal discs I and J found in contact: they exchange their
/// velocity components along the line of centres and keep those along the tangent. Positions
/// are read only. Coincident centres leave both velocities unchanged.
void CollidePar(ModPar &state, Integer I, Integer J);

/// The velocity exchange of CollidePar for the offsets dx = x(I) - x(J), dy = y(I) - y(J)
/// already rounded to Single; shared with the wrap-aware collision.
void exchangeVelocities(ModPar &state, Integer I, Integer J, float dx, float dy);

/// The new velocities of an exchange, in twips per sub-step: vx(I), vy(I), vx(J), vy(J).
struct ExchangedVelocities
{
    float vxI, vyI, vxJ, vyJ;
};

/// The arithmetic of exchangeVelocities for offsets (x, y) not both 0, with every rounding to
/// Single made by `round` (a checked rounding that throws on overflow, or a plain one whose
/// results the caller checks), in the order the exchange makes them.
template <typename Round>
inline ExchangedVelocities exchangeArithmetic(
    double x, double y, double vxI, double vyI, double vxJ, double vyJ, Round round)
{
    // Projections onto the line of centres (n) and the tangent (t), times the distance.
    const double nI = round(y * vyI + x * vxI);
    const double tI = round(y * vxI - x * vyI);
    const double nJ = round(y * vyJ + x * vxJ);
    const double tJ = round(y * vxJ - x * vyJ);
    const double k = 1.0 / (y * y + x * x);
    const float vxI2 = round(k * (tI * y + x * nJ));
    const float vyI2 = round(k * (y * nJ - x * tI));
    const float vxJ2 = round(k * (nI * x + y * tJ));
    const float vyJ2 = round(k * (nI * y - x * tJ));
    return { vxI2, vyI2, vxJ2, vyJ2 };
}

} // namespace brownian
