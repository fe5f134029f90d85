// The figure of merge: the diffusion coefficient against the packing fraction, with the
// Enskog values for hard disks beside the measured ones. Drawn in the style of the run's plot.
#include "merge_command.h"
#include "plot.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>

namespace brownian::lab {

namespace {

const QColor kInk(40, 40, 40);
const QColor kGrid(225, 225, 225);
const QColor kSeries[] = { QColor(30, 90, 200), QColor(200, 40, 40), QColor(0, 140, 60),
    QColor(150, 60, 170), QColor(230, 120, 0), QColor(90, 90, 90) };

QFont font(double px, bool bold = false)
{
    QFont f;
    f.setFamilies({ QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif") });
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
    f.setBold(bold);
    return f;
}

/// A step of 1, 2 or 5 times a power of ten giving about `count` intervals over `span`.
double niceStep(double span, int count)
{
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    return (m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0) * power;
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

struct Frame
{
    QRectF area;
    double xHi, yHi, f;
    QPointF at(double x, double y) const
    {
        return { area.left() + x / xHi * area.width(), area.bottom() - y / yHi * area.height() };
    }
};

void drawAxes(QPainter &p, const Frame &fr)
{
    const double f = fr.f;
    p.setFont(font(13 * f));
    const double xStep = niceStep(fr.xHi, 6), yStep = niceStep(fr.yHi, 5);
    for (int axis = 0; axis < 2; ++axis) {
        const double hi = axis == 0 ? fr.xHi : fr.yHi, step = axis == 0 ? xStep : yStep;
        const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
        for (double v = 0; v <= hi * (1 + 1e-9); v += step) {
            const QPointF a = axis == 0 ? fr.at(v, 0) : fr.at(0, v);
            const QPointF b = axis == 0 ? fr.at(v, fr.yHi) : fr.at(fr.xHi, v);
            p.setPen(QPen(kGrid, f));
            p.drawLine(a, b);
            p.setPen(kInk);
            const QString label = QString::number(v, 'f', decimals);
            if (axis == 0)
                p.drawText(QRectF(a.x() - 50 * f, a.y() + 6 * f, 100 * f, 20 * f),
                    Qt::AlignHCenter | Qt::AlignTop, label);
            else
                p.drawText(QRectF(a.x() - 106 * f, a.y() - 10 * f, 100 * f, 20 * f),
                    Qt::AlignRight | Qt::AlignVCenter, label);
        }
    }
    p.setPen(QPen(kInk, f));
    p.setBrush(Qt::NoBrush);
    p.drawRect(fr.area);
    p.setFont(font(14 * f));
    p.drawText(QRectF(fr.area.left(), fr.area.bottom() + 32 * f, fr.area.width(), 24 * f),
        Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("充填率 η"));
    p.save();
    p.translate(fr.area.left() - 76 * f, fr.area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-fr.area.height() / 2, -12 * f, fr.area.height(), 24 * f), Qt::AlignCenter,
        QStringLiteral("拡散係数 D（twip² ／ サブステップ）"));
    p.restore();
}

void drawLegend(QPainter &p, const Frame &fr, const std::vector<SeriesKey> &series)
{
    const double f = fr.f, row = 20 * f, pad = 8 * f, sample = 28 * f;
    std::vector<std::pair<QString, int>> entries; // label, colour (-1: the two kinds)
    entries.push_back({ QStringLiteral("● 測定値（平均 ± 標準誤差）"), -1 });
    entries.push_back(
        { QStringLiteral("○ エンスコッグ理論（Gass 1971、g(σ) は Henderson 1975）"), -1 });
    for (std::size_t k = 0; k < series.size(); ++k)
        entries.push_back({ seriesLabel(series[k]), static_cast<int>(k) });
    const QFont legendFont = font(12.5 * f);
    const QFontMetricsF fm(legendFont);
    double width = 0;
    for (const auto &e : entries)
        width = std::max(width, fm.horizontalAdvance(e.first));
    const QRectF box(fr.area.right() - width - sample - 3 * pad - 8 * f, fr.area.top() + 8 * f,
        width + sample + 3 * pad, entries.size() * row + pad);
    p.setPen(QPen(kGrid, f));
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRect(box);
    p.setFont(legendFont);
    double y = box.top() + pad / 2 + row / 2;
    for (const auto &[label, colour] : entries) {
        const double x0 = box.left() + pad;
        if (colour >= 0) {
            p.setPen(QPen(kSeries[colour % 6], 2 * f));
            p.drawLine(QPointF(x0, y), QPointF(x0 + sample, y));
        }
        p.setPen(kInk);
        p.drawText(QRectF(x0 + (colour >= 0 ? sample + pad : 0), y - row / 2, width + sample, row),
            Qt::AlignLeft | Qt::AlignVCenter, label);
        y += row;
    }
}

} // namespace

QImage renderSummary(const std::vector<GroupSummary> &groups, int dpi)
{
    const double f = std::min(dpi, kMaxPlotDpi) / 96.0;
    QImage image(static_cast<int>(std::lround(960 * f)), static_cast<int>(std::lround(640 * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(kInk);
    p.setFont(font(22 * f, true));
    p.drawText(QRectF(24 * f, 12 * f, 912 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("混み合いと拡散：拡散係数と充填率"));

    std::map<SeriesKey, std::vector<const GroupSummary *>> bySeries;
    std::vector<SeriesKey> order;
    double xHi = 0, yHi = 0;
    for (const GroupSummary &g : groups) {
        const SeriesKey k { g.key.unbounded, g.key.numSide, g.key.speed, g.key.ticks };
        if (bySeries[k].empty())
            order.push_back(k);
        bySeries[k].push_back(&g);
        xHi = std::max(xHi, g.packingFraction);
        yHi = std::max({ yHi, g.dMean.value_or(0) + g.dStderr.value_or(0), g.dEnskog.value_or(0) });
    }
    const Frame fr { QRectF(110 * f, 70 * f, 820 * f, 490 * f),
        niceStep(xHi * 1.1, 6) * std::ceil(xHi * 1.1 / niceStep(xHi * 1.1, 6)),
        yHi > 0 ? niceStep(yHi * 1.15, 5) * std::ceil(yHi * 1.15 / niceStep(yHi * 1.15, 5)) : 1,
        f };
    drawAxes(p, fr);

    for (std::size_t s = 0; s < order.size(); ++s) {
        std::vector<const GroupSummary *> members = bySeries[order[s]];
        std::sort(members.begin(), members.end(),
            [](auto *a, auto *b) { return a->packingFraction < b->packingFraction; });
        const QColor c = kSeries[s % 6];
        QPolygonF curve;
        for (const GroupSummary *g : members) {
            if (g->dEnskog)
                curve << fr.at(g->packingFraction, *g->dEnskog);
        }
        QPen dashed(c, 1.5 * f, Qt::DashLine);
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(curve);
        p.setPen(QPen(c, 1.5 * f));
        p.setBrush(Qt::white);
        for (const QPointF &pt : curve)
            p.drawEllipse(pt, 4 * f, 4 * f);
        p.setBrush(c);
        for (const GroupSummary *g : members) {
            if (!g->dMean)
                continue;
            const double err = g->dStderr.value_or(0);
            const QPointF lo = fr.at(g->packingFraction, *g->dMean - err);
            const QPointF hi = fr.at(g->packingFraction, *g->dMean + err);
            p.drawLine(lo, hi);
            p.drawLine(lo - QPointF(4 * f, 0), lo + QPointF(4 * f, 0));
            p.drawLine(hi - QPointF(4 * f, 0), hi + QPointF(4 * f, 0));
            p.drawEllipse(fr.at(g->packingFraction, *g->dMean), 4 * f, 4 * f);
        }
    }
    drawLegend(p, fr, order);
    return image;
}

} // namespace brownian::lab
