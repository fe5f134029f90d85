#include "units.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <cmath>
#include <cstdint>
#include <functional>
#include <xcb/xcb.h>

namespace brownian::toolkit {

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / twipsPerPixel()));
}

double toTwips(double pixels)
{
    return pixels * twipsPerPixel();
}

double screenWidthTwips()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return toTwips(screen ? screen->geometry().width() : 1024);
}

double screenHeightTwips()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return toTwips(screen ? screen->geometry().height() : 768);
}

double leftTwips(const QWidget *window)
{
    return toTwips(window->frameGeometry().x());
}

double topTwips(const QWidget *window)
{
    return toTwips(window->frameGeometry().y());
}

namespace {

/// Watches a top-level window while the window manager is still adding its frame: before the
/// frame is known, a window placed by its corner lands with its client area there instead and
/// the whole outer size goes to the client area, and the frame's size can arrive without any
/// event. From the window's show, or from watch() where it is shown, calls the step every
/// 50 ms until the step reports the window settled; where no frame ever comes (no window
/// manager) it gives up after a second and a half.
class FrameWatch : public QObject
{
public:
    explicit FrameWatch(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
        m_check.setInterval(50);
        QObject::connect(&m_check, &QTimer::timeout, this, [this] { tick(); });
    }

    void watch(std::function<bool()> settled)
    {
        m_settled = std::move(settled);
        if (m_window->isVisible())
            start();
    }
    bool watching() const { return m_check.isActive(); }

    /// The window's watch of this name, made at the first call.
    static FrameWatch &of(QWidget *window, const QString &name)
    {
        // Found by name: the watch has no meta-object of its own for a typed search.
        auto *found = static_cast<FrameWatch *>(
            window->findChild<QObject *>(name, Qt::FindDirectChildrenOnly));
        if (!found) {
            found = new FrameWatch(window);
            found->setObjectName(name);
        }
        return *found;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && m_settled)
            start();
        return false;
    }

private:
    void start()
    {
        m_clock.start();
        m_check.start();
    }
    void tick()
    {
        if (m_clock.elapsed() > 1500 || !m_window->isVisible() || m_settled())
            m_check.stop();
    }

    QWidget *m_window;
    std::function<bool()> m_settled;
    QElapsedTimer m_clock;
    QTimer m_check;
};

/// Qt learns a window's frame when the window is configured and keeps it until the next
/// configuration. Where the window manager announces the frame only after that (which happens
/// at start-up, now and then), Qt goes on reporting no frame at all. An unchanged configure
/// request makes the window manager confirm the window's configuration, and Qt looks at the
/// frame again. X11 only; elsewhere this does nothing.
void askForFrameAgain(QWidget *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || !window->windowHandle())
        return;
    const std::uint32_t noBorder = 0;
    xcb_configure_window(x11->connection(), static_cast<xcb_window_t>(window->winId()),
        XCB_CONFIG_WINDOW_BORDER_WIDTH, &noBorder);
    xcb_flush(x11->connection());
}

void applyOuterSize(QWidget *window, QSize outer)
{
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize client = outer - frame;
    if (window->minimumSize() != client || window->maximumSize() != client)
        window->setFixedSize(client);
    if (window->size() != client)
        window->resize(client);
}

} // namespace

void moveOuterTwips(QWidget *window, double left, double top)
{
    const QPoint corner(toPixels(left), toPixels(top));
    // Until the window stands at its corner with its frame around it; from then on every move
    // is the user's and sticks.
    FrameWatch::of(window, QStringLiteral("brownian-outer-placer")).watch([window, corner] {
        const QRect frame = window->frameGeometry();
        if (frame == window->geometry())
            askForFrameAgain(window);
        if (frame.topLeft() != corner) {
            window->move(corner);
            return false;
        }
        return frame != window->geometry();
    });
    window->move(corner);
}

double outerWidthTwips(const QWidget *window)
{
    return toTwips(window->frameGeometry().width());
}

double outerHeightTwips(const QWidget *window)
{
    return toTwips(window->frameGeometry().height());
}

void setOuterSizeTwips(QWidget *window, double width, double height)
{
    const QSize outer(toPixels(width), toPixels(height));
    applyOuterSize(window, outer);
    // Until the window has its frame and the outer size asked for. Asked for again, the same
    // size does not start the watch over.
    FrameWatch &watch = FrameWatch::of(window, QStringLiteral("brownian-outer-sizer"));
    if (watch.watching() && window->property("brownian-outer-size").toSize() == outer)
        return;
    window->setProperty("brownian-outer-size", outer);
    watch.watch([window, outer] {
        applyOuterSize(window, outer);
        const QRect frame = window->frameGeometry();
        if (frame == window->geometry())
            askForFrameAgain(window);
        return frame != window->geometry() && frame.size() == outer;
    });
}

void setClientSizeTwips(QWidget *window, double width, double height)
{
    window->setFixedSize(toPixels(width), toPixels(height));
}

void placeTwips(QWidget *child, double left, double top, double width, double height)
{
    child->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace brownian::toolkit
