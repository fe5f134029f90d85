#include "started_program.h"
#include "toolkit/units.h"

#include <QKeyEvent>
#include <QTest>

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

namespace tk = brownian::toolkit;

class FrmParTest : public StartedProgram
{
protected:
    void release(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool autoRepeat = false)
    {
        QKeyEvent event(QEvent::KeyRelease, key, mods, QString(), autoRepeat);
        QCoreApplication::sendEvent(&main(), &event);
    }

    double outerWidth() { return tk::outerWidthTwips(&main()); }
    bool pathShown() { return main().pathPicture().isVisible(); }
};

TEST_F(FrmParTest, StartsWithTheDefaultsAndTheBoundedTimerRunning)
{
    EXPECT_EQ(main().windowTitle(), QStringLiteral("ヴァリム（枠あり）"));
    EXPECT_EQ(state().NumSide.value(), 5);
    EXPECT_EQ(state().LocusNo.value(), 12);
    EXPECT_EQ(state().ParX.size(), 25);
    EXPECT_EQ(state().random.drawCount(), 100u) << "one placement at start-up";
    for (int i = 0; i < 25; ++i) {
        EXPECT_GE(state().ParX.at(i), 200.0f);
        EXPECT_LE(state().ParX.at(i), 4800.0f);
    }
    EXPECT_EQ(animation().TimPar().interval(), 1);
    EXPECT_TRUE(animation().TimPar().isTicking());
    EXPECT_EQ(animation().Timpar2().interval(), 0);
    EXPECT_FALSE(animation().Timpar2().isTicking());
    EXPECT_FALSE(pathShown());
    EXPECT_FALSE(menu().isVisible());
    EXPECT_FALSE(main().DoubleView());
}

TEST_F(FrmParTest, StandsLeftOfTheScreenCentreWithItsFixedSize)
{
    EXPECT_NEAR(outerWidth(), 5160, 15);
    EXPECT_NEAR(tk::outerHeightTwips(&main()), 5445, 15);
    const double left = (tk::screenWidthTwips() - 5160) / 2 - 2500;
    const double top = (tk::screenHeightTwips() - 5445) / 2;
    EXPECT_NEAR(tk::leftTwips(&main()), left, 15);
    EXPECT_NEAR(tk::topTwips(&main()), top, 15);
}

TEST_F(FrmParTest, SnapsBackAfterAResize)
{
    main().resize(500, 200);
    QCoreApplication::processEvents();
    EXPECT_NEAR(outerWidth(), 5160, 15);
    release(Qt::Key_D);
    main().resize(300, 300);
    QCoreApplication::processEvents();
    EXPECT_NEAR(outerWidth(), 10200, 15);
    EXPECT_NEAR(tk::outerHeightTwips(&main()), 5445, 15);
}

struct ViewCase
{
    const char *name;
    std::vector<int> keys;
    bool doubleView;
    bool pathShown;
    double pathLeft;
    double width;
};

class FrmParViews : public FrmParTest, public ::testing::WithParamInterface<ViewCase>
{
};

TEST_P(FrmParViews, KeysSwitchTheViews)
{
    const ViewCase &c = GetParam();
    for (int key : c.keys)
        release(key);
    QCoreApplication::processEvents();
    EXPECT_EQ(main().DoubleView(), c.doubleView);
    EXPECT_EQ(pathShown(), c.pathShown);
    EXPECT_NEAR(main().pathPicture().leftTwips(), c.pathLeft, 1);
    EXPECT_NEAR(outerWidth(), c.width, 15);
}

