#include "plot.h"

#include "plot_painter.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace brownian {

using namespace plotting;

namespace {

// Room around each plot area, logical pixels: the title above; the tick labels and the turned
// axis title on the left; the tick labels, the axis title and (under the MSD) the fit line
// below. The speed panel's counts may be longer than the MSD's powers of ten.
struct Margins
{
    double msdLeft, speedLeft, right, top, bottom;
};
constexpr Margins kFull { 105, 110, 25, 52, 120 };
/// Small pictures: the short wording needs less room below, and the axis titles come closer.
constexpr Margins kCompact { 80, 85, 20, 52, 86 };
/// Boxes narrower than this take the short wording.
constexpr double kCompactWidth = 1000;
/// Room on either side of a horizontal axis title beyond its area, small pictures.
constexpr double kCompactTitleSlack = 20;
/// The count axis reaches this much above the highest count, leaving room for the legend.
constexpr double kHeadroom = 1.12, kCompactHeadroom = 1.4;

QRectF scaled(const QRectF &r, double f)
{
    return QRectF(r.x() * f, r.y() * f, r.width() * f, r.height() * f);
}

/// A polyline through the points.
QPainterPath polyline(const std::vector<QPointF> &points)
{
    QPainterPath path;
    for (std::size_t k = 0; k < points.size(); ++k) {
        if (k == 0)
            path.moveTo(points[k]);
        else
            path.lineTo(points[k]);
    }
    return path;
}

/// A guide line v = f(lag) across the whole lag axis, dashed. Guides are straight lines on
/// log-log axes: drawn through many points so that the clip handles both ends.
void guide(Painter &g, const Axis &x, const Axis &y, const std::function<double(double)> &f,
    const QColor &c)
{
    std::vector<QPointF> points;
    for (int k = 0; k <= 200; ++k) {
        const double lag = x.lo * std::pow(x.hi / x.lo, k / 200.0);
        const double v = f(lag);
        if (v > 0)
            points.emplace_back(x.map(lag), y.map(v));
    }
    g.p.setPen(QPen(c, 1.6 * g.f, Qt::DashLine));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPath(polyline(points));
}

/// Inside the MSD plot area: the stretch the fit used, the guides and the measured points.
void msdCurves(Painter &g, const PlotData &in, const std::vector<MsdPoint> &points, const Axis &x,
    const Axis &y, const QRectF &area)
{
    g.p.save();
    g.p.setClipRect(area);
    if (in.fit) {
        const double a = x.map(static_cast<double>(in.fit->fromLag));
        const double b = x.map(static_cast<double>(in.fit->toLag));
        g.p.fillRect(QRectF(a, area.top(), b - a, area.height()), QColor(255, 200, 120, 60));
    }
    if (in.meanSquaredSpeed > 0)
        guide(
            g, x, y, [&](double lag) { return in.meanSquaredSpeed * lag * lag; }, kBallistic);
    if (in.fit)
        guide(
            g, x, y, [&](double lag) { return 4.0 * in.fit->coefficient * lag; }, kDiffusive);

    std::vector<QPointF> measured;
    for (const MsdPoint &m : points)
        measured.emplace_back(x.map(static_cast<double>(m.lag)), y.map(m.msd));
    g.p.setPen(QPen(kMeasured, 1.8 * g.f));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPath(polyline(measured));
    g.p.setBrush(kMeasured);
    g.p.setPen(Qt::NoPen);
    for (const QPointF &pt : measured)
        g.p.drawEllipse(pt, 2.4 * g.f, 2.4 * g.f);
    g.p.restore();
}

QString fitText(const PlotData &in, bool compact)
{
    if (!in.fit) {
        return compact ? QStringLiteral("拡散的な範囲（傾き 1）が見つかりません")
                       : QStringLiteral("拡散係数：拡散的な範囲（傾き 1）が見つかりませんでした");
    }
    const QString text = compact
        ? QStringLiteral("D = %1 twip²／サブステップ（時間差 %2〜%3）")
        : QStringLiteral("拡散係数 D = %1 twip²／サブステップ（時間差 %2〜%3 で当てはめ）");
    return text.arg(number(in.fit->coefficient, 4)).arg(in.fit->fromLag).arg(in.fit->toLag);
}

/// Around the MSD plot area: the legend, the axis titles and the fit line.
void msdLabels(Painter &g, const PlotData &in, const QRectF &area, bool compact)
{
    std::vector<LegendEntry> entries { { QStringLiteral("測定値"), kMeasured, LegendEntry::Marker },
        { compact ? QStringLiteral("弾道的 ∝ t²")
                  : QStringLiteral("弾道的 ∝ t²（平均二乗速さ × t²）"),
            kBallistic, LegendEntry::Dashed } };
    if (in.fit) {
        entries.push_back(
            { compact ? QStringLiteral("拡散的 ∝ t") : QStringLiteral("拡散的 ∝ t（4Dt）"),
                kDiffusive, LegendEntry::Dashed });
    }
    legend(g, QPointF(area.left() + 10 * g.f, area.top() + 10 * g.f), entries, false);

    axisTitles(g, area, QStringLiteral("時間差（サブステップ）"),
        QStringLiteral("平均二乗変位（twip²）"), compact ? kCompactTitleSlack * g.f : 0);
    // Under the panel, reaching into its left margin; in small pictures over all of its half.
    const QRectF fitArea = compact
        ? QRectF(area.left() - (kCompact.msdLeft - 4) * g.f, area.bottom() + 58 * g.f,
            area.width() + (kCompact.msdLeft + kCompact.right - 8) * g.f, 24 * g.f)
        : QRectF(
            area.left() - 60 * g.f, area.bottom() + 58 * g.f, area.width() + 60 * g.f, 24 * g.f);
    g.text(fitArea, Qt::AlignHCenter | Qt::AlignTop, fitText(in, compact), compact ? 13 : 14,
        in.fit ? kDiffusive.darker(130) : kInk, true);
}

void drawMsdPanel(Painter &g, const PlotData &in, const QRectF &area, bool compact)
{
    g.text(QRectF(area.left(), area.top() - 34 * g.f, area.width(), 26 * g.f),
        Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("平均二乗変位"), 17, kInk, true);
    std::vector<MsdPoint> points;
    for (const MsdPoint &m : in.msd) {
        if (m.msd > 0 && std::isfinite(m.msd))
            points.push_back(m);
    }
    if (points.empty()) {
        frame(g, area);
        noData(g, area);
        axisTitles(g, area, QStringLiteral("時間差（サブステップ）"),
            QStringLiteral("平均二乗変位（twip²）"), compact ? kCompactTitleSlack * g.f : 0);
        return;
    }
    double yLo = points.front().msd, yHi = yLo;
    for (const MsdPoint &m : points) {
        yLo = std::min(yLo, m.msd);
        yHi = std::max(yHi, m.msd);
    }
    Axis x, y;
    x.log = y.log = true;
    decades(static_cast<double>(points.front().lag), static_cast<double>(points.back().lag), x.lo,
        x.hi);
    decades(yLo, yHi, y.lo, y.hi);
    x.from = area.left();
    x.to = area.right();
    y.from = area.bottom();
    y.to = area.top();

    drawLogAxis(g, x, area, true);
    drawLogAxis(g, y, area, false);
    msdCurves(g, in, points, x, y, area);
    frame(g, area);
    msdLabels(g, in, area, compact);
}

/// The expected counts per bin width, (speed, count), from the distribution function; empty
/// without one.
std::vector<QPointF> expectedCurve(const PlotData &in, double xMax, double binWidth)
{
    std::vector<QPointF> curve;
    if (!in.cdf || !(xMax > 0) || !(binWidth > 0))
        return curve;
    const int samples = 400;
    const double h = xMax / samples;
    for (int k = 0; k <= samples; ++k) {
        const double v = k * h;
        const double a = std::max(0.0, v - h / 2), b = v + h / 2;
        const double density = (in.cdf(b) - in.cdf(a)) / (b - a);
        curve.emplace_back(v, in.totalSpeeds * density * binWidth);
    }
    return curve;
}

/// Inside the speed plot area: the bars and the expected curve.
void speedCurves(Painter &g, const PlotData &in, const std::vector<QPointF> &curve, const Axis &x,
    const Axis &y, const QRectF &area)
{
    g.p.save();
    g.p.setClipRect(area);
    g.p.setPen(QPen(kBarEdge, 0.8 * g.f));
    g.p.setBrush(kBar);
    for (const SpeedBin &b : in.speeds) {
        const double left = x.map(b.low), right = x.map(b.high);
        const double top = y.map(static_cast<double>(b.count));
        g.p.drawRect(QRectF(QPointF(left, top), QPointF(right, area.bottom())));
    }
    if (!curve.empty()) {
        std::vector<QPointF> points;
        for (const QPointF &c : curve)
            points.emplace_back(x.map(c.x()), y.map(c.y()));
        g.p.setPen(QPen(kExpected, 2 * g.f));
        g.p.setBrush(Qt::NoBrush);
        g.p.drawPath(polyline(points));
    }
    g.p.restore();
}

void drawSpeedPanel(Painter &g, const PlotData &in, const QRectF &area, bool compact)
{
    g.text(QRectF(area.left(), area.top() - 34 * g.f, area.width(), 26 * g.f),
        Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("速さの分布（時間平均）"), 17, kInk, true);
    const QString xTitle = in.unbounded ? QStringLiteral("重心に対する速さ（twip／サブステップ）")
                                        : QStringLiteral("速さ（twip／サブステップ）");
    if (in.speeds.empty()) {
        frame(g, area);
        noData(g, area);
        axisTitles(g, area, xTitle, QStringLiteral("度数"), compact ? kCompactTitleSlack * g.f : 0);
        return;
    }
    const double xMax = in.speeds.back().high;
    const std::vector<QPointF> curve =
        expectedCurve(in, xMax, in.speeds.front().high - in.speeds.front().low);
    double yMax = 0;
    for (const QPointF &c : curve)
        yMax = std::max(yMax, c.y());
    for (const SpeedBin &b : in.speeds)
        yMax = std::max({ yMax, static_cast<double>(b.count), b.expected });
    if (!(yMax > 0))
        yMax = 1;

    const Axis x { 0, xMax > 0 ? xMax : 1, false, area.left(), area.right() };
    const Axis y { 0, yMax * (compact ? kCompactHeadroom : kHeadroom), false, area.bottom(),
        area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);
    speedCurves(g, in, curve, x, y, area);
    frame(g, area);

    const int n = in.numSide * in.numSide;
    const QString expected = compact ? QStringLiteral("期待される分布（N = %1）").arg(n)
        : in.unbounded ? QStringLiteral("期待される分布（N = %1、エネルギーと運動量が一定）").arg(n)
                       : QStringLiteral("期待される分布（N = %1、エネルギーが一定）").arg(n);
    legend(g, QPointF(area.right() - 10 * g.f, area.top() + 10 * g.f),
        { { QStringLiteral("測定値"), kBar, LegendEntry::Box },
            { expected, kExpected, LegendEntry::Line } },
        true);
    axisTitles(g, area, xTitle, QStringLiteral("度数"), compact ? kCompactTitleSlack * g.f : 0);
}

} // namespace

