#include "analysis/analysis.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>

using namespace brownian;

namespace {

TEST(MsdLags, AreSpacedLogarithmicallyUpToHalfTheRun)
{
    EXPECT_TRUE(msdLags(0).empty());
    EXPECT_EQ(msdLags(1), std::vector<std::int64_t> { 1 });
    EXPECT_EQ(msdLags(3), std::vector<std::int64_t> { 1 });
    EXPECT_EQ(msdLags(32).back(), 16); // the first lag of level 1, exactly half the run
    for (std::int64_t steps : { 10LL, 999LL, 100000LL, 123456789LL, 1000000000000LL }) {
        const auto lags = msdLags(steps);
        ASSERT_FALSE(lags.empty());
        EXPECT_EQ(lags.front(), 1);
        EXPECT_LE(lags.back(), steps / 2);
        EXPECT_GE(lags.back(), steps / 2 * 0.8) << steps;
        EXPECT_LE(lags.size(), 14 * std::log10(static_cast<double>(steps)) + 6);
        for (std::size_t k = 1; k < lags.size(); ++k) {
            EXPECT_GT(lags[k], lags[k - 1]);
            // No gap wider than a quarter beyond the first integers.
            EXPECT_LE(static_cast<double>(lags[k]) / lags[k - 1], lags[k - 1] < 8 ? 2.0 : 1.25);
        }
    }
}

/// Random-walk trajectories: positions[t][2 * i + axis].
std::vector<std::vector<double>> randomWalks(int particles, int steps, double drift, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> step(0.0, 3.0);
    std::vector<std::vector<double>> positions(steps + 1, std::vector<double>(2 * particles));
    for (int i = 0; i < 2 * particles; ++i)
        positions[0][i] = 1000.0 * i;
    for (int t = 1; t <= steps; ++t) {
        for (int i = 0; i < 2 * particles; ++i)
            positions[t][i] = positions[t - 1][i] + step(rng) + drift;
    }
    return positions;
}

std::vector<MsdPoint> accumulate(
    const std::vector<std::vector<double>> &positions, int particles, bool removeDrift)
{
    const int steps = static_cast<int>(positions.size()) - 1;
    MsdAccumulator acc(particles, steps, removeDrift);
    std::vector<double> ux(particles), uy(particles);
    for (const auto &row : positions) {
        for (int i = 0; i < particles; ++i) {
            ux[i] = row[2 * i];
            uy[i] = row[2 * i + 1];
        }
        acc.add(ux.data(), uy.data());
    }
    return acc.result();
}

/// Walks that keep their velocity for about `memory` steps: ballistic below, diffusive above,
/// as the particles of the simulation move. positions[t][2 * i + axis].
std::vector<std::vector<double>> persistentWalks(int particles, int steps, double memory)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> kick(0.0, 1.0);
    const double keep = 1.0 - 1.0 / memory;
    std::vector<std::vector<double>> positions(steps + 1, std::vector<double>(2 * particles));
    std::vector<double> v(2 * particles);
    for (auto &c : v)
        c = 3.0 * kick(rng);
    for (int t = 1; t <= steps; ++t) {
        for (int c = 0; c < 2 * particles; ++c) {
            v[c] = keep * v[c] + 3.0 * std::sqrt(1.0 - keep * keep) * kick(rng);
            positions[t][c] = positions[t - 1][c] + v[c];
        }
    }
    return positions;
}

/// The MSD at `lag` averaged over every origin of the run.
double directMsd(const std::vector<std::vector<double>> &positions, std::int64_t lag)
{
    const std::int64_t steps = static_cast<std::int64_t>(positions.size()) - 1;
    double sum = 0;
    for (std::int64_t t = 0; t + lag <= steps; ++t) {
        for (std::size_t c = 0; c < positions[t].size(); ++c) {
            const double d = positions[t + lag][c] - positions[t][c];
            sum += d * d;
        }
    }
    return sum / (static_cast<double>(steps - lag + 1) * (positions[0].size() / 2));
}

TEST(Msd, AgreesWithTheAverageOverAllOriginsAtEveryLag)
{
    struct Case
    {
        int particles, steps;
        double memory;
    };
    for (const Case c : { Case { 600, 3000, 1.0 }, Case { 600, 3000, 30.0 }, Case { 2, 4, 1.0 } }) {
        const auto positions = persistentWalks(c.particles, c.steps, c.memory);
        const auto points = accumulate(positions, c.particles, false);
        ASSERT_EQ(points.size(), msdLags(c.steps).size());
        for (const MsdPoint &p : points) {
            EXPECT_EQ(p.lag, msdLags(c.steps)[&p - points.data()]);
            const double direct = directMsd(positions, p.lag);
            EXPECT_NEAR(p.msd, direct, 0.01 * direct) << "lag " << p.lag << " memory " << c.memory;
        }
    }
}

