#include "step.h"

#include "model/geometry.h"
#include "sim/engine.h"
#include "sim/particle_passes.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
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
/// What a recorded sub-step in the box sums, chunk by chunk, as the move pass reaches each chunk
/// (the pair pass has moved nothing, so the positions are still those of the collisions).
struct BoxRecord;
void sumBoxChunk(BoxRecord &box, int k) noexcept;

/// Moves every particle; a recorded box's chunk is summed just before it moves.
void movePass(pairs::Engine &e, ModPar &s, int count, BoxRecord *box = nullptr)
{
    float *x = s.ParX.data();
    float *y = s.ParY.data();
    const float *vx = s.ParVX.data();
    const float *vy = s.ParVY.data();
    if (!e.shared(count)) {
        for (int k = 0; box && k < pairs::kChunks; ++k)
            sumBoxChunk(*box, k);
        if (!passes::moveParticles(x, y, vx, vy, 0, count))
            throwFloating("move");
        return;
    }
    bool finite[pairs::kChunks];
    auto move = [&](int k) noexcept {
        if (box)
            sumBoxChunk(*box, k);
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
    for (std::size_t k = 0; k < found.size(); k += 2)
        CollidePar(s, found[k], found[k + 1]);
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
            const float *vx = s.ParVX.data(), *vy = s.ParVY.data();
            if (acrossX || acrossY) {
                CollideWrap(s, i, j);
                if (virial)
                    virial.across(x, y, vx, vy, i, j, vx0, vy0);
            } else {
                CollidePar(s, i, j);
                if (virial)
                    virial.direct(x, y, vx, vy, i, j, vx0, vy0);
            }
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

/// A recorded sub-step's virial and walls' momentum in the box, summed after its pair pass, from
/// the velocities at its start (scratch.startVx, startVy). The pair pass moves nothing, so its
/// virial is Σ_i r_i · ΔP_i with ΔP_i what the pass gave particle i, r_i taken from the box's
/// middle; the wall pass reversed the components of the discs not wholly inside, giving the
/// walls 2v, outward where the particle is beyond the middle.
///
/// Eight lanes: lane k takes the particles i with i mod 8 = k, each particle's terms in Single
/// (as the pass's own arithmetic; their rounding is far below the pressure's noise) and the
/// lanes' sums in Double. The lanes' arithmetic is the scalar arithmetic element by element, so
/// the sums are the same bits on any instruction set.
using Floats = float __attribute__((vector_size(32)));
using FloatBits = std::int32_t __attribute__((vector_size(32)));
using Lanes = double __attribute__((vector_size(32)));
// The lambdas below pass vectors by value but are always inlined: no call has the AVX ABI.
#pragma GCC diagnostic ignored "-Wpsabi"

/// The sums of one axis of a chunk of the box: the virial's lanes, then the wall's.
struct BoxLanes
{
    Lanes virial[2] = {}, wall[2] = {};
};

/// One axis of a chunk of the box. A disc is wholly inside along the axis when h < c < side - h,
/// the wall pass's own test (exact in Single too, h being a half of a whole number); one that is
/// not had its component reversed by the walls before the pair pass changed it, by after -
/// (-before) = (after - before) + 2 before.
__attribute__((always_inline)) inline void boxSumsLoop(const float *__restrict c,
    const float *__restrict v1, const float *__restrict v0, int count, float h, BoxLanes &out)
{
    constexpr float middle = field::kBoxSide / 2, side = field::kBoxSide;
    const FloatBits sign = FloatBits {} + std::numeric_limits<std::int32_t>::min();
    auto load = [](const float *p) __attribute__((always_inline))
    {
        Floats f;
        std::memcpy(&f, p, sizeof f);
        return f;
    };
    auto widen = [](Lanes * sums, const Floats &f) __attribute__((always_inline))
    {
        sums[0] += __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1, 2, 3), Lanes);
        sums[1] += __builtin_convertvector(__builtin_shufflevector(f, f, 4, 5, 6, 7), Lanes);
    };
    auto add = [&](const Floats &x, const Floats &after, const Floats &before)
        __attribute__((always_inline))
    {
        const Floats r = x - middle;
        const FloatBits inside = (x > h) & (x < side - h);
        const FloatBits w = ~inside & reinterpret_cast<FloatBits>(before + before);
        widen(out.virial, r * ((after - before) + reinterpret_cast<Floats>(w)));
        widen(out.wall, reinterpret_cast<Floats>(w ^ (reinterpret_cast<FloatBits>(r) & sign)));
    };
    const int whole = count - count % 8;
    for (int i = 0; i < whole; i += 8)
        add(load(c + i), load(v1 + i), load(v0 + i));
    if (whole < count) { // the last few; beyond the count at the middle, at rest
        float x[8], a[8] = {}, b[8] = {};
        std::fill(x, x + 8, middle);
        std::copy(c + whole, c + count, x);
        std::copy(v1 + whole, v1 + count, a);
        std::copy(v0 + whole, v0 + count, b);
        add(load(x), load(a), load(b));
    }
}

