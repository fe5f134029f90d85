#include "image_surface.h"

#include "line_raster.h"
#include "model/geometry.h"

#include <QBuffer>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brownian {

using pixels::floorToInt;
using pixels::kMargin;
using pixels::opaquePixel;
using pixels::toQColor;

namespace {

/// Discs of a larger radius, in device pixels, are drawn by QPainter instead.
constexpr double kMaxSpriteRadius = 128.0;

/// Sets n pixels to one value.
void fillPixels(std::uint32_t *dst, std::size_t n, std::uint32_t value)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i v = _mm_set1_epi32(static_cast<int>(value));
    for (; i + 4 <= n; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), v);
#endif
    for (; i < n; ++i)
        dst[i] = value;
}

} // namespace

ImageSurface::ImageSurface(double widthTwips, double heightTwips, double twipsPerPixel,
    double devicePixelRatio, Rgb background)
    : m_widthTwips(widthTwips)
    , m_heightTwips(heightTwips)
    , m_twipsPerPixel(twipsPerPixel)
    , m_background(background)
{
    allocate(devicePixelRatio);
}

ImageSurface::~ImageSurface() = default;

void ImageSurface::allocate(double devicePixelRatio)
{
    m_dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    m_scale = m_dpr / m_twipsPerPixel;
    const int w = static_cast<int>(std::ceil(m_widthTwips * m_scale - 1e-9));
    const int h = static_cast<int>(std::ceil(m_heightTwips * m_scale - 1e-9));
    QImage padded(std::max(w, 1) + 2 * kMargin, std::max(h, 1) + 2 * kMargin,
        QImage::Format_ARGB32_Premultiplied);
    padded.fill(toQColor(m_background));
    attach(std::move(padded), std::max(w, 1), std::max(h, 1));
    m_dirtyTop = m_dirtyBottom = 0;
    m_sprites.clear();
}

void ImageSurface::setDevicePixelRatio(double devicePixelRatio)
{
    if (devicePixelRatio == m_dpr || !(devicePixelRatio > 0))
        return;
    const QImage old = m_image;
    allocate(devicePixelRatio);
    QPainter p(&m_image);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(0, 0, m_image.width(), m_image.height()), old);
    p.end();
    writableBits();
    markAllDirty();
}

int ImageSurface::penWidth() const
{
    return std::max(1, static_cast<int>(std::lround(m_dpr)));
}

void ImageSurface::attach(QImage padded, int width, int height)
{
    const qsizetype stride = padded.bytesPerLine();
    uchar *origin = padded.bits() + kMargin * stride + kMargin * 4;
    // The picture is a view into the padded image, which it keeps alive for as long as the view
    // or a copy of it exists.
    m_image = QImage(
        origin, width, height, stride, QImage::Format_ARGB32_Premultiplied,
        [](void *info) { delete static_cast<QImage *>(info); }, new QImage(std::move(padded)));
    m_origin = origin;
}

uchar *ImageSurface::writableBits()
{
    uchar *bits = m_image.bits();
    if (bits != m_origin) {
        // The picture is no longer the view into a padded image: it was copied on write because
        // someone holds a copy of it, or exchanged for a plain image. Lay it out again.
        QImage padded(m_image.width() + 2 * kMargin, m_image.height() + 2 * kMargin,
            QImage::Format_ARGB32_Premultiplied);
        padded.fill(toQColor(m_background));
        const QImage plain = m_image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < plain.height(); ++y) {
            std::memcpy(padded.scanLine(y + kMargin) + kMargin * 4, plain.constScanLine(y),
                static_cast<std::size_t>(plain.width()) * 4);
        }
        attach(std::move(padded), plain.width(), plain.height());
        bits = m_image.bits();
    }
    return bits;
}

pixels::Target ImageSurface::target()
{
    uchar *bits = writableBits();
    return { bits, m_image.bytesPerLine(), m_image.width(), m_image.height() };
}

void ImageSurface::markDirty(int top, int bottom)
{
    top = std::max(top, 0);
    bottom = std::min(bottom, m_image.height());
    if (top >= bottom)
        return;
    if (m_dirtyTop >= m_dirtyBottom) {
        m_dirtyTop = top;
        m_dirtyBottom = bottom;
    } else {
        m_dirtyTop = std::min(m_dirtyTop, top);
        m_dirtyBottom = std::max(m_dirtyBottom, bottom);
    }
}

void ImageSurface::markAllDirty()
{
    m_dirtyTop = 0;
    m_dirtyBottom = m_image.height();
}

void ImageSurface::clear()
{
    if (m_dirtyTop >= m_dirtyBottom)
        return;
    // The dirty rows with their margins are one run of memory; what the margins hold never
    // shows, so they may be cleared or not.
    const pixels::Target t = target();
    auto *first = reinterpret_cast<std::uint32_t *>(t.bits + m_dirtyTop * t.stride - kMargin * 4);
    const std::size_t count = static_cast<std::size_t>(m_dirtyBottom - m_dirtyTop) * t.stride / 4;
    const std::uint32_t value = opaquePixel(m_background);
    if ((value & 0xff) * 0x01010101u == value)
        std::memset(first, value & 0xff, count * 4); // white or black: the fastest fill there is
    else
        fillPixels(first, count, value);
    m_dirtyTop = m_dirtyBottom = 0;
}

void ImageSurface::swapImage(QImage &other)
{
    std::swap(m_image, other);
    writableBits();
    markAllDirty();
}

