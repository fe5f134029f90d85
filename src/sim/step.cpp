#include "step.h"

#include "model/geometry.h"
#include "sim/engine.h"
#include "sim/particle_passes.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brownian {

namespace {

constexpr float kFieldHigh = field::kFieldHigh;
constexpr float kFieldLow = field::kFieldLow;
constexpr float kPeriod = field::kPeriod;
constexpr double kPeriodDouble = field::kPeriod;
/// The period and how far the field reaches below 0, as Integers for the seams' Integer sums.
constexpr Integer kPeriodInteger = static_cast<int>(field::kPeriod);
constexpr Integer kFieldOverhang = -static_cast<int>(field::kFieldLow);

/// Number of particles the loops run over; the arrays must hold at least that many.
int particleCount(const ModPar &s)
{
    const int count = s.lastIndex().value() + 1;
    const int held = s.ParX.size();
    if (s.ParY.size() < held || s.ParVX.size() < held || s.ParVY.size() < held)
        throwSubscript(held, held);
    if (count > held)
        throwSubscript(count - 1, held);
    return count;
}

void wallPass(ModPar &s, int count)
{
    const double h = s.ParSize.toDouble() / 2.0;
    const float *x = s.ParX.data();
    const float *y = s.ParY.data();
    float *vx = s.ParVX.data();
    float *vy = s.ParVY.data();
    for (int i = 0; i < count; ++i)
        passes::bounceOffWalls(x, y, vx, vy, i, h);
}

/// The move, shared with the workers where the grid passes run with them; every position
/// moves before a fault is raised, as on one thread.
void movePass(pairs::Engine &e, ModPar &s, int count)
{
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    const float *vx = s.ParVX.data();
    const float *vy = s.ParVY.data();
    if (!e.shared(count)) {
        if (!passes::moveParticles(x, y, vx, vy, 0, count))
            throwFloating("move");
        return;
    }
    bool finite[pairs::kChunks];
    auto move = [&](int k) noexcept {
        finite[k] = passes::moveParticles(
            x, y, vx, vy, pairs::chunkBegin(count, k), pairs::chunkBegin(count, k + 1));
    };
    e.workers.run(pairs::kChunks, move);
    for (const bool f : finite) {
        if (!f)
            throwFloating("move");
    }
}

void pathSegment(const ModPar &s, Canvas &path)
{
    const Integer L = s.LocusNo;
    const float x = s.ParX[L];
    const float y = s.ParY[L];
    const float x0 = toSingle(static_cast<double>(x) - s.ParVX[L]);
    const float y0 = toSingle(static_cast<double>(y) - s.ParVY[L]);
    path.line(x0, y0, x, y, kRed);
}

/// Contact is D <= ParSize with D = sqrt(dx² + dy²) in Double.
inline bool inContact(double dx, double dy, double size)
{
    return std::sqrt(dx * dx + dy * dy) <= size;
}

void plainPairPass(ModPar &s, int count, TickCounters *counters)
{
    const double size = s.ParSize.toDouble();
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const double dx = static_cast<double>(s.ParX.at(i)) - s.ParX.at(j);
            const double dy = static_cast<double>(s.ParY.at(i)) - s.ParY.at(j);
            if (inContact(dx, dy, size)) {
                CollidePar(s, i, j);
                if (counters)
                    ++counters->contacts;
            }
        }
    }
    if (counters)
        counters->pairTests += static_cast<std::uint64_t>(count) * (count - 1) / 2;
}

/// The squared distances from (xi, yi) to the particles from .. count - 1 into dist, and how
/// many are within `bound`.
__attribute__((always_inline)) inline std::int64_t distancesLoop(const double *__restrict xs,
    const double *__restrict ys, double *__restrict dist, int from, int count, double xi, double yi,
    double bound)
{
    std::int64_t near = 0;
    for (int j = from; j < count; ++j) {
        const double dx = xi - xs[j];
        const double dy = yi - ys[j];
        const double d = dx * dx + dy * dy;
        dist[j] = d;
        near += d <= bound ? 1 : 0;
    }
    return near;
}

#ifdef BROWNIAN_HAS_WIDE_CODE
/// The same loop four lanes wide, where the processor has AVX2: the baseline instruction set
/// has no vector form of the count.
__attribute__((target("avx2"))) std::int64_t distancesWide(const double *xs, const double *ys,
    double *dist, int from, int count, double xi, double yi, double bound)
{
    return distancesLoop(xs, ys, dist, from, count, xi, yi, bound);
}
#endif

std::int64_t distances(bool wide, const double *xs, const double *ys, double *dist, int from,
    int count, double xi, double yi, double bound)
{
#ifdef BROWNIAN_HAS_WIDE_CODE
    if (wide)
        return distancesWide(xs, ys, dist, from, count, xi, yi, bound);
#else
    (void)wide;
#endif
    return distancesLoop(xs, ys, dist, from, count, xi, yi, bound);
}

