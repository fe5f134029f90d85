#include "mainwindow/frmpar.h"
#include "menu/frmmnu.h"
#include "toolkit/units.h"

#include <QKeyEvent>
#include <QTest>

#include <cmath>
#include <gtest/gtest.h>

namespace {

using brownian::FrmPar;
using brownian::ModPar;
namespace tk = brownian::toolkit;

class FrmParTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<FrmPar>(state);
        window->Form_Load();
        window->show();
        QCoreApplication::processEvents();
    }

    void release(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool autoRepeat = false)
    {
        QKeyEvent event(QEvent::KeyRelease, key, mods, QString(), autoRepeat);
        QCoreApplication::sendEvent(window.get(), &event);
    }

    double outerWidth() const { return tk::outerWidthTwips(window.get()); }
    bool pathShown() const { return window->pathPicture().isVisible(); }

    ModPar state;
    std::unique_ptr<FrmPar> window;
};

TEST_F(FrmParTest, StartsWithTheDefaultsAndTheBoundedTimerRunning)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ヴァリム（枠あり）"));
    EXPECT_EQ(state.NumSide.value(), 5);
    EXPECT_EQ(state.LocusNo.value(), 12);
    EXPECT_EQ(state.ParX.size(), 25);
    EXPECT_EQ(state.random.drawCount(), 100u) << "one placement at start-up";
    for (int i = 0; i < 25; ++i) {
        EXPECT_GE(state.ParX.at(i), 200.0f);
        EXPECT_LE(state.ParX.at(i), 4800.0f);
    }
    EXPECT_EQ(window->TimPar().interval(), 1);
    EXPECT_TRUE(window->TimPar().isTicking());
    EXPECT_EQ(window->Timpar2().interval(), 0);
    EXPECT_FALSE(window->Timpar2().isTicking());
    EXPECT_FALSE(pathShown());
    EXPECT_FALSE(window->menu().isVisible());
    EXPECT_FALSE(window->DoubleView());
}

TEST_F(FrmParTest, StandsLeftOfTheScreenCentreWithItsFixedSize)
{
    EXPECT_NEAR(outerWidth(), 5160, 15);
    EXPECT_NEAR(tk::outerHeightTwips(window.get()), 5445, 15);
    const double left = (tk::screenWidthTwips() - 5160) / 2 - 2500;
    const double top = (tk::screenHeightTwips() - 5445) / 2;
    EXPECT_NEAR(tk::leftTwips(window.get()), left, 15);
    EXPECT_NEAR(tk::topTwips(window.get()), top, 15);
}

TEST_F(FrmParTest, SnapsBackAfterAResize)
{
    window->resize(500, 200);
    QCoreApplication::processEvents();
    EXPECT_NEAR(outerWidth(), 5160, 15);
    release(Qt::Key_D);
    window->resize(300, 300);
    QCoreApplication::processEvents();
    EXPECT_NEAR(outerWidth(), 10200, 15);
    EXPECT_NEAR(tk::outerHeightTwips(window.get()), 5445, 15);
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
    EXPECT_EQ(window->DoubleView(), c.doubleView);
    EXPECT_EQ(pathShown(), c.pathShown);
    EXPECT_NEAR(window->pathPicture().leftTwips(), c.pathLeft, 1);
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
    EXPECT_TRUE(window->DoubleView());
    release(Qt::Key_D, Qt::ShiftModifier);
    release(Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(pathShown());
}

TEST_F(FrmParTest, SpaceReplacesOnceOnTheRealRelease)
{
    window->TimPar().setInterval(0);
    const float x0 = state.ParX.at(3);
    // Holding the key: auto-repeat releases, then the real one.
    for (int i = 0; i < 5; ++i)
        release(Qt::Key_Space, Qt::NoModifier, true);
    EXPECT_EQ(state.random.drawCount(), 100u);
    release(Qt::Key_Space);
    EXPECT_EQ(state.random.drawCount(), 200u);
    EXPECT_NE(state.ParX.at(3), x0);
    EXPECT_EQ(window->TimPar().interval(), 0) << "Space leaves the timers alone";
}

TEST_F(FrmParTest, SpaceUsesTheUnboundedMarginInTheUnboundedMode)
{
    window->TimPar().setInterval(0);
    state.BoundMode = 1;
    release(Qt::Key_Space);
    float lowest = 1e9f;
    for (int i = 0; i < 25; ++i)
        lowest = std::min(lowest, state.ParX.at(i));
    EXPECT_LT(lowest, 200.0f) << "placed over -500..5500";
}

TEST_F(FrmParTest, SpaceClearsThePath)
{
    for (int i = 0; i < 20; ++i)
        window->TimPar_Timer();
    const QImage &before = window->pathPicture().surface().image();
    int red = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            red += before.pixel(x, y) == qRgb(255, 0, 0);
    ASSERT_GT(red, 0) << "sixty segments were drawn";
    release(Qt::Key_Space);
    const QImage &after = window->pathPicture().surface().image();
    for (int y = 0; y < after.height(); y += 3)
        for (int x = 0; x < after.width(); x += 3)
            ASSERT_EQ(after.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
}

TEST_F(FrmParTest, TicksAdvanceTheParticlesAndShowAFrame)
{
    window->TimPar().setInterval(0);
    const float x0 = state.ParX.at(0);
    window->TimPar_Timer();
    EXPECT_NE(state.ParX.at(0), x0);
    const QImage &view = window->particleView();
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
    EXPECT_TRUE(window->unloaded());
    EXPECT_FALSE(window->TimPar().isTicking());
    EXPECT_FALSE(window->Timpar2().isTicking());
}

TEST_F(FrmParTest, TheCloseBoxEndsTheProgram)
{
    window->Timpar2().setInterval(1);
    window->close();
    EXPECT_TRUE(window->unloaded());
    EXPECT_FALSE(window->TimPar().isTicking());
    EXPECT_FALSE(window->Timpar2().isTicking());
}

TEST_F(FrmParTest, OnlyTheRightButtonOpensTheMenuAtTheClickPoint)
{
    QTest::mouseClick(window.get(), Qt::LeftButton, {}, QPoint(40, 50));
    QTest::mouseClick(window.get(), Qt::MiddleButton, {}, QPoint(40, 50));
    EXPECT_FALSE(window->menu().isVisible());
    window->Form_MouseDown(2, 0, 600, 750);
    EXPECT_TRUE(window->menu().isVisible());
    EXPECT_NEAR(tk::leftTwips(&window->menu()), tk::leftTwips(window.get()) + 600, 15);
    EXPECT_NEAR(tk::topTwips(&window->menu()), tk::topTwips(window.get()) + 750, 15);
}

TEST_F(FrmParTest, ARightClickOnThePathPictureUsesItsOwnCoordinates)
{
    release(Qt::Key_D);
    QTest::mousePress(&window->pathPicture(), Qt::RightButton, {}, QPoint(20, 30));
    EXPECT_TRUE(window->menu().isVisible());
    EXPECT_NEAR(
        tk::leftTwips(&window->menu()), tk::leftTwips(window.get()) + 20 * tk::twipsPerPixel(), 15);
    QTest::mouseRelease(&window->pathPicture(), Qt::RightButton, {}, QPoint(20, 30));
}

TEST_F(FrmParTest, ActivatingTheWindowHidesTheMenu)
{
    window->Form_MouseDown(2, 0, 600, 750);
    ASSERT_TRUE(window->menu().isVisible());
    QTest::qWait(450); // longer than a click's own activation
    window->Form_Activate();
    EXPECT_FALSE(window->menu().isVisible());
}

} // namespace