TEST(Msd, RemovingTheDriftTakesOutACommonMotion)
{
    const int particles = 4, steps = 600;
    const auto still = randomWalks(particles, steps, 0.0, 11);
    auto drifting = still;
    for (int t = 0; t <= steps; ++t) {
        for (auto &v : drifting[t])
            v += 2.5 * t; // every particle carried along the diagonal
    }
    // The reference: the same walks measured from their own centre of mass.
    const auto reference = accumulate(still, particles, true);
    const auto removed = accumulate(drifting, particles, true);
    const auto kept = accumulate(drifting, particles, false);
    ASSERT_EQ(removed.size(), reference.size());
    for (std::size_t k = 0; k < removed.size(); ++k) {
        EXPECT_NEAR(removed[k].msd, reference[k].msd, 1e-7 * reference[k].msd);
        EXPECT_GT(kept[k].msd, removed[k].msd + 2 * 2.5 * 2.5 * kept[k].lag * kept[k].lag * 0.9);
    }
}

TEST(Msd, NothingBeforeTheSecondPosition)
{
    MsdAccumulator acc(2, 10, false);
    const double x[] = { 1, 2 }, y[] = { 3, 4 };
    acc.add(x, y);
    EXPECT_TRUE(acc.result().empty());
}

TEST(DiffusionFit, FindsTheCoefficientOfAPersistentWalk)
{
    // MSD of a walk that forgets its velocity over tau sub-steps: ballistic below tau,
    // 4 D t well above it.
    const double D = 37.5, tau = 20.0;
    std::vector<MsdPoint> points;
    for (const std::int64_t lag : msdLags(40000)) {
        const double t = static_cast<double>(lag);
        points.push_back({ lag, 4 * D * (t - tau * (1 - std::exp(-t / tau))) });
    }
    const auto fit = fitDiffusion(points);
    ASSERT_TRUE(fit.has_value());
    EXPECT_NEAR(fit->coefficient, D, 0.02 * D);
    EXPECT_GE(fit->fromLag, tau);
    EXPECT_EQ(fit->toLag, points.back().lag);
}

// Two diffusive stretches of the same length, between stretches of slope 3 on lags spaced
// evenly on the log scale: the first is fitted.
TEST(DiffusionFit, OfTwoEqualStretchesTheFirst)
{
    std::vector<MsdPoint> points;
    double logMsd = 0;
    for (int k = 0; k < 50; ++k) {
        points.push_back({ std::int64_t { 1 } << k, std::exp(logMsd) });
        logMsd += (k / 10 % 2 == 0 ? 3 : 1) * std::log(2.0);
    }
    const auto fit = fitDiffusion(points);
    ASSERT_TRUE(fit.has_value());
    EXPECT_GT(fit->fromLag, std::int64_t { 1 } << 10);
    EXPECT_LT(fit->toLag, std::int64_t { 1 } << 20);
}

TEST(DiffusionFit, NoneForBallisticOrConfinedMotion)
{
    std::vector<MsdPoint> ballistic, confined;
    for (const std::int64_t lag : msdLags(20000)) {
        const double t = static_cast<double>(lag);
        ballistic.push_back({ lag, 2.0 * t * t });
        confined.push_back({ lag, 1e6 });
    }
    EXPECT_FALSE(fitDiffusion(ballistic).has_value());
    EXPECT_FALSE(fitDiffusion(confined).has_value());
    EXPECT_FALSE(fitDiffusion({}).has_value());
}

struct CdfCase
{
    const char *name;
    int particles;
    bool torus;
};

