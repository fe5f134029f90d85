#include "timer.h"

namespace brownian::toolkit {

Timer::Timer(std::function<void()> onTick, QObject *parent)
    : m_timer(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onTick));
}

void Timer::setInterval(int intervalMs)
{
    m_intervalMs = intervalMs > 0 ? intervalMs : 0;
    if (m_intervalMs == 0) {
        m_timer.stop();
        return;
    }
    if (m_timer.isActive() && m_timer.interval() == m_intervalMs)
        return;
    m_timer.start(m_intervalMs);
}

} // namespace brownian::toolkit
