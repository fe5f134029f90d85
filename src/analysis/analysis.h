#pragma once

#include <cstdint>
#include <optional>
#include <utility>
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

/// The lags MsdAccumulator reports for a whole run of `subSteps` sub-steps, up to half the run
/// (1 for a run of one sub-step): 1 to 8, 10, 12 and 14, then 8, 10, 12 and 14 blocks of 2^k
/// sub-steps for k = 1, 2, ... (about 13 per decade). Ascending, no repeats.
std::vector<std::int64_t> msdLags(std::int64_t subSteps);

/// Mean squared displacement of unwrapped positions over all particles and time origins, by a
/// multiple-tau correlator with block averaging: level k keeps the last kBlocks averages of the
/// positions over blocks of 2^k sub-steps (level 0 the positions themselves), each block the
/// mean of two blocks of the level below, and measures the lags of msdLags between the block
/// averages of that level. Memory: kBlocks positions per particle and level, O(N log T).
///
/// A difference of block averages of width w misses the motion inside the blocks: its mean
/// square is the MSD smoothed over lags τ - w .. τ + w less the mean square spread of the
/// positions within a block, 2 V_w / w (V_w the mean sum of squared deviations from the block
/// mean). V follows exactly from the lower levels, V_2w = 2 V_w + w B_w(1) / 2 with B_w(1) the
/// mean square difference of neighbouring blocks of width w, and is added back; what remains
/// is the smoothing, below 1 / (6 j²) of the MSD at a lag of j blocks (j ≥ 8) for any motion
/// between ballistic and diffusive.
class MsdAccumulator
{
public:
    static constexpr int kBlocks = 16;

    /// `particles` ≥ 1; `subSteps`: the sub-steps the run makes (positions 0..subSteps);
    /// `removeDrift`: measure every position from the centre of mass of that moment.
    MsdAccumulator(int particles, std::int64_t subSteps, bool removeDrift);
    /// For a run of unknown length: the levels grow as the positions come in, and result()
    /// reports what an accumulator made for a run of the sub-steps seen so far would, value
    /// for value.
    MsdAccumulator(int particles, bool removeDrift);

    /// Positions taken so far (sub-step 0 included).
    std::int64_t samples() const;

    /// The unwrapped positions (twips) of all particles at the next sub-step, 0 first.
    void add(const double *ux, const double *uy);

    /// The MSD at every lag of msdLags that at least one pair of blocks reached.
    std::vector<MsdPoint> result() const;

private:
    struct Level
    {
        std::int64_t width = 1; // sub-steps per block
        std::vector<int> lags; // in blocks, ascending; 1 first (for the spread of the next level)
        std::vector<double> sums; // Σ over block pairs and particles of |ΔX̄|²
        std::vector<std::int64_t> pairs;
        std::vector<double> ring; // kBlocks × 2 particles, oldest overwritten
        std::int64_t stored = 0;
        std::vector<double> partial; // sum of the sub-blocks of the block being formed
        bool half = false; // partial holds one sub-block
    };

    /// Appends the next level; `feedsNext`: it also measures lag 1 for the level above.
    void addLevel(bool feedsNext);
    void push(std::size_t level, const double *sample);

    int m_particles;
    bool m_removeDrift;
    bool m_growing = false;
    std::int64_t m_maxLag;
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

/// The area the particles move in, twips²: the box 0..5000 or the wrap-around field -500..5500.
double fieldArea(bool unbounded);
/// N π (σ/2)² over fieldArea, for N = numSide² discs of diameter σ = size.
double fieldPackingFraction(bool unbounded, int numSide, int size);
/// Henderson's contact value of the hard-disc pair distribution, (1 − 7η/16)/(1 − η)².
double contactValue(double eta);
/// The Enskog self-diffusion coefficient of hard discs at number density n (twips⁻²), diameter
/// σ (twips) and packing fraction η, for kT/m = `thermal` twips² per sub-step²:
/// sqrt(kT/(π m)) / (2 n σ g(η)), in twips² per sub-step (Gass, J. Chem. Phys. 54, 1898 (1971)).
double enskogDiffusion(double density, double size, double eta, double thermal);
/// The mean and the standard error of the mean (none below two values).
std::pair<double, std::optional<double>> meanAndError(const std::vector<double> &values);

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
