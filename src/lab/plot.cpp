#include "plot.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace brownian::lab {

namespace {

const QColor kInk(40, 40, 40);
const QColor kGrid(225, 225, 225);
const QColor kMeasured(30, 90, 200);
const QColor kBallistic(120, 120, 120);
const QColor kDiffusive(230, 120, 0);
const QColor kBar(0, 200, 0, 140); // the particles' green, lightened
const QColor kBarEdge(0, 130, 0);
const QColor kExpected(255, 0, 0); // the tracked particle's red

/// One axis: values lo..hi onto pixels from..to, linear or logarithmic.
struct Axis
{
    double lo = 0, hi = 1;
    bool log = false;
    double from = 0, to = 1;

    double map(double v) const
    {
        const double t = log ? (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))
                             : (v - lo) / (hi - lo);
        return from + t * (to - from);
    }
};

/// Whole decades around lo..hi (both > 0).
void decades(double lo, double hi, double &outLo, double &outHi)
{
    outLo = std::pow(10.0, std::floor(std::log10(lo)));
    outHi = std::pow(10.0, std::ceil(std::log10(hi)));
    if (outHi <= outLo)
        outHi = outLo * 10.0;
}

/// A step of 1, 2 or 5 times a power of ten giving about `count` intervals over `span`.
double niceStep(double span, int count)
{
    if (!(span > 0))
        return 1.0;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    return (m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0) * power;
}

QString number(double v, int digits = 3)
{
    return QString::number(v, 'g', digits);
}

class Painter
{
public:
    Painter(QImage &image, double scale)
        : p(&image)
        , f(scale)
    {
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
    }

    QFont font(double px, bool bold = false) const
    {
        QFont font;
        font.setFamilies({ QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif") });
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(px * f))));
        font.setBold(bold);
        return font;
    }

    void text(const QRectF &r, int flags, const QString &s, double px, const QColor &c = kInk,
        bool bold = false)
    {
        p.setFont(font(px, bold));
        p.setPen(c);
        p.drawText(r, flags, s);
    }

    /// "10" with a raised exponent, centred on (x, y) or right-aligned at x.
    void powerOfTen(double x, double y, int exponent, bool rightAligned)
    {
        const QFont base = font(13), small = font(9);
        const QString e = QString::number(exponent);
        const double wBase = QFontMetricsF(base).horizontalAdvance(QStringLiteral("10"));
        const double wExp = QFontMetricsF(small).horizontalAdvance(e);
        const double left = rightAligned ? x - wBase - wExp : x - (wBase + wExp) / 2;
        const double ascent = QFontMetricsF(base).ascent();
        p.setPen(kInk);
        p.setFont(base);
        p.drawText(QPointF(left, y + ascent / 2), QStringLiteral("10"));
        p.setFont(small);
        p.drawText(QPointF(left + wBase, y - ascent / 6), e);
    }

    QPainter p;
    double f;
};

void frameAndGrid(Painter &g, const QRectF &area)
{
    g.p.setPen(QPen(kInk, g.f));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawRect(area);
}

void drawLogAxis(Painter &g, const Axis &a, const QRectF &area, bool horizontal)
{
    const int first = static_cast<int>(std::lround(std::log10(a.lo)));
    const int last = static_cast<int>(std::lround(std::log10(a.hi)));
    for (int e = first; e <= last; ++e) {
        for (int m = 1; m <= 9; ++m) {
            const double v = m * std::pow(10.0, e);
            if (v < a.lo * (1 - 1e-9) || v > a.hi * (1 + 1e-9))
                continue;
            const double px = a.map(v);
            const double tick = (m == 1 ? 6 : 3) * g.f;
            if (m == 1) {
                g.p.setPen(QPen(kGrid, g.f));
                if (horizontal)
                    g.p.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
                else
                    g.p.drawLine(QPointF(area.left(), px), QPointF(area.right(), px));
            }
            g.p.setPen(QPen(kInk, g.f));
            if (horizontal) {
                g.p.drawLine(QPointF(px, area.bottom()), QPointF(px, area.bottom() - tick));
                if (m == 1)
                    g.powerOfTen(px, area.bottom() + 16 * g.f, e, false);
            } else {
                g.p.drawLine(QPointF(area.left(), px), QPointF(area.left() + tick, px));
                if (m == 1)
                    g.powerOfTen(area.left() - 8 * g.f, px, e, true);
            }
        }
    }
}

