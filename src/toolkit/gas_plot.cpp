#include "gas_plot.h"

#include "plot_painter.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace brownian {

using namespace plotting;

namespace {

inline const QColor kTemperature(200, 40, 40);
inline const QColor kTemperatureMean(120, 0, 0);
inline const QColor kPressureMean(0, 40, 120);

/// Room around the plot area inside the box, logical pixels.
constexpr double kLeft = 80, kRight = 20, kTop = 34, kBottom = 50;
/// At most this many points a line: the ticks are averaged in runs beyond it.
constexpr int kMostPoints = 600;

/// One series of the history as a polyline, ticks averaged in runs of `run`.
QPainterPath series(const GasGauge &gauge, const Axis &x, const Axis &y, int run,
    double (*value)(const GasGauge::Reading &, double))
{
    const auto &h = gauge.history();
    const double toPressure = gauge.area() / std::max(1, gauge.particles());
    const double first = static_cast<double>(gauge.ticks() - static_cast<std::int64_t>(h.size()));
    QPainterPath path;
    for (std::size_t k = 0; k < h.size(); k += run) {
        const std::size_t end = std::min(h.size(), k + run);
        double sum = 0;
        for (std::size_t j = k; j < end; ++j)
            sum += value(h[j], toPressure);
        const QPointF p(x.map(first + (k + end) / 2.0), y.map(sum / (end - k)));
        if (k == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    return path;
}

} // namespace

void drawGasPanel(QPainter &painter, const GasGauge &gauge, const QRectF &box, double scale)
{
    Painter g(painter, scale);
    const double f = scale;
    const QRectF area((box.left() + kLeft) * f, (box.top() + kTop) * f,
        (box.width() - kLeft - kRight) * f, (box.height() - kTop - kBottom) * f);
    const double henderson = hendersonZ(gauge.eta()) * gauge.last().kT;
    g.text(QRectF(area.left(), area.top() - 30 * f, area.width(), 26 * f),
        Qt::AlignLeft | Qt::AlignBottom,
        QStringLiteral("温度と圧力（η = %1）").arg(number(gauge.eta(), 3)), 17, kInk, true);
    const QString xTitle = QStringLiteral("ティック");
    const QString yTitle = QStringLiteral("kT と P·A/N");
    const auto &h = gauge.history();
    if (h.empty()) {
        frame(g, area);
        noData(g, area);
        axisTitles(g, area, xTitle, yTitle);
        return;
    }
    const double toPressure = gauge.area() / std::max(1, gauge.particles());
    // The tick-by-tick pressure of a few particles spikes far above its mean: the axis is
    // set by the means and the theory, with room above for the legend.
    double hi = henderson;
    for (const GasGauge::Reading &r : h)
        hi = std::max({ hi, r.kT, r.meanPressure * toPressure });
    const double lastTick = static_cast<double>(gauge.ticks());
    const double firstTick = lastTick - static_cast<double>(h.size());
    const Axis x { firstTick, std::max(lastTick, firstTick + 1), false, area.left(), area.right() };
    const Axis y { 0, hi > 0 && std::isfinite(hi) ? hi * 2 : 1, false, area.bottom(), area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);

    const int run = std::max<int>(1, static_cast<int>((h.size() + kMostPoints - 1) / kMostPoints));
    g.p.save();
    g.p.setClipRect(area);
    g.p.setBrush(Qt::NoBrush);
    const struct
    {
        QColor color;
        double width;
        double (*value)(const GasGauge::Reading &, double);
    } lines[] = {
        { kMeasured, 1.0, [](const GasGauge::Reading &r, double a) { return r.pressure * a; } },
        { kTemperature, 1.0, [](const GasGauge::Reading &r, double) { return r.kT; } },
        { kPressureMean, 2.0,
            [](const GasGauge::Reading &r, double a) { return r.meanPressure * a; } },
        { kTemperatureMean, 2.0, [](const GasGauge::Reading &r, double) { return r.meanKT; } },
    };
    for (const auto &line : lines) {
        g.p.setPen(QPen(line.color, line.width * f));
        g.p.drawPath(series(gauge, x, y, run, line.value));
    }
    g.p.setPen(QPen(kExpected, 1.6 * f, Qt::DashLine));
    g.p.drawLine(QPointF(area.left(), y.map(henderson)), QPointF(area.right(), y.map(henderson)));
    g.p.restore();
    frame(g, area);
    legend(g, QPointF(area.left() + 8 * f, area.top() + 6 * f),
        { { QStringLiteral("P·A/N（細線）と平均"), kMeasured, LegendEntry::Line },
            { QStringLiteral("kT（細線）と平均"), kTemperature, LegendEntry::Line },
            { QStringLiteral("Henderson の状態方程式"), kExpected, LegendEntry::Dashed } },
        false);
    axisTitles(g, area, xTitle, yTitle);
}

} // namespace brownian