INSTANTIATE_TEST_SUITE_P(Table, FrmParViews,
    ::testing::Values(ViewCase { "B", { Qt::Key_B }, false, true, 0, 5160 },
        ViewCase { "BB", { Qt::Key_B, Qt::Key_B }, false, false, 0, 5160 },
        ViewCase { "D", { Qt::Key_D }, true, true, 5000, 10200 },
        ViewCase { "DB", { Qt::Key_D, Qt::Key_B }, true, true, 5000, 10200 },
        ViewCase { "BDD", { Qt::Key_B, Qt::Key_D, Qt::Key_D }, false, false, 0, 5160 },
        ViewCase { "DD", { Qt::Key_D, Qt::Key_D }, false, false, 0, 5160 },
        ViewCase { "OtherKeys", { Qt::Key_A, Qt::Key_Return, Qt::Key_F1 }, false, false, 0, 5160 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FrmParTest, ShiftAndControlDoNotMatter)
{
    release(Qt::Key_D, Qt::ShiftModifier);
    EXPECT_TRUE(main().DoubleView());
    release(Qt::Key_D, Qt::ShiftModifier);
    release(Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(pathShown());
}

TEST_F(FrmParTest, SpaceReplacesOnceOnTheRealRelease)
{
    animation().TimPar().setInterval(0);
    const float x0 = state().ParX.at(3);
    // Holding the key: auto-repeat releases, then the real one.
    for (int i = 0; i < 5; ++i)
        release(Qt::Key_Space, Qt::NoModifier, true);
    EXPECT_EQ(state().random.drawCount(), 100u);
    release(Qt::Key_Space);
    EXPECT_EQ(state().random.drawCount(), 200u);
    EXPECT_NE(state().ParX.at(3), x0);
    EXPECT_EQ(animation().TimPar().interval(), 0) << "Space leaves the timers alone";
}

/// ↑ and ↓ scale every velocity by 1.1 and 1/1.1, rounded to Single, on the real release only;
/// & and ( (the arrows' codes as characters) do nothing. Heating that would take a component
/// beyond 6000 twips a sub-step, or a velocity that is not a number, changes nothing at all.
TEST_F(FrmParTest, ArrowsHeatAndCoolOnTheRealRelease)
{
    struct Case
    {
        const char *what;
        std::vector<std::pair<int, bool>> releases; // key, auto-repeat
        float vx0; // particle 0's velocity before; the others keep theirs
        double factor; // 0: nothing changes
    };
    const Case cases[] = {
        { "up", { { Qt::Key_Up, false } }, 1.7f, 1.1 },
        { "down", { { Qt::Key_Down, false } }, 1.7f, 1.0 / 1.1 },
        { "held up", { { Qt::Key_Up, true }, { Qt::Key_Up, true } }, 1.7f, 0 },
        { "&", { { Qt::Key_Ampersand, false } }, 1.7f, 0 },
        { "(", { { Qt::Key_ParenLeft, false } }, 1.7f, 0 },
        { "up to 6000", { { Qt::Key_Up, false } }, 5454.5f, 1.1 },
        { "up beyond 6000", { { Qt::Key_Up, false } }, -5455.0f, 0 },
        { "up at the largest Single", { { Qt::Key_Up, false } }, 3.4e38f, 0 },
        { "up with NaN", { { Qt::Key_Up, false } }, std::nanf(""), 0 },
    };
    animation().TimPar().setInterval(0);
    for (const Case &c : cases) {
        state().ParVX.at(0) = c.vx0;
        const brownian::ModPar before = state();
        QKeyEvent press(QEvent::KeyPress, c.releases.front().first, Qt::NoModifier);
        QCoreApplication::sendEvent(&main(), &press);
        ASSERT_EQ(state().ParVY.at(5), before.ParVY.at(5)) << c.what << ": acted on the press";
        for (const auto &[key, autoRepeat] : c.releases)
            release(key, Qt::NoModifier, autoRepeat);
        for (int i = 0; i < 2 * before.ParVX.size(); ++i) { // vx, then vy
            const float v = (i % 2 ? before.ParVY : before.ParVX).at(i / 2);
            const float want = c.factor == 0 ? v : static_cast<float>(v * c.factor);
            const float got = (i % 2 ? state().ParVY : state().ParVX).at(i / 2);
            ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << c.what << i;
        }
    }
}

TEST_F(FrmParTest, SpaceUsesTheUnboundedMarginInTheUnboundedMode)
{
    animation().TimPar().setInterval(0);
    state().BoundMode = 1;
    release(Qt::Key_Space);
    float lowest = 1e9f;
    for (int i = 0; i < 25; ++i)
        lowest = std::min(lowest, state().ParX.at(i));
    EXPECT_LT(lowest, 200.0f) << "placed over -500..5500";
}

TEST_F(FrmParTest, SpaceClearsThePath)
{
    for (int i = 0; i < 20; ++i)
        main().TimPar_Timer();
    const QImage &before = main().pathPicture().surface().image();
    int red = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            red += before.pixel(x, y) == qRgb(255, 0, 0);
    ASSERT_GT(red, 0) << "sixty segments were drawn";
    release(Qt::Key_Space);
    const QImage &after = main().pathPicture().surface().image();
    for (int y = 0; y < after.height(); y += 3)
        for (int x = 0; x < after.width(); x += 3)
            ASSERT_EQ(after.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
}

TEST_F(FrmParTest, TicksAdvanceTheParticlesAndShowAFrame)
{
    animation().TimPar().setInterval(0);
    const float x0 = state().ParX.at(0);
    main().TimPar_Timer();
    EXPECT_NE(state().ParX.at(0), x0);
    const QImage &view = main().particleView();
    int green = 0, red = 0;
    for (int y = 0; y < view.height(); ++y) {
        for (int x = 0; x < view.width(); ++x) {
            const QRgb p = view.pixel(x, y);
            green += p == qRgb(0, 255, 0);
            red += p == qRgb(255, 0, 0);
        }
    }
    EXPECT_GT(green, 25 * 300);
    EXPECT_GT(red, 300);
}

TEST_F(FrmParTest, EscEndsTheProgram)
{
    release(Qt::Key_Escape);
    EXPECT_TRUE(main().unloaded());
    EXPECT_FALSE(animation().TimPar().isTicking());
    EXPECT_FALSE(animation().Timpar2().isTicking());
}

TEST_F(FrmParTest, TheCloseBoxEndsTheProgram)
{
    animation().Timpar2().setInterval(1);
    main().close();
    EXPECT_TRUE(main().unloaded());
    EXPECT_FALSE(animation().TimPar().isTicking());
    EXPECT_FALSE(animation().Timpar2().isTicking());
}

TEST_F(FrmParTest, OnlyTheRightButtonOpensTheMenuAtTheClickPoint)
{
    QTest::mouseClick(&main(), Qt::LeftButton, {}, QPoint(40, 50));
    QTest::mouseClick(&main(), Qt::MiddleButton, {}, QPoint(40, 50));
    EXPECT_FALSE(menu().isVisible());
    main().Form_MouseDown(2, 0, 600, 750);
    EXPECT_TRUE(menu().isVisible());
    EXPECT_NEAR(tk::leftTwips(&menu()), tk::leftTwips(&main()) + 600, 15);
    EXPECT_NEAR(tk::topTwips(&menu()), tk::topTwips(&main()) + 750, 15);
}

TEST_F(FrmParTest, ARightClickOnThePathPictureUsesItsOwnCoordinates)
{
    release(Qt::Key_D);
    QTest::mousePress(&main().pathPicture(), Qt::RightButton, {}, QPoint(20, 30));
    EXPECT_TRUE(menu().isVisible());
    EXPECT_NEAR(tk::leftTwips(&menu()), tk::leftTwips(&main()) + 20 * tk::twipsPerPixel(), 15);
    QTest::mouseRelease(&main().pathPicture(), Qt::RightButton, {}, QPoint(20, 30));
}

TEST_F(FrmParTest, ActivatingTheWindowHidesTheMenu)
{
    main().Form_MouseDown(2, 0, 600, 750);
    ASSERT_TRUE(menu().isVisible());
    QTest::qWait(450); // longer than a click's own activation
    main().Form_Activate();
    EXPECT_FALSE(menu().isVisible());
}

} // namespace
