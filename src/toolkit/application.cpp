#include "application.h"

#include "message_box.h"
#include "model/fault.h"

#include <QWidget>

#include <exception>

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
    try {
        return QApplication::notify(receiver, event);
    } catch (const RuntimeFault &fault) {
        reportFault(QString::fromStdString(fault.japaneseName()) + QStringLiteral("\n")
            + QString::fromStdString(fault.what()));
    } catch (const std::exception &e) {
        reportFault(QStringLiteral("実行時エラーが発生しました。\n") + QString::fromUtf8(e.what()));
    }
    return true;
}

void Application::reportFault(const QString &message)
{
    if (m_faulted)
        return;
    m_faulted = true;
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