void drawLinearAxis(Painter &g, const Axis &a, const QRectF &area, bool horizontal)
{
    const double step = niceStep(a.hi - a.lo, horizontal ? 6 : 5);
    for (double v = std::ceil(a.lo / step) * step; v <= a.hi * (1 + 1e-9); v += step) {
        const double px = a.map(v);
        const double shown = std::fabs(v) < step * 1e-6 ? 0.0 : v;
        const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
        const QString label =
            step >= 1e7 ? number(shown, 4) : QString::number(shown, 'f', decimals);
        g.p.setPen(QPen(kGrid, g.f));
        if (horizontal)
            g.p.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        else
            g.p.drawLine(QPointF(area.left(), px), QPointF(area.right(), px));
        if (horizontal)
            g.text(QRectF(px - 50 * g.f, area.bottom() + 6 * g.f, 100 * g.f, 20 * g.f),
                Qt::AlignHCenter | Qt::AlignTop, label, 13);
        else
            g.text(QRectF(area.left() - 106 * g.f, px - 10 * g.f, 100 * g.f, 20 * g.f),
                Qt::AlignRight | Qt::AlignVCenter, label, 13);
    }
}

void axisTitles(Painter &g, const QRectF &area, const QString &x, const QString &y)
{
    g.text(QRectF(area.left(), area.bottom() + 32 * g.f, area.width(), 24 * g.f),
        Qt::AlignHCenter | Qt::AlignTop, x, 14);
    g.p.save();
    g.p.translate(area.left() - 72 * g.f, area.center().y());
    g.p.rotate(-90);
    g.text(QRectF(-area.height() / 2, -12 * g.f, area.height(), 24 * g.f), Qt::AlignCenter, y, 14);
    g.p.restore();
}

struct LegendEntry
{
    QString label;
    QColor color;
    enum Kind { Line, Dashed, Marker, Box } kind;
};

void legend(Painter &g, QPointF topLeft, const std::vector<LegendEntry> &entries, bool alignRight)
{
    const QFont font = g.font(12.5);
    const QFontMetricsF fm(font);
    double width = 0;
    for (const auto &e : entries)
        width = std::max(width, fm.horizontalAdvance(e.label));
    const double row = 20 * g.f, sample = 28 * g.f, pad = 8 * g.f;
    const QRectF box(alignRight ? topLeft.x() - width - sample - 3 * pad : topLeft.x(), topLeft.y(),
        width + sample + 3 * pad, entries.size() * row + pad);
    g.p.setPen(QPen(kGrid, g.f));
    g.p.setBrush(QColor(255, 255, 255, 230));
    g.p.drawRect(box);
    double y = box.top() + pad / 2 + row / 2;
    for (const auto &e : entries) {
        const double x0 = box.left() + pad, x1 = x0 + sample;
        QPen pen(e.color, 2 * g.f);
        if (e.kind == LegendEntry::Dashed)
            pen.setStyle(Qt::DashLine);
        g.p.setPen(pen);
        g.p.setBrush(Qt::NoBrush);
        switch (e.kind) {
        case LegendEntry::Line:
        case LegendEntry::Dashed:
            g.p.drawLine(QPointF(x0, y), QPointF(x1, y));
            break;
        case LegendEntry::Marker:
            g.p.drawLine(QPointF(x0, y), QPointF(x1, y));
            g.p.setBrush(e.color);
            g.p.drawEllipse(QPointF((x0 + x1) / 2, y), 3 * g.f, 3 * g.f);
            break;
        case LegendEntry::Box:
            g.p.setPen(QPen(kBarEdge, g.f));
            g.p.setBrush(e.color);
            g.p.drawRect(QRectF(x0 + 4 * g.f, y - 6 * g.f, sample - 8 * g.f, 12 * g.f));
            break;
        }
        g.text(QRectF(x1 + pad, y - row / 2, width + pad, row), Qt::AlignLeft | Qt::AlignVCenter,
            e.label, 12.5);
        y += row;
    }
}

void noData(Painter &g, const QRectF &area)
{
    g.text(area, Qt::AlignCenter, QStringLiteral("データがありません"), 16, kBallistic);
}

