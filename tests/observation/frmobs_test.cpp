// The observation window in the started program, offscreen: opening and closing, following
// the animation, and its figures against the lab tool's for the same start.
#include "lab/recorder.h"
#include "observation/frmobs.h"
#include "started_program.h"

#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using brownian::FrmObs;
using brownian::Integer;
namespace fs = std::filesystem;

constexpr int kKeyG = 71, kKeySpace = 32;

class FrmObsTest : public StartedProgram
{
protected:
    FrmObs &obs() { return program->observation(); }
    const brownian::Observation &seen() { return obs().observation(); }

    void releaseG() { QTest::keyRelease(&main(), Qt::Key_G); }
    void open()
    {
        releaseG();
        ASSERT_TRUE(obs().isVisible());
    }
    void ticks(int n)
    {
        for (int k = 0; k < n; ++k)
            animation().tick(state().BoundMode != Integer(0));
    }
};

TEST_F(FrmObsTest, GOnTheMainWindowOpensItBesideAndClosesIt)
{
    EXPECT_FALSE(obs().isVisible());
    open();
    EXPECT_EQ(obs().windowTitle(), QStringLiteral("観測"));
    // Just right of the main window, or as far right as the screen lets it stand (the real-window
    // test has a screen wide enough for both).
    const QRect room = obs().screen()->availableGeometry();
    const QRect outer = obs().frameGeometry();
    EXPECT_EQ(outer.left(),
        std::min(main().frameGeometry().right() + 1, room.right() + 1 - outer.width()));
    EXPECT_EQ(outer.top(),
        std::max(room.top(),
            std::min(main().frameGeometry().top(), room.bottom() + 1 - outer.height())));
    EXPECT_TRUE(room.contains(outer));
    EXPECT_EQ(obs().size(), QSize(720, 660));
    releaseG();
    EXPECT_FALSE(obs().isVisible());
    // Closed, it goes on gathering: ticks move it on, the pressure with them.
    const auto ticksBefore = seen().ticks();
    ticks(3);
    EXPECT_EQ(seen().ticks(), ticksBefore + 3);
    EXPECT_EQ(seen().gas().ticks(), seen().ticks());
    // Minimised, G shows it again rather than closing it unseen.
    open();
    obs().showMinimized();
    ASSERT_TRUE(obs().isMinimized());
    releaseG();
    EXPECT_TRUE(obs().isVisible());
    EXPECT_FALSE(obs().isMinimized());
    releaseG();
    EXPECT_FALSE(obs().isVisible());
    EXPECT_FALSE(main().unloaded());
}

/// From the start, with the window never opened: the figures count every tick since the
/// placement, and the tick rate is known when it opens.
TEST_F(FrmObsTest, GathersFromThePlacementWithTheWindowClosed)
{
    QTest::qWait(1300);
    ASSERT_FALSE(obs().isVisible());
    EXPECT_GT(seen().ticks(), 100);
    open();
    EXPECT_FALSE(obs().figures().contains(QStringLiteral("　0 ティック/秒")));
}

TEST_F(FrmObsTest, EscAndTheCloseBoxCloseItButLeaveTheProgram)
{
    for (const bool esc : { true, false }) {
        open();
        if (esc)
            QTest::keyRelease(&obs(), Qt::Key_Escape);
        else
            obs().close();
        EXPECT_FALSE(obs().isVisible()) << esc;
        EXPECT_TRUE(seen().started()) << esc;
        EXPECT_FALSE(main().unloaded()) << esc;
        EXPECT_TRUE(main().isVisible()) << esc;
    }
}

TEST_F(FrmObsTest, MainWindowKeysActAsBeforeWhileItIsOpen)
{
    open();
    QTest::keyRelease(&main(), Qt::Key_D);
    EXPECT_TRUE(main().DoubleView());
    QTest::keyRelease(&main(), Qt::Key_D);
    QTest::keyRelease(&main(), Qt::Key_B);
    EXPECT_TRUE(main().pathPicture().isVisible());
    EXPECT_TRUE(obs().isVisible());
    QTest::keyRelease(&main(), Qt::Key_Escape);
    EXPECT_TRUE(main().unloaded());
}

