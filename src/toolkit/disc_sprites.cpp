#include "disc_sprites.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brownian {

using pixels::blendPixel;
using pixels::kMargin;

namespace {

constexpr std::size_t kMaxSets = 8;
constexpr int kSubPixel = DiscSprites::kSubPixel;

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

/// Draws every group of a sprite lying, with its corner at `corner`, wholly inside the picture
/// with its margin: no clipping.
template <class Ops>
__attribute__((always_inline)) inline void drawWhole(const DiscSprite &d, std::uint32_t *corner)
{
    const std::uint32_t solid = d.solid; // once: the stores below could alias it
    for (const BlendPair &p : d.blends) {
        if (p.single)
            Ops::blend4(corner + p.offset[0], p, 0);
        else
            Ops::blendPair(corner + p.offset[0], corner + p.offset[1], p);
    }
    for (const FillGroup &f : d.fills)
        fill8(corner + f.offset, solid);
}

/// Draws a sprite partly outside the picture: the groups wholly inside as drawWhole does,
/// those crossing an edge pixel by pixel.
template <class Ops>
__attribute__((always_inline)) inline void drawClipped(
    const DiscSprite &d, const pixels::Target &t, int left, int top)
{
    const std::uint32_t solid = d.solid;
    auto *image = reinterpret_cast<std::uint32_t *>(t.bits);
    const qsizetype words = t.stride / 4;
    const std::ptrdiff_t corner = top * words + left; // may lie outside the picture
    const auto rows = static_cast<unsigned>(t.height);
    const int width = t.width;
    auto whole = [&](int x, int y, int n) {
        return static_cast<unsigned>(top + y) < rows && left + x >= 0 && left + x <= width - n;
    };
    auto partly = [&](int x, int y, int n, auto &&pixel) {
        x += left;
        y += top;
        if (static_cast<unsigned>(y) >= rows)
            return;
        std::uint32_t *row = image + y * words;
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

template <class Ops>
__attribute__((always_inline)) inline void drawGroups(
    const DiscSprite &d, const pixels::Target &t, int left, int top)
{
    if (top + d.minY >= -kMargin && top + d.maxY <= t.height + kMargin && left + d.minX >= -kMargin
        && left + d.maxX <= t.width + kMargin)
        drawWhole<Ops>(d, reinterpret_cast<std::uint32_t *>(t.bits + top * t.stride) + left);
    else
        drawClipped<Ops>(d, t, left, top);
}

void drawBaseline(const DiscSprite &d, const pixels::Target &t, int left, int top)
{
    drawGroups<BaselineOps>(d, t, left, top);
}

#if defined(BROWNIAN_AVX2_PATH)
__attribute__((target("avx2"))) void drawAvx2(
    const DiscSprite &d, const pixels::Target &t, int left, int top)
{
    drawGroups<WideOps>(d, t, left, top);
}
#endif

bool baselineOnly = false;

/// The disc drawn antialiased by QPainter into a transparent image `side` + 4 pixels wide and
/// `side` high: the four more columns on the right let the last blend group of a row run over.
QImage renderDisc(double radiusPx, Rgb color, int subX, int subY, int side)
{
    QImage img(side + 4, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(pixels::toQColor(color));
    p.drawEllipse(QPointF(1.0 + radiusPx + static_cast<double>(subX) / kSubPixel,
                      1.0 + radiusPx + static_cast<double>(subY) / kSubPixel),
        radiusPx, radiusPx);
    return img;
}

/// Collects the groups of a sprite row by row. Blend groups are paired in the order they are
/// found; an odd one out stays alone.
class SpriteBuilder
{
public:
    SpriteBuilder(DiscSprite &d, int side)
        : d(d)
        , side(side)
    {
        d.blends.clear();
        d.fills.clear();
        d.minX = d.minY = side + 4;
        d.maxX = d.maxY = 0;
        d.stride = 0;
    }

    void addRow(const std::uint32_t *row, int y)
    {
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
            return;
        d.minY = std::min(d.minY, y);
        d.maxY = y + 1;
        bool solidRun = solidEnd - solidBegin >= 8;
        for (int x = solidBegin; solidRun && x < solidEnd; ++x)
            solidRun = row[x] == d.solid;
        if (!solidRun) {
            for (int x = begin; x < end; x += 4)
                addBlend(x, y, row);
            return;
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

private:
    void addBlend(int x, int y, const std::uint32_t *row)
    {
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
    }

    DiscSprite &d;
    int side;
    int groups = 0;
};

void buildSprite(DiscSprite &d, double radiusPx, Rgb color, int subX, int subY)
{
    // The centre sits at 1 + radius plus the sub-pixel offset, so the disc fits with a margin.
    const int side = static_cast<int>(std::ceil(2.0 * radiusPx)) + 3;
    const QImage img = renderDisc(radiusPx, color, subX, subY, side);
    d.solid = pixels::opaquePixel(color);
    SpriteBuilder builder(d, side);
    for (int y = 0; y < side; ++y)
        builder.addRow(reinterpret_cast<const std::uint32_t *>(img.constScanLine(y)), y);
}

} // namespace

void drawDisc(DiscSprite &d, const pixels::Target &target, int left, int top)
{
    if (d.stride != target.stride) {
        const qsizetype words = target.stride / 4;
        for (BlendPair &p : d.blends) {
            for (int half = 0; half < 2; ++half)
                p.offset[half] = static_cast<std::int32_t>(p.y[half] * words + p.x[half]);
        }
        for (FillGroup &f : d.fills)
            f.offset = static_cast<std::int32_t>(f.y * words + f.x);
        d.stride = target.stride;
    }
#if defined(BROWNIAN_AVX2_PATH)
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    if (avx2 && !baselineOnly) {
        drawAvx2(d, target, left, top);
        return;
    }
#endif
    drawBaseline(d, target, left, top);
}

void setDiscBaselineVectorsOnly(bool on)
{
    baselineOnly = on;
}

struct DiscSprites::Set
{
    double radiusPx = -1;
    Rgb color;
    std::array<DiscSprite, kSubPixel * kSubPixel> sprites;
    std::array<bool, kSubPixel * kSubPixel> ready {};
};

DiscSprites::DiscSprites() = default;
DiscSprites::~DiscSprites() = default;

DiscSprite &DiscSprites::get(double radiusPx, Rgb color, int subX, int subY)
{
    auto matches = [&](const Set *s) { return s->radiusPx == radiusPx && s->color == color; };
    Set *set = m_last && matches(m_last) ? m_last : nullptr;
    for (auto it = m_sets.begin(); !set && it != m_sets.end(); ++it) {
        if (matches(it->get()))
            set = it->get();
    }
    if (!set) {
        if (m_sets.size() >= kMaxSets)
            m_sets.erase(m_sets.begin());
        m_sets.push_back(std::make_unique<Set>());
        set = m_sets.back().get();
        set->radiusPx = radiusPx;
        set->color = color;
    }
    m_last = set;
    const int k = subY * kSubPixel + subX;
    DiscSprite &d = set->sprites[k];
    if (!set->ready[k]) {
        buildSprite(d, radiusPx, color, subX, subY);
        set->ready[k] = true;
    }
    return d;
}

void DiscSprites::clear()
{
    m_sets.clear();
    m_last = nullptr;
}

} // namespace brownian
