// brownian-lab merge: the runs of a sweep averaged into summary.csv and summary-msd.csv, and
// the figure summary.png: the diffusion coefficient against the packing fraction with the
// Enskog values for hard disks beside the measured ones, and below it Z = PA/NkT against the
// packing fraction with Henderson's equation of state, drawn with the plot's own painter.
#include "analysis/gas.h"
#include "commands.h"
#include "csv.h"
#include "merge_stats.h"
#include "output.h"
#include "plot.h"
#include "toolkit/plot_painter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;
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

/// The panel below, where any group has Z: Z against η with Henderson's curve over the whole
/// axis, and each series' means.
void drawZPanel(Painter &g, const QRectF &zArea, double xEnd, double yEnd,
    std::map<GroupKey, std::vector<const GroupSummary *>> &bySeries,
    const std::vector<GroupKey> &order, const LegendEntry &measured)
{
    const double f = g.f;
    g.text(QRectF(zArea.left(), zArea.top() - 40 * f, zArea.width(), 30 * f),
        Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("状態方程式：圧縮率因子 Z = PA/NkT と充填率"), 18, kInk, true);
    const auto [zx, zy] = drawAxes(g, zArea, xEnd, yEnd,
        QStringLiteral("充填率 η（圧力をとる面積に対して）"), QStringLiteral("Z = PA / NkT"));
    g.p.save();
    g.p.setClipRect(zArea);
    QPolygonF henderson;
    for (int k = 0; k <= 200; ++k) {
        const double eta = xEnd * k / 200.0;
        if (eta < 1)
            henderson << QPointF(zx.map(eta), zy.map(hendersonZ(eta)));
    }
    drawDashed(g, henderson, kInk);
    for (std::size_t k = 0; k < order.size(); ++k)
        drawMeans(g, zx, zy, bySeries[order[k]], kSeries[k % 6], &GroupSummary::zPackingFraction,
            &GroupSummary::zMean, &GroupSummary::zStderr);
    g.p.restore();
    legend(g, QPointF(zArea.left() + 8 * f, zArea.top() + 8 * f),
        { measured,
            { QStringLiteral("Henderson の状態方程式（剛体円板）"), kInk, LegendEntry::Dashed } },
        false);
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
    if (anyZ)
        drawZPanel(g, QRectF(110 * f, 700 * f, 820 * f, 360 * f), x.hi, axisEnd(zHi * 1.1),
            bySeries, order, measured);
    return image;
}

} // namespace

int mergeCommand(const MergeOptions &o)
{
    std::error_code ec;
    if (!fs::is_directory(o.dir, ec)) {
        printError("merge: '" + o.dir + "' is not a folder");
        return kExitBadInput;
    }
    int unfinished = 0;
    std::vector<GroupSummary> groups;
    try {
        groups = summarise(readRuns(o.dir, unfinished));
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }

    OutputSet files;
    std::vector<OutputFile *> out;
    for (const char *name : { "summary.csv", "summary-msd.csv", "summary.png" }) {
        if (!out.emplace_back(files.open("merge", (fs::path(o.dir) / name).string())))
            return kExitOutputFailed;
    }
    startGui();
    const auto [csv, msdCsv] = summaryFiles(groups);
    out[0]->write(csv);
    out[1]->write(msdCsv);
    out[2]->write(pngBytes(renderSummary(groups, o.dpi)));

    if (unfinished > 0)
        printError("note: " + std::to_string(unfinished) + " unfinished run"
            + (unfinished == 1 ? "" : "s") + " (without a manifest) left out");
    for (const GroupSummary &g : groups) {
        const GroupKey &k = g.key;
        const std::string of = std::string(k.unbounded ? "unbounded" : "bounded") + " num-side "
            + std::to_string(k.numSide) + " size " + std::to_string(k.size) + " speed "
            + std::to_string(k.speed) + " ticks " + std::to_string(k.ticks);
        if (!g.dMean)
            printError(
                "note: no diffusive stretch in the MSD of any run of " + of + ": D left empty");
        else if (g.fitted < g.runs)
            printError("note: " + std::to_string(g.runs - g.fitted) + " of "
                + std::to_string(g.runs) + " runs of " + of
                + " have no diffusive stretch; D is the mean of the others");
        if (!g.dEnskog)
            printError("note: not every run of " + of
                + " wrote stats.csv: no kinetic energy, D_enskog left empty");
    }
    return files.commitAll();
}

} // namespace brownian::lab
