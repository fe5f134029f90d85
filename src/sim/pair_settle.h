#pragma once

// Settling the pairs a grid search found, in (i, j) order, on the workers (internal to the
// simulation library).

#include "model/modpar.h"
#include "sim/engine.h"

#include <algorithm>

namespace brownian::pairs {

/// CollidePar on raw arrays: the same Single and Double operations in the same order as
/// exchangeVelocities, so the same bits, without the range checks of each access (the pass
/// checked its indexes against the arrays once). Returns false, having changed nothing, where
/// a result is not a finite Single: CollidePar then raises the fault.
inline bool exchangeDirect(float *x, float *y, float *vx, float *vy, int I, int J) noexcept
{
    const float fx = static_cast<float>(static_cast<double>(x[I]) - x[J]);
    const float fy = static_cast<float>(static_cast<double>(y[I]) - y[J]);
    if (fx == 0.0f && fy == 0.0f)
        return true;
    const ExchangedVelocities v = exchangeArithmetic(
        fx, fy, vx[I], vy[I], vx[J], vy[J], [](double value) { return static_cast<float>(value); });
    // x - x is 0 exactly for finite x, NaN for infinities and NaN: one test for all. The
    // projections are finite when the velocities they give are, or the exchange would have
    // spread their infinity or NaN into them.
    const float all = (fx - fx) + (fy - fy) + (v.vxI - v.vxI) + (v.vyI - v.vyI) + (v.vxJ - v.vxJ)
        + (v.vyJ - v.vyJ);
    if (all != 0.0f)
        return false;
    vx[I] = v.vxI;
    vy[I] = v.vyI;
    vx[J] = v.vxJ;
    vy[J] = v.vyJ;
    return true;
}

/// How a pair found by the search is to be collided, as the all-pairs pass would: not at all,
/// directly (CollidePar), or across the seams (CollideWrap).
enum class Way { Apart, Direct, Wrap };

/// The collisions are settled in groups of this many consecutive search chunks.
inline constexpr int kChunksPerGroup = 8;
inline constexpr int kGroups = kChunks / kChunksPerGroup;

/// The particles of group g are groupBegin(count, g) .. groupBegin(count, g + 1) - 1.
inline int groupBegin(int count, int g)
{
    return chunkBegin(count, g * kChunksPerGroup);
}

/// Sizes the scratch of the settling for `count` particles (outside the shared work, which
/// allocates nothing it can avoid).
void prepareSettling(Scratch &scratch, int count);

/// Group g's own flags, the only ones it reads or writes, cleared; then those of its particles
/// that an earlier group's pair reaches set.
void markReached(Scratch &scratch, int count, int g) noexcept;

/// The first round of group g, run side by side with the other groups: its pairs settled in
/// order, except a pair with a partner in a later group, a pair with a particle that an earlier
/// group's pair reaches, a pair across the seams, and from there on every pair with a particle
/// of a pair left over; those are listed for the second round. The round changes only the
/// group's own particles' velocities, which are kept first so that they can be taken back.
template <typename Decide>
void settleFirstRound(Scratch &scratch, ModPar &s, int count, int g, Decide &decide) noexcept
{
    static_assert(std::is_nothrow_invocable_v<Decide &, int, int>);
    Group &group = scratch.groups[g];
    const int begin = groupBegin(count, g), end = groupBegin(count, g + 1);
    markReached(scratch, count, g);
    float *x = s.ParX.data(), *y = s.ParY.data(), *vx = s.ParVX.data(), *vy = s.ParVY.data();
    std::copy(vx + begin, vx + end, scratch.savedVx.begin() + begin);
    std::copy(vy + begin, vy + end, scratch.savedVy.begin() + begin);
    std::uint64_t *later = group.later.data();
    group.virial = {};
    const VirialSums virial { scratch.virial ? &group.virial : nullptr };
    std::size_t laterCount = 0, settled = 0;
    unsigned char *l = scratch.left.data();
    group.fault = false;
    for (int k = g * kChunksPerGroup; k < (g + 1) * kChunksPerGroup && !group.fault; ++k) {
        const ChunkPairs &c = scratch.chunks[k];
        for (std::size_t a = 0; a < c.count; ++a) {
            const std::uint64_t p = c.pairs[a];
            const int i = firstOf(p), j = secondOf(p);
            const bool wait = j >= end || (l[i] | l[j]);
            const Way way = wait ? Way::Wrap : decide(i, j);
            if (way == Way::Apart)
                continue;
            if (way == Way::Wrap) {
                l[i] = 1;
                l[j < end ? j : i] = 1;
                later[laterCount++] = p;
                continue;
            }
            const float vx0 = vx[i], vy0 = vy[i];
            if (!exchangeDirect(x, y, vx, vy, i, j)) {
                group.fault = true;
                break;
            }
            if (virial)
                virial.direct(x, y, vx, vy, i, j, vx0, vy0);
            ++settled;
        }
    }
    group.laterCount = laterCount;
    group.settled = settled;
}

/// Settles the pairs found, in (i, j) order, exactly as the all-pairs pass settles them:
/// `settle(i, j)` tests and collides one pair the way the pass does and returns whether it
/// was in contact; `decide(i, j)` makes the same test without side effects and tells how the
/// pair would be collided.
///
/// Pairs touch each other's results only through a shared particle, so with several threads
/// the groups of chunks are settled side by side first (settleFirstRound), then the pairs left
/// over on the calling thread in (i, j) order. Every particle sees its pairs in (i, j) order
/// either way. A collision whose results would not be finite takes everything back and
/// settles all pairs again on the calling thread alone, where it raises its fault exactly as
/// the all-pairs pass does.
template <typename Settle, typename Decide>
std::uint64_t settlePairs(
    Engine &e, ModPar &s, int count, bool share, Settle &&settle, Decide &&decide)
{
    Scratch &scratch = e.scratch;
    auto serial = [&] {
        std::uint64_t contacts = 0;
        for (const ChunkPairs &c : scratch.chunks) {
            for (std::size_t a = 0; a < c.count; ++a)
                contacts += settle(firstOf(c.pairs[a]), secondOf(c.pairs[a]));
        }
        return contacts;
    };
    if (!share || e.workers.threads() < 2)
        return serial();
    prepareSettling(scratch, count);
    auto first = [&](int g) noexcept { settleFirstRound(scratch, s, count, g, decide); };
    e.workers.run(kGroups, first, true);

    float *x = s.ParX.data(), *y = s.ParY.data(), *vx = s.ParVX.data(), *vy = s.ParVY.data();
    auto takeBack = [&] {
        for (auto u = scratch.late.rbegin(); u != scratch.late.rend(); ++u) {
            x[u->i] = u->xI;
            y[u->i] = u->yI;
            x[u->j] = u->xJ;
            y[u->j] = u->yJ;
        }
        std::copy(scratch.savedVx.begin(), scratch.savedVx.begin() + count, vx);
        std::copy(scratch.savedVy.begin(), scratch.savedVy.begin() + count, vy);
        scratch.virialSum = {};
        return serial();
    };
    std::uint64_t contacts = 0;
    for (const Group &group : scratch.groups) {
        if (group.fault)
            return takeBack();
        contacts += group.settled;
    }
    if (scratch.virial) {
        for (const Group &group : scratch.groups)
            scratch.virialSum.add(group.virial);
    }
    for (const Group &group : scratch.groups) {
        for (std::size_t a = 0; a < group.laterCount; ++a) {
            const int i = firstOf(group.later[a]), j = secondOf(group.later[a]);
            const Way way = decide(i, j);
            if (way == Way::Apart)
                continue;
            if (way == Way::Direct) {
                const float vx0 = vx[i], vy0 = vy[i];
                if (!exchangeDirect(x, y, vx, vy, i, j))
                    return takeBack();
                if (scratch.virial)
                    scratch.virial.direct(x, y, vx, vy, i, j, vx0, vy0);
            } else {
                scratch.late.push_back({ i, j, x[i], y[i], x[j], y[j] });
                try {
                    settle(i, j);
                } catch (...) {
                    return takeBack();
                }
            }
            ++contacts;
        }
    }
    return contacts;
}

} // namespace brownian::pairs
