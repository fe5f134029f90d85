#pragma once

// The settings dialog opened from the started program's menu, message boxes recorded.
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
