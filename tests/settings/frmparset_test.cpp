#include "started_program.h"
#include "toolkit/message_box.h"
#include "toolkit/picture_box.h"
#include "toolkit/units.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using brownian::FrmParSet;
namespace toolkit = brownian::toolkit;

namespace {

const QString kCountMessage = QStringLiteral("粒子数は数字でなければなりません。");
const QString kSizeMessage = QStringLiteral("粒子の大きさは数字でなければなりません。");
constexpr double kSide = 3060; // the preview's drawing area in twips

struct Message
{
    QString prompt, title;
};

/// The main window with its menu, started as the program starts it; message boxes recorded.
class SettingsDialog : public StartedProgram
{
protected:
    void SetUp() override
    {
        toolkit::setMessageBoxHook([this](const QString &prompt, const QString &title) {
            messages.push_back({ prompt, title });
        });
        StartedProgram::SetUp();
    }

    void TearDown() override
    {
        toolkit::setMessageBoxHook({});
        StartedProgram::TearDown();
    }

    /// The menu's settings command, as a click on its button would run it.
    FrmParSet &open()
    {
        menu().ComMnu_Click(6);
        FrmParSet *d = settings();
        EXPECT_NE(d, nullptr);
        d->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(d));
        settle();
        return *d;
    }

    /// Lets zero-delay work (a pending message, a repaint) run.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    /// Replaces a field's text and leaves it with Tab.
    static void enter(QLineEdit *field, const QString &text)
    {
        field->setFocus(Qt::MouseFocusReason);
        settle();
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Tab);
        settle();
    }

    static QPoint previewPoint(double xTwips, double yTwips)
    {
        return QPoint(toolkit::toPixels(xTwips), toolkit::toPixels(yTwips));
    }

    /// The colour of the preview's retained picture at a point in twips.
    static QColor previewAt(FrmParSet &d, double xTwips, double yTwips)
    {
        brownian::ImageSurface &s = d.PicLocus()->surface();
        return s.image().pixelColor(
            static_cast<int>(xTwips * s.scale()), static_cast<int>(yTwips * s.scale()));
    }
    /// The centre of particle k's cell in an n × n preview, in twips.
    static QPointF cellCentre(int n, int k)
    {
        return { kSide / n * (k % n + 0.5), kSide / n * (k / n + 0.5) };
    }
    static QColor particleColour(FrmParSet &d, int n, int k)
    {
        const QPointF c = cellCentre(n, k);
        return previewAt(d, c.x(), c.y());
    }

    std::vector<Message> messages;
};

const QColor kRedC(255, 0, 0), kGreenC(0, 255, 0), kWhiteC(255, 255, 255), kBlackC(0, 0, 0);

TEST_F(SettingsDialog, OpensFilledFromTheDefaults)
{
    FrmParSet &d = open();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("粒子の設定"));
    EXPECT_EQ(d.size(), QSize(toolkit::toPixels(6105), toolkit::toPixels(5700)));
    EXPECT_EQ(d.frameGeometry().topLeft(), main().frameGeometry().topLeft());
    EXPECT_EQ(d.TxtNum()->text(), "5");
    EXPECT_EQ(d.LblNum3()->text(), "5");
    EXPECT_EQ(d.TxtSize()->text(), "400");
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(d.OptV(i)->isChecked(), i == 3) << i;
    EXPECT_EQ(d.OptV(3)->text(), QStringLiteral("普通"));
    EXPECT_EQ(d.NewLocusNo().value(), 12);
    EXPECT_EQ(QApplication::focusWidget(), d.TxtNum());
    EXPECT_FALSE(main().isEnabled());
    EXPECT_FALSE(menu().isEnabled());
    EXPECT_FALSE(menu().isVisible());
    EXPECT_EQ(animation().TimPar().interval(), 0);
    EXPECT_EQ(animation().Timpar2().interval(), 0);
    for (QPushButton *b : { d.ComOK(), d.ComCancel() }) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    // Painted when first shown: the centre red, the others green, no frame.
    EXPECT_EQ(particleColour(d, 5, 12), kRedC);
    EXPECT_EQ(particleColour(d, 5, 0), kGreenC);
    EXPECT_EQ(particleColour(d, 5, 24), kGreenC);
    EXPECT_EQ(previewAt(d, kSide / 12, kSide / 5), kWhiteC);
}

