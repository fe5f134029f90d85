// The multiple-tau correlator of the mean squared displacement.
#include "analysis/analysis.h"

#include <algorithm>
#include <limits>

namespace brownian {

namespace {

std::int64_t maxLagOf(std::int64_t subSteps)
{
    return subSteps <= 0 ? 0 : std::max<std::int64_t>(1, subSteps / 2);
}

/// Lags in blocks measured on level 0 and reported on the higher levels.
constexpr int kFirstLags[] = { 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14 };
constexpr int kLevelLags[] = { 8, 10, 12, 14 };

/// Levels needed for lags up to maxLag: level k is needed when its shortest reported lag,
/// 8 × 2^k (1 on level 0), is within reach.
int levelsFor(std::int64_t maxLag)
{
    if (maxLag < 1)
        return 0;
    int levels = 1;
    while (8 * (std::int64_t { 1 } << levels) <= maxLag)
        ++levels;
    return levels;
}

/// Σ (a[c] - b[c])² over n values, in four interleaved partial sums (a fixed order).
double squaredDistance(const double *a, const double *b, std::size_t n)
{
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    std::size_t c = 0;
    for (; c + 4 <= n; c += 4) {
        const double d0 = a[c] - b[c], d1 = a[c + 1] - b[c + 1];
        const double d2 = a[c + 2] - b[c + 2], d3 = a[c + 3] - b[c + 3];
        s0 += d0 * d0;
        s1 += d1 * d1;
        s2 += d2 * d2;
        s3 += d3 * d3;
    }
    for (; c < n; ++c) {
        const double d = a[c] - b[c];
        s0 += d * d;
    }
    return (s0 + s1) + (s2 + s3);
}

} // namespace

std::vector<std::int64_t> msdLags(std::int64_t subSteps)
{
    std::vector<std::int64_t> lags;
    const std::int64_t maxLag = maxLagOf(subSteps);
    const int levels = levelsFor(maxLag);
    for (int k = 0; k < levels; ++k) {
        const std::int64_t width = std::int64_t { 1 } << k;
        auto add = [&](int j) {
            if (j * width <= maxLag)
                lags.push_back(j * width);
        };
        if (k == 0)
            std::for_each(std::begin(kFirstLags), std::end(kFirstLags), add);
        else
            std::for_each(std::begin(kLevelLags), std::end(kLevelLags), add);
    }
    return lags;
}

MsdAccumulator::MsdAccumulator(int particles, std::int64_t subSteps, bool removeDrift)
    : m_particles(particles)
    , m_removeDrift(removeDrift)
    , m_maxLag(maxLagOf(subSteps))
    , m_sample(2 * static_cast<std::size_t>(particles))
{
    const int levels = levelsFor(m_maxLag);
    for (int k = 0; k < levels; ++k)
        addLevel(k + 1 < levels);
}

MsdAccumulator::MsdAccumulator(int particles, bool removeDrift)
    : m_particles(particles)
    , m_removeDrift(removeDrift)
    , m_growing(true)
    , m_maxLag(std::numeric_limits<std::int64_t>::max())
    , m_sample(2 * static_cast<std::size_t>(particles))
{
    addLevel(true);
}

void MsdAccumulator::addLevel(bool feedsNext)
{
    const int k = static_cast<int>(m_levels.size());
    const std::size_t width = m_sample.size();
    Level &level = m_levels.emplace_back();
    level.width = std::int64_t { 1 } << k;
    if (k > 0 && feedsNext)
        level.lags.push_back(1); // only for the spread of the next level
    const auto add = [&](int j) {
        if (j * level.width <= m_maxLag)
            level.lags.push_back(j);
    };
    if (k == 0)
        std::for_each(std::begin(kFirstLags), std::end(kFirstLags), add);
    else
        std::for_each(std::begin(kLevelLags), std::end(kLevelLags), add);
    level.sums.assign(level.lags.size(), 0.0);
    level.pairs.assign(level.lags.size(), 0);
    level.ring.assign(kBlocks * width, 0.0);
    if (k > 0)
        level.partial.assign(width, 0.0);
}

std::int64_t MsdAccumulator::samples() const
{
    return m_levels.empty() ? 0 : m_levels.front().stored;
}

void MsdAccumulator::add(const double *ux, const double *uy)
{
    const int n = m_particles;
    double cx = 0, cy = 0;
    if (m_removeDrift) {
        for (int i = 0; i < n; ++i) {
            cx += ux[i];
            cy += uy[i];
        }
        cx /= n;
        cy /= n;
    }
    for (int i = 0; i < n; ++i) {
        m_sample[2 * i] = ux[i] - cx;
        m_sample[2 * i + 1] = uy[i] - cy;
    }
    if (!m_levels.empty())
        push(0, m_sample.data());
}

void MsdAccumulator::push(std::size_t index, const double *sample)
{
    Level &level = m_levels[index];
    const std::size_t width = m_sample.size();
    const std::int64_t current = level.stored++;
    double *now = level.ring.data() + static_cast<std::size_t>(current % kBlocks) * width;
    std::copy(sample, sample + width, now);
    for (std::size_t q = 0; q < level.lags.size(); ++q) {
        const int back = level.lags[q];
        if (back > current)
            break; // lags ascend: no earlier block yet for this one or the longer ones
        const double *then =
            level.ring.data() + static_cast<std::size_t>((current - back) % kBlocks) * width;
        level.sums[q] += squaredDistance(now, then, width);
        ++level.pairs[q];
    }
    if (index + 1 >= m_levels.size()) {
        if (!m_growing)
            return;
        addLevel(true); // may move the levels: `level` and `now` are not used below
        now = m_levels[index].ring.data() + static_cast<std::size_t>(current % kBlocks) * width;
    }
    Level &up = m_levels[index + 1];
    if (!up.half) {
        std::copy(now, now + width, up.partial.begin());
        up.half = true;
        return;
    }
    for (std::size_t c = 0; c < width; ++c)
        up.partial[c] = (up.partial[c] + now[c]) * 0.5;
    up.half = false;
    push(index + 1, up.partial.data());
}

std::vector<MsdPoint> MsdAccumulator::result() const
{
    // Growing, the accumulator reports what one made for a run of the sub-steps so far would.
    const std::int64_t maxLag = m_growing ? maxLagOf(samples() - 1) : m_maxLag;
    const std::size_t levels =
        std::min(m_levels.size(), static_cast<std::size_t>(levelsFor(maxLag)));
    std::vector<MsdPoint> points;
    double spread = 0; // V: mean Σ of squared deviations from the block mean, per particle
    for (std::size_t k = 0; k < levels; ++k) {
        const Level &level = m_levels[k];
        const double within = 2.0 * spread / static_cast<double>(level.width);
        double neighbours = -1; // B(1), mean square difference of neighbouring blocks
        for (std::size_t q = 0; q < level.lags.size(); ++q) {
            if (level.pairs[q] == 0 || level.lags[q] * level.width > maxLag)
                continue;
            const double mean = level.sums[q] / (static_cast<double>(level.pairs[q]) * m_particles);
            if (level.lags[q] == 1)
                neighbours = mean;
            if (k == 0 || level.lags[q] >= kLevelLags[0])
                points.push_back({ level.lags[q] * level.width, mean + within });
        }
        if (neighbours < 0)
            break; // no higher level has a pair of blocks either
        spread = 2.0 * spread + static_cast<double>(level.width) * neighbours / 2.0;
    }
    return points;
}

} // namespace brownian