void drawMsdPanel(Painter &g, const PlotInput &in, const QRectF &area)
{
    g.text(QRectF(area.left(), area.top() - 34 * g.f, area.width(), 26 * g.f),
        Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("平均二乗変位"), 17, kInk, true);
    std::vector<MsdPoint> points;
    for (const MsdPoint &m : in.msd) {
        if (m.msd > 0 && std::isfinite(m.msd))
            points.push_back(m);
    }
    if (points.empty()) {
        frameAndGrid(g, area);
        noData(g, area);
        axisTitles(g, area, QStringLiteral("時間差（サブステップ）"),
            QStringLiteral("平均二乗変位（twip²）"));
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

    g.p.save();
    g.p.setClipRect(area);
    if (in.fit) {
        // The stretch of lags the fit used.
        const double a = x.map(static_cast<double>(in.fit->fromLag));
        const double b = x.map(static_cast<double>(in.fit->toLag));
        g.p.fillRect(QRectF(a, area.top(), b - a, area.height()), QColor(255, 200, 120, 60));
    }
    // Guides are straight lines on log-log axes: draw them through many points so that the
    // clip handles both ends.
    auto guide = [&](const std::function<double(double)> &f, const QColor &c) {
        QPainterPath path;
        bool started = false;
        for (int k = 0; k <= 200; ++k) {
            const double lag = x.lo * std::pow(x.hi / x.lo, k / 200.0);
            const double v = f(lag);
            if (!(v > 0))
                continue;
            const QPointF pt(x.map(lag), y.map(v));
            if (!started)
                path.moveTo(pt);
            else
                path.lineTo(pt);
            started = true;
        }
        QPen pen(c, 1.6 * g.f, Qt::DashLine);
        g.p.setPen(pen);
        g.p.setBrush(Qt::NoBrush);
        g.p.drawPath(path);
    };
    if (in.meanSquaredSpeed > 0)
        guide([&](double lag) { return in.meanSquaredSpeed * lag * lag; }, kBallistic);
    if (in.fit)
        guide([&](double lag) { return 4.0 * in.fit->coefficient * lag; }, kDiffusive);

    QPainterPath line;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const QPointF pt(x.map(static_cast<double>(points[k].lag)), y.map(points[k].msd));
        if (k == 0)
            line.moveTo(pt);
        else
            line.lineTo(pt);
    }
    g.p.setPen(QPen(kMeasured, 1.8 * g.f));
    g.p.setBrush(Qt::NoBrush);
    g.p.drawPath(line);
    g.p.setBrush(kMeasured);
    g.p.setPen(Qt::NoPen);
    for (const MsdPoint &m : points)
        g.p.drawEllipse(
            QPointF(x.map(static_cast<double>(m.lag)), y.map(m.msd)), 2.4 * g.f, 2.4 * g.f);
    g.p.restore();
    frameAndGrid(g, area);

    std::vector<LegendEntry> entries { { QStringLiteral("測定値"), kMeasured, LegendEntry::Marker },
        { QStringLiteral("弾道的 ∝ t²（平均二乗速さ × t²）"), kBallistic, LegendEntry::Dashed } };
    if (in.fit)
        entries.push_back({ QStringLiteral("拡散的 ∝ t（4Dt）"), kDiffusive, LegendEntry::Dashed });
    legend(g, QPointF(area.left() + 10 * g.f, area.top() + 10 * g.f), entries, false);

    axisTitles(
        g, area, QStringLiteral("時間差（サブステップ）"), QStringLiteral("平均二乗変位（twip²）"));
    const QString fitText = in.fit
        ? QStringLiteral("拡散係数 D = %1 twip²／サブステップ（時間差 %2〜%3 で当てはめ）")
              .arg(number(in.fit->coefficient, 4))
              .arg(in.fit->fromLag)
              .arg(in.fit->toLag)
        : QStringLiteral("拡散係数：拡散的な範囲（傾き 1）が見つかりませんでした");
    g.text(
        QRectF(area.left() - 60 * g.f, area.bottom() + 58 * g.f, area.width() + 60 * g.f, 24 * g.f),
        Qt::AlignHCenter | Qt::AlignTop, fitText, 14, in.fit ? kDiffusive.darker(130) : kInk, true);
}

