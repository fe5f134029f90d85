#include "locus_preview.h"

#include "model/geometry.h"
#include "sim/restart.h"

#include <algorithm>
#include <cmath>

namespace brownian {

void drawLocusPreview(Canvas &canvas, const LocusPreview &p)
{
    canvas.clear();
    const double n = p.count;
    const double s = p.size;
    if (n == 0 || s == 0)
        return;
    // Texts being edited may say anything; only a picture-sized grid is drawn.
    if (!(std::fabs(n) <= kPreviewMaxCount) || !(std::fabs(s) <= kPreviewMaxSize))
        return;

    const double W = p.widthTwips;
    const double H = p.heightTwips;
    const Integer N = Integer::fromDouble(n);
    const Integer field = Integer(static_cast<int>(field::kBoxSide)) + restartMargin(p.boundMode);
    const double r = ((W / field.toSingle()) * s) / 2.0;

    canvas.setFillColor(kGreen);
    for (Integer row = 1; row <= N; row = row + 1) {
        for (Integer col = 1; col <= N; col = col + 1) {
            canvas.circle(static_cast<float>((W / n) * (col.toDouble() - 0.5)),
                static_cast<float>((H / n) * (row.toDouble() - 0.5)), static_cast<float>(r),
                kGreen);
        }
    }

    canvas.setFillColor(kRed);
    // A count that rounds to 0 has no cells to put the pick in.
    if (N != Integer(0)) {
        canvas.circle(static_cast<float>(((p.pick % N).toDouble() + 0.5) * (W / n)),
            static_cast<float>(((p.pick / N).toDouble() + 0.5) * (H / n)), static_cast<float>(r),
            kRed);
    }

    canvas.setFillStyle(FillStyle::Transparent);
    if (p.boundMode == Integer(1)) {
        canvas.rectangle(static_cast<float>(W / 12.0), static_cast<float>(H / 12.0),
            static_cast<float>((W / 12.0) * 11.0), static_cast<float>((H / 12.0) * 11.0), kBlack);
    }
    canvas.setFillStyle(FillStyle::Solid);
}

std::optional<Integer> pickParticle(
    float widthTwips, float heightTwips, double count, float X, float Y)
{
    const double W = widthTwips, H = heightTwips, n = count;
    if (!(W > 0 && H > 0) || !(n >= 0.5 && n <= kPreviewMaxCount) || !std::isfinite(X)
        || !std::isfinite(Y))
        return std::nullopt;
    const double last = roundHalfEven(n) - 1.0;
    if (last < 0)
        return std::nullopt;
    // Products before the divisions, as the cell of a point on an edge depends on it.
    const double row = std::clamp(std::floor((static_cast<double>(Y) * n) / H), 0.0, last);
    const double col = std::clamp(std::floor((static_cast<double>(X) * n) / W), 0.0, last);
    return Integer::fromDouble(col + n * row);
}

} // namespace brownian
