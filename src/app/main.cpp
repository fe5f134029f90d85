#include "app/program.h"
#include "toolkit/application.h"

#include <QIcon>

int main(int argc, char **argv)
{
    brownian::toolkit::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("brownian"));
    app.setQuitOnLastWindowClosed(false);
    app.setDesktopFileName(QStringLiteral("brownian"));
    QIcon icon;
    for (int size : { 16, 32, 48, 64, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/brownian-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);

    brownian::Program program;
    program.start();
    return brownian::toolkit::Application::exec();
}
