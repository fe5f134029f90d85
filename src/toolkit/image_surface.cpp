#include "image_surface.h"

#include <QPainter>

#include <cmath>

namespace brownian {

namespace {
QColor toQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}
constexpr int kMaxSprites = 8;
} // namespace

ImageSurface::ImageSurface(double widthTwips, double heightTwips, double twipsPerPixel,
    double devicePixelRatio, Rgb background)
    : m_widthTwips(widthTwips)
    , m_heightTwips(heightTwips)
    , m_twipsPerPixel(twipsPerPixel)
    , m_dpr(devicePixelRatio)
    , m_scale(devicePixelRatio / twipsPerPixel)
    , m_background(background)
{
    const int w = static_cast<int>(std::ceil(widthTwips * m_scale - 1e-9));
    const int h = static_cast<int>(std::ceil(heightTwips * m_scale - 1e-9));
    m_image = QImage(std::max(w, 1), std::max(h, 1), QImage::Format_ARGB32_Premultiplied);
    m_image.fill(toQColor(m_background));
}

ImageSurface::~ImageSurface() = default;

void ImageSurface::clear()
{
    m_pending.clear();
    m_image.fill(toQColor(m_background));
}

const QImage &ImageSurface::image()
{
    flushLines();
    return m_image;
}

void ImageSurface::swapImage(QImage &other)
{
    flushLines();
    std::swap(m_image, other);
}

const QImage &ImageSurface::sprite(double radiusPx, Rgb color, int offset)
{
    for (auto &s : m_sprites) {
        if (s.radiusPx == radiusPx && s.color == color)
            return s.images[offset];
    }
    if (m_sprites.size() >= kMaxSprites)
        m_sprites.erase(m_sprites.begin());
    Sprite s;
    s.radiusPx = radiusPx;
    s.color = color;
    const int side = static_cast<int>(std::ceil(2.0 * radiusPx)) + 3;
    for (int k = 0; k < 16; ++k) {
        QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(toQColor(color));
        // The centre sits at 1 + radius plus the sub-pixel offset, so the disc fits.
        const double ox = (k % 4) * 0.25;
        const double oy = (k / 4) * 0.25;
        p.drawEllipse(QPointF(1.0 + radiusPx + ox, 1.0 + radiusPx + oy), radiusPx, radiusPx);
        p.end();
        s.images[k] = img;
    }
    m_sprites.push_back(std::move(s));
    return m_sprites.back().images[offset];
}

void ImageSurface::circle(float x, float y, float r, Rgb outline)
{
    flushLines();
    const double cx = x * m_scale;
    const double cy = y * m_scale;
    const double radius = std::fabs(static_cast<double>(r)) * m_scale;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius))
        return;
    if (m_style != FillStyle::Solid || !(outline == m_fill) || radius > 400.0) {
        drawDiscGeneric(cx, cy, radius, outline);
        return;
    }
    // Top-left corner of the sprite: centre minus (1 + radius), split into a whole pixel and a
    // quarter-pixel offset.
    const double left = cx - 1.0 - radius;
    const double top = cy - 1.0 - radius;
    const double fl = std::floor(left * 4.0 + 0.5) / 4.0;
    const double ft = std::floor(top * 4.0 + 0.5) / 4.0;
    const double il = std::floor(fl);
    const double it = std::floor(ft);
    if (il > m_image.width() || it > m_image.height() || il < -4.0 * radius - 8
        || it < -4.0 * radius - 8)
        return; // wholly outside
    const int offset = static_cast<int>((fl - il) * 4.0) + 4 * static_cast<int>((ft - it) * 4.0);
    const QImage &img = sprite(radius, m_fill, offset);
    QPainter p(&m_image);
    p.drawImage(QPoint(static_cast<int>(il), static_cast<int>(it)), img);
}

void ImageSurface::drawDiscGeneric(double cx, double cy, double radius, Rgb outline)
{
    QPainter p(&m_image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(toQColor(outline), m_dpr));
    if (m_style == FillStyle::Solid)
        p.setBrush(toQColor(m_fill));
    else
        p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(cx, cy), radius, radius);
}

void ImageSurface::line(float x1, float y1, float x2, float y2, Rgb color)
{
    m_pending.push_back({ x1, y1, x2, y2, color });
}

void ImageSurface::flushLines()
{
    if (m_pending.empty())
        return;
    QPainter p(&m_image);
    QColor current = toQColor(m_pending.front().color);
    QPen pen(current, std::max(1.0, std::round(m_dpr)));
    p.setPen(pen);
    for (const Segment &s : m_pending) {
        const QColor c = toQColor(s.color);
        if (c != current) {
            current = c;
            pen.setColor(c);
            p.setPen(pen);
        }
        const QPointF a(s.x1 * m_scale, s.y1 * m_scale);
        const QPointF b(s.x2 * m_scale, s.y2 * m_scale);
        if (std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x())
            && std::isfinite(b.y()) && std::fabs(a.x()) < 1e6 && std::fabs(a.y()) < 1e6
            && std::fabs(b.x()) < 1e6 && std::fabs(b.y()) < 1e6)
            p.drawLine(a, b);
    }
    m_pending.clear();
}

void ImageSurface::rectangle(float x1, float y1, float x2, float y2, Rgb outline)
{
    flushLines();
    QPainter p(&m_image);
    p.setPen(QPen(toQColor(outline), std::max(1.0, std::round(m_dpr))));
    if (m_style == FillStyle::Solid)
        p.setBrush(toQColor(m_fill));
    else
        p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(QPointF(x1 * m_scale, y1 * m_scale), QPointF(x2 * m_scale, y2 * m_scale))
                   .normalized());
}

} // namespace brownian
