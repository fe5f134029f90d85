#include "image_surface.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brownian {

namespace {

QColor toQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

/// An opaque colour as an ARGB32 premultiplied pixel.
std::uint32_t opaquePixel(Rgb c)
{
    return 0xff000000u | (std::uint32_t { c.r } << 16) | (std::uint32_t { c.g } << 8) | c.b;
}

constexpr std::size_t kMaxSpriteSets = 8;
constexpr int kSubPixelCount = ImageSurface::kSubPixel * ImageSurface::kSubPixel;
/// Discs of a larger radius, in device pixels, are drawn by QPainter instead.
constexpr double kMaxSpriteRadius = 128.0;
/// Lines whose end points lie farther than this outside the image are clipped first.
constexpr double kLineMargin = 4096.0;
/// Pixels around the picture that discs may be drawn into without clipping; never shown.
constexpr int kMargin = ImageSurface::kMargin;

/// Source over destination for one premultiplied pixel: s + d * (255 - alpha(s)) / 255, each
/// channel divided by 255 with rounding, exactly as QPainter blends.
inline std::uint32_t blendPixel(std::uint32_t s, std::uint32_t d)
{
    const std::uint32_t ia = 255 - (s >> 24);
    std::uint32_t rb = (d & 0x00ff00ffu) * ia;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu) + 0x00800080u) >> 8) & 0x00ff00ffu;
    std::uint32_t ag = ((d >> 8) & 0x00ff00ffu) * ia;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu) + 0x00800080u) & 0xff00ff00u;
    return s + (rb | ag);
}

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

/// The largest integer not above v (finite), limited to ±10⁹.
inline int floorToInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int t = static_cast<int>(v);
    return t - (t > v ? 1 : 0);
}

/// Two groups of four neighbouring pixels of a disc sprite, A and B, blended onto the image
/// together: the sprite's premultiplied pixels and, for every channel, 255 less their alpha.
/// The last pair of a sprite may hold group A only; B is then transparent.
struct alignas(32) BlendPair
{
    std::uint32_t src[8]; // A's four pixels, then B's
    std::uint16_t inverseAlpha[32];
    std::int32_t offset[2]; // y × stride + x in the image, from the sprite's corner
    std::int16_t x[2], y[2]; // sprite column and row of each group's first pixel
    bool single = false;
};

/// Eight neighbouring opaque pixels of a disc sprite, all of the disc's colour.
struct FillGroup
{
    std::int32_t offset; // y × stride + x in the image, from the sprite's corner
    std::int16_t x, y; // sprite column and row of the first pixel
};

/// A disc, antialiased, at one radius, colour and sub-pixel offset, as the groups of pixels
/// that draw it. Every pixel that is not transparent lies in exactly one blend group or in one
/// or more fill groups (these may overlap each other). Blend groups may reach into the opaque
/// middle (blending an opaque pixel copies it) or into transparent pixels (which leave the
/// image as it is), never into each other.
struct SpriteGroups
{
    std::vector<BlendPair> blends;
    std::vector<FillGroup> fills;
    qsizetype stride = 0; // the image row length the offsets were made for, bytes
    std::uint32_t solid = 0; // the disc's colour, opaque
    int minX = 0, maxX = 0, minY = 0, maxY = 0; // extent of all groups, [min, max)
};

} // namespace

struct ImageSurface::DiscSprite : SpriteGroups
{
};

struct ImageSurface::SpriteSet
{
    double radiusPx = -1;
    Rgb color;
    std::array<DiscSprite, kSubPixelCount> sprites;
    std::array<bool, kSubPixelCount> ready {};
};

