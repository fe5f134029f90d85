#include "started_program.h"
#include "toolkit/units.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using brownian::FrmMnu;
namespace tk = brownian::toolkit;

const QString kPause = QStringLiteral("一時停止");
const QString kPlay = QStringLiteral("再生");

class FrmMnuTest : public StartedProgram
{
protected:
    void openMenu()
    {
        main().Form_MouseDown(2, 0, 300, 300);
        ASSERT_TRUE(menu().isVisible());
    }

    void click(int index)
    {
        openMenu();
        QTest::mouseClick(menu().ComMnu(index), Qt::LeftButton);
    }

    bool running(int mode)
    {
        return (mode == 0 ? animation().TimPar() : animation().Timpar2()).interval() == 1;
    }
};

TEST_F(FrmMnuTest, HasItsCaptionSizeAndButtons)
{
    EXPECT_EQ(menu().windowTitle(), QStringLiteral("メニュー"));
    EXPECT_NEAR(tk::toTwips(menu().width()), 2490, 15);
    EXPECT_NEAR(tk::toTwips(menu().height()), 1500, 15);
    const std::pair<int, const char16_t *> rows[] = { { 0, u"ヴァリム（境界あり）" },
        { 1, u"ヴァリム（境界なし）" }, { 4, u"一時停止" }, { 6, u"粒子の設定" }, { 5, u"終了" } };
    int top = 0;
    for (auto [index, caption] : rows) {
        QPushButton *b = menu().ComMnu(index);
        ASSERT_NE(b, nullptr) << index;
        EXPECT_EQ(b->text(), QString::fromUtf16(caption));
        EXPECT_NEAR(tk::toTwips(b->y()), top, 15) << index;
        EXPECT_NEAR(tk::toTwips(b->width()), 2500, 15);
        EXPECT_NEAR(tk::toTwips(b->height()), 300, 15);
        top += 300;
    }
    EXPECT_EQ(menu().ComMnu(2), nullptr);
    EXPECT_EQ(menu().ComMnu(3), nullptr);
    // Tab order 0, 1, 6, 5, 4.
    EXPECT_EQ(menu().ComMnu(0)->nextInFocusChain(), menu().ComMnu(1));
    EXPECT_EQ(menu().ComMnu(1)->nextInFocusChain(), menu().ComMnu(6));
    EXPECT_EQ(menu().ComMnu(6)->nextInFocusChain(), menu().ComMnu(5));
    EXPECT_EQ(menu().ComMnu(5)->nextInFocusChain(), menu().ComMnu(4));
}

struct ModeCase
{
    const char *name;
    int index;
    int boundMode;
    const char16_t *caption;
    float lowestAllowed; // every centre at or above this after the placement
};

class FrmMnuModes : public FrmMnuTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(FrmMnuModes, ModeButtonsPlaceAndStartTheirTimer)
{
    const ModeCase &c = GetParam();
    state().BoundMode = 1 - c.boundMode;
    click(4); // pause first: the mode button must reset the caption
    ASSERT_EQ(menu().ComMnu(4)->text(), kPlay);
    const auto drawsBefore = state().random.drawCount();
    click(c.index);
    EXPECT_EQ(state().BoundMode.value(), c.boundMode);
    EXPECT_EQ(main().windowTitle(), QString::fromUtf16(c.caption));
    EXPECT_EQ(state().random.drawCount(), drawsBefore + 100);
    EXPECT_TRUE(running(c.boundMode));
    EXPECT_FALSE(running(1 - c.boundMode));
    EXPECT_EQ(menu().ComMnu(4)->text(), kPause);
    EXPECT_FALSE(menu().isVisible());
    float lowest = 1e9f;
    for (int i = 0; i < 25; ++i)
        lowest = std::min({ lowest, state().ParX.at(i), state().ParY.at(i) });
    EXPECT_GE(lowest, c.lowestAllowed);
    if (c.boundMode == 1) {
        EXPECT_LT(lowest, 200.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FrmMnuModes,
    ::testing::Values(ModeCase { "Bounded", 0, 0, u"ヴァリム（境界あり）", 200.0f },
        ModeCase { "Unbounded", 1, 1, u"ヴァリム（境界なし）", -300.0f }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FrmMnuTest, PauseThenPlayResumesTheCurrentModeWithoutReplacing)
{
    for (int mode : { 0, 1 }) {
        click(mode);
        const auto draws = state().random.drawCount();
        click(4);
        EXPECT_EQ(menu().ComMnu(4)->text(), kPlay);
        EXPECT_FALSE(running(0));
        EXPECT_FALSE(running(1));
        const float x = state().ParX.at(5);
        click(4);
        EXPECT_EQ(menu().ComMnu(4)->text(), kPause);
        EXPECT_TRUE(running(mode)) << mode;
        EXPECT_FALSE(running(1 - mode)) << mode;
        EXPECT_EQ(state().random.drawCount(), draws) << "nothing is re-placed";
        EXPECT_EQ(state().ParX.at(5), x);
    }
}

TEST_F(FrmMnuTest, ExitEndsTheProgram)
{
    click(5);
    EXPECT_TRUE(main().unloaded());
    EXPECT_FALSE(running(0));
    EXPECT_FALSE(running(1));
}

TEST_F(FrmMnuTest, TheCloseBoxOnlyHides)
{
    openMenu();
    EXPECT_FALSE(menu().close());
    EXPECT_FALSE(menu().isVisible());
    EXPECT_FALSE(main().unloaded());
    EXPECT_TRUE(running(0)) << "closing the menu is not a command";
    main().Form_MouseDown(2, 0, 900, 1200);
    EXPECT_TRUE(menu().isVisible());
    EXPECT_NEAR(tk::leftTwips(&menu()), tk::leftTwips(&main()) + 900, 15);
}

struct ReshowCase
{
    const char *name;
    bool mainActive; // when the right click comes
    const char *between; // what happens before the main window's activation arrives
    bool shownAfter;
};

class FrmMnuReshow : public FrmMnuTest, public ::testing::WithParamInterface<ReshowCase>
{
};

// Under a window manager the activation that a right click on the inactive main window brings
// can arrive after the click; the menu the click opened must survive it, and only that menu.
TEST_P(FrmMnuReshow, ActivationKeepsOnlyTheMenuOfAClickOnTheInactiveWindow)
{
    const ReshowCase &c = GetParam();
    QWidget other;
    QWidget *active = c.mainActive ? static_cast<QWidget *>(&main()) : &other;
    active->show();
    active->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(active));
    main().Form_MouseDown(2, 0, 300, 300);
    ASSERT_TRUE(menu().isVisible());
    const std::string between = c.between;
    if (between == "command")
        menu().ComMnu_Click(4);
    else if (between == "close")
        menu().close();
    main().Form_Activate();
    EXPECT_EQ(menu().isVisible(), c.shownAfter);
    main().Form_Activate(); // a second activation always hides it
    EXPECT_FALSE(menu().isVisible());
}

INSTANTIATE_TEST_SUITE_P(Table, FrmMnuReshow,
    ::testing::Values(ReshowCase { "OnInactive", false, "", true },
        ReshowCase { "OnActive", true, "", false },
        ReshowCase { "OnInactiveThenCommand", false, "command", false },
        ReshowCase { "OnInactiveThenClose", false, "close", false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FrmMnuTest, UnknownIndexOnlyStopsAndHides)
{
    openMenu();
    menu().ComMnu_Click(3);
    EXPECT_FALSE(running(0));
    EXPECT_FALSE(running(1));
    EXPECT_FALSE(menu().isVisible());
}

} // namespace
