// A run-time fault inside a timer tick: the application reports it once in a message box naming
// the fault in Japanese, drops further ticks, and the program ends with status 3.
#include "app/program.h"
#include "toolkit/application.h"
#include "toolkit/message_box.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    brownian::toolkit::Application app(argc, argv);
    int boxes = 0;
    QString prompt;
    brownian::toolkit::setMessageBoxHook([&](const QString &text, const QString &) {
        ++boxes;
        prompt = text;
    });
    brownian::Program program;
    program.start();
    // A tracked particle outside the arrays: the next tick indexes past the end.
    QTimer::singleShot(20, [&] { program.state().LocusNo = 40; });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    const int status = app.exec();

    const bool named = prompt.contains(QStringLiteral("インデックスが有効範囲にありません"));
    std::printf(
        "status %d, boxes %d, prompt named the fault: %s\n", status, boxes, named ? "yes" : "no");
    return (status == 3 && boxes == 1 && named) ? 0 : 1;
}