namespace {

/// Eight pixels of one value, as one 32-byte vector: two stores on the baseline instruction
/// set, one on AVX2.
inline void fill8(std::uint32_t *dst, std::uint32_t value)
{
    using Pixels8 = std::uint32_t __attribute__((vector_size(32)));
    const Pixels8 v = { value, value, value, value, value, value, value, value };
    std::memcpy(dst, &v, sizeof v);
}

/// Pixel operations with SSE2, which every x86-64 processor has; plain C++ elsewhere.
struct BaselineOps
{
    /// Blends group `half` (0 for A, 1 for B) of a pair onto four pixels.
    static inline void blend4(std::uint32_t *dst, const BlendPair &p, int half)
    {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i c128 = _mm_set1_epi16(0x80);
        const auto *ia = reinterpret_cast<const __m128i *>(p.inverseAlpha + 16 * half);
        const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i *>(p.src + 4 * half));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dst));
        __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_load_si128(ia));
        __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_load_si128(ia + 1));
        // x / 255 rounded, for x up to 255²: (x + x / 256 + 128) / 256.
        lo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), c128), 8);
        hi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), c128), 8);
        _mm_storeu_si128(
            reinterpret_cast<__m128i *>(dst), _mm_add_epi8(s, _mm_packus_epi16(lo, hi)));
#else
        for (int k = 0; k < 4; ++k)
            dst[k] = blendPixel(p.src[4 * half + k], dst[k]);
#endif
    }
    static inline void blendPair(std::uint32_t *a, std::uint32_t *b, const BlendPair &p)
    {
        blend4(a, p, 0);
        blend4(b, p, 1);
    }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BROWNIAN_AVX2_PATH 1
/// Pixel operations on 32-byte vectors, both groups of a pair at once. Written with the
/// compiler's vector types, so they become AVX2 instructions in the function built for AVX2
/// that they are inlined into.
struct WideOps
{
    using U8x16 = std::uint8_t __attribute__((vector_size(16)));
    using U8x32 = std::uint8_t __attribute__((vector_size(32)));
    using U16x32 = std::uint16_t __attribute__((vector_size(64)));

