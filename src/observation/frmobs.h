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
/// particles since their last placement, drawn by the lab's plotting code, and a line of figures
/// (mode, particles, ticks, kinetic energy, momentum, contacts, ticks per second). It watches
/// the animation only while it is open: then it takes every sub-step and tick, starts afresh on
/// every placement and mode change, and redraws at most five times a second when something
/// changed. Closed, it costs the animation nothing. Its close box and Esc close it.
class FrmObs : public QWidget
{
public:
    explicit FrmObs(Animation &animation);
    ~FrmObs() override;

    /// Opens the window beside `mainFrame` (an outer rectangle on the screen), or closes it
    /// when it is open.
    void toggleBeside(const QRect &mainFrame);
    /// Opens the window with its outer left edge just right of `mainFrame`, moved onto the
    /// screen where it would leave it, and starts observing from the particles as they stand.
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
    qint64 m_costNs = 0;
    QElapsedTimer m_costClock;
};

} // namespace brownian