TEST_F(FrmObsTest, EveryPlacementStartsItAfresh)
{
    struct Case
    {
        const char *what;
        std::function<void()> place;
        int mode;
    };
    const Case cases[] = {
        { "Space", [this] { main().Form_KeyUp(kKeySpace, 0); }, 0 },
        { "menu unbounded", [this] { menu().ComMnu_Click(1); }, 1 },
        { "menu bounded", [this] { menu().ComMnu_Click(0); }, 0 },
        { "settings O.K.",
            [this] {
                menu().ComMnu_Click(6);
                ASSERT_NE(settings(), nullptr);
                QTest::mouseClick(settings()->ComOK(), Qt::LeftButton);
            },
            0 },
    };
    open();
    for (const Case &c : cases) {
        animation().stop();
        const auto before = seen().ticks(); // it gathers from the start, open or not
        ticks(4);
        ASSERT_EQ(seen().ticks(), before + 4) << c.what;
        ASSERT_GT(seen().subSteps(), 0) << c.what;
        c.place();
        animation().stop();
        EXPECT_EQ(seen().ticks(), 0) << c.what;
        EXPECT_EQ(seen().subSteps(), 0) << c.what;
        EXPECT_EQ(seen().speeds().samples(), 1u) << c.what;
        EXPECT_EQ(seen().unbounded(), c.mode == 1) << c.what;
        EXPECT_EQ(seen().positions().x()[0], state().ParX.at(0)) << c.what;
        obs().refresh();
        EXPECT_TRUE(obs().figures().startsWith(
            c.mode == 1 ? QStringLiteral("境界なし") : QStringLiteral("境界あり")))
            << c.what;
    }
}

TEST_F(FrmObsTest, PauseFreezesItAndPlayGoesOn)
{
    open();
    QTest::qWait(300);
    ASSERT_GT(seen().ticks(), 0);
    menu().ComMnu_Click(4); // pause
    ASSERT_TRUE(animation().isPaused());
    const auto version = seen().version();
    const QImage picture = obs().picture();
    QTest::qWait(500);
    EXPECT_EQ(seen().version(), version);
    EXPECT_EQ(obs().picture(), picture);
    menu().ComMnu_Click(4); // play
    QTest::qWait(500);
    EXPECT_NE(seen().version(), version);
    EXPECT_NE(obs().picture(), picture);
}

std::string slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(FrmObsTest, HoldsWhatTheLabWritesForTheSameStart)
{
    struct Case
    {
        int mode;
        unsigned seed;
        int ticks;
    };
    char pattern[] = "/tmp/obs-lab-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    for (const Case c : { Case { 0, 7, 333 }, Case { 1, 12, 401 } }) {
        animation().stop();
        animation().setMode(c.mode);
        state().random.seed(c.seed);
        if (!obs().isVisible())
            open();
        animation().placeAfresh();
        ticks(c.ticks);
        const std::string command = std::string(BROWNIAN_LAB) + " run --mode "
            + (c.mode ? "unbounded" : "bounded") + " --seed " + std::to_string(c.seed) + " --ticks "
            + std::to_string(c.ticks) + " --msd-out " + (dir / "msd.csv").string()
            + " --speeds-out " + (dir / "speeds.csv").string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ASSERT_EQ(seen().ticks(), c.ticks);
        const auto msd = seen().msd().result();
        ASSERT_GT(msd.size(), 20u);
        EXPECT_EQ(brownian::lab::msdCsv(msd), slurp(dir / "msd.csv")) << c.mode;
        EXPECT_EQ(brownian::lab::speedsCsv(seen().speeds().result(brownian::Observation::kBins)),
            slurp(dir / "speeds.csv"))
            << c.mode;
    }
    fs::remove_all(dir);
}

} // namespace