    __attribute__((always_inline)) static inline void blend4(
        std::uint32_t *dst, const BlendPair &p, int half)
    {
        BaselineOps::blend4(dst, p, half);
    }
    __attribute__((always_inline)) static inline void blendPair(
        std::uint32_t *a, std::uint32_t *b, const BlendPair &p)
    {
        U8x16 lo, hi;
        std::memcpy(&lo, a, sizeof lo);
        std::memcpy(&hi, b, sizeof hi);
        const U8x32 d = __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
            13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
        U8x32 s;
        std::memcpy(&s, p.src, sizeof s);
        U16x32 ia;
        std::memcpy(&ia, p.inverseAlpha, sizeof ia);
        U16x32 t = __builtin_convertvector(d, U16x32) * ia;
        t = (t + (t >> 8) + 0x80) >> 8;
        const U8x32 r = __builtin_convertvector(t, U8x32) + s;
        lo = __builtin_shufflevector(r, r, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        hi = __builtin_shufflevector(
            r, r, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
        std::memcpy(a, &lo, sizeof lo);
        std::memcpy(b, &hi, sizeof hi);
    }
};
#endif

/// Draws a disc sprite with its top-left corner at (left, top) of an image of width × height
/// pixels, clipped to the image. Ops supplies the pixel operations.
template <class Ops>
__attribute__((always_inline)) inline void drawGroups(
    const SpriteGroups &d, uchar *bits, qsizetype stride, int width, int height, int left, int top)
{
    const std::uint32_t solid = d.solid;
    if (top + d.minY >= -kMargin && top + d.maxY <= height + kMargin && left + d.minX >= -kMargin
        && left + d.maxX <= width + kMargin) {
        // Inside the image with its margin: every group is whole, no clipping.
        auto *corner = reinterpret_cast<std::uint32_t *>(bits + top * stride) + left;
        for (const BlendPair &p : d.blends) {
            if (p.single)
                Ops::blend4(corner + p.offset[0], p, 0);
            else
                Ops::blendPair(corner + p.offset[0], corner + p.offset[1], p);
        }
        for (const FillGroup &f : d.fills)
            fill8(corner + f.offset, solid);
        return;
    }
    // Partly outside: the groups wholly inside go as above, those crossing an edge of the
    // image pixel by pixel.
    auto *image = reinterpret_cast<std::uint32_t *>(bits);
    const std::ptrdiff_t corner = top * (stride / 4) + left; // may lie outside the image
    const auto rows = static_cast<unsigned>(height);
    auto whole = [&](int x, int y, int n) {
        return static_cast<unsigned>(top + y) < rows && left + x >= 0 && left + x <= width - n;
    };
    auto partly = [&](int x, int y, int n, auto &&pixel) {
        x += left;
        y += top;
        if (static_cast<unsigned>(y) >= rows)
            return;
        std::uint32_t *row = image + y * (stride / 4);
        for (int i = std::max(0, -x); i < std::min(n, width - x); ++i)
            pixel(row[x + i], i);
    };
    for (const BlendPair &p : d.blends) {
        const bool wholeA = whole(p.x[0], p.y[0], 4);
        const bool wholeB = !p.single && whole(p.x[1], p.y[1], 4);
        if (wholeA && wholeB) {
            Ops::blendPair(image + (corner + p.offset[0]), image + (corner + p.offset[1]), p);
            continue;
        }
        for (int half = 0; half < (p.single ? 1 : 2); ++half) {
            if (half == 0 ? wholeA : wholeB) {
                Ops::blend4(image + (corner + p.offset[half]), p, half);
                continue;
            }
            partly(p.x[half], p.y[half], 4,
                [&](std::uint32_t &dst, int i) { dst = blendPixel(p.src[4 * half + i], dst); });
        }
    }
    for (const FillGroup &f : d.fills) {
        if (whole(f.x, f.y, 8))
            fill8(image + (corner + f.offset), solid);
        else
            partly(f.x, f.y, 8, [&](std::uint32_t &dst, int) { dst = solid; });
    }
}

void drawSpriteBaseline(
    const SpriteGroups &d, uchar *bits, qsizetype stride, int width, int height, int left, int top)
{
    drawGroups<BaselineOps>(d, bits, stride, width, height, left, top);
}

#if defined(BROWNIAN_AVX2_PATH)
__attribute__((target("avx2"))) void drawSpriteAvx2(
    const SpriteGroups &d, uchar *bits, qsizetype stride, int width, int height, int left, int top)
{
    drawGroups<WideOps>(d, bits, stride, width, height, left, top);
}
#endif

bool baselineOnly = false;

/// Draws with the widest vectors the processor has.
void drawSprite(
    const SpriteGroups &d, uchar *bits, qsizetype stride, int width, int height, int left, int top)
{
#if defined(BROWNIAN_AVX2_PATH)
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    if (avx2 && !baselineOnly) {
        drawSpriteAvx2(d, bits, stride, width, height, left, top);
        return;
    }
#endif
    drawSpriteBaseline(d, bits, stride, width, height, left, top);
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

void ImageSurface::setBaselineVectorsOnly(bool on)
{
    baselineOnly = on;
}

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
    m_lastSprites = nullptr;
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
    pixels();
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

uchar *ImageSurface::pixels()
{
    uchar *bits = m_image.bits();
    if (bits == m_origin)
        return bits;
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
    return m_image.bits();
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
    uchar *bits = pixels();
    auto *first =
        reinterpret_cast<std::uint32_t *>(bits + m_dirtyTop * m_image.bytesPerLine() - kMargin * 4);
    const std::size_t count =
        static_cast<std::size_t>(m_dirtyBottom - m_dirtyTop) * m_image.bytesPerLine() / 4;
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
    pixels();
    markAllDirty();
}

void ImageSurface::swapImage(ImageSurface &other)
{
    std::swap(m_image, other.m_image);
    std::swap(m_origin, other.m_origin);
    std::swap(m_dirtyTop, other.m_dirtyTop);
    std::swap(m_dirtyBottom, other.m_dirtyBottom);
}

ImageSurface::DiscSprite &ImageSurface::sprite(double radiusPx, Rgb color, int subX, int subY)
{
    SpriteSet *set = nullptr;
    if (m_lastSprites && m_lastSprites->radiusPx == radiusPx && m_lastSprites->color == color)
        set = m_lastSprites;
    for (auto &s : m_sprites) {
        if (set)
            break;
        if (s->radiusPx == radiusPx && s->color == color) {
            set = s.get();
            break;
        }
    }
    if (!set) {
        if (m_sprites.size() >= kMaxSpriteSets)
            m_sprites.erase(m_sprites.begin());
        m_sprites.push_back(std::make_unique<SpriteSet>());
        set = m_sprites.back().get();
        set->radiusPx = radiusPx;
        set->color = color;
    }
    m_lastSprites = set;
    const int k = subY * kSubPixel + subX;
    DiscSprite &d = set->sprites[k];
    if (!set->ready[k]) {
        buildSprite(d, radiusPx, color, subX, subY);
        set->ready[k] = true;
    }
    return d;
}

void ImageSurface::buildSprite(DiscSprite &d, double radiusPx, Rgb color, int subX, int subY) const
{
    // The centre sits at 1 + radius plus the sub-pixel offset, so the disc fits with a margin;
    // four more transparent columns on the right let the last blend group of a row run over.
    const int side = static_cast<int>(std::ceil(2.0 * radiusPx)) + 3;
    QImage img(side + 4, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(toQColor(color));
        p.drawEllipse(QPointF(1.0 + radiusPx + static_cast<double>(subX) / kSubPixel,
                          1.0 + radiusPx + static_cast<double>(subY) / kSubPixel),
            radiusPx, radiusPx);
    }
    d.solid = opaquePixel(color);
    d.blends.clear();
    d.fills.clear();
    d.minX = d.minY = side + 4;
    d.maxX = d.maxY = 0;
    // Blend groups are paired in the order they are found; an odd one out stays alone.
    int groups = 0;
    auto addBlend = [&](int x, int y, const std::uint32_t *row) {
        const int half = groups++ % 2;
        if (half == 0)
            d.blends.emplace_back();
        BlendPair &p = d.blends.back();
        for (int i = 0; i < 4; ++i) {
            p.src[4 * half + i] = row[x + i];
            const auto ia = static_cast<std::uint16_t>(255 - (row[x + i] >> 24));
            for (int c = 0; c < 4; ++c)
                p.inverseAlpha[16 * half + 4 * i + c] = ia;
        }
        p.x[half] = static_cast<std::int16_t>(x);
        p.y[half] = static_cast<std::int16_t>(y);
        p.single = half == 0;
        d.minX = std::min(d.minX, x);
        d.maxX = std::max(d.maxX, x + 4);
    };
    for (int y = 0; y < side; ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(img.constScanLine(y));
        int begin = side, end = 0, solidBegin = side, solidEnd = 0;
        for (int x = 0; x < side; ++x) {
            if (row[x] != 0) {
                begin = std::min(begin, x);
                end = x + 1;
            }
            if (row[x] == d.solid) {
                solidBegin = std::min(solidBegin, x);
                solidEnd = x + 1;
            }
        }
        if (begin >= end)
            continue;
        d.minY = std::min(d.minY, y);
        d.maxY = y + 1;
        bool solidRun = solidEnd - solidBegin >= 8;
        for (int x = solidBegin; solidRun && x < solidEnd; ++x)
            solidRun = row[x] == d.solid;
        if (!solidRun) {
            for (int x = begin; x < end; x += 4)
                addBlend(x, y, row);
            continue;
        }
        // Blend the soft edges in groups reaching at most three pixels into the opaque run,
        // which is at least eight long, so the groups of the two edges never meet; fill the
        // run in groups of eight, the last one overlapping its neighbour.
        for (int x = begin; x < solidBegin; x += 4)
            addBlend(x, y, row);
        for (int x = end - 4; x + 4 > solidEnd; x -= 4)
            addBlend(x, y, row);
        for (int x = solidBegin;; x += 8) {
            const int at = std::min(x, solidEnd - 8);
            d.fills.push_back({ 0, static_cast<std::int16_t>(at), static_cast<std::int16_t>(y) });
            if (at + 8 >= solidEnd)
                break;
        }
        d.minX = std::min(d.minX, solidBegin);
        d.maxX = std::max(d.maxX, solidEnd);
    }
    d.stride = 0;
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
    const qsizetype stride = m_image.bytesPerLine();
    if (d.stride != stride) {
        const qsizetype words = stride / 4;
        for (BlendPair &p : d.blends) {
            for (int half = 0; half < 2; ++half)
                p.offset[half] = static_cast<std::int32_t>(p.y[half] * words + p.x[half]);
        }
        for (FillGroup &f : d.fills)
            f.offset = static_cast<std::int32_t>(f.y * words + f.x);
        d.stride = stride;
    }
    drawSprite(d, pixels(), stride, width, height, left, top);
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
    blitDisc(sprite(radius, m_fill, subX, subY), (qx - subX) / kSubPixel, (qy - subY) / kSubPixel);
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
    pixels();
    markDirty(floorToInt(cy - reach), floorToInt(cy + reach) + 1);
}

void ImageSurface::line(float x1, float y1, float x2, float y2, Rgb color)
{
    const int pen = penWidth();
    // A pen of w device pixels covers the w × w square whose top-left pixel is the one
    // containing the point moved by (w - 1) / 2 up and left; for w = 1 the pixel holding it.
    const double shift = (pen - 1) / 2.0;
    double ax = x1 * m_scale - shift, ay = y1 * m_scale - shift;
    double bx = x2 * m_scale - shift, by = y2 * m_scale - shift;
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by))
        return;
    const int width = m_image.width();
    const int height = m_image.height();
    // Keep the walk short for lines reaching far outside: clip them to a box well beyond the
    // image (Liang-Barsky), so that what shows is the same line.
    const double lo = -kLineMargin, hiX = width + kLineMargin, hiY = height + kLineMargin;
    if (std::min(ax, bx) < lo || std::min(ay, by) < lo || std::max(ax, bx) > hiX
        || std::max(ay, by) > hiY) {
        double t0 = 0, t1 = 1;
        const double dx = bx - ax, dy = by - ay;
        const double p[4] = { -dx, dx, -dy, dy };
        const double q[4] = { ax - lo, hiX - ax, ay - lo, hiY - ay };
        for (int k = 0; k < 4; ++k) {
            if (p[k] == 0) {
                if (q[k] < 0)
                    return;
                continue;
            }
            const double t = q[k] / p[k];
            if (p[k] < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
        if (t0 > t1)
            return;
        const double nax = ax + t0 * dx, nay = ay + t0 * dy;
        bx = ax + t1 * dx;
        by = ay + t1 * dy;
        ax = nax;
        ay = nay;
    }
    int x = floorToInt(ax), y = floorToInt(ay);
    const int xe = floorToInt(bx), ye = floorToInt(by);
    if (std::max(x, xe) + pen <= 0 || std::max(y, ye) + pen <= 0 || std::min(x, xe) >= width
        || std::min(y, ye) >= height)
        return;
    markDirty(std::min(y, ye), std::max(y, ye) + pen);

    const std::uint32_t pixel = opaquePixel(color);
    uchar *bits = pixels();
    const qsizetype stride = m_image.bytesPerLine();
    auto stamp = [&](int px, int py) {
        const int x0 = std::max(px, 0), x1e = std::min(px + pen, width);
        const int y0 = std::max(py, 0), y1e = std::min(py + pen, height);
        for (int yy = y0; yy < y1e; ++yy) {
            auto *row = reinterpret_cast<std::uint32_t *>(bits + yy * stride);
            for (int xx = x0; xx < x1e; ++xx)
                row[xx] = pixel;
        }
    };
    // Bresenham from the first end pixel to the last, both drawn.
    const int dx = std::abs(xe - x), sx = x < xe ? 1 : -1;
    const int dy = -std::abs(ye - y), sy = y < ye ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        stamp(x, y);
        if (x == xe && y == ye)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
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
    pixels();
    markDirty(floorToInt(reach.top()), floorToInt(reach.bottom()) + 1);
}

} // namespace brownian
