#include "animation.h"

#include "model/fault.h"

#include <algorithm>
#include <exception>

namespace brownian {

/// Hands every sub-step to each observer in turn; used only while there are two or more.
class Animation::FanOut final : public SubStepObserver
{
public:
    explicit FanOut(const std::vector<SubStepObserver *> &observers)
        : m_observers(observers)
    {
    }
    void afterSubStep(const ModPar &state) override
    {
        for (SubStepObserver *observer : m_observers)
            observer->afterSubStep(state);
    }

private:
    const std::vector<SubStepObserver *> &m_observers;
};

Animation::Animation(Simulation &simulation, QObject *parent)
    : QObject(parent)
    , m_simulation(simulation)
    , m_state(simulation.state())
    , m_timPar([this] { tick(false); }, this)
    , m_timpar2([this] { tick(true); }, this)
{
}

Animation::~Animation() = default;

void Animation::setDrawing(Drawing drawing)
{
    m_drawing = std::move(drawing);
}

void Animation::stop()
{
    m_timPar.setInterval(0);
    m_timpar2.setInterval(0);
}

void Animation::startCurrent()
{
    if (m_faulted)
        return; // the program is ending
    if (m_state.BoundMode == Integer(0))
        m_timPar.setInterval(1);
    else
        m_timpar2.setInterval(1);
    setPaused(false);
}

void Animation::setMode(Integer boundMode)
{
    if (m_state.BoundMode == boundMode)
        return;
    m_state.BoundMode = boundMode;
    emit modeChanged(boundMode.value());
}

template <typename Step> bool Animation::guarded(Step &&step)
{
    if (m_faulted)
        return false;
    QString message;
    try {
        step();
        return true;
    } catch (const RuntimeFault &fault) {
        message = QString::fromStdString(fault.japaneseName()) + QStringLiteral("\n")
            + QString::fromStdString(fault.what());
    } catch (const std::exception &e) {
        message = QStringLiteral("実行時エラーが発生しました。\n") + QString::fromUtf8(e.what());
    }
    m_faulted = true;
    stop();
    emit faulted(message);
    return false;
}

void Animation::placeAfresh()
{
    if (guarded([this] { m_simulation.place(); }))
        emit placed();
}

void Animation::restartIn(Integer boundMode)
{
    setMode(boundMode);
    placeAfresh();
    startCurrent();
}

void Animation::pause()
{
    stop();
    setPaused(true);
}

void Animation::play()
{
    startCurrent();
}

void Animation::cancelPause()
{
    setPaused(false);
}

void Animation::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    emit pausedChanged(paused);
}

void Animation::tick(bool unbounded)
{
    m_counters = {};
    SubStepObserver *observer = nullptr;
    FanOut fanOut(m_observers);
    if (m_observers.size() == 1)
        observer = m_observers.front();
    else if (m_observers.size() > 1)
        observer = &fanOut;
    // Without a window the tick draws nothing.
    NullCanvas none;
    const bool done = guarded([&] {
        m_simulation.tick(unbounded, m_drawing.path ? *m_drawing.path : none,
            m_drawing.buffer ? *m_drawing.buffer : none, &m_counters, observer);
    });
    if (!done)
        return;
    if (m_drawing.present)
        m_drawing.present();
    emit ticked();
}

void Animation::addSubStepObserver(SubStepObserver *observer)
{
    if (observer
        && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void Animation::removeSubStepObserver(SubStepObserver *observer)
{
    m_observers.erase(
        std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

} // namespace brownian
