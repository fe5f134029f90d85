#pragma once

// The program as main() starts it, for the window tests: its windows composed, the main window
// loaded and shown on the offscreen platform, the bounded animation running.
#include "animation/animation.h"
#include "app/program.h"
#include "mainwindow/frmpar.h"
#include "menu/frmmnu.h"
#include "settings/frmparset.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

class StartedProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        program = std::make_unique<brownian::Program>();
        program->start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main()));
    }

    void TearDown() override
    {
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    brownian::FrmPar &main() { return program->main(); }
    brownian::FrmMnu &menu() { return program->menu(); }
    brownian::ModPar &state() { return program->state(); }
    brownian::Animation &animation() { return program->animation(); }
    brownian::FrmParSet *settings() { return program->settings(); }

    std::unique_ptr<brownian::Program> program;
};
