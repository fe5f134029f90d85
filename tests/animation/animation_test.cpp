#include "animation/animation.h"

#include <QTest>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using brownian::Animation;
using brownian::ModPar;

/// The defaults placed in the bounded mode, both timers stopped; every signal recorded in order.
class AnimationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModPar &state = simulation.state();
        state.setDefaults();
        state.redim();
        animation.placeAfresh();
        events.clear();
        QObject::connect(&animation, &Animation::ticked, [this] { events.push_back("ticked"); });
        QObject::connect(&animation, &Animation::placed, [this] { events.push_back("placed"); });
        QObject::connect(&animation, &Animation::modeChanged,
            [this](int mode) { events.push_back("mode " + std::to_string(mode)); });
        QObject::connect(&animation, &Animation::pausedChanged,
            [this](bool paused) { events.push_back(paused ? "paused" : "unpaused"); });
    }

    /// Which timers run: "bounded", "unbounded", "both" or "none".
    std::string running()
    {
        const bool b = animation.TimPar().isTicking(), u = animation.Timpar2().isTicking();
        EXPECT_EQ(animation.TimPar().interval(), b ? 1 : 0);
        EXPECT_EQ(animation.Timpar2().interval(), u ? 1 : 0);
        return b ? (u ? "both" : "bounded") : (u ? "unbounded" : "none");
    }

    using Events = std::vector<std::string>;

    brownian::Simulation simulation;
    ModPar &state = simulation.state();
    Animation animation { simulation };
    Events events;
};

struct RestartCase
{
    const char *name;
    int from, to;
    const char *timer;
    std::vector<std::string> events;
};

class AnimationRestart : public AnimationTest, public ::testing::WithParamInterface<RestartCase>
{
};

TEST_P(AnimationRestart, SetsTheModePlacesAndStartsOnlyThatModesTimer)
{
    const RestartCase &c = GetParam();
    state.BoundMode = c.from;
    animation.pause();
    events.clear();
    const auto draws = state.random.drawCount();
    animation.restartIn(c.to);
    EXPECT_EQ(state.BoundMode.value(), c.to);
    EXPECT_EQ(state.random.drawCount(), draws + 100) << "one placement of 25 particles";
    EXPECT_EQ(running(), c.timer);
    EXPECT_FALSE(animation.isPaused());
    EXPECT_EQ(events, c.events);
    // Placed for the mode: the unbounded field reaches below the box.
    float lowest = 1e9f;
    for (int i = 0; i < 25; ++i)
        lowest = std::min(lowest, state.ParX.at(i));
    EXPECT_EQ(lowest < 200.0f, c.to == 1) << lowest;
}

INSTANTIATE_TEST_SUITE_P(Table, AnimationRestart,
    ::testing::Values(
        RestartCase { "ToUnbounded", 0, 1, "unbounded", { "mode 1", "placed", "unpaused" } },
        RestartCase { "ToBounded", 1, 0, "bounded", { "mode 0", "placed", "unpaused" } },
        RestartCase { "SameMode", 1, 1, "unbounded", { "placed", "unpaused" } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AnimationTest, PauseStopsBothAndPlayResumesTheCurrentModeWhereItStood)
{
    animation.restartIn(1);
    events.clear();
    const auto draws = state.random.drawCount();
    animation.pause();
    animation.pause();
    EXPECT_TRUE(animation.isPaused());
    EXPECT_EQ(running(), "none");
    const float x = state.ParX.at(7);
    animation.play();
    EXPECT_FALSE(animation.isPaused());
    EXPECT_EQ(running(), "unbounded");
    EXPECT_EQ(state.ParX.at(7), x);
    EXPECT_EQ(state.random.drawCount(), draws) << "play places nothing";
    EXPECT_EQ(events, (Events { "paused", "unpaused" }));

    // The running timer drives ticks, each announced once.
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 5; }, 2000));
    EXPECT_EQ(events.back(), "ticked");
    EXPECT_NE(state.ParX.at(7), x);
}

TEST_F(AnimationTest, StopAndPlaceAfreshLeaveThePauseAndTheTimersAlone)
{
    animation.startCurrent();
    animation.pause();
    events.clear();
    animation.stop();
    animation.placeAfresh();
    EXPECT_TRUE(animation.isPaused());
    EXPECT_EQ(running(), "none");
    animation.startCurrent();
    animation.placeAfresh();
    EXPECT_EQ(running(), "bounded");
    animation.cancelPause();
    EXPECT_EQ(events, (Events { "placed", "unpaused", "placed" }));
}

