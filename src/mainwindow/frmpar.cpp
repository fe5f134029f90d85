#include "frmpar.h"

#include "model/geometry.h"
#include "sim/settings.h"
#include "toolkit/application.h"
#include "toolkit/units.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace brownian {

namespace {

constexpr double kSingleWidth = 5160, kDoubleWidth = 10200, kOuterHeight = 5445;
constexpr double kViewSide = 5000;
constexpr int kKeySpace = 32, kKeyEsc = 27, kKeyB = 66, kKeyD = 68, kKeyG = 71;
constexpr int kKeyUp = 38, kKeyDown = 40;

int keyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Escape:
        return kKeyEsc;
    case Qt::Key_Space:
        return kKeySpace;
    case Qt::Key_Up:
        return kKeyUp;
    case Qt::Key_Down:
        return kKeyDown;
    default:
        // Letters and digits carry their upper-case character code; other characters none
        // (& and ( share their codes with the arrows).
        return (qtKey >= '0' && qtKey <= '9') || (qtKey >= 'A' && qtKey <= 'Z') ? qtKey : 0;
    }
}

/// Shortest time between two presentations of a frame: the screen's refresh period.
int presentIntervalMs()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double hz = screen ? screen->refreshRate() : 60.0;
    return std::clamp(static_cast<int>(1000.0 / (hz > 1 ? hz : 60.0)), 4, 20);
}

} // namespace

FrmPar::FrmPar(Animation &animation)
    : m_animation(animation)
    , m_state(animation.state())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    toolkit::setClientSizeTwips(this, 5040, 5040);

    m_path = new toolkit::PictureBox(this, field::kPathPictureSide, field::kPathPictureSide);
    m_path->hide();
    m_path->onMouseDown = [this](int button, int shift, float x, float y) {
        PicPar_MouseDown(1, button, shift, x, y);
    };
    m_frameBuffer = std::make_unique<ImageSurface>(
        kViewSide, kViewSide, toolkit::twipsPerPixel(), devicePixelRatioF(), kWhite);
    m_frameBuffer->setFillStyle(FillStyle::Solid);
    m_frameBuffer->setFillColor(kGreen);
    m_view = std::make_unique<ImageSurface>(
        kViewSide, kViewSide, toolkit::twipsPerPixel(), devicePixelRatioF(), kWhite);

    m_animation.setDrawing({ &m_path->surface(), m_frameBuffer.get(), [this] { showTick(); } });
    // A fresh placement starts a fresh path.
    connect(&m_animation, &Animation::placed, this, [this] {
        m_path->surface().clear();
        m_path->update();
    });
}

FrmPar::~FrmPar()
{
    m_animation.setDrawing({});
}

void FrmPar::placeAtStart()
{
    // Single arithmetic on the screen size and the window's outer size in twips.
    const float screenW = static_cast<float>(toolkit::screenWidthTwips());
    const float screenH = static_cast<float>(toolkit::screenHeightTwips());
    const float left = (screenW - static_cast<float>(kSingleWidth)) / 2.0f - 2500.0f;
    const float top = (screenH - static_cast<float>(kOuterHeight)) / 2.0f;
    // On a screen too narrow for that place (under 10160 twips, about 680 pixels) the window
    // would start partly off the screen, and the settings dialog with it: keep it on.
    toolkit::moveOuterTwips(this, std::max(left, 0.0f), std::max(top, 0.0f));
}

void FrmPar::Form_Load()
{
    // The program has loaded the command menu, hidden, with this window.
    placeAtStart();
    m_state.setDefaults();
    setWindowTitle(QStringLiteral("ヴァリム（枠あり）"));
    m_state.redim();
    m_animation.placeAfresh(); // InitPar(0): BoundMode is 0 now
    m_animation.startCurrent(); // TimPar; Timpar2 has stood still from the start
}

void FrmPar::Form_Activate()
{
    // Hides the menu (and shows it again when a right click on this window, while it was
    // inactive, opened it just before the activation arrived).
    if (onActivated)
        onActivated();
}

void FrmPar::Form_Resize()
{
    if (m_inResize)
        return;
    m_inResize = true;
    toolkit::setOuterSizeTwips(this, m_doubleView ? kDoubleWidth : kSingleWidth, kOuterHeight);
    m_inResize = false;
}

void FrmPar::SetView()
{
    Form_Resize();
    if (m_doubleView) {
        m_path->setLeftTwips(5000);
        m_path->show();
    } else {
        m_path->setLeftTwips(0);
        m_path->hide();
    }
}

