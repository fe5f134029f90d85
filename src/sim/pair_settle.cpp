#include "pair_settle.h"

namespace brownian::pairs {

void prepareSettling(Scratch &scratch, int count)
{
    scratch.savedVx.resize(static_cast<std::size_t>(count));
    scratch.savedVy.resize(static_cast<std::size_t>(count));
    scratch.left.resize(static_cast<std::size_t>(count) + kGroups); // and a slot for each group
    scratch.groups.resize(kGroups);
    scratch.late.clear();
    for (int g = 0; g < kGroups; ++g) {
        std::size_t most = 0;
        for (int k = g * kChunksPerGroup; k < (g + 1) * kChunksPerGroup; ++k)
            most += scratch.chunks[k].count;
        if (scratch.groups[g].later.size() < most)
            scratch.groups[g].later.resize(most);
    }
}

void markReached(Scratch &scratch, int count, int g) noexcept
{
    const int begin = groupBegin(count, g), end = groupBegin(count, g + 1);
    unsigned char *left = scratch.left.data();
    std::fill(left + begin, left + end, 0);
    for (int k = 0; k < g * kChunksPerGroup; ++k) {
        const ChunkPairs &c = scratch.chunks[k];
        for (std::size_t a = 0; a < c.beyondCount; ++a) {
            const int j = c.beyond[a];
            // Without a branch that would go either way: a partner outside the group marks
            // the group's spare slot.
            left[j >= begin && j < end ? j : count + g] = 1;
        }
    }
}

} // namespace brownian::pairs
