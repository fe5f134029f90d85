// The MSD the lab writes, from the correlator, against the direct average over every time
// origin of a real run.
#include "analysis/analysis.h"
#include "lab/recorder.h"
#include "sim/restart.h"
#include "support/state_builder.h"

#include <functional>
#include <gtest/gtest.h>

using namespace brownian;
using namespace brownian::lab;

namespace {

struct RunCase
{
    bool unbounded;
    int numSide, size, subSteps;
};

/// Every particle's unwrapped position at every sub-step, measured from the centre of mass
/// of the moment when `removeDrift`: history[t][2 * i + axis].
std::vector<std::vector<double>> runAndRecord(const RunCase &c, MsdAccumulator &msd)
{
    Simulation simulation(test::StateBuilder()
                              .unbounded(c.unbounded)
                              .numSide(c.numSide)
                              .size(c.size)
                              .speed(1)
                              .locus(0)
                              .seed(17)
                              .placed());
    ModPar &s = simulation.state();
    Stepper stepper(simulation, c.unbounded);
    const int n = s.ParX.size();
    std::vector<std::vector<double>> history;
    struct Record final : SubStepObserver
    {
        std::function<void()> run;
        void afterSubStep(const ModPar &) override { run(); }
    } recordEach;
    auto record = [&] {
        const auto &ux = stepper.unwrappedX();
        const auto &uy = stepper.unwrappedY();
        msd.add(ux.data(), uy.data());
        double cx = 0, cy = 0;
        for (int i = 0; i < n && c.unbounded; ++i) {
            cx += ux[i] / n;
            cy += uy[i] / n;
        }
        std::vector<double> row(2 * static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            row[2 * i] = ux[i] - cx;
            row[2 * i + 1] = uy[i] - cy;
        }
        history.push_back(std::move(row));
    };
    record();
    recordEach.run = record;
    NullCanvas path;
    TickCounters counters;
    for (int t = 0; t < c.subSteps; ++t)
        stepper.tick(path, counters, &recordEach);
    return history;
}

double directMsd(const std::vector<std::vector<double>> &history, std::int64_t lag)
{
    const std::int64_t steps = static_cast<std::int64_t>(history.size()) - 1;
    double sum = 0;
    for (std::int64_t t = 0; t + lag <= steps; ++t) {
        for (std::size_t c = 0; c < history[t].size(); ++c) {
            const double d = history[t + lag][c] - history[t][c];
            sum += d * d;
        }
    }
    return sum / (static_cast<double>(steps - lag + 1) * (history[0].size() / 2));
}

TEST(MsdAgreement, CorrelatorMatchesTheAverageOverAllOriginsWithinOnePercent)
{
    for (const RunCase c : { RunCase { true, 40, 100, 1200 }, RunCase { false, 40, 100, 1200 } }) {
        MsdAccumulator msd(c.numSide * c.numSide, c.subSteps, c.unbounded);
        const auto history = runAndRecord(c, msd);
        const auto points = msd.result();
        ASSERT_EQ(points.size(), msdLags(c.subSteps).size());
        for (const MsdPoint &p : points) {
            const double direct = directMsd(history, p.lag);
            EXPECT_NEAR(p.msd, direct, 0.01 * direct)
                << (c.unbounded ? "unbounded" : "bounded") << " lag " << p.lag;
        }
    }
}

} // namespace
