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

} // namespace