TEST_F(AnimationTest, CancelPauseEndsThePauseWithoutStarting)
{
    animation.pause();
    events.clear();
    animation.cancelPause();
    EXPECT_FALSE(animation.isPaused());
    EXPECT_EQ(running(), "none");
    EXPECT_EQ(events, (Events { "unpaused" }));
}

/// Records the index of each sub-step it sees, by the tracked particle's position.
class Recorder : public brownian::SubStepObserver
{
public:
    Recorder(std::vector<std::string> &log, std::string name)
        : m_log(log)
        , m_name(std::move(name))
    {
    }
    void afterSubStep(const ModPar &state) override
    {
        m_log.push_back(m_name);
        xs.push_back(state.ParX.at(state.LocusNo.value()));
    }
    std::vector<float> xs;

private:
    std::vector<std::string> &m_log;
    std::string m_name;
};

TEST_F(AnimationTest, ObserversSeeEverySubStepThenTheTickIsAnnounced)
{
    for (int speed : { 1, 5 }) {
        state.ParSpeed = speed;
        Recorder a(events, "a"), b(events, "b");
        animation.addSubStepObserver(&a);
        animation.addSubStepObserver(&b);
        animation.addSubStepObserver(&a); // once only
        int presented = 0;
        animation.setDrawing({ nullptr, nullptr, [&] {
                                  ++presented;
                                  events.push_back("present");
                              } });
        events.clear();
        animation.tick(false);
        Events expected;
        for (int k = 0; k < speed; ++k)
            expected.insert(expected.end(), { "a", "b" });
        expected.insert(expected.end(), { "present", "ticked" });
        EXPECT_EQ(events, expected) << speed;
        EXPECT_EQ(presented, 1);
        // Each sub-step seen after it moved the particles: all positions differ.
        ASSERT_EQ(a.xs.size(), static_cast<std::size_t>(speed));
        for (int k = 1; k < speed; ++k)
            EXPECT_NE(a.xs[k], a.xs[k - 1]) << k;
        EXPECT_EQ(a.xs.back(), state.ParX.at(state.LocusNo.value()));
        EXPECT_EQ(animation.lastTick().pairTests, 300u * speed) << "25 particles, fresh counters";

        animation.removeSubStepObserver(&a);
        animation.removeSubStepObserver(&b);
        events.clear();
        animation.tick(true);
        EXPECT_EQ(events, (Events { "present", "ticked" })) << "no observers left";
    }
}

} // namespace

namespace {

struct FaultCase
{
    const char *name;
    void (*spoil)(ModPar &);
    const char *fault; // the fault's name in Japanese, which the message starts with
};

class AnimationFault : public AnimationTest, public ::testing::WithParamInterface<FaultCase>
{
};

/// A fault in a tick stays inside the clock: both timers stop, faulted() names it once, no
/// exception leaves the tick, and the clock neither ticks nor starts again.
TEST_P(AnimationFault, StopsTheClockAndIsReportedOnce)
{
    const FaultCase c = GetParam();
    std::vector<QString> messages;
    QObject::connect(&animation, &Animation::faulted,
        [&](const QString &message) { messages.push_back(message); });
    animation.startCurrent();
    c.spoil(state);
    events.clear();
    EXPECT_NO_THROW(animation.tick(false));
    EXPECT_NO_THROW(animation.tick(false));
    EXPECT_NO_THROW(animation.placeAfresh());
    animation.play();
    EXPECT_EQ(running(), "none");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QString::fromUtf8(c.fault) + QStringLiteral("\n")))
        << messages[0].toStdString();
    EXPECT_EQ(events, Events {}) << "neither ticked nor placed";
}

INSTANTIATE_TEST_SUITE_P(Table, AnimationFault,
    ::testing::Values(
        FaultCase { "TrackedParticleOutsideTheArrays", [](ModPar &s) { s.LocusNo = 25; },
            "インデックスが有効範囲にありません。" },
        FaultCase { "CollisionOverflowingASingle",
            [](ModPar &s) {
                s.ParX.at(0) = 1000.0f;
                s.ParY.at(0) = s.ParY.at(1) = 1000.0f;
                s.ParX.at(1) = 1100.0f;
                s.ParVX.at(0) = 3.0e38f;
                s.ParVX.at(1) = -3.0e38f;
            },
            "浮動小数点演算でエラーが発生しました。" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
