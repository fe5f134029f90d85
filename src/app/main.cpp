#include "mainwindow/frmpar.h"
#include "model/modpar.h"
#include "toolkit/application.h"

int main(int argc, char **argv)
{
    brownian::toolkit::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("brownian"));
    app.setQuitOnLastWindowClosed(false);

    brownian::ModPar state;
    brownian::FrmPar window(state);
    window.Form_Load();
    window.show();
    return brownian::toolkit::Application::exec();
}