void FrmPar::Form_KeyUp(int keyCode, int)
{
    switch (keyCode) {
    case kKeySpace:
        m_animation.placeAfresh();
        break;
    case kKeyEsc:
        unload();
        break;
    case kKeyB:
        if (!m_doubleView)
            m_path->setVisible(!m_path->isVisible());
        break;
    case kKeyD:
        m_doubleView = !m_doubleView;
        SetView();
        break;
    case kKeyG:
        if (onObservationKey)
            onObservationKey();
        break;
    case kKeyUp:
    case kKeyDown:
        // Beyond the fastest speed the field allows, heating changes nothing.
        if (!scaleVelocities(m_state, keyCode == kKeyUp ? kHeating : kCooling))
            QApplication::beep();
        break;
    default:
        break;
    }
}

void FrmPar::Form_MouseDown(int button, int, float X, float Y)
{
    if (button != 2)
        return;
    const float left = static_cast<float>(toolkit::leftTwips(this)) + X;
    const float top = static_cast<float>(toolkit::topTwips(this)) + Y;
    if (onMenuRequested)
        onMenuRequested(left, top, !isActiveWindow());
}

void FrmPar::PicPar_KeyUp(int, int keyCode, int shift)
{
    Form_KeyUp(keyCode, shift);
}

void FrmPar::PicPar_MouseDown(int, int button, int shift, float X, float Y)
{
    Form_MouseDown(button, shift, X, Y);
}

void FrmPar::Form_Unload(int &)
{
    m_unloaded = true;
    m_animation.stop();
    toolkit::Application::endProgram(0);
}

void FrmPar::unload()
{
    int cancel = 0;
    Form_Unload(cancel);
}

void FrmPar::TimPar_Timer()
{
    m_animation.tick(false);
}

void FrmPar::Timpar2_Timer()
{
    m_animation.tick(true);
}

void FrmPar::showTick()
{
    // Copy the square 0..5000 to the window, then clear the buffer: the buffer's image becomes
    // the view and the old view, cleared, the next buffer.
    m_frameBuffer->swapImage(*m_view);
    m_frameBuffer->clear();
    presentFrame();
    if (m_reportTicks)
        reportTickRate();
}

void FrmPar::reportTickRate()
{
    ++m_ticksCounted;
    if (!m_tickClock.isValid()) {
        m_tickClock.start();
        m_ticksCounted = 0;
        return;
    }
    const qint64 ns = m_tickClock.nsecsElapsed();
    if (ns < 1'000'000'000)
        return;
    std::fprintf(stderr, "ticks_per_s=%.1f\n", m_ticksCounted * 1e9 / static_cast<double>(ns));
    m_tickClock.restart();
    m_ticksCounted = 0;
}

void FrmPar::presentFrame()
{
    const int interval = presentIntervalMs();
    if (!m_presentClock.isValid() || m_presentClock.elapsed() >= interval) {
        m_presentClock.start();
        update();
        if (m_path->isVisible())
            m_path->update();
        return;
    }
    if (m_presentPending)
        return;
    // Show the newest frame once the refresh period is over, also if no tick follows.
    m_presentPending = true;
    QTimer::singleShot(interval - static_cast<int>(m_presentClock.elapsed()), this, [this] {
        m_presentPending = false;
        m_presentClock.start();
        update();
        if (m_path->isVisible())
            m_path->update();
    });
}

void FrmPar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QImage &view = m_view->image();
    const double dpr = m_view->devicePixelRatio();
    p.drawImage(QRectF(0, 0, view.width() / dpr, view.height() / dpr), view);
}

void FrmPar::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    Form_KeyUp(keyCode(event->key()), toolkit::shiftState(event->modifiers()));
}

void FrmPar::mousePressEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    Form_MouseDown(toolkit::buttonCode(event->button()), toolkit::shiftState(event->modifiers()),
        static_cast<float>(toolkit::toTwips(pos.x())),
        static_cast<float>(toolkit::toTwips(pos.y())));
}

void FrmPar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmPar::refreshScale()
{
    const double dpr = devicePixelRatioF();
    if (dpr == m_frameBuffer->devicePixelRatio())
        return;
    m_frameBuffer->setDevicePixelRatio(dpr);
    m_view->setDevicePixelRatio(dpr);
    m_path->refreshScale();
    update();
}

bool FrmPar::event(QEvent *event)
{
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::ScreenChangeInternal)
        refreshScale();
    return done;
}

void FrmPar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshScale();
    // The frame is known only once the window is shown; fit the outer size to it.
    Form_Resize();
    QTimer::singleShot(50, this, [this] { Form_Resize(); });
}

void FrmPar::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    Form_Resize();
}

void FrmPar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void FrmPar::closeEvent(QCloseEvent *event)
{
    // Disabled, the window belongs to the open settings dialog: a close request from the
    // window manager then must not end the program under it.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    event->accept();
    unload();
}

} // namespace brownian
