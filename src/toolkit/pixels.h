#pragma once

// Pixel helpers shared by the retained surface, its disc sprites and its line rasteriser.

#include "sim/canvas.h"

#include <QColor>
#include <QtGlobal>

#include <algorithm>
#include <cstdint>

namespace brownian::pixels {

/// Device pixels of hidden margin around a retained picture: discs reaching a little over its
/// edges are drawn into it without clipping, and it never shows.
inline constexpr int kMargin = 8;

/// A picture's pixels for writing: ARGB32 premultiplied, `stride` bytes a row, width × height
/// pixels from `bits`, with kMargin more writable pixels around them.
struct Target
{
    uchar *bits = nullptr;
    qsizetype stride = 0;
    int width = 0, height = 0;
};

inline QColor toQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

/// An opaque colour as an ARGB32 premultiplied pixel.
inline std::uint32_t opaquePixel(Rgb c)
{
    return 0xff000000u | (std::uint32_t { c.r } << 16) | (std::uint32_t { c.g } << 8) | c.b;
}

/// The largest integer not above v (finite), limited to ±10⁹.
inline int floorToInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int t = static_cast<int>(v);
    return t - (t > v ? 1 : 0);
}

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

} // namespace brownian::pixels
