#pragma once

#include "analysis/observation.h"
#include "animation/animation.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace brownian {

/// The observation window "観測": the speed histogram and the mean squared displacement of the
/// particles since their last placement, drawn by the lab's plotting code, a strip chart of the
/// temperature and the pressure beside the hard-disc equation of state, and two lines of
/// figures (mode, particles, ticks, kinetic energy, momentum, contacts, ticks per second; kT,
/// pressure, Z). It watches the animation from its creation on, open or closed: it takes every
/// sub-step and tick and the simulation's collision record, and starts afresh on every
/// placement and mode change; open, it redraws at most five times a second when something
/// changed. Its close box and Esc close it.
class FrmObs : public QWidget
{
public:
    explicit FrmObs(Animation &animation);
    ~FrmObs() override;

    /// Opens the window beside `mainFrame` (an outer rectangle on the screen), shows and
    /// raises it when it is minimised, or closes it when it is open.
    void toggleBeside(const QRect &mainFrame);
    /// Opens the window with its outer left edge just right of `mainFrame`, moved onto the
    /// screen where it would leave it.
    void openBeside(const QRect &mainFrame);

    const Observation &observation() const { return m_observation; }
    /// The picture last drawn, at the window's device-pixel ratio.
    const QImage &picture() const { return m_picture; }
    /// Redraws the picture now when anything it shows has changed (what the redraw timer does).
    void refresh();
    /// The line of figures as it stands.
    QString figures() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class Feed;
    void placeBeside(const QRect &mainFrame);
    void startWatching();
    void stopWatching();
    void afterTick();
    void drawPicture();
    void reportCost();
    /// The temperature of the latest tick and the mean pressure of the last `ticks`.
    void reportGas(long ticks) const;

    Animation &m_animation;
    Observation m_observation;
    std::unique_ptr<Feed> m_feed;
    std::vector<QMetaObject::Connection> m_connections;
    bool m_watching = false;
    QTimer m_redraw;
    QImage m_picture;
    std::uint64_t m_drawnVersion = ~std::uint64_t { 0 };
    bool m_stale = true;

    QElapsedTimer m_rateClock;
    long m_rateTicks = 0;
    double m_tickRate = 0;

    /// With BROWNIAN_OBSERVATION_COST set, the time spent observing and drawing is summed and
    /// printed to standard error once a second.
    const bool m_reportCost = qEnvironmentVariableIsSet("BROWNIAN_OBSERVATION_COST");
    /// With BROWNIAN_TICK_REPORT set, the temperature and the pressure are printed to standard
    /// error once a second.
    const bool m_reportTicks = qEnvironmentVariableIsSet("BROWNIAN_TICK_REPORT");
    qint64 m_costNs = 0;
    QElapsedTimer m_costClock;
};

} // namespace brownian
