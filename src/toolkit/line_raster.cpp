#include "line_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace brownian {

namespace {

/// Lines whose end points lie farther than this outside the picture are clipped first.
constexpr double kLineMargin = 4096.0;

/// Clips the segment to the box lo..hiX × lo..hiY (Liang-Barsky); false when it misses it.
bool clipToBox(double &ax, double &ay, double &bx, double &by, double lo, double hiX, double hiY)
{
    double t0 = 0, t1 = 1;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = { -dx, dx, -dy, dy };
    const double q[4] = { ax - lo, hiX - ax, ay - lo, hiY - ay };
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    const double nax = ax + t0 * dx, nay = ay + t0 * dy;
    bx = ax + t1 * dx;
    by = ay + t1 * dy;
    ax = nax;
    ay = nay;
    return true;
}

} // namespace

int PixelLine::top() const
{
    return std::min(y0, y1);
}

int PixelLine::bottom() const
{
    return std::max(y0, y1) + pen;
}

std::optional<PixelLine> pixelLine(
    double ax, double ay, double bx, double by, int pen, int width, int height)
{
    const double shift = (pen - 1) / 2.0;
    ax -= shift;
    ay -= shift;
    bx -= shift;
    by -= shift;
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by))
        return std::nullopt;
    const double lo = -kLineMargin, hiX = width + kLineMargin, hiY = height + kLineMargin;
    if (std::min(ax, bx) < lo || std::min(ay, by) < lo || std::max(ax, bx) > hiX
        || std::max(ay, by) > hiY) {
        if (!clipToBox(ax, ay, bx, by, lo, hiX, hiY))
            return std::nullopt;
    }
    const PixelLine line { pixels::floorToInt(ax), pixels::floorToInt(ay), pixels::floorToInt(bx),
        pixels::floorToInt(by), pen };
    if (std::max(line.x0, line.x1) + pen <= 0 || std::max(line.y0, line.y1) + pen <= 0
        || std::min(line.x0, line.x1) >= width || std::min(line.y0, line.y1) >= height)
        return std::nullopt;
    return line;
}

void drawPixelLine(const PixelLine &line, const pixels::Target &target, std::uint32_t pixel)
{
    const int pen = line.pen, width = target.width, height = target.height;
    auto stamp = [&](int px, int py) {
        const int x0 = std::max(px, 0), x1e = std::min(px + pen, width);
        const int y0 = std::max(py, 0), y1e = std::min(py + pen, height);
        for (int yy = y0; yy < y1e; ++yy) {
            auto *row = reinterpret_cast<std::uint32_t *>(target.bits + yy * target.stride);
            for (int xx = x0; xx < x1e; ++xx)
                row[xx] = pixel;
        }
    };
    int x = line.x0, y = line.y0;
    const int xe = line.x1, ye = line.y1;
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

} // namespace brownian
