#pragma once

#include "model/modpar.h"
#include "sim/canvas.h"
#include "sim/simulation.h"
#include "toolkit/timer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace brownian {

/// The simulation's clock: owns the two animation timers, TimPar (bounded mode) and Timpar2
/// (unbounded mode), of which at most one runs, ticking while its interval is 1 ms. Windows
/// drive the simulation through it (restart in a mode, place afresh, pause, play) and observe
/// it through its signals; none of them touches another window's timers. A fault of the
/// simulation is caught here, where the ticks and placements are made: the clock stops and
/// reports it through faulted(), and no exception leaves it.
class Animation : public QObject
{
    Q_OBJECT

public:
    /// What a tick draws on, installed by the window that shows the animation: the path
    /// picture, the frame buffer, and what to do with the finished frame. Without one a tick
    /// draws nothing.
    struct Drawing
    {
        Canvas *path = nullptr;
        Canvas *buffer = nullptr;
        std::function<void()> present;
    };

    explicit Animation(Simulation &simulation, QObject *parent = nullptr);
    ~Animation() override;

    ModPar &state() { return m_simulation.state(); }
    const ModPar &state() const { return m_simulation.state(); }
    Simulation &simulation() { return m_simulation; }

    void setDrawing(Drawing drawing);

    /// Stops both timers: TimPar, then Timpar2. The pause flag is left as it is.
    void stop();
    /// Starts the timer of the current mode (TimPar when BoundMode is 0, else Timpar2), with
    /// interval 1; a pause ends with it.
    void startCurrent();
    /// Sets BoundMode; modeChanged follows when it changed.
    void setMode(Integer boundMode);
    /// Places the particles afresh for the current mode (InitPar with its margin), then
    /// placed(); the timers are not touched.
    void placeAfresh();
    /// setMode, placeAfresh, startCurrent.
    void restartIn(Integer boundMode);
    /// Stops both timers and marks the animation paused.
    void pause();
    /// Ends the pause and starts the current mode's timer; the particles go on from where they
    /// stand.
    void play();
    /// Ends a pause without starting a timer.
    void cancelPause();
    bool isPaused() const { return m_paused; }

    /// One tick of a mode: ParSpeed sub-steps, the frame drawn and presented, then ticked().
    /// The timers call it; so do the main window's TimPar_Timer and Timpar2_Timer.
    void tick(bool unbounded);
    /// The counters of the latest tick.
    const TickCounters &lastTick() const { return m_counters; }

    /// Observers called after every sub-step of every tick, in the order added. An observer is
    /// removed before it is destroyed.
    void addSubStepObserver(SubStepObserver *observer);
    void removeSubStepObserver(SubStepObserver *observer);

    toolkit::Timer &TimPar() { return m_timPar; }
    toolkit::Timer &Timpar2() { return m_timpar2; }

signals:
    /// After every tick, once its frame is presented; lastTick() holds its counters.
    void ticked();
    /// After every fresh placement of the particles: a view starts a fresh path.
    void placed();
    /// After a fault of the simulation in a tick or a placement, with both timers stopped: the
    /// fault's name in Japanese, a line break and its detail. Nothing ticks after it.
    void faulted(const QString &message);
    /// After BoundMode has changed.
    void modeChanged(int boundMode);
    /// After the pause flag has changed.
    void pausedChanged(bool paused);

private:
    class FanOut;
    void setPaused(bool paused);
    /// Runs `step`; a fault it raises stops the clock and is reported. False after a fault.
    template <typename Step> bool guarded(Step &&step);

    Simulation &m_simulation;
    ModPar &m_state;
    bool m_faulted = false;
    Drawing m_drawing;
    toolkit::Timer m_timPar, m_timpar2;
    bool m_paused = false;
    TickCounters m_counters;
    std::vector<SubStepObserver *> m_observers;
};

} // namespace brownian
