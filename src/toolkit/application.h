#pragma once

#include <QApplication>

namespace brownian::toolkit {

/// The application object. It reports a run-time fault of the simulation, which the clock
/// catches where it ticks, in a message box and ends the program with status 3. While the
/// report is shown, timer ticks and input are dropped so that no second fault follows.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    /// Exit status after a reported fault.
    static constexpr int kFaultExitCode = 3;
    bool faulted() const { return m_faulted; }

    /// Ends the program at once: no further event or tick is delivered.
    static void endProgram(int exitCode = 0);

    /// Disables every window, shows `message` in a message box captioned "実行時エラー" and
    /// ends the program with kFaultExitCode; a second report while the first is up is dropped.
    static void reportFault(const QString &message);

private:
    bool m_faulted = false;
};

} // namespace brownian::toolkit