void drawSpeedPanel(Painter &g, const PlotInput &in, const QRectF &area)
{
    g.text(QRectF(area.left(), area.top() - 34 * g.f, area.width(), 26 * g.f),
        Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("速さの分布（時間平均）"), 17, kInk, true);
    const QString xTitle = in.unbounded ? QStringLiteral("重心に対する速さ（twip／サブステップ）")
                                        : QStringLiteral("速さ（twip／サブステップ）");
    if (in.speeds.empty()) {
        frameAndGrid(g, area);
        noData(g, area);
        axisTitles(g, area, xTitle, QStringLiteral("度数"));
        return;
    }
    const double xMax = in.speeds.back().high;
    const double binWidth = in.speeds.front().high - in.speeds.front().low;

    // The expected curve: counts per bin width, from the distribution function.
    std::vector<QPointF> curve;
    double yMax = 0;
    if (in.cdf && xMax > 0 && binWidth > 0) {
        const int samples = 400;
        const double h = xMax / samples;
        for (int k = 0; k <= samples; ++k) {
            const double v = k * h;
            const double a = std::max(0.0, v - h / 2), b = v + h / 2;
            const double density = (in.cdf(b) - in.cdf(a)) / (b - a);
            const double count = in.totalSpeeds * density * binWidth;
            curve.emplace_back(v, count);
            yMax = std::max(yMax, count);
        }
    }
    for (const SpeedBin &b : in.speeds)
        yMax = std::max({ yMax, static_cast<double>(b.count), b.expected });
    if (!(yMax > 0))
        yMax = 1;

    Axis x { 0, xMax > 0 ? xMax : 1, false, area.left(), area.right() };
    Axis y { 0, yMax * 1.12, false, area.bottom(), area.top() };
    drawLinearAxis(g, x, area, true);
    drawLinearAxis(g, y, area, false);

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
        QPainterPath path;
        for (std::size_t k = 0; k < curve.size(); ++k) {
            const QPointF pt(x.map(curve[k].x()), y.map(curve[k].y()));
            if (k == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        g.p.setPen(QPen(kExpected, 2 * g.f));
        g.p.setBrush(Qt::NoBrush);
        g.p.drawPath(path);
    }
    g.p.restore();
    frameAndGrid(g, area);

    const QString expected = in.unbounded
        ? QStringLiteral("期待される分布（N = %1、エネルギーと運動量が一定）")
              .arg(in.numSide * in.numSide)
        : QStringLiteral("期待される分布（N = %1、エネルギーが一定）").arg(in.numSide * in.numSide);
    legend(g, QPointF(area.right() - 10 * g.f, area.top() + 10 * g.f),
        { { QStringLiteral("測定値"), kBar, LegendEntry::Box },
            { expected, kExpected, LegendEntry::Line } },
        true);
    axisTitles(g, area, xTitle, QStringLiteral("度数"));
}

} // namespace

QImage renderPlot(const PlotInput &in, int dpi)
{
    const double f = dpi / 96.0;
    QImage image(static_cast<int>(std::lround(1280 * f)), static_cast<int>(std::lround(640 * f)),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    Painter g(image, f);

    const QString title = in.unbounded ? QStringLiteral("ヴァリム（境界なし）")
                                       : QStringLiteral("ヴァリム（境界あり）");
    g.text(QRectF(24 * f, 12 * f, 1232 * f, 32 * f), Qt::AlignLeft | Qt::AlignVCenter, title, 22,
        kInk, true);
    const QString settings = QStringLiteral("粒子数：%1　粒子の大きさ：%2　粒子の速さ：%"
                                            "3　軌跡を描く粒子：%4　%5 ティック（%6 サブステップ）")
                                 .arg(in.numSide * in.numSide)
                                 .arg(in.size)
                                 .arg(in.speed)
                                 .arg(in.locus)
                                 .arg(in.ticks)
                                 .arg(in.subSteps);
    g.text(
        QRectF(24 * f, 44 * f, 1232 * f, 24 * f), Qt::AlignLeft | Qt::AlignVCenter, settings, 14);

    drawMsdPanel(g, in, QRectF(105 * f, 120 * f, 510 * f, 400 * f));
    drawSpeedPanel(g, in, QRectF(750 * f, 120 * f, 505 * f, 400 * f));
    return image;
}

std::string encodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Every picture is opaque: without the alpha channel the file is a quarter smaller.
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG", 0);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace brownian::lab
