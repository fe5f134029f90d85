#include "units.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace brownian::toolkit {

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int toPixels(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixel())); }

double toTwips(double pixels) { return pixels * twipsPerPixel(); }

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

double leftTwips(const QWidget *window) { return toTwips(window->frameGeometry().x()); }

double topTwips(const QWidget *window) { return toTwips(window->frameGeometry().y()); }

void moveOuterTwips(QWidget *window, double left, double top)
{
    window->move(toPixels(left), toPixels(top));
}

double outerWidthTwips(const QWidget *window) { return toTwips(window->frameGeometry().width()); }

double outerHeightTwips(const QWidget *window)
{
    return toTwips(window->frameGeometry().height());
}

void setOuterSizeTwips(QWidget *window, double width, double height)
{
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize client(toPixels(width) - frame.width(), toPixels(height) - frame.height());
    if (window->minimumSize() != client || window->maximumSize() != client)
        window->setFixedSize(client);
    if (window->size() != client)
        window->resize(client);
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