TEST_F(SettingsDialog, ControlsSitAtTheirPlacesInTabOrder)
{
    FrmParSet &d = open();
    struct Row
    {
        const char *name;
        double left, top, width, height;
        const char16_t *caption;
    };
    const Row rows[] = {
        { "LblNum", 105, 120, 855, 180, u"粒子数：" },
        { "TxtNum", 1300, 100, 800, 270, nullptr },
        { "LblNum2", 2100, 150, 200, 180, u"X" },
        { "LblNum3", 2300, 100, 800, 270, nullptr },
        { "LblSIze", 120, 520, 1200, 180, u"粒子の大きさ：" },
        { "TxtSize", 1300, 470, 800, 270, nullptr },
        { "LblSize2", 2300, 520, 400, 180, u"twip" },
        { "LblV", 100, 890, 1200, 180, u"粒子の速さ：" },
        { "OptV1", 300, 1200, 1095, 255, u"遅い" },
        { "OptV2", 1400, 1200, 1095, 255, u"やや遅い" },
        { "OptV3", 2520, 1200, 1095, 255, u"普通" },
        { "OptV4", 3600, 1200, 1095, 255, u"やや速い" },
        { "OptV5", 4700, 1200, 1095, 255, u"速い" },
        { "LblLocus", 105, 1560, 1335, 180, u"軌跡を描く粒子：" },
        { "PicLocus", 1470, 1800, 3060, 3060, nullptr },
        { "ComOK", 3200, 5060, 1200, 400, u"O.K." },
        { "ComCancel", 4600, 5060, 1200, 400, u"キャンセル" },
    };
    for (const Row &row : rows) {
        auto *w = d.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr) << row.name;
        EXPECT_EQ(w->geometry(),
            QRect(toolkit::toPixels(row.left), toolkit::toPixels(row.top),
                toolkit::toPixels(row.width), toolkit::toPixels(row.height)))
            << row.name;
        if (row.caption) {
            const QString expected = QString::fromUtf16(row.caption);
            if (auto *l = qobject_cast<QLabel *>(w)) {
                EXPECT_EQ(l->text(), expected) << row.name;
            } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
                EXPECT_EQ(b->text(), expected) << row.name;
            }
        }
    }
    std::vector<QString> tabbed;
    QWidget *w = d.TxtNum();
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            tabbed.push_back(w->objectName());
        w = w->nextInFocusChain();
    } while (w != d.TxtNum());
    const std::vector<QString> expected = { "TxtNum", "TxtSize", "OptV1", "OptV5", "OptV2", "OptV3",
        "OptV4", "ComOK", "ComCancel" };
    EXPECT_EQ(tabbed, expected);
}

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

