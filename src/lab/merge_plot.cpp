// The figure of merge: the diffusion coefficient against the packing fraction, with the
// Enskog values for hard disks beside the measured ones, and below it Z = PA/NkT against the
// packing fraction with Henderson's equation of state, drawn with the plot's own painter.
#include "analysis/gas.h"
#include "merge_stats.h"
#include "plot.h"
#include "toolkit/plot_painter.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace brownian::lab {

namespace {

using namespace plotting;

const QColor kSeries[] = { QColor(30, 90, 200), QColor(200, 40, 40), QColor(0, 140, 60),
    QColor(150, 60, 170), QColor(230, 120, 0), QColor(90, 90, 90) };

/// `v` rounded up to one significant digit: the end of an axis.
double axisEnd(double v)
{
    const double power = std::pow(10.0, std::floor(std::log10(v)));
    return v > 0 ? std::ceil(v / power) * power : 1.0;
}

/// The groups that differ only in the size form one series (one colour, one curve).
struct SeriesKey
{
    bool unbounded;
    int numSide, speed;
    std::int64_t ticks;
    auto operator<=>(const SeriesKey &) const = default;
};

QString seriesLabel(const SeriesKey &k)
{
    return QStringLiteral("%1・%2 粒子・速さ %3・%4 ティック")
        .arg(k.unbounded ? QStringLiteral("境界なし") : QStringLiteral("境界あり"))
        .arg(k.numSide * k.numSide)
        .arg(k.speed)
        .arg(k.ticks);
}

/// η over the area the pressure is taken over (in the box 5000·(5000 − size)).
double gasEta(const GroupKey &k)
{
    return brownian::packingFraction(k.numSide * k.numSide, k.size, k.unbounded);
}

/// A measured mean as a filled circle with its error bar, in the pen and brush set.
void drawMean(Painter &g, const Axis &x, const Axis &y, double at, double mean, double error)
{
    const double f = g.f;
    const QPointF lo(x.map(at), y.map(mean - error)), hi(x.map(at), y.map(mean + error));
    g.p.drawLine(lo, hi);
    g.p.drawLine(lo - QPointF(4 * f, 0), lo + QPointF(4 * f, 0));
    g.p.drawLine(hi - QPointF(4 * f, 0), hi + QPointF(4 * f, 0));
    g.p.drawEllipse(QPointF(x.map(at), y.map(mean)), 4 * f, 4 * f);
}

/// One series: the Enskog values as a dashed curve of open circles, the measured means as
/// filled circles with their error bars.
void drawSeries(Painter &g, const Axis &x, const Axis &y, std::vector<const GroupSummary *> members,
    const QColor &c)
{
    const double f = g.f;
    std::sort(members.begin(), members.end(),
        [](auto *a, auto *b) { return a->packingFraction < b->packingFraction; });
    auto at = [&](double px, double py) { return QPointF(x.map(px), y.map(py)); };
    QPolygonF curve;
    for (const GroupSummary *m : members) {
        if (m->dEnskog)
            curve << at(m->packingFraction, *m->dEnskog);
    }
    g.p.setPen(QPen(c, 1.5 * f, Qt::DashLine));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPolyline(curve);
    g.p.setPen(QPen(c, 1.5 * f));
    g.p.setBrush(Qt::white);
    for (const QPointF &pt : curve)
        g.p.drawEllipse(pt, 4 * f, 4 * f);
    g.p.setBrush(c);
    for (const GroupSummary *m : members) {
        if (m->dMean)
            drawMean(g, x, y, m->packingFraction, *m->dMean, m->dStderr.value_or(0));
    }
}

/// The panel of Z against η, where any group has Z: Henderson's curve dashed over the whole
/// axis, the groups' means as in the panel above.
void drawZPanel(Painter &g, const QRectF &area, double xEnd,
    const std::map<SeriesKey, std::vector<const GroupSummary *>> &bySeries,
    const std::vector<SeriesKey> &order)
{
    const double f = g.f;
    // Up to Henderson's value at the densest group: the curve climbs steeply beyond.
    double yHi = 1;
    for (const auto &[key, members] : bySeries) {
        for (const GroupSummary *m : members) {
            if (!m->zMean)
                continue;
            yHi = std::max({ yHi, hendersonZ(gasEta(m->key)), *m->zMean + m->zStderr.value_or(0) });
        }
    }
    g.text(QRectF(area.left(), area.top() - 40 * f, area.width(), 30 * f),
        Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("状態方程式：圧縮率因子 Z = PA/NkT と充填率"), 18, kInk, true);
    const Axis x { 0, xEnd, false, area.left(), area.right() };
    const Axis y { 0, axisEnd(yHi * 1.1), false, area.bottom(), area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);
    frame(g, area);
    axisTitles(g, area, QStringLiteral("充填率 η（圧力をとる面積に対して）"),
        QStringLiteral("Z = PA / NkT"));
    g.p.save();
    g.p.setClipRect(area);
    QPolygonF curve;
    for (int k = 0; k <= 200; ++k) {
        const double eta = xEnd * k / 200.0;
        if (eta < 1)
            curve << QPointF(x.map(eta), y.map(hendersonZ(eta)));
    }
    g.p.setPen(QPen(kInk, 1.5 * f, Qt::DashLine));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPolyline(curve);
    for (std::size_t k = 0; k < order.size(); ++k) {
        g.p.setPen(QPen(kSeries[k % 6], 1.5 * f));
        g.p.setBrush(kSeries[k % 6]);
        for (const GroupSummary *m : bySeries.at(order[k])) {
            if (m->zMean)
                drawMean(g, x, y, gasEta(m->key), *m->zMean, m->zStderr.value_or(0));
        }
    }
    g.p.restore();
    legend(g, QPointF(area.left() + 8 * f, area.top() + 8 * f),
        { { QStringLiteral("測定値（平均 ± 標準誤差）"), kInk, LegendEntry::Marker },
            { QStringLiteral("Henderson の状態方程式（剛体円板）"), kInk, LegendEntry::Dashed } },
        false);
}

} // namespace

