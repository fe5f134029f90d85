#include "analysis/gas.h"
#include "lab/csv.h"
#include "lab/merge_stats.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

using namespace brownian;
using namespace brownian::lab;

namespace {

/// MSD = 4 D lag exactly, over lags 1..2000.
std::vector<MsdPoint> diffusive(double d)
{
    std::vector<MsdPoint> points;
    for (std::int64_t lag : msdLags(4000))
        points.push_back({ lag, 4 * d * static_cast<double>(lag) });
    return points;
}

TEST(Merge, GroupsBySettingsAndAveragesOverSeeds)
{
    const GroupKey a { true, 4, 300, 3, 100 }, b { true, 4, 600, 3, 100 };
    std::vector<RunData> runs = {
        { a, "run-1", diffusive(10), 50.0, 1.2 },
        { b, "run-2", diffusive(3), 50.0, {} },
        { a, "run-3", diffusive(14), 70.0, 1.4 },
        { a, "run-4", diffusive(12), 60.0, 1.3 },
    };
    const auto groups = summarise(runs);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].key, a); // in the order of the first run
    EXPECT_EQ(groups[0].runs, 3);
    EXPECT_NEAR(*groups[0].dMean, 12.0, 1e-9);
    EXPECT_NEAR(*groups[0].dStderr, 2.0 / std::sqrt(3.0), 1e-9); // sd 2 over sqrt 3
    EXPECT_NEAR(*groups[0].thermal, 60.0, 1e-12);
    EXPECT_DOUBLE_EQ(*groups[0].dEnskog,
        enskogDiffusion(16 / 36e6, 300, fieldPackingFraction(true, 4, 300), 60.0));
    EXPECT_NEAR(groups[0].msdMean[5].msd, 4 * 12.0 * groups[0].msdMean[5].lag, 1e-6);
    EXPECT_NEAR(*groups[0].zMean, 1.3, 1e-12);
    EXPECT_NEAR(*groups[0].zStderr, 0.1 / std::sqrt(3.0), 1e-12);
    EXPECT_DOUBLE_EQ(*groups[0].zHenderson, hendersonZ(16 * std::numbers::pi * 9e4 / 144e6));
    EXPECT_EQ(groups[1].runs, 1);
    EXPECT_FALSE(groups[1].dStderr); // no error from a single run
    EXPECT_FALSE(groups[1].zMean); // no Z without the pressure

    const std::string csv = summaryFiles(groups).first;
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
        "mode,num_side,size,speed,ticks,packing_fraction,runs,D_mean,D_stderr,D_enskog,Z_mean,"
        "Z_stderr,Z_henderson");
    EXPECT_NE(csv.find("\nunbounded,4,600,3,100,"), std::string::npos);
}

TEST(Merge, GroupWithoutADiffusiveStretchHasAnEmptyD)
{
    std::vector<MsdPoint> ballistic;
    for (std::int64_t lag : msdLags(4000))
        ballistic.push_back({ lag, 9.0 * lag * lag });
    const auto groups = summarise({ { GroupKey { false, 3, 100, 3, 10 }, "r", ballistic, {}, {} },
        { GroupKey { false, 3, 100, 3, 10 }, "s", ballistic, 2.0, {} } });
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_FALSE(groups[0].dMean);
    EXPECT_FALSE(groups[0].dEnskog); // statistics of one run only: no Enskog value
    EXPECT_EQ(summaryFiles(groups).first.substr(summaryFiles(groups).first.find('\n') + 1),
        "bounded,3,100,3,10,0.002827433388230814,2,,,,,,\n");
}

TEST(Merge, RunsOfOneGroupMustShareTheirLags)
{
    const GroupKey k { false, 3, 100, 3, 10 };
    auto shorter = diffusive(1);
    shorter.pop_back();
    EXPECT_THROW(
        summarise({ { k, "a", diffusive(1), {}, {} }, { k, "b", shorter, {}, {} } }), InputError);
}

/// kT/m: E/N with walls, on the torus the energy about the centre of mass over N - 1. Z from
/// the temperature and pressure columns after tick 0: P̄ A / (N kT̄); none without them.
TEST(Merge, MeansOfTheStatistics)
{
    const std::string stats = std::string(kStatsHeader) + "\n0,100,0,0,0\n1,300,20,0,5\n";
    const auto [walls, noZ] = statsMeans(stats, false, 4, 50, "s");
    EXPECT_DOUBLE_EQ(walls, (25.0 + 75.0) / 2);
    EXPECT_FALSE(noZ);
    EXPECT_DOUBLE_EQ(statsMeans(stats, true, 4, 50, "s").first, (100.0 / 3 + (300 - 50.0) / 3) / 2);
    const std::string torus =
        statsHeader(true) + "\n0,9,0,0,0,9,9\n1,0,0,0,0,2,3e-6\n2,0,0,0,0,4,5e-6\n";
    EXPECT_DOUBLE_EQ(*statsMeans(torus, true, 100, 50, "s").second, 4e-6 * 36e6 / (100 * 3.0));
    const std::string box = statsHeader(false) + "\n0,9,0,0,0,9,9,9\n1,0,0,0,0,2,3e-6,0\n";
    EXPECT_DOUBLE_EQ(
        *statsMeans(box, false, 100, 50, "s").second, 3e-6 * 5000 * 4950 / (100 * 2.0));
    EXPECT_THROW(statsMeans(statsHeader(true) + "\n1,0,0,0,0,2\n", true, 100, 50, "s"), InputError);
    EXPECT_THROW(statsMeans("tick,x\n", false, 4, 50, "s"), InputError);
    try {
        statsMeans(std::string(kStatsHeader) + "\n0,1,2,3,4\n1,nan,0,0,0\n", false, 4, 50, "s");
        FAIL();
    } catch (const InputError &e) {
        EXPECT_EQ(std::string(e.what()), "s:3: 'nan' is not a finite number");
    }
}

} // namespace