void ImageSurface::swapImage(ImageSurface &other)
{
    std::swap(m_image, other.m_image);
    std::swap(m_origin, other.m_origin);
    std::swap(m_dirtyTop, other.m_dirtyTop);
    std::swap(m_dirtyBottom, other.m_dirtyBottom);
}

void ImageSurface::circle(float x, float y, float r, Rgb outline)
{
    const double cx = x * m_scale;
    const double cy = y * m_scale;
    const double radius = std::fabs(static_cast<double>(r)) * m_scale;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius))
        return;
    if (m_style != FillStyle::Solid || !(outline == m_fill) || radius > kMaxSpriteRadius) {
        drawDiscGeneric(cx, cy, radius, outline);
        return;
    }
    // Top-left corner of the sprite: the centre less (1 + radius), rounded to the nearest
    // sub-pixel step and split into a whole pixel and the step.
    constexpr int kSubPixel = DiscSprites::kSubPixel;
    const double margin = 1.0 + radius;
    const double left = cx - margin;
    const double top = cy - margin;
    const double side = 2.0 * radius + 3.0;
    if (left >= m_image.width() || top >= m_image.height() || left + side <= 0 || top + side <= 0)
        return; // wholly outside
    const int qx = floorToInt(left * kSubPixel + 0.5);
    const int qy = floorToInt(top * kSubPixel + 0.5);
    // Floor division by the power of two kSubPixel.
    static_assert((kSubPixel & (kSubPixel - 1)) == 0);
    const int subX = qx & (kSubPixel - 1);
    const int subY = qy & (kSubPixel - 1);
    blitDisc(m_sprites.get(radius, m_fill, subX, subY), (qx - subX) / kSubPixel,
        (qy - subY) / kSubPixel);
}

void ImageSurface::blitDisc(DiscSprite &d, int left, int top)
{
    const int width = m_image.width();
    const int height = m_image.height();
    if (d.minY >= d.maxY)
        return;
    if (top + d.maxY <= 0 || top + d.minY >= height || left + d.maxX <= 0 || left + d.minX >= width)
        return;
    markDirty(top + d.minY, top + d.maxY);
    drawDisc(d, { writableBits(), m_image.bytesPerLine(), width, height }, left, top);
}

void ImageSurface::drawDiscGeneric(double cx, double cy, double radius, Rgb outline)
{
    const double reach = radius + m_dpr + 1.0;
    if (cy + reach < 0 || cy - reach > m_image.height() || cx + reach < 0
        || cx - reach > m_image.width())
        return;
    QPainter p(&m_image);
    p.setRenderHint(QPainter::Antialiasing);
    const bool solid = m_style == FillStyle::Solid;
    // A disc in one colour is drawn as the sprites draw it: the fill alone, radius r.
    if (solid && outline == m_fill)
        p.setPen(Qt::NoPen);
    else
        p.setPen(QPen(toQColor(outline), m_dpr));
    p.setBrush(solid ? QBrush(toQColor(m_fill)) : QBrush(Qt::NoBrush));
    p.drawEllipse(QPointF(cx, cy), radius, radius);
    p.end();
    writableBits();
    markDirty(floorToInt(cy - reach), floorToInt(cy + reach) + 1);
}

void ImageSurface::line(float x1, float y1, float x2, float y2, Rgb color)
{
    const std::optional<PixelLine> l = pixelLine(x1 * m_scale, y1 * m_scale, x2 * m_scale,
        y2 * m_scale, penWidth(), m_image.width(), m_image.height());
    if (!l)
        return;
    markDirty(l->top(), l->bottom());
    drawPixelLine(*l, target(), opaquePixel(color));
}

void ImageSurface::rectangle(float x1, float y1, float x2, float y2, Rgb outline)
{
    const QRectF rect =
        QRectF(QPointF(x1 * m_scale, y1 * m_scale), QPointF(x2 * m_scale, y2 * m_scale))
            .normalized();
    if (!std::isfinite(rect.left()) || !std::isfinite(rect.top()) || !std::isfinite(rect.right())
        || !std::isfinite(rect.bottom()))
        return;
    const double pen = penWidth();
    const QRectF reach = rect.adjusted(-pen - 1, -pen - 1, pen + 1, pen + 1);
    if (!reach.intersects(QRectF(0, 0, m_image.width(), m_image.height())))
        return;
    QPainter p(&m_image);
    p.setPen(QPen(toQColor(outline), pen));
    if (m_style == FillStyle::Solid)
        p.setBrush(toQColor(m_fill));
    else
        p.setBrush(Qt::NoBrush);
    p.drawRect(rect);
    p.end();
    writableBits();
    markDirty(floorToInt(reach.top()), floorToInt(reach.bottom()) + 1);
}

std::unique_ptr<ImageSurface> pathPicture(int dpi)
{
    constexpr double side = field::kPathPictureSide;
    return std::make_unique<ImageSurface>(side, side, 1440.0 / dpi);
}

std::unique_ptr<ImageSurface> frameBuffer(int dpi)
{
    constexpr double side = field::kViewSide;
    return std::make_unique<ImageSurface>(side, side, 1440.0 / dpi);
}

std::string pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Every picture is opaque: without the alpha channel the file is a quarter smaller.
    QImage opaque = image.convertToFormat(QImage::Format_RGB32);
    // The resolution the files record, a 96 dpi screen's (without a screen Qt would record 100).
    opaque.setDotsPerMeterX(qRound(96 * 100 / 2.54));
    opaque.setDotsPerMeterY(qRound(96 * 100 / 2.54));
    opaque.save(&buffer, "PNG", 0);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace brownian
