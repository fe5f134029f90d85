#include "application.h"

#include "message_box.h"

#include <QWidget>

namespace brownian::toolkit {

namespace {
bool isDroppedWhileFaulted(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::Timer:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return false;
    }
}
} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    if (m_faulted && isDroppedWhileFaulted(event))
        return true;
    return QApplication::notify(receiver, event);
}

void Application::reportFault(const QString &message)
{
    if (auto *app = dynamic_cast<Application *>(QCoreApplication::instance())) {
        if (app->m_faulted)
            return;
        app->m_faulted = true;
    }
    for (QWidget *w : topLevelWidgets())
        w->setEnabled(false);
    messageBox(message, 0, QStringLiteral("実行時エラー"));
    endProgram(kFaultExitCode);
}

void Application::endProgram(int exitCode)
{
    for (QWidget *w : topLevelWidgets())
        w->hide();
    QCoreApplication::exit(exitCode);
}

} // namespace brownian::toolkit
