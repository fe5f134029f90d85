#include "frmobs.h"

#include "toolkit/gas_plot.h"
#include "toolkit/plot.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <cstdio>

namespace brownian {

namespace {

constexpr int kWidth = 720, kHeight = 660; // logical pixels
constexpr int kRedrawMs = 200;
constexpr double kGasHeight = 230; // the strip chart, above the figures
constexpr double kFiguresHeight = 44; // two lines

/// A number in a fixed short form for the line of figures.
QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

} // namespace

/// Hands every sub-step to the observation, timing it when the cost is reported.
class FrmObs::Feed final : public SubStepObserver
{
public:
    explicit Feed(FrmObs &window)
        : m_window(window)
    {
    }
    void afterSubStep(const ModPar &state) override
    {
        if (!m_window.m_reportCost) {
            m_window.m_observation.afterSubStep(state);
            return;
        }
        QElapsedTimer clock;
        clock.start();
        m_window.m_observation.afterSubStep(state);
        m_window.m_costNs += clock.nsecsElapsed();
    }

private:
    FrmObs &m_window;
};

FrmObs::FrmObs(Animation &animation)
    : QWidget(nullptr, Qt::Window)
    , m_animation(animation)
    , m_feed(std::make_unique<Feed>(*this))
{
    setWindowTitle(QStringLiteral("観測"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Opening it leaves the keyboard with the main window, so that G there closes it again.
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(kWidth, kHeight);
    m_redraw.setInterval(kRedrawMs);
    connect(&m_redraw, &QTimer::timeout, this, [this] { refresh(); });
    startWatching();
}

FrmObs::~FrmObs()
{
    stopWatching();
}

void FrmObs::toggleBeside(const QRect &mainFrame)
{
    if (isVisible() && isMinimized()) {
        showNormal();
        raise();
        refresh();
        if (!m_animation.isPaused())
            m_redraw.start();
    } else if (isVisible()) {
        close();
    } else {
        openBeside(mainFrame);
    }
}

void FrmObs::openBeside(const QRect &mainFrame)
{
    placeBeside(mainFrame);
    show();
    m_stale = true;
    refresh();
    if (!m_animation.isPaused())
        m_redraw.start();
    // The frame is known only once the window is shown (under a window manager, a little
    // later): place it again with its true outer size.
    placeBeside(mainFrame);
    QTimer::singleShot(50, this, [this, mainFrame] {
        if (isVisible())
            placeBeside(mainFrame);
    });
}

void FrmObs::placeBeside(const QRect &mainFrame)
{
    const QScreen *screen = QGuiApplication::screenAt(mainFrame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // Before the window is first shown its client size stands in for the outer size.
    const QSize outer = frameGeometry().size();
    QPoint corner(mainFrame.x() + mainFrame.width(), mainFrame.y());
    if (screen) {
        const QRect room = screen->availableGeometry();
        corner.setX(std::max(room.left(), std::min(corner.x(), room.right() + 1 - outer.width())));
        corner.setY(std::max(room.top(), std::min(corner.y(), room.bottom() + 1 - outer.height())));
    }
    if (corner != frameGeometry().topLeft())
        move(corner);
}

void FrmObs::startWatching()
{
    if (m_watching)
        return;
    m_watching = true;
    m_observation.reset(m_animation.state());
    m_animation.simulation().setCollisionRecord(&m_observation.collisionRecord());
    m_animation.addSubStepObserver(m_feed.get());
    const auto restart = [this] { m_observation.reset(m_animation.state()); };
    m_connections = {
        connect(&m_animation, &Animation::ticked, this, [this] { afterTick(); }),
        connect(&m_animation, &Animation::placed, this, restart),
        connect(&m_animation, &Animation::modeChanged, this, restart),
        connect(&m_animation, &Animation::pausedChanged, this,
            [this](bool paused) {
                // Paused, nothing changes: the picture stands still until the animation runs.
                m_rateClock.invalidate();
                if (paused) {
                    if (isVisible())
                        refresh();
                    m_redraw.stop();
                } else if (isVisible()) {
                    m_redraw.start();
                }
            }),
    };
    m_rateClock.invalidate();
    m_tickRate = 0;
}

void FrmObs::stopWatching()
{
    if (!m_watching)
        return;
    m_watching = false;
    if (m_animation.simulation().collisionRecord() == &m_observation.collisionRecord())
        m_animation.simulation().setCollisionRecord(nullptr);
    m_animation.removeSubStepObserver(m_feed.get());
    for (const QMetaObject::Connection &c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_redraw.stop();
    m_observation.clear();
}

void FrmObs::afterTick()
{
    QElapsedTimer clock;
    if (m_reportCost)
        clock.start();
    m_observation.afterTick(m_animation.state(), m_animation.lastTick());
    ++m_rateTicks;
    if (!m_rateClock.isValid()) {
        m_rateClock.start();
        m_rateTicks = 0;
    } else if (m_rateClock.nsecsElapsed() >= 1'000'000'000) {
        m_tickRate = m_rateTicks * 1e9 / static_cast<double>(m_rateClock.nsecsElapsed());
        if (m_reportTicks)
            reportGas(m_rateTicks);
        m_rateClock.restart();
        m_rateTicks = 0;
    }
    if (m_reportCost) {
        m_costNs += clock.nsecsElapsed();
        reportCost();
    }
}

void FrmObs::reportCost()
{
    if (!m_costClock.isValid()) {
        m_costClock.start();
        m_costNs = 0;
        return;
    }
    const qint64 ns = m_costClock.nsecsElapsed();
    if (ns < 1'000'000'000)
        return;
    std::fprintf(stderr, "observation_cpu_share=%.4f\n", static_cast<double>(m_costNs) / ns);
    m_costClock.restart();
    m_costNs = 0;
}

void FrmObs::reportGas(long ticks) const
{
    const GasGauge &gas = m_observation.gas();
    const auto &h = gas.history();
    const std::size_t n = std::min<std::size_t>(h.size(), static_cast<std::size_t>(ticks));
    double pressure = 0;
    for (std::size_t k = h.size() - n; k < h.size(); ++k)
        pressure += h[k].pressure / static_cast<double>(n);
    std::fprintf(stderr, "gas_kT=%.9g gas_P=%.9g observed_ticks=%lld\n", gas.last().kT, pressure,
        static_cast<long long>(m_observation.ticks()));
}

QString FrmObs::figures() const
{
    const Observation &o = m_observation;
    if (!o.started())
        return {};
    const Totals &start = o.startTotals();
    const Totals &now = o.totals();
    const double change = start.kineticEnergy > 0
        ? (now.kineticEnergy - start.kineticEnergy) / start.kineticEnergy
        : 0.0;
    const double momentum = std::hypot(now.momentumX, now.momentumY);
    const GasGauge &gas = o.gas();
    return QStringLiteral("%1　粒子 %2　ティック %3　運動エネルギー %4（変化 %5）"
                          "　運動量 %6　衝突 %7　%8 ティック/秒\n"
                          "kT %9　圧力 P %10　Z = PA/NkT %11（Henderson %12）")
        .arg(o.unbounded() ? QStringLiteral("境界なし") : QStringLiteral("境界あり"))
        .arg(o.particles())
        .arg(o.ticks())
        .arg(number(now.kineticEnergy, 2))
        .arg(QString::number(change, 'e', 1))
        .arg(number(momentum, 3))
        .arg(o.lastContacts())
        .arg(number(m_tickRate, 0))
        .arg(number(gas.last().kT, 4))
        .arg(QString::number(gas.meanPressure(), 'e', 3))
        .arg(number(gas.z(), 3))
        .arg(number(hendersonZ(gas.eta()), 3));
}

void FrmObs::refresh()
{
    if (!m_stale && m_drawnVersion == m_observation.version()
        && m_picture.devicePixelRatio() == devicePixelRatioF())
        return;
    QElapsedTimer clock;
    if (m_reportCost)
        clock.start();
    drawPicture();
    update();
    if (m_reportCost)
        m_costNs += clock.nsecsElapsed();
}

void FrmObs::drawPicture()
{
    m_drawnVersion = m_observation.version();
    m_stale = false;
    const double dpr = devicePixelRatioF();
    const QSize logical = size();
    QImage image(std::max(1, static_cast<int>(std::lround(logical.width() * dpr))),
        std::max(1, static_cast<int>(std::lround(logical.height() * dpr))),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    if (m_observation.started()) {
        PlotData data;
        data.unbounded = m_observation.unbounded();
        data.numSide = m_animation.state().NumSide.value();
        const SpeedHistogram &speeds = m_observation.speeds();
        fillPlotData(data, m_observation.msd().result(), speeds, speeds.result(Observation::kBins),
            m_observation.particles());
        QPainter p(&image);
        const double panelsHeight = logical.height() - kFiguresHeight - kGasHeight;
        const QRectF panels(0, 0, logical.width(), panelsHeight);
        drawPlotPanels(p, data, plotLayout(panels), dpr);
        drawGasPanel(
            p, m_observation.gas(), QRectF(0, panelsHeight, logical.width(), kGasHeight), dpr);
        drawPlotText(p,
            QRectF(8 * dpr, (logical.height() - kFiguresHeight) * dpr, (logical.width() - 16) * dpr,
                kFiguresHeight * dpr),
            Qt::AlignLeft | Qt::AlignVCenter, figures(), 11, dpr);
    }
    image.setDevicePixelRatio(dpr);
    m_picture = std::move(image);
}

void FrmObs::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_picture.isNull())
        p.drawImage(QPointF(0, 0), m_picture);
}

void FrmObs::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_stale = true;
    if (isVisible())
        refresh();
}

void FrmObs::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_G)
        close();
    else
        QWidget::keyReleaseEvent(event);
}

void FrmObs::closeEvent(QCloseEvent *event)
{
    event->accept();
}

void FrmObs::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Closed, it goes on gathering from the placement on, but draws nothing.
    if (!isVisible())
        m_redraw.stop();
}

} // namespace brownian
