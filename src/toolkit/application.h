#pragma once

#include <QApplication>

namespace brownian::toolkit {

/// The application object. It is the one place where a run-time fault of the simulation is
/// caught: the fault is reported in a message box and the program ends with status 3. While
/// the report is shown, timer ticks and input are dropped so that no second fault follows.
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

private:
    void reportFault(const QString &message);
    bool m_faulted = false;
};

} // namespace brownian::toolkit
