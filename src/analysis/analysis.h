#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace brownian {

/// Mean squared displacement at one lag.
struct MsdPoint
{
    /// Lag in sub-steps, at least 1.
    std::int64_t lag = 0;
    /// Mean squared displacement in twips², averaged over particles and time origins.
    double msd = 0;
};

/// The lags reported for a run of `subSteps` sub-steps: about `perDecade` per decade from 1 up
/// to half the run (1 for a run of one sub-step), each a multiple of the stride of the level
/// that measures it (see MsdAccumulator). Ascending, no repeats.
std::vector<std::int64_t> msdLags(std::int64_t subSteps, int perDecade = 24);

/// Mean squared displacement of unwrapped positions over all particles and time origins, in
/// bounded memory. Level k keeps the last kRing positions taken every 4^k sub-steps and
/// measures the lags below kRing × 4^k that are multiples of 4^k and not measured by a lower
/// level, over every origin at a multiple of 4^k. Level 0 thus uses every origin.
class MsdAccumulator
{
public:
    static constexpr int kRing = 256;
    static constexpr int kLevelFactor = 4;

    /// `particles` ≥ 1; `subSteps`: the sub-steps the run makes (positions 0..subSteps);
    /// `removeDrift`: measure every position from the centre of mass of that moment.
    MsdAccumulator(int particles, std::int64_t subSteps, bool removeDrift);

    /// The unwrapped positions (twips) of all particles at the next sub-step, 0 first.
    void add(const double *ux, const double *uy);

    /// The MSD at every lag of msdLags that at least one origin reached.
    std::vector<MsdPoint> result() const;

private:
    struct Level
    {
        std::int64_t stride = 1;
        std::vector<std::int64_t> lags; // in sub-steps
        std::vector<double> sums; // Σ over origins and particles of |Δu|²
        std::vector<std::int64_t> origins;
        std::vector<double> ring; // kRing × particles × 2, oldest overwritten
        std::int64_t stored = 0; // samples stored so far
    };

    int m_particles;
    bool m_removeDrift;
    std::int64_t m_next = 0; // sub-step of the next add
    std::vector<Level> m_levels;
    std::vector<double> m_sample;
};

/// A straight line MSD = 4 D lag + c fitted over a diffusive stretch of lags.
struct DiffusionFit
{
    /// Diffusion coefficient in twips² per sub-step.
    double coefficient = 0;
    double intercept = 0;
    std::int64_t fromLag = 0, toLag = 0;
};

/// Fits MSD = 4 D lag + c over the longest run of consecutive lags whose local log-log slope
/// (a least-squares fit over the point and two neighbours on each side) lies within 1 ± 0.2,
/// at least 4 points long. None when there is no such run.
std::optional<DiffusionFit> fitDiffusion(const std::vector<MsdPoint> &points);

/// The distribution function of one particle's speed for N particles with fixed energy:
/// walls: F(v) = 1 − (1 − v²/Σ)^(N−1), Σ the sum of squared speeds;
/// torus (fixed momentum too), for speeds relative to the centre of mass:
/// F(u) = 1 − (1 − u²/((1 − 1/N) Σ))^(N−2), Σ the sum of squared relative speeds.
/// `speed` ≥ 0 in twips per sub-step.
double expectedSpeedCdf(double speed, int particles, double sumSquares, bool torus);

/// The largest speed the distribution allows: √Σ (walls) or √((1 − 1/N) Σ) (torus).
double speedSupport(int particles, double sumSquares, bool torus);

/// One bin of the speed histogram.
struct SpeedBin
{
    double low = 0, high = 0; ///< twips per sub-step
    std::uint64_t count = 0; ///< speeds counted in [low, high)
    double expected = 0; ///< count expected from expectedSpeedCdf
};

/// Time-averaged speed histogram: every sample adds the speeds of all particles (relative to
/// the centre of mass's velocity on the torus). Counts are kept in kFineBins fine bins up to a
/// little above the largest speed the start energy allows; result() merges them into at most
/// `bins` bins covering every speed seen and the range where at least half a count is
/// expected.
class SpeedHistogram
{
public:
    static constexpr int kFineBins = 4096;

    /// `startSumSquares`: Σ of the start state (relative on the torus), which sets the range.
    SpeedHistogram(int particles, bool torus, double startSumSquares);

    /// One sample of the velocities of all particles.
    void add(const float *vx, const float *vy);

    std::uint64_t samples() const { return m_samples; }
    /// Σ averaged over the samples (relative to the centre of mass on the torus).
    double meanSumSquares() const;
    /// The bins, with the expected counts at meanSumSquares().
    std::vector<SpeedBin> result(int bins) const;

private:
    int m_particles;
    bool m_torus;
    double m_top; // upper edge of the fine bins
    std::vector<std::uint64_t> m_fine;
    double m_maxSpeed = 0;
    double m_sumOfSums = 0;
    std::uint64_t m_samples = 0;
    std::vector<double> m_speed;
};

/// Σ of squared speeds of the particles, relative to the mean velocity when `relative`.
double sumSquaredSpeeds(const float *vx, const float *vy, int particles, bool relative);

} // namespace brownian