/// The bounded pair pass in two sweeps. Positions do not change during the pass, so the pairs
/// in contact can all be found first and collided afterwards in (i, j) order. The search
/// compares squared distances against a bound slightly above ParSize², which no pair in
/// contact can exceed, and settles every pair under that bound with the exact square-root
/// test, so it finds exactly the pairs the plain pass finds.
void fastPairPass(pairs::Engine &e, ModPar &s, int count, TickCounters *counters)
{
    pairs::Scratch &scratch = e.scratch;
    std::vector<double> &xs = scratch.xs, &ys = scratch.ys, &d2 = scratch.d2;
    std::vector<int> &found = scratch.found;
    xs.resize(count);
    ys.resize(count);
    d2.resize(count);
    found.clear();
    const float *x = s.ParX.data();
    const float *y = s.ParY.data();
    for (int i = 0; i < count; ++i) {
        xs[i] = x[i];
        ys[i] = y[i];
    }
    const double size = s.ParSize.toDouble();
    // sqrt is correctly rounded, so sqrt(q) <= size implies q < size² (1 + 2^-50).
    const double bound = size * size * (1.0 + 0x1p-40);
    double *dist = d2.data();
    for (int i = 0; i < count; ++i) {
        if (distances(e.wide, xs.data(), ys.data(), dist, i + 1, count, xs[i], ys[i], bound) == 0)
            continue;
        for (int j = i + 1; j < count; ++j) {
            if (dist[j] <= bound && std::sqrt(dist[j]) <= size) {
                found.push_back(i);
                found.push_back(j);
            }
        }
    }
    const pairs::VirialSums &virial = scratch.virial;
    for (std::size_t k = 0; k < found.size(); k += 2) {
        const int i = found[k], j = found[k + 1];
        const float vx0 = s.ParVX[i], vy0 = s.ParVY[i];
        CollidePar(s, i, j);
        if (virial)
            virial.add(x, y, s.ParVX.data(), s.ParVY.data(), i, j, vx0, vy0);
    }
    if (counters) {
        counters->contacts += found.size() / 2;
        counters->pairTests += static_cast<std::uint64_t>(count) * (count - 1) / 2;
    }
}

void unboundedPairPass(
    ModPar &s, int count, TickCounters *counters, const pairs::VirialSums &virial)
{
    const Integer seam = kPeriodInteger - s.ParSize;
    const float w = seam.toSingle();
    const double size = s.ParSize.toDouble();
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    std::uint64_t contacts = 0;
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const double ddx = static_cast<double>(x[i]) - x[j];
            const bool acrossX = static_cast<float>(std::fabs(ddx)) >= w;
            const double sx = acrossX ? kPeriodDouble - std::fabs(ddx) : ddx;
            // D >= |sx|, so a pair farther apart than ParSize on one axis cannot touch.
            if (std::fabs(sx) > size)
                continue;
            const double ddy = static_cast<double>(y[i]) - y[j];
            const bool acrossY = static_cast<float>(std::fabs(ddy)) >= w;
            const double sy = acrossY ? kPeriodDouble - std::fabs(ddy) : ddy;
            if (!inContact(sx, sy, size))
                continue;
            ++contacts;
            const float vx0 = s.ParVX[i], vy0 = s.ParVY[i];
            if (acrossX || acrossY)
                CollideWrap(s, i, j);
            else
                CollidePar(s, i, j);
            if (virial)
                virial.add(x, y, s.ParVX.data(), s.ParVY.data(), i, j, vx0, vy0);
        }
    }
    if (counters) {
        counters->contacts += contacts;
        counters->pairTests += static_cast<std::uint64_t>(count) * (count - 1) / 2;
    }
}

void wrapRange(float *__restrict x, float *__restrict y, int from, int to) noexcept
{
    // Without branches, so that the loop vectorises: both shifts computed, and one chosen
    // through the bits (a choice between two Singles is otherwise made into a branch).
    auto choose = [](bool first, float a, float b) {
        const std::uint32_t mask = 0u - static_cast<std::uint32_t>(first);
        return std::bit_cast<float>(
            (std::bit_cast<std::uint32_t>(a) & mask) | (std::bit_cast<std::uint32_t>(b) & ~mask));
    };
    auto wrap = [&](float c) {
        c = choose(c > kFieldHigh, c - kPeriod, c);
        return choose(c < kFieldLow, c + kPeriod, c);
    };
    for (int i = from; i < to; ++i) {
        x[i] = wrap(x[i]);
        y[i] = wrap(y[i]);
    }
}

/// Shared with the workers like the move.
void wrapPass(pairs::Engine &e, ModPar &s, int count)
{
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    if (e.shared(count)) {
        auto wrap = [&](int k) noexcept {
            wrapRange(x, y, pairs::chunkBegin(count, k), pairs::chunkBegin(count, k + 1));
        };
        e.workers.run(pairs::kChunks, wrap);
    } else {
        wrapRange(x, y, 0, count);
    }
}

