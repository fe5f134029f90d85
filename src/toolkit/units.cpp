#include "units.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>

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

/// Keeps a window's outer corner where it was asked to be while the window manager is still
/// adding its frame: before the frame is known, a window placed by its corner lands with its
/// client area there instead, and the frame's size can arrive without any event. Checks every
/// 50 ms after the window is shown, until the window stands at its corner with its frame
/// around it; from then on every move is the user's and sticks. Where no frame ever comes (no
/// window manager) it gives up after a second and a half.
class OuterPlacer : public QObject
{
public:
    OuterPlacer(QWidget *window, QPoint corner)
        : QObject(window)
        , m_window(window)
        , m_corner(corner)
    {
        window->installEventFilter(this);
        m_check.setInterval(50);
        QObject::connect(&m_check, &QTimer::timeout, this, [this] { settle(); });
    }
    void setCorner(QPoint corner)
    {
        m_corner = corner;
        if (m_window->isVisible())
            start();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            start();
        return false;
    }

private:
    void start()
    {
        m_clock.start();
        m_check.start();
    }
    void settle()
    {
        if (m_clock.elapsed() > 1500 || !m_window->isVisible()) {
            m_check.stop();
            return;
        }
        const QRect frame = m_window->frameGeometry();
        if (frame.topLeft() != m_corner)
            m_window->move(m_corner);
        else if (frame != m_window->geometry())
            m_check.stop();
    }

    QWidget *m_window;
    QPoint m_corner;
    QElapsedTimer m_clock;
    QTimer m_check;
};

} // namespace

void moveOuterTwips(QWidget *window, double left, double top)
{
    const QPoint corner(toPixels(left), toPixels(top));
    static const QString kName = QStringLiteral("brownian-outer-placer");
    // Found by name: the placer has no meta-object of its own for a typed search.
    auto *placer =
        static_cast<OuterPlacer *>(window->findChild<QObject *>(kName, Qt::FindDirectChildrenOnly));
    if (!placer) {
        placer = new OuterPlacer(window, corner);
        placer->setObjectName(kName);
    }
    placer->setCorner(corner);
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

namespace {

void applyOuterSize(QWidget *window, QSize outer)
{
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize client = outer - frame;
    if (window->minimumSize() != client || window->maximumSize() != client)
        window->setFixedSize(client);
    if (window->size() != client)
        window->resize(client);
}

/// Keeps a window's outer size while the window manager is still adding its frame: before the
/// frame is known the whole size goes to the client area, and the frame's size can arrive
/// without any event. Checks every 50 ms after the window is shown or its size is asked
/// for, until the window has its frame and the asked-for outer size; where no frame ever
/// comes (no window manager) it gives up after a second and a half.
class OuterSizer : public QObject
{
public:
    OuterSizer(QWidget *window, QSize outer)
        : QObject(window)
        , m_window(window)
        , m_outer(outer)
    {
        window->installEventFilter(this);
        m_check.setInterval(50);
        QObject::connect(&m_check, &QTimer::timeout, this, [this] { settle(); });
    }
    void setOuter(QSize outer)
    {
        if (outer == m_outer && m_check.isActive())
            return;
        m_outer = outer;
        if (m_window->isVisible())
            start();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            start();
        return false;
    }

private:
    void start()
    {
        m_clock.start();
        m_check.start();
    }
    void settle()
    {
        if (m_clock.elapsed() > 1500 || !m_window->isVisible()) {
            m_check.stop();
            return;
        }
        applyOuterSize(m_window, m_outer);
        const QRect frame = m_window->frameGeometry();
        if (frame != m_window->geometry() && frame.size() == m_outer)
            m_check.stop();
    }

    QWidget *m_window;
    QSize m_outer;
    QElapsedTimer m_clock;
    QTimer m_check;
};

} // namespace

void setOuterSizeTwips(QWidget *window, double width, double height)
{
    const QSize outer(toPixels(width), toPixels(height));
    applyOuterSize(window, outer);
    static const QString kName = QStringLiteral("brownian-outer-sizer");
    // Found by name: the sizer has no meta-object of its own for a typed search.
    auto *sizer =
        static_cast<OuterSizer *>(window->findChild<QObject *>(kName, Qt::FindDirectChildrenOnly));
    if (!sizer) {
        sizer = new OuterSizer(window, outer);
        sizer->setObjectName(kName);
    }
    sizer->setOuter(outer);
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
