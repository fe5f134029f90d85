#include "settings_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

struct FieldCase
{
    const char *name;
    const char16_t *typed;
    const char16_t *left; // the text after leaving; the typed text when a message comes
    bool message;
};

class CountField : public SettingsDialog, public ::testing::WithParamInterface<FieldCase>
{
};

TEST_P(CountField, IsCheckedOnLeaving)
{
    const FieldCase c = GetParam();
    FrmParSet &d = open();
    enter(d.TxtNum(), QString::fromUtf16(c.typed));
    EXPECT_EQ(d.TxtNum()->text(), QString::fromUtf16(c.left));
    EXPECT_EQ(d.LblNum3()->text(), QString::fromUtf16(c.left));
    EXPECT_FALSE(d.messagePending());
    if (c.message) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].prompt, kCountMessage);
        EXPECT_EQ(messages[0].title, QStringLiteral("エラー"));
        EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
        EXPECT_EQ(d.NewLocusNo().value(), 12);
        // Leaving again brings the message again.
        QTest::keyClick(d.TxtNum(), Qt::Key_Tab);
        settle();
        EXPECT_EQ(messages.size(), 2u);
        EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
    } else {
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(QApplication::focusWidget(), d.TxtSize());
    }
    EXPECT_TRUE(d.isVisible());
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, CountField,
    ::testing::Values(FieldCase { "Zero", u"0", u"1", false },
        FieldCase { "Negative", u"-3", u"1", false }, FieldCase { "Half", u"0.5", u"1", false },
        FieldCase { "Eleven", u"11", u"10", false }, FieldCase { "Hundred", u"100", u"10", false },
        FieldCase { "Exponent", u"1e3", u"10", false },
        FieldCase { "Fraction", u"7.9", u"7", false },
        FieldCase { "FullWidth", u"８", u"8", false },
        FieldCase { "HugeExponent", u"1e999", u"10", false },
        FieldCase { "Letters", u"abc", u"abc", true }, FieldCase { "Empty", u"", u"", true }),
    [](const auto &info) { return std::string(info.param.name); });

class SizeField : public SettingsDialog, public ::testing::WithParamInterface<FieldCase>
{
};

TEST_P(SizeField, IsCheckedOnLeaving)
{
    const FieldCase c = GetParam();
    FrmParSet &d = open();
    enter(d.TxtSize(), QString::fromUtf16(c.typed));
    EXPECT_EQ(d.TxtSize()->text(), QString::fromUtf16(c.left));
    if (c.message) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].prompt, kSizeMessage);
        EXPECT_EQ(messages[0].title, QStringLiteral("エラー"));
        EXPECT_EQ(QApplication::focusWidget(), d.TxtSize());
    } else {
        EXPECT_TRUE(messages.empty());
    }
    EXPECT_EQ(d.NewLocusNo().value(), 12);
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, SizeField,
    ::testing::Values(FieldCase { "RoundsDown", u"390", u"380", false },
        FieldCase { "RaisedToMinimum", u"199", u"200", false },
        FieldCase { "LoweredToMaximum", u"519", u"500", false },
        FieldCase { "AboveMaximum", u"520", u"500", false },
        FieldCase { "Negative", u"-40", u"200", false },
        FieldCase { "Letters", u"abc", u"abc", true }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SettingsDialog, CheckedCountResetsThePickToTheCentre)
{
    FrmParSet &d = open();
    const int centres[][2] = { { 1, 0 }, { 2, 0 }, { 3, 4 }, { 4, 5 }, { 5, 12 }, { 6, 14 },
        { 10, 44 } };
    for (const auto &[n, centre] : centres) {
        enter(d.TxtNum(), QString::number(n));
        EXPECT_EQ(d.NewLocusNo().value(), centre) << n;
        // The preview was redrawn at once for the new grid.
        EXPECT_EQ(particleColour(d, n, centre), kRedC) << n;
        if (n > 1) {
            EXPECT_EQ(particleColour(d, n, n * n - 1), kGreenC) << n;
        }
    }
}

TEST_F(SettingsDialog, ClickOnThePreviewPicksTheParticleUnderIt)
{
    FrmParSet &d = open();
    const QPointF cell = cellCentre(5, 8); // row 1, column 3
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 8);
    EXPECT_EQ(particleColour(d, 5, 8), kRedC);
    EXPECT_EQ(particleColour(d, 5, 12), kGreenC);

    const QPointF other = cellCentre(5, 20);
    QTest::mouseClick(d.PicLocus(), Qt::RightButton, {}, previewPoint(other.x(), other.y()));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 20);
    QTest::mouseClick(d.PicLocus(), Qt::MiddleButton, {}, previewPoint(cell.x(), cell.y()));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 8);
}

TEST_F(SettingsDialog, ReleaseOutsideThePreviewClampsIntoTheGrid)
{
    FrmParSet &d = open();
    const QPointF cell = cellCentre(5, 6);
    QTest::mousePress(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    // Dragged out to the right, level with row 3.
    QTest::mouseRelease(
        d.PicLocus(), Qt::LeftButton, {}, previewPoint(kSide + 900, cellCentre(5, 15).y()));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 19);
    QTest::mousePress(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    QTest::mouseRelease(d.PicLocus(), Qt::LeftButton, {}, QPoint(-30, -30));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 0);
}