#ifdef BROWNIAN_HAS_WIDE_CODE
__attribute__((target("avx2"))) void boxSumsWide(
    const float *c, const float *v1, const float *v0, int count, float h, BoxLanes &out)
{
    boxSumsLoop(c, v1, v0, count, h, out);
}
#endif

void boxSums(bool wide, const float *c, const float *v1, const float *v0, int count, float h,
    BoxLanes &out) noexcept
{
#ifdef BROWNIAN_HAS_WIDE_CODE
    if (wide) {
        boxSumsWide(c, v1, v0, count, h, out);
        return;
    }
#else
    (void)wide;
#endif
    boxSumsLoop(c, v1, v0, count, h, out);
}

/// The sums are taken chunk by chunk, whether or not the workers share the move pass, and added
/// in the chunks' order: the same bits on any number of threads.
struct BoxRecord
{
    const ModPar &s;
    int count;
    bool wide;
    float h;
    const float *vx0, *vy0; // the velocities at the start of the sub-step
    BoxLanes x[pairs::kChunks], y[pairs::kChunks];

    void addTo(CollisionRecord &record) const
    {
        Lanes virial = {}, wall = {};
        for (int k = 0; k < pairs::kChunks; ++k) {
            virial += (x[k].virial[0] + y[k].virial[0]) + (x[k].virial[1] + y[k].virial[1]);
            wall += (x[k].wall[0] + y[k].wall[0]) + (x[k].wall[1] + y[k].wall[1]);
        }
        record.virial += (virial[0] + virial[1]) + (virial[2] + virial[3]);
        record.wallMomentum += (wall[0] + wall[1]) + (wall[2] + wall[3]);
    }
};

void sumBoxChunk(BoxRecord &box, int k) noexcept
{
    const int from = pairs::chunkBegin(box.count, k);
    const int n = pairs::chunkBegin(box.count, k + 1) - from;
    const ModPar &s = box.s;
    boxSums(
        box.wide, s.ParX.data() + from, s.ParVX.data() + from, box.vx0 + from, n, box.h, box.x[k]);
    boxSums(
        box.wide, s.ParY.data() + from, s.ParVY.data() + from, box.vy0 + from, n, box.h, box.y[k]);
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
    if (e.record) {
        BoxRecord box { s, count, e.wide, s.ParSize.toSingle() / 2, e.scratch.startVx.data(),
            e.scratch.startVy.data(), {}, {} };
        movePass(e, s, count, &box);
        box.addTo(*e.record);
    } else {
        movePass(e, s, count);
    }
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
    Scratch &scratch = e.scratch;
    scratch.virial = {};
    if (!e.record) {
        subStepIn(e, s, unbounded, path, counters);
        return;
    }
    const int count = particleCount(s);
    if (!unbounded) {
        if (!e.gridWanted(count)) { // the grid's pass keeps them itself
            scratch.startVx.assign(s.ParVX.data(), s.ParVX.data() + count);
            scratch.startVy.assign(s.ParVY.data(), s.ParVY.data() + count);
        }
        boundedSubStepIn(e, s, path, counters); // the move pass sums the figures
        ++e.record->subSteps;
        return;
    }
    scratch.virialSum = {};
    scratch.virial = { &scratch.virialSum };
    unboundedSubStepIn(e, s, path, counters);
    e.record->virial += scratch.virialSum.value();
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