QImage renderSummary(const std::vector<GroupSummary> &groups, int dpi)
{
    const double f = std::min(dpi, kMaxPlotDpi) / 96.0;
    bool anyZ = false;
    for (const GroupSummary &m : groups)
        anyZ = anyZ || m.zMean.has_value();
    const double height = anyZ ? 1140 : 640;
    QImage image(static_cast<int>(std::lround(960 * f)), static_cast<int>(std::lround(height * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    Painter g(painter, f);
    g.text(QRectF(24 * f, 12 * f, 912 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("混み合いと拡散：拡散係数と充填率"), 22, kInk, true);

    std::map<SeriesKey, std::vector<const GroupSummary *>> bySeries;
    std::vector<SeriesKey> order;
    double xHi = 0, yHi = 0;
    for (const GroupSummary &m : groups) {
        const SeriesKey k { m.key.unbounded, m.key.numSide, m.key.speed, m.key.ticks };
        if (bySeries[k].empty())
            order.push_back(k);
        bySeries[k].push_back(&m);
        xHi = std::max(xHi, m.packingFraction);
        yHi = std::max({ yHi, m.dMean.value_or(0) + m.dStderr.value_or(0), m.dEnskog.value_or(0) });
    }
    const QRectF area(110 * f, 70 * f, 820 * f, 490 * f);
    const Axis x { 0, axisEnd(xHi * 1.1), false, area.left(), area.right() };
    const Axis y { 0, axisEnd(yHi * 1.15), false, area.bottom(), area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);
    frame(g, area);
    axisTitles(
        g, area, QStringLiteral("充填率 η"), QStringLiteral("拡散係数 D（twip² ／ サブステップ）"));

    std::vector<LegendEntry> entries = {
        { QStringLiteral("測定値（平均 ± 標準誤差）"), kInk, LegendEntry::Marker },
        { QStringLiteral("エンスコッグ理論（Gass 1971、g(σ) は Henderson 1975）"), kInk,
            LegendEntry::Dashed },
    };
    for (std::size_t k = 0; k < order.size(); ++k) {
        drawSeries(g, x, y, bySeries[order[k]], kSeries[k % 6]);
        entries.push_back({ seriesLabel(order[k]), kSeries[k % 6], LegendEntry::Line });
    }
    legend(g, QPointF(area.right() - 8 * f, area.top() + 8 * f), entries, true);
    if (anyZ)
        drawZPanel(g, QRectF(110 * f, 700 * f, 820 * f, 360 * f), x.hi, bySeries, order);
    return image;
}

} // namespace brownian::lab
