// The run's picture, drawn with the window's plot panels, and merge's figure: the diffusion
// coefficient against the packing fraction with the Enskog values for hard disks beside the
// measured ones, and below it Z = PA/NkT against the packing fraction with Henderson's
// equation of state, drawn with the plot's own painter.
#include "plot.h"

#include "analysis/gas.h"
#include "merge_stats.h"
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

QString seriesLabel(const GroupKey &k)
{
    return QStringLiteral("%1・%2 粒子・速さ %3・%4 ティック")
        .arg(k.unbounded ? QStringLiteral("境界なし") : QStringLiteral("境界あり"))
        .arg(k.numSide * k.numSide)
        .arg(k.speed)
        .arg(k.ticks);
}

/// The axes of a panel from 0 to `xEnd` and `yEnd`, drawn with its frame and titles.
std::pair<Axis, Axis> drawAxes(Painter &g, const QRectF &area, double xEnd, double yEnd,
    const QString &xTitle, const QString &yTitle)
{
    const Axis x { 0, xEnd, false, area.left(), area.right() };
    const Axis y { 0, yEnd, false, area.bottom(), area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);
    frame(g, area);
    axisTitles(g, area, xTitle, yTitle);
    return { x, y };
}

/// A theory's curve, dashed.
void drawDashed(Painter &g, const QPolygonF &curve, const QColor &c)
{
    g.p.setPen(QPen(c, 1.5 * g.f, Qt::DashLine));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPolyline(curve);
}

using Mean = std::optional<double> GroupSummary::*;

/// The measured means (`mean` at `at`, where there is one) as filled circles with their error
/// bars (`error`).
void drawMeans(Painter &g, const Axis &x, const Axis &y,
    const std::vector<const GroupSummary *> &members, const QColor &c, double GroupSummary::*at,
    Mean mean, Mean error)
{
    const double f = g.f;
    g.p.setPen(QPen(c, 1.5 * f));
    g.p.setBrush(c);
    for (const GroupSummary *m : members) {
        if (!(m->*mean))
            continue;
        const double v = *(m->*mean), e = (m->*error).value_or(0), px = x.map(m->*at);
        const QPointF lo(px, y.map(v - e)), hi(px, y.map(v + e));
        g.p.drawLine(lo, hi);
        g.p.drawLine(lo - QPointF(4 * f, 0), lo + QPointF(4 * f, 0));
        g.p.drawLine(hi - QPointF(4 * f, 0), hi + QPointF(4 * f, 0));
        g.p.drawEllipse(QPointF(px, y.map(v)), 4 * f, 4 * f);
    }
}

} // namespace

