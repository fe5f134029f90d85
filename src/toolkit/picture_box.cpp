#include "picture_box.h"

#include "units.h"

#include <QMouseEvent>
#include <QPainter>

namespace brownian::toolkit {

int buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int shiftState(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
        | (m & Qt::AltModifier ? 4 : 0);
}

PictureBox::PictureBox(QWidget *parent, double widthTwips, double heightTwips, Rgb background)
    : QWidget(parent)
    , m_widthTwips(widthTwips)
    , m_heightTwips(heightTwips)
    , m_background(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    refreshScale();
    placeTwips(this, 0, 0, widthTwips, heightTwips);
}

void PictureBox::refreshScale()
{
    if (!m_surface) {
        m_surface = std::make_unique<ImageSurface>(
            m_widthTwips, m_heightTwips, twipsPerPixel(), devicePixelRatioF(), m_background);
        return;
    }
    if (m_surface->devicePixelRatio() != devicePixelRatioF()) {
        m_surface->setDevicePixelRatio(devicePixelRatioF());
        update();
    }
}

bool PictureBox::event(QEvent *event)
{
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show)
        refreshScale();
    return done;
}

void PictureBox::setLeftTwips(double left)
{
    m_leftTwips = left;
    placeTwips(this, left, m_topTwips, m_widthTwips, m_heightTwips);
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (onPaint)
        onPaint();
    QPainter p(this);
    p.fillRect(rect(), QColor(m_background.r, m_background.g, m_background.b));
    const QImage &img = m_surface->image();
    const double dpr = m_surface->devicePixelRatio();
    p.drawImage(QRectF(0, 0, img.width() / dpr, img.height() / dpr), img);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    if (onMouseDown) {
        const QPointF pos = event->position();
        onMouseDown(buttonCode(event->button()), shiftState(event->modifiers()),
            static_cast<float>(toTwips(pos.x())), static_cast<float>(toTwips(pos.y())));
    }
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (onMouseUp) {
        const QPointF pos = event->position();
        onMouseUp(buttonCode(event->button()), shiftState(event->modifiers()),
            static_cast<float>(toTwips(pos.x())), static_cast<float>(toTwips(pos.y())));
    }
    event->accept();
}

} // namespace brownian::toolkit
