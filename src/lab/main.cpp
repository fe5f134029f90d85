// brownian-lab: the simulation of the program without windows, for runs, measurements and
// timings from the command line.
#include "commands.h"
#include "output.h"

#include <QGuiApplication>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

/// The application object drawing text needs; the offscreen platform unless another is set.
std::unique_ptr<QGuiApplication> g_app;
int g_argc = 1;
char g_name[] = "brownian-lab";
char *g_argv[] = { g_name, nullptr };

/// Qt's own notes about the headless environment (no runtime directory and the like) are of no
/// use to the lab's user; everything else passes.
void filterQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

/// A closed standard descriptor is given /dev/null read-only, so that no file the tool opens
/// takes its place and a write to it fails (and is reported) instead of going astray.
void occupyClosedDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd)
            std::abort();
    }
}

} // namespace

void brownian::lab::startGui()
{
    if (g_app)
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(filterQtMessages);
    g_app = std::make_unique<QGuiApplication>(g_argc, g_argv);
    // Qt adopts the user's locale; the numbers the tool prints stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
}

int main(int argc, char **argv)
{
    using namespace brownian::lab;
    occupyClosedDescriptors();
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseArguments(args);
    if (!parsed.ok()) {
        printError(parsed.error);
        std::fprintf(stderr, "Try 'brownian-lab --help'.\n");
        return kExitBadInput;
    }
    for (const std::string &note : parsed.notes)
        printError("note: " + note);
    int status = kExitOk;
    switch (parsed.options.command) {
    case Command::Help:
        std::fputs(helpText().c_str(), stdout);
        break;
    case Command::Run:
        status = runCommand(parsed.options);
        break;
    case Command::Bench:
        status = benchCommand(parsed.options);
        break;
    case Command::Sweep:
        status = sweepCommand(parsed.sweep);
        break;
    case Command::Merge:
        status = mergeCommand(parsed.merge);
        break;
    }
    g_app.reset();
    if (!closeStandardOutput() && status == kExitOk) {
        printError(std::string("cannot write standard output: ") + std::strerror(errno));
        return kExitOutputFailed;
    }
    return status;
}