void boundedSubStepIn(pairs::Engine &e, ModPar &s, Canvas &path, TickCounters *counters)
{
    const int count = particleCount(s);
    if (e.gridWanted(count)) {
        pairs::boundedGridPairPass(e, s, count, counters); // the wall pass included
    } else {
        wallPass(s, count);
        fastPairPass(e, s, count, counters);
    }
    movePass(e, s, count);
    pathSegment(s, path);
}

void unboundedSubStepIn(pairs::Engine &e, ModPar &s, Canvas &path, TickCounters *counters)
{
    const int count = particleCount(s);
    if (!(e.gridWanted(count) && pairs::unboundedGridPairPass(e, s, count, counters)))
        unboundedPairPass(s, count, counters, e.scratch.virial);
    movePass(e, s, count);
    wrapPass(e, s, count);
    pathSegment(s, path);
}

/// The outward component of the momentum the walls will take in the wall pass of the sub-step
/// about to run from `s`: a particle reversed on an axis gives the wall 2v on it, outward where
/// it moves away from the box's middle.
double wallMomentum(const ModPar &s, int count)
{
    const double h = s.ParSize.toDouble() / 2.0;
    constexpr double middle = field::kBoxSide / 2.0;
    const float *px = s.ParX.data(), *py = s.ParY.data();
    const float *vx = s.ParVX.data(), *vy = s.ParVY.data();
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double x = px[i], y = py[i];
        if (!passes::insideBox(x, h))
            sum += 2.0 * (x > middle ? vx[i] : -vx[i]);
        if (!passes::insideBox(y, h))
            sum += 2.0 * (y > middle ? vy[i] : -vy[i]);
    }
    return sum;
}

void subStepIn(pairs::Engine &e, ModPar &s, bool unbounded, Canvas &path, TickCounters *counters)
{
    if (unbounded)
        unboundedSubStepIn(e, s, path, counters);
    else
        boundedSubStepIn(e, s, path, counters);
}

} // namespace

void pairs::subStep(Engine &e, ModPar &s, bool unbounded, Canvas &path, TickCounters *counters)
{
    if (!e.record) {
        e.scratch.virial = {};
        subStepIn(e, s, unbounded, path, counters);
        return;
    }
    const int count = particleCount(s);
    std::vector<double> &sums = e.scratch.virialSums;
    sums.assign(static_cast<std::size_t>(count), 0.0);
    e.scratch.virial = { sums.data(), unbounded };
    const double wall = unbounded ? 0.0 : wallMomentum(s, count);
    subStepIn(e, s, unbounded, path, counters);
    double virial = 0;
    for (const double w : sums) // in index order, whatever the threads
        virial += w;
    e.record->virial += virial;
    e.record->wallMomentum += wall;
    ++e.record->subSteps;
}

void boundedSubStep(ModPar &s, Canvas &path, TickCounters *counters)
{
    pairs::Engine engine;
    boundedSubStepIn(engine, s, path, counters);
}

void boundedSubStepPlain(ModPar &s, Canvas &path, TickCounters *counters)
{
    pairs::Engine engine(1, PairPass::All);
    const int count = particleCount(s);
    wallPass(s, count);
    plainPairPass(s, count, counters);
    movePass(engine, s, count);
    pathSegment(s, path);
}

void unboundedSubStep(ModPar &s, Canvas &path, TickCounters *counters)
{
    pairs::Engine engine;
    unboundedSubStepIn(engine, s, path, counters);
}

void CollideWrap(ModPar &s, Integer I, Integer J)
{
    const float low = (s.ParSize - kFieldOverhang).toSingle();
    if (s.ParX[I] < low)
        s.ParX[I] = toSingle(static_cast<double>(s.ParX[I]) + kPeriod);
    if (s.ParX[J] < low)
        s.ParX[J] = toSingle(static_cast<double>(s.ParX[J]) + kPeriod);
    if (s.ParY[I] < low)
        s.ParY[I] = toSingle(static_cast<double>(s.ParY[I]) + kPeriod);
    if (s.ParY[J] < low)
        s.ParY[J] = toSingle(static_cast<double>(s.ParY[J]) + kPeriod);
    const float dx = toSingle(static_cast<double>(s.ParX[I]) - s.ParX[J]);
    const float dy = toSingle(static_cast<double>(s.ParY[I]) - s.ParY[J]);
    exchangeVelocities(s, I, J, dx, dy);
}

void drawFrame(const ModPar &s, Canvas &buffer)
{
    const int count = particleCount(s);
    const float lx = s.ParX[s.LocusNo], ly = s.ParY[s.LocusNo]; // checked even when not drawn
    if (buffer.keepsNothing()) // a headless run without pictures: 32 761 calls for nothing
        return;
    const float radius = toSingle(s.ParSize.toDouble() / 2.0);
    const float *x = s.ParX.data();
    const float *y = s.ParY.data();
    for (int i = 0; i < count; ++i) {
        buffer.setFillColor(kGreen);
        buffer.circle(x[i], y[i], radius, kGreen);
    }
    buffer.setFillColor(kRed);
    buffer.circle(lx, ly, radius, kRed);
}

} // namespace brownian