void PrintTo(const CdfCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExpectedSpeeds : public ::testing::TestWithParam<CdfCase>
{
};

/// Velocities spread evenly over all states of the given energy (and zero total momentum on
/// the torus): the distribution the expected counts describe.
TEST_P(ExpectedSpeeds, MatchesEvenlySpreadVelocities)
{
    const CdfCase c = GetParam();
    const int n = c.particles;
    const double sumSquares = 40.0;
    std::mt19937_64 rng(5);
    std::normal_distribution<double> gauss;
    const int samples = 60000;
    const double probes[] = { 0.15, 0.3, 0.5, 0.7, 0.85, 0.95 };
    const double support = speedSupport(n, sumSquares, c.torus);
    std::vector<int> below(std::size(probes), 0);
    std::vector<double> v(2 * n);
    for (int s = 0; s < samples; ++s) {
        for (auto &x : v)
            x = gauss(rng);
        if (c.torus) {
            for (int axis = 0; axis < 2; ++axis) {
                double mean = 0;
                for (int i = 0; i < n; ++i)
                    mean += v[2 * i + axis];
                mean /= n;
                for (int i = 0; i < n; ++i)
                    v[2 * i + axis] -= mean;
            }
        }
        double norm = 0;
        for (double x : v)
            norm += x * x;
        const double scale = std::sqrt(sumSquares / norm);
        const double speed = std::hypot(v[0] * scale, v[1] * scale);
        for (std::size_t k = 0; k < std::size(probes); ++k)
            below[k] += speed < probes[k] * support;
    }
    for (std::size_t k = 0; k < std::size(probes); ++k) {
        const double expected = expectedSpeedCdf(probes[k] * support, n, sumSquares, c.torus);
        EXPECT_NEAR(static_cast<double>(below[k]) / samples, expected, 0.01) << probes[k];
    }
    EXPECT_EQ(expectedSpeedCdf(0.0, n, sumSquares, c.torus), 0.0);
    EXPECT_EQ(expectedSpeedCdf(support, n, sumSquares, c.torus), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Table, ExpectedSpeeds,
    ::testing::Values(CdfCase { "WallsTwo", 2, false }, CdfCase { "WallsThree", 3, false },
        CdfCase { "WallsTwentyFive", 25, false }, CdfCase { "TorusThree", 3, true },
        CdfCase { "TorusFour", 4, true }, CdfCase { "TorusTwentyFive", 25, true }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ExpectedSpeeds, DegenerateCountsAreSteps)
{
    // One particle between walls keeps its speed; two on the torus move at equal and
    // opposite velocities relative to their centre of mass; one alone has none.
    EXPECT_EQ(expectedSpeedCdf(2.9, 1, 9.0, false), 0.0);
    EXPECT_EQ(expectedSpeedCdf(3.0, 1, 9.0, false), 1.0);
    EXPECT_EQ(expectedSpeedCdf(2.9, 2, 18.0, true), 0.0);
    EXPECT_EQ(expectedSpeedCdf(3.0, 2, 18.0, true), 1.0);
    EXPECT_EQ(expectedSpeedCdf(0.0, 1, 0.0, true), 1.0);
    EXPECT_EQ(expectedSpeedCdf(0.0, 5, 0.0, false), 1.0);
}

TEST(SpeedHistogram, CountsAddUpAndCoverEverySpeed)
{
    const int n = 30;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-2.5f, 2.5f);
    std::vector<float> vx(n), vy(n);
    for (int i = 0; i < n; ++i) {
        vx[i] = u(rng);
        vy[i] = u(rng);
    }
    for (bool torus : { false, true }) {
        SpeedHistogram h(n, torus, sumSquaredSpeeds(vx.data(), vy.data(), n, torus));
        double maxSpeed = 0;
        for (int s = 0; s < 500; ++s) {
            // Shuffle the speeds among the particles, as collisions would, at equal energy.
            std::shuffle(vx.begin(), vx.end(), rng);
            h.add(vx.data(), vy.data());
            double mx = 0, my = 0;
            for (int i = 0; i < n && torus; ++i) {
                mx += vx[i] / n;
                my += vy[i] / n;
            }
            for (int i = 0; i < n; ++i)
                maxSpeed = std::max(maxSpeed, std::hypot(vx[i] - mx, vy[i] - my));
        }
        const auto bins = h.result(25);
        ASSERT_FALSE(bins.empty());
        EXPECT_LE(bins.size(), 25u);
        std::uint64_t total = 0;
        double expected = 0;
        EXPECT_EQ(bins.front().low, 0.0);
        for (std::size_t k = 0; k < bins.size(); ++k) {
            total += bins[k].count;
            expected += bins[k].expected;
            if (k > 0) {
                EXPECT_EQ(bins[k].low, bins[k - 1].high);
            }
        }
        EXPECT_EQ(total, 500u * n);
        EXPECT_GT(bins.back().high, maxSpeed);
        EXPECT_NEAR(expected, total, 1.0); // less than half a count expected beyond the range
    }
}

TEST(SpeedHistogram, SpeedsBeyondTheStartEnergyStillCount)
{
    const float slow[] = { 1.0f, 0.0f }, zero[] = { 0.0f, 0.0f };
    SpeedHistogram h(2, false, 1.0);
    h.add(slow, zero);
    const float fast[] = { 30.0f, 0.0f };
    h.add(fast, zero);
    const auto bins = h.result(10);
    std::uint64_t total = 0;
    for (const auto &b : bins)
        total += b.count;
    EXPECT_EQ(total, 4u);
    EXPECT_GT(bins.back().high, 30.0);
}

TEST(SpeedHistogram, EverySpeedLandsInTheBinThatHoldsIt)
{
    // Many speeds spread over the range, so that some sit just below a bin's upper edge: a
    // speed belongs to the bin with low <= speed < high, never to the nearest one.
    const int n = 400;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-2.5f, 2.5f);
    std::vector<float> vx(n), vy(n);
    for (int i = 0; i < n; ++i) {
        vx[i] = u(rng);
        vy[i] = u(rng);
    }
    SpeedHistogram h(n, false, sumSquaredSpeeds(vx.data(), vy.data(), n, false));
    h.add(vx.data(), vy.data());
    const auto bins = h.result(40);
    ASSERT_GT(bins.size(), 10u);
    std::vector<std::uint64_t> counted(bins.size(), 0);
    for (int i = 0; i < n; ++i) {
        const double speed = std::sqrt(double(vx[i]) * vx[i] + double(vy[i]) * vy[i]);
        for (std::size_t k = 0; k < bins.size(); ++k) {
            if (bins[k].low <= speed && speed < bins[k].high)
                ++counted[k];
        }
    }
    for (std::size_t k = 0; k < bins.size(); ++k)
        EXPECT_EQ(bins[k].count, counted[k]) << "bin " << k;
}

TEST(SumSquaredSpeeds, RelativeRemovesTheMeanOnEachAxis)
{
    // The same drift once along x and once along y.
    const float still[] = { 1.0f, -1.0f, 0.5f, -0.5f };
    const float drift[] = { 6.0f, 4.0f, 5.5f, 4.5f }; // mean 5, the same spread as `still`
    const double spread = 1 + 1 + 0.25 + 0.25;
    EXPECT_EQ(sumSquaredSpeeds(drift, still, 4, true), 2 * spread);
    EXPECT_EQ(sumSquaredSpeeds(still, drift, 4, true), 2 * spread);
    EXPECT_EQ(sumSquaredSpeeds(still, drift, 4, false), spread + 36 + 16 + 30.25 + 20.25);
}

TEST(Enskog, ApproachesTheDiluteLimitOfKineticTheory)
{
    // Dilute hard disks: D0 = sqrt(kT/(pi m)) / (2 n sigma); at finite density D0 / g(eta).
    const double thermal = 80.0;
    for (const bool unbounded : { false, true }) {
        const double density = 100 / fieldArea(unbounded),
                     eta = fieldPackingFraction(unbounded, 10, 2);
        const double dilute = std::sqrt(thermal / std::numbers::pi) / (2 * density * 2);
        EXPECT_NEAR(enskogDiffusion(density, 2, eta, thermal) / dilute, 1.0, 1e-3);
    }
    EXPECT_DOUBLE_EQ(contactValue(0.0), 1.0);
    EXPECT_DOUBLE_EQ(contactValue(0.5), (1 - 7.0 / 32) / 0.25);
    const double eta = fieldPackingFraction(true, 20, 280);
    EXPECT_NEAR(eta, 400 * std::numbers::pi * 140 * 140 / 36e6, 1e-12);
    EXPECT_NEAR(fieldPackingFraction(false, 20, 280) * 25e6, eta * 36e6, 1e-6);
    const double d0 = std::sqrt(thermal / std::numbers::pi) / (2 * (400 / 36e6) * 280);
    EXPECT_NEAR(enskogDiffusion(400 / 36e6, 280, eta, thermal), d0 / contactValue(eta), 1e-9);
}

TEST(MeanAndError, DividesTheSpreadByNMinusOneAndN)
{
    EXPECT_EQ(meanAndError({ 4.0 }), std::pair(4.0, std::optional<double>()));
    const auto [mean, error] = meanAndError({ 1.0, 2.0, 6.0 });
    EXPECT_DOUBLE_EQ(mean, 3.0);
    EXPECT_DOUBLE_EQ(*error, std::sqrt((4.0 + 1.0 + 9.0) / 2 / 3));
}

} // namespace
