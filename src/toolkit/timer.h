#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace brownian::toolkit {

/// A timer in the program's sense: it ticks on the UI thread while its interval is positive
/// and is stopped by an interval of 0 (a Qt timer of interval 0 would fire continuously).
class Timer
{
public:
    explicit Timer(std::function<void()> onTick, QObject *parent = nullptr);

    /// Interval in milliseconds; 0 stops the timer, a positive value (re)starts it.
    void setInterval(int intervalMs);
    int interval() const { return m_intervalMs; }
    bool isTicking() const { return m_timer.isActive(); }

private:
    QTimer m_timer;
    int m_intervalMs = 0;
};

} // namespace brownian::toolkit