QImage renderPlot(const PlotInput &in, int dpi)
{
    const double f = std::min(dpi, kMaxPlotDpi) / 96.0;
    QImage image(static_cast<int>(std::lround(1280 * f)), static_cast<int>(std::lround(640 * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    const QString title = in.unbounded ? QStringLiteral("ヴァリム（境界なし）")
                                       : QStringLiteral("ヴァリム（境界あり）");
    drawPlotText(p, QRectF(24 * f, 12 * f, 1232 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter,
        title, 22, f, true);
    const QString settings = QStringLiteral("粒子数：%1　粒子の大きさ：%2　粒子の速さ：%"
                                            "3　軌跡を描く粒子：%4　%5 ティック（%6 サブステップ）")
                                 .arg(in.numSide * in.numSide)
                                 .arg(in.size)
                                 .arg(in.speed)
                                 .arg(in.locus)
                                 .arg(in.ticks)
                                 .arg(in.subSteps);
    drawPlotText(p, QRectF(24 * f, 44 * f, 1232 * f, 24 * f), Qt::AlignLeft | Qt::AlignVCenter,
        settings, 14, f);
    // Below the two lines of text, the panels get the rest of the picture.
    drawPlotPanels(p, in, plotLayout(QRectF(0, 68, 1280, 572)), f);
    p.end();
    return image;
}

QImage renderSummary(const std::vector<GroupSummary> &groups, int dpi)
{
    // The groups that differ only in the size form one series (one colour, one curve), keyed
    // by their settings with the size left out.
    std::map<GroupKey, std::vector<const GroupSummary *>> bySeries;
    std::vector<GroupKey> order;
    double xHi = 0, yHi = 0, zHi = 1;
    bool anyZ = false;
    for (const GroupSummary &m : groups) {
        const GroupKey k { m.key.unbounded, m.key.numSide, 0, m.key.speed, m.key.ticks };
        if (bySeries[k].empty())
            order.push_back(k);
        bySeries[k].push_back(&m);
        xHi = std::max(xHi, m.packingFraction);
        yHi = std::max({ yHi, m.dMean.value_or(0) + m.dStderr.value_or(0), m.dEnskog.value_or(0) });
        // Z's axis goes up to Henderson's value at the densest group: the curve climbs steeply
        // beyond.
        if (m.zMean) {
            anyZ = true;
            zHi = std::max({ zHi, *m.zHenderson, *m.zMean + m.zStderr.value_or(0) });
        }
    }
    const double f = std::min(dpi, kMaxPlotDpi) / 96.0;
    QImage image(static_cast<int>(std::lround(960 * f)),
        static_cast<int>(std::lround((anyZ ? 1140 : 640) * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    Painter g(painter, f);
    g.text(QRectF(24 * f, 12 * f, 912 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("混み合いと拡散：拡散係数と充填率"), 22, kInk, true);
    const QRectF area(110 * f, 70 * f, 820 * f, 490 * f);
    const auto [x, y] = drawAxes(g, area, axisEnd(xHi * 1.1), axisEnd(yHi * 1.15),
        QStringLiteral("充填率 η"), QStringLiteral("拡散係数 D（twip² ／ サブステップ）"));
    const LegendEntry measured { QStringLiteral("測定値（平均 ± 標準誤差）"), kInk,
        LegendEntry::Marker };
    std::vector<LegendEntry> entries = { measured,
        { QStringLiteral("エンスコッグ理論（Gass 1971、g(σ) は Henderson 1975）"), kInk,
            LegendEntry::Dashed } };
    // Each series: the Enskog values as a dashed curve of open circles, and the means.
    for (std::size_t k = 0; k < order.size(); ++k) {
        const QColor &c = kSeries[k % 6];
        std::vector<const GroupSummary *> members = bySeries[order[k]];
        std::sort(members.begin(), members.end(),
            [](auto *a, auto *b) { return a->packingFraction < b->packingFraction; });
        QPolygonF curve;
        for (const GroupSummary *m : members) {
            if (m->dEnskog)
                curve << QPointF(x.map(m->packingFraction), y.map(*m->dEnskog));
        }
        drawDashed(g, curve, c);
        g.p.setPen(QPen(c, 1.5 * f));
        g.p.setBrush(Qt::white);
        for (const QPointF &pt : curve)
            g.p.drawEllipse(pt, 4 * f, 4 * f);
        drawMeans(g, x, y, members, c, &GroupSummary::packingFraction, &GroupSummary::dMean,
            &GroupSummary::dStderr);
        entries.push_back({ seriesLabel(order[k]), c, LegendEntry::Line });
    }
    legend(g, QPointF(area.right() - 8 * f, area.top() + 8 * f), entries, true);
    if (anyZ) {
        // Below, where any group has Z: Z against η with Henderson's curve over the whole axis.
        const QRectF zArea(110 * f, 700 * f, 820 * f, 360 * f);
        g.text(QRectF(zArea.left(), zArea.top() - 40 * f, zArea.width(), 30 * f),
            Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("状態方程式：圧縮率因子 Z = PA/NkT と充填率"), 18, kInk, true);
        const auto [zx, zy] = drawAxes(g, zArea, x.hi, axisEnd(zHi * 1.1),
            QStringLiteral("充填率 η（圧力をとる面積に対して）"), QStringLiteral("Z = PA / NkT"));
        g.p.save();
        g.p.setClipRect(zArea);
        QPolygonF henderson;
        for (int k = 0; k <= 200; ++k) {
            const double eta = x.hi * k / 200.0;
            if (eta < 1)
                henderson << QPointF(zx.map(eta), zy.map(hendersonZ(eta)));
        }
        drawDashed(g, henderson, kInk);
        for (std::size_t k = 0; k < order.size(); ++k)
            drawMeans(g, zx, zy, bySeries[order[k]], kSeries[k % 6],
                &GroupSummary::zPackingFraction, &GroupSummary::zMean, &GroupSummary::zStderr);
        g.p.restore();
        legend(g, QPointF(zArea.left() + 8 * f, zArea.top() + 8 * f),
            { measured,
                { QStringLiteral("Henderson の状態方程式（剛体円板）"), kInk,
                    LegendEntry::Dashed } },
            false);
    }
    return image;
}

} // namespace brownian::lab
