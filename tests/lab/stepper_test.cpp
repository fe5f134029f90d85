#include "lab/recorder.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace brownian;
using namespace brownian::lab;

namespace {

ModPar placed(int numSide, int size, int speed, bool unbounded, std::uint64_t seed)
{
    return test::StateBuilder()
        .unbounded(unbounded)
        .numSide(numSide)
        .size(size)
        .speed(speed)
        .locus(0)
        .seed(seed)
        .placed();
}

/// Counts the sub-steps it sees and checks that each comes after the unwrapped positions took
/// in its move.
class SubStepCount final : public SubStepObserver
{
public:
    explicit SubStepCount(const Stepper &stepper)
        : m_stepper(stepper)
    {
    }
    void afterSubStep(const ModPar &) override
    {
        ++count;
        EXPECT_EQ(m_stepper.subSteps(), count);
    }
    std::int64_t count = 0;

private:
    const Stepper &m_stepper;
};

class StepperModes : public ::testing::TestWithParam<bool>
{
};

TEST_P(StepperModes, StepsExactlyAsTheWindowsTick)
{
    const bool unbounded = GetParam();
    Simulation labSimulation(placed(7, 450, 4, unbounded, 99));
    Simulation windowSimulation(placed(7, 450, 4, unbounded, 99));
    Stepper stepper(labSimulation, unbounded);
    NullCanvas path, frame;
    TickCounters labCounters, windowCounters;
    SubStepCount seen(stepper);
    for (int t = 0; t < 400; ++t) {
        stepper.tick(path, labCounters, &seen);
        windowSimulation.tick(unbounded, path, frame, &windowCounters);
    }
    EXPECT_EQ(seen.count, 1600);
    EXPECT_EQ(stepper.subSteps(), 1600);
    EXPECT_TRUE(test::sameState(labSimulation.state(), windowSimulation.state()));
    EXPECT_EQ(labCounters.contacts, windowCounters.contacts);
    EXPECT_GT(labCounters.contacts, 0u);
    EXPECT_EQ(labCounters.pairTests, 1600u * 49 * 48 / 2);
}

TEST_P(StepperModes, UnwrappedPositionsFollowTheStoredOnes)
{
    // The unwrapped position sums the moves in Double; the stored one rounds every move (and
    // every shift of CollideWrap) to Single, at most half an ulp of 8192, 2^-12, each time,
    // and on the torus is shifted by whole periods. They agree up to that rounding.
    const bool unbounded = GetParam();
    Simulation simulation(placed(6, 400, 5, unbounded, 4));
    const ModPar &s = simulation.state();
    Stepper stepper(simulation, unbounded);
    NullCanvas path;
    TickCounters counters;
    for (int t = 0; t < 600; ++t)
        stepper.tick(path, counters);
    bool wrapped = false;
    for (int i = 0; i < 36; ++i) {
        for (const auto &[u, x] : { std::pair { stepper.unwrappedX()[i], s.ParX.at(i) },
                 std::pair { stepper.unwrappedY()[i], s.ParY.at(i) } }) {
            const double periods = unbounded ? std::round((u - x) / 6000.0) : 0.0;
            wrapped = wrapped || periods != 0;
            EXPECT_NEAR(u - 6000.0 * periods, x, 2 * 3000 * std::ldexp(1.0, -12)) << i;
        }
    }
    EXPECT_EQ(wrapped, unbounded);
}

INSTANTIATE_TEST_SUITE_P(Modes, StepperModes, ::testing::Values(false, true),
    [](const auto &info) { return info.param ? "Unbounded" : "Bounded"; });

TEST(Totals, AreSumsInDoubleOfTheSingles)
{
    ModPar s = test::StateBuilder().numSide(2).locus(0).build();
    const float vx[] = { 1.5f, -0.25f, 3.0f, 0.1f }, vy[] = { -2.0f, 0.5f, 0.0f, 0.2f };
    for (int i = 0; i < 4; ++i) {
        s.ParVX.at(i) = vx[i];
        s.ParVY.at(i) = vy[i];
    }
    const Totals t = stateTotals(s);
    double energy = 0;
    for (int i = 0; i < 4; ++i)
        energy += static_cast<double>(vx[i]) * vx[i] + static_cast<double>(vy[i]) * vy[i];
    EXPECT_EQ(t.kineticEnergy, energy / 2);
    EXPECT_EQ(t.momentumX, 1.5 - 0.25 + 3.0 + static_cast<double>(0.1f));
    EXPECT_EQ(t.momentumY, -2.0 + 0.5 + static_cast<double>(0.2f));
}

TEST(Recorder, WritesSnapshotsAtTickZeroAndEveryKTicks)
{
    Simulation simulation(placed(2, 400, 2, false, 1));
    ModPar &s = simulation.state();
    std::string snapshots, stats;
    RecorderSetup setup;
    setup.snapshots = [&](std::string_view text) { snapshots += text; };
    setup.stats = [&](std::string_view text) { stats += text; };
    setup.every = 3;
    Stepper stepper(simulation, false);
    Recorder recorder(setup, stepper);
    NullCanvas path;
    for (int t = 1; t <= 7; ++t) {
        TickCounters c;
        stepper.tick(path, c);
        recorder.afterTick(s, t, c);
    }
    recorder.finish();
    std::vector<std::string> ticks;
    std::size_t pos = snapshots.find('\n') + 1;
    EXPECT_EQ(snapshots.substr(0, pos), "tick,i,x,y,vx,vy\n");
    while (pos < snapshots.size()) {
        const std::size_t end = snapshots.find('\n', pos);
        ticks.push_back(snapshots.substr(pos, snapshots.find(',', pos) - pos));
        pos = end + 1;
    }
    EXPECT_EQ(ticks,
        (std::vector<std::string> { "0", "0", "0", "0", "3", "3", "3", "3", "6", "6", "6", "6" }));
    EXPECT_EQ(std::count(stats.begin(), stats.end(), '\n'), 1 + 8);
}

/// The fields of the last line of a CSV text, by the names of its header.
std::map<std::string, std::string> lastRowByName(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    const auto split = [](const std::string &line) {
        std::vector<std::string> fields;
        std::size_t from = 0, comma;
        while ((comma = line.find(',', from)) != std::string::npos) {
            fields.push_back(line.substr(from, comma - from));
            from = comma + 1;
        }
        fields.push_back(line.substr(from));
        return fields;
    };
    const auto names = split(lines.front()), values = split(lines.back());
    std::map<std::string, std::string> row;
    for (std::size_t k = 0; k < names.size() && k < values.size(); ++k)
        row[names[k]] = values[k];
    return row;
}

TEST(Recorder, EveryStatsAndTraceColumnHoldsWhatItsHeaderNames)
{
    // Values that differ in every column, so that two columns swapped show; the stored
    // positions are moved away from the unwrapped ones the stepper started from.
    Simulation simulation(placed(2, 400, 1, false, 1));
    ModPar &s = simulation.state();
    Stepper stepper(simulation, false);
    const float vx[] = { 1.5f, -0.25f, 3.0f, 0.5f }, vy[] = { -2.0f, 0.75f, 0.0f, 0.25f };
    for (int i = 0; i < 4; ++i) {
        s.ParVX.at(i) = vx[i];
        s.ParVY.at(i) = vy[i];
        s.ParX.at(i) += 100;
        s.ParY.at(i) -= 200;
    }
    s.LocusNo = 2;
    std::string stats, trace;
    RecorderSetup setup;
    setup.stats = [&](std::string_view text) { stats += text; };
    setup.trace = [&](std::string_view text) { trace += text; };
    Recorder recorder(setup, stepper);
    TickCounters counters;
    counters.contacts = 7;
    recorder.afterTick(s, 4, counters);
    NullCanvas path;
    stepper.tick(path, counters, &recorder);
    recorder.finish();

    const auto st = lastRowByName(stats);
    EXPECT_EQ(st.at("tick"), "4");
    EXPECT_EQ(std::stod(st.at("kinetic_energy")), 8.09375);
    EXPECT_EQ(std::stod(st.at("momentum_x")), 4.75);
    EXPECT_EQ(std::stod(st.at("momentum_y")), -1.0);
    EXPECT_EQ(st.at("contacts"), "7");

    const auto tr = lastRowByName(trace);
    EXPECT_EQ(tr.at("substep"), "1");
    EXPECT_EQ(std::stof(tr.at("x")), s.ParX.at(2));
    EXPECT_EQ(std::stof(tr.at("y")), s.ParY.at(2));
    EXPECT_EQ(std::stod(tr.at("ux")), stepper.unwrappedX()[2]);
    EXPECT_EQ(std::stod(tr.at("uy")), stepper.unwrappedY()[2]);
    EXPECT_NEAR(stepper.unwrappedX()[2] - s.ParX.at(2), -100, 1e-3);
    EXPECT_NEAR(stepper.unwrappedY()[2] - s.ParY.at(2), 200, 1e-3);
}

} // namespace