void fillPlotData(PlotData &data, std::vector<MsdPoint> msd, const SpeedHistogram &histogram,
    std::vector<SpeedBin> bins, int particles)
{
    data.fit = fitDiffusion(msd);
    data.msd = std::move(msd);
    data.speeds = std::move(bins);
    const double sumSquares = histogram.meanSumSquares();
    data.meanSquaredSpeed = sumSquares / particles;
    data.cdf = [=, torus = data.unbounded](
                   double v) { return expectedSpeedCdf(v, particles, sumSquares, torus); };
    data.totalSpeeds = static_cast<double>(histogram.samples()) * particles;
}

PlotLayout plotLayout(const QRectF &box)
{
    const bool compact = box.width() < kCompactWidth;
    const Margins &m = compact ? kCompact : kFull;
    const double half = box.width() / 2;
    const double height = box.height() - m.top - m.bottom;
    const double top = box.top() + m.top;
    return { QRectF(box.left() + m.msdLeft, top, half - m.msdLeft - m.right, height),
        QRectF(box.left() + half + m.speedLeft, top, half - m.speedLeft - m.right, height),
        compact };
}

void drawPlotPanels(QPainter &painter, const PlotData &data, const PlotLayout &layout, double scale)
{
    Painter g(painter, scale);
    drawMsdPanel(g, data, scaled(layout.msd, scale), layout.compact);
    drawSpeedPanel(g, data, scaled(layout.speeds, scale), layout.compact);
}

QImage renderPlotPanels(const PlotData &data, QSize logicalSize, double devicePixelRatio)
{
    const double f = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(std::max(1, static_cast<int>(std::lround(logicalSize.width() * f))),
        std::max(1, static_cast<int>(std::lround(logicalSize.height() * f))),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawPlotPanels(
        painter, data, plotLayout(QRectF(0, 0, logicalSize.width(), logicalSize.height())), f);
    painter.end();
    image.setDevicePixelRatio(f);
    return image;
}

void drawPlotText(QPainter &painter, const QRectF &rect, int flags, const QString &text, double px,
    double scale, bool bold)
{
    Painter g(painter, scale);
    g.text(rect, flags, text, px, kInk, bold);
}

} // namespace brownian