TEST_F(SettingsDialog, PickThenCheckingTheCountAgainReturnsToTheCentre)
{
    FrmParSet &d = open();
    const QPointF cell = cellCentre(5, 3);
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    settle();
    ASSERT_EQ(d.NewLocusNo().value(), 3);
    QTest::mouseClick(d.TxtNum(), Qt::LeftButton);
    settle();
    ASSERT_EQ(QApplication::focusWidget(), d.TxtNum());
    QTest::keyClick(d.TxtNum(), Qt::Key_Tab);
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 12);
    EXPECT_EQ(particleColour(d, 5, 12), kRedC);
    EXPECT_EQ(particleColour(d, 5, 3), kGreenC);
}

TEST_F(SettingsDialog, ClickOnThePreviewChecksTheCountFirst)
{
    FrmParSet &d = open();
    d.TxtNum()->setText(QStringLiteral("7"));
    // Still in the count field: the press checks it (7 × 7), then the release picks.
    const QPointF cell = cellCentre(7, 10);
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    settle();
    EXPECT_EQ(d.NewLocusNo().value(), 10);
    EXPECT_EQ(particleColour(d, 7, 10), kRedC);
    EXPECT_EQ(particleColour(d, 7, 24), kGreenC);
}

TEST_F(SettingsDialog, ClickFromAFieldWithLettersShowsTheMessageOnly)
{
    FrmParSet &d = open();
    d.TxtNum()->setText(QStringLiteral("abc"));
    const QPointF cell = cellCentre(5, 0);
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    settle();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(d.NewLocusNo().value(), 12);
    EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());

    QTest::mouseClick(d.ComOK(), Qt::LeftButton);
    settle();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(settings(), &d);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.TxtNum()->text(), QStringLiteral("abc"));
    EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
    EXPECT_EQ(state().NumSide.value(), 5);
    EXPECT_EQ(state().ParX.size(), 25);
}

/// A close request that reaches the dialog while a field's message box waits for its answer
/// (the close box, pressed just as the box appears) is refused: closing would hide the box
/// with the dialog and leave the program waiting for an answer nobody can see to give.
TEST_F(SettingsDialog, CloseRequestWhileTheMessageIsUpIsRefused)
{
    FrmParSet &d = open();
    bool hiddenUnderTheBox = false;
    toolkit::setMessageBoxHook([&](const QString &prompt, const QString &title) {
        messages.push_back({ prompt, title });
        d.close();
        hiddenUnderTheBox = !d.isVisible();
    });
    d.TxtNum()->setText(QStringLiteral("abc"));
    QTest::mouseClick(d.ComOK(), Qt::LeftButton);
    settle();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FALSE(hiddenUnderTheBox);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(settings(), &d);

    // Once the box is answered, the dialog closes as ever (and is deleted).
    d.close();
    settle();
    EXPECT_EQ(settings(), nullptr);
}

TEST_F(SettingsDialog, OkThatSlipsPastTheCheckWritesNothing)
{
    FrmParSet &d = open();
    // The click arrives while the field's message is still on its way.
    enter(d.TxtSize(), QStringLiteral("big"));
    messages.clear();
    d.TxtSize()->setFocus();
    settle();
    d.TxtSize()->setText(QStringLiteral("huge"));
    d.ComOK()->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(d.messagePending());
    d.ComOK_Click();
    d.ComCancel_Click();
    settle();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(state().ParSize.value(), 400);

    // A click with no focus change before it at all is checked by O.K. itself.
    messages.clear();
    d.TxtNum()->setText(QStringLiteral("x"));
    d.ComOK_Click();
    settle();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, kCountMessage);
    EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(state().NumSide.value(), 5);
}

TEST_F(SettingsDialog, WindowActivationIsNoReasonToCheck)
{
    FrmParSet &d = open();
    d.TxtNum()->setText(QStringLiteral("abc"));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    settle();
    EXPECT_TRUE(messages.empty());
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    settle();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
    QTest::keyClick(d.TxtNum(), Qt::Key_Tab);
    settle();
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(SettingsDialog, RepaintWhileEditingDrawsTheTextAsItStands)
{
    FrmParSet &d = open();
    const auto repaint = [&] {
        d.PicLocus()->repaint();
        settle();
    };
    d.TxtNum()->setText(QStringLiteral("abc"));
    repaint();
    EXPECT_EQ(particleColour(d, 5, 12), kWhiteC);
    d.TxtNum()->setText(QStringLiteral("0.3")); // rounds to no cells at all
    repaint();
    EXPECT_EQ(particleColour(d, 5, 12), kWhiteC);
    d.TxtNum()->setText(QStringLiteral("99999"));
    repaint();
    EXPECT_EQ(particleColour(d, 5, 12), kWhiteC);
    d.TxtNum()->setText(QStringLiteral("3"));
    repaint();
    EXPECT_EQ(particleColour(d, 3, 0), kGreenC);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(d.NewLocusNo().value(), 12);
}

} // namespace