TEST_F(SettingsDialog, OkWritesTheSettingsAndStartsTheNewRun)
{
    FrmParSet &d = open();
    QPointer<FrmParSet> dialog(&d);
    enter(d.TxtNum(), QStringLiteral("7"));
    enter(d.TxtSize(), QStringLiteral("300"));
    QTest::mouseClick(d.OptV(5), Qt::LeftButton);
    QTest::mouseClick(d.ComOK(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state().NumSide.value(), 7);
    EXPECT_EQ(state().ParSize.value(), 300);
    EXPECT_EQ(state().ParSpeed.value(), 5);
    EXPECT_EQ(state().LocusNo.value(), 24);
    for (auto *a : { &state().ParX, &state().ParY, &state().ParVX, &state().ParVY })
        EXPECT_EQ(a->size(), 49);
    // Placed afresh over the 7 × 7 grid: the last particle sits in the bottom-right cell.
    EXPECT_GT(state().ParX.at(48), 5000.0f * 6 / 7);
    EXPECT_GT(state().ParY.at(48), 5000.0f * 6 / 7);
    EXPECT_EQ(animation().TimPar().interval(), 1);
    EXPECT_EQ(animation().Timpar2().interval(), 0);
    EXPECT_TRUE(main().isEnabled());
    EXPECT_TRUE(menu().isEnabled());
    EXPECT_FALSE(menu().isVisible());
    EXPECT_EQ(settings(), nullptr);
    EXPECT_TRUE(QApplication::activeWindow() == &main());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(SettingsDialog, OkKeepsAPickMadeAfterTheCount)
{
    FrmParSet &d = open();
    enter(d.TxtNum(), QStringLiteral("7"));
    const QPointF cell = cellCentre(7, 10);
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    QTest::mouseClick(d.ComOK(), Qt::LeftButton);
    settle();
    EXPECT_EQ(state().NumSide.value(), 7);
    EXPECT_EQ(state().LocusNo.value(), 10);
}

TEST_F(SettingsDialog, CancelWritesNothingButPlacesAfresh)
{
    FrmParSet &d = open();
    const std::vector<float> before(state().ParX.data(), state().ParX.data() + state().ParX.size());
    enter(d.TxtNum(), QStringLiteral("9"));
    enter(d.TxtSize(), QStringLiteral("260"));
    QTest::mouseClick(d.OptV(1), Qt::LeftButton);
    const QPointF cell = cellCentre(9, 3);
    QTest::mouseClick(d.PicLocus(), Qt::LeftButton, {}, previewPoint(cell.x(), cell.y()));
    ASSERT_EQ(d.NewLocusNo().value(), 3);
    QTest::mouseClick(d.ComCancel(), Qt::LeftButton);
    settle();
    EXPECT_EQ(state().NumSide.value(), 5);
    EXPECT_EQ(state().ParSize.value(), 400);
    EXPECT_EQ(state().ParSpeed.value(), 3);
    EXPECT_EQ(state().LocusNo.value(), 12);
    ASSERT_EQ(state().ParX.size(), 25);
    const std::vector<float> after(state().ParX.data(), state().ParX.data() + state().ParX.size());
    EXPECT_NE(before, after);
    EXPECT_EQ(animation().TimPar().interval(), 1);
    EXPECT_TRUE(main().isEnabled());
    EXPECT_TRUE(menu().isEnabled());
    EXPECT_EQ(settings(), nullptr);

    // The next opening starts again from the state().
    FrmParSet &again = open();
    EXPECT_EQ(again.TxtNum()->text(), "5");
    EXPECT_EQ(again.TxtSize()->text(), "400");
    EXPECT_TRUE(again.OptV(3)->isChecked());
    EXPECT_EQ(again.NewLocusNo().value(), 12);
}

TEST_F(SettingsDialog, ClosingInTheUnboundedModeStartsItsTimer)
{
    menu().ComMnu_Click(1);
    FrmParSet &d = open();
    // The unbounded preview: smaller discs and the frame of the shown part.
    EXPECT_EQ(previewAt(d, kSide / 12, kSide / 5), kBlackC);
    const QPointF centre = cellCentre(5, 12);
    const double radius = kSide * 400 / 12000;
    EXPECT_EQ(previewAt(d, centre.x() + radius - 20, centre.y()), kRedC);
    EXPECT_EQ(previewAt(d, centre.x() + radius + 20, centre.y()), kWhiteC);
    d.close(); // the window's close box
    settle();
    EXPECT_EQ(animation().Timpar2().interval(), 1);
    EXPECT_EQ(animation().TimPar().interval(), 0);
    EXPECT_TRUE(main().isEnabled());
    EXPECT_EQ(settings(), nullptr);
}

TEST_F(SettingsDialog, MainWindowTakesNoInputWhileOpen)
{
    open();
    QTest::keyClick(&main(), Qt::Key_D);
    EXPECT_FALSE(main().DoubleView());
    QTest::mouseClick(&main(), Qt::RightButton, {}, QPoint(100, 100));
    settle();
    EXPECT_FALSE(menu().isVisible());
}

TEST_F(SettingsDialog, ACloseRequestForTheMainWindowWhileOpenIsRefused)
{
    FrmParSet &d = open();
    // As the window manager's close request arrives: through the main window's platform window.
    const auto requestClose = [this] {
        QCloseEvent request;
        QCoreApplication::sendEvent(main().windowHandle(), &request);
        settle();
    };
    requestClose();
    EXPECT_FALSE(main().unloaded());
    EXPECT_TRUE(main().isVisible());
    EXPECT_EQ(settings(), &d);
    EXPECT_TRUE(d.isVisible());
    d.close();
    settle();
    EXPECT_EQ(animation().TimPar().interval(), 1) << "the dialog's close starts the run";
    requestClose();
    EXPECT_TRUE(main().unloaded()) << "without the dialog the close box ends the program";
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
