#pragma once
// What `brownian-lab merge` reads and computes: the finished runs of a sweep, grouped by their
// settings apart from the seed, diffusion coefficients averaged, and the Enskog prediction for
// hard disks beside them.

#include "analysis/analysis.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brownian::lab {

/// The settings that make a group: everything but the seed.
struct GroupKey
{
    bool unbounded = false;
    int numSide = 0, size = 0, speed = 0;
    std::int64_t ticks = 0;
    auto operator<=>(const GroupKey &) const = default;
};

/// One finished run as merge reads it.
struct RunData
{
    GroupKey key;
    std::string source; ///< the run's folder, for messages
    std::vector<MsdPoint> msd;
    std::optional<double> thermal, z; ///< from statsMeans; none without statistics
};

struct GroupSummary
{
    GroupKey key;
    /// η over the field, and over the area the pressure is taken over (in the box
    /// 5000·(5000 − size)), where Z is drawn.
    double packingFraction = 0, zPackingFraction = 0;
    int runs = 0, fitted = 0;
    std::optional<double> dMean, dStderr, dEnskog, thermal;
    /// Z over the runs, and Henderson's for hard discs at zPackingFraction; present when every
    /// run has Z.
    std::optional<double> zMean, zStderr, zHenderson;
    std::vector<MsdPoint> msdMean;
    std::vector<double> msdStderr; ///< NaN where there is none
};

/// kT/m and Z from the text of a stats.csv, averaged over its rows. kT/m in twips² per
/// sub-step² is the mean kinetic energy per pair of degrees of freedom: E/N with walls, on the
/// torus (E − P²/2N)/(N − 1), relative to the centre of mass. Z = P̄ A / (N kT̄) over the ticks
/// after tick 0, none from statistics without the temperature and pressure. Throws InputError
/// naming `source` and the line.
std::pair<double, std::optional<double>> statsMeans(
    const std::string &text, bool unbounded, int particles, int size, const std::string &source);

/// The finished runs of DIR/run-K in the order of K, counting the folders without a manifest.
/// Throws InputError for a run whose files are missing and for two runs that are one (the same
/// settings and seed: a copied folder would count twice).
std::vector<RunData> readRuns(const std::string &dir, int &unfinished);

/// Groups in the order of their first run; averages. Throws InputError when the runs of a
/// group do not share their lags.
std::vector<GroupSummary> summarise(const std::vector<RunData> &runs);

/// The texts of summary.csv and summary-msd.csv.
std::pair<std::string, std::string> summaryFiles(const std::vector<GroupSummary> &groups);

} // namespace brownian::lab
