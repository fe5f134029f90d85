#pragma once

#include "pixels.h"

#include <cstdint>
#include <optional>

namespace brownian {

/// A line between the pixels of its two ends, both drawn, in a square pen of `pen` pixels.
struct PixelLine
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int pen = 1;

    /// The first row it touches and the row after its last.
    int top() const;
    int bottom() const;
};

/// The pixel line from (ax, ay) to (bx, by), in device pixels, for a pen of `pen` pixels: the
/// pen covers the pen × pen square whose top-left pixel is the one containing the point moved
/// by (pen - 1) / 2 up and left. None when the ends are not finite or the line misses the
/// picture of width × height pixels. Lines reaching far outside are clipped to a box well
/// beyond the picture first, so the walk stays short and what shows is the same line.
std::optional<PixelLine> pixelLine(
    double ax, double ay, double bx, double by, int pen, int width, int height);

/// Sets the pixels of the line (Bresenham, each step stamping the pen), clipped to the picture.
void drawPixelLine(const PixelLine &line, const pixels::Target &target, std::uint32_t pixel);

} // namespace brownian
