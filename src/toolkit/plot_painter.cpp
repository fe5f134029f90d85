#include "plot_painter.h"

#include <QFontMetricsF>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace brownian::plotting {

namespace {

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

/// A grid line across the area at `px` on the axis.
void gridLine(Painter &g, double px, const QRectF &area, bool horizontal)
{
    g.p.setPen(QPen(kGrid, g.f));
    if (horizontal)
        g.p.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
    else
        g.p.drawLine(QPointF(area.left(), px), QPointF(area.right(), px));
}

} // namespace

double Axis::map(double v) const
{
    const double t = log ? (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))
                         : (v - lo) / (hi - lo);
    return from + t * (to - from);
}

void decades(double lo, double hi, double &outLo, double &outHi)
{
    outLo = std::pow(10.0, std::floor(std::log10(lo)));
    outHi = std::pow(10.0, std::ceil(std::log10(hi)));
    if (outHi <= outLo)
        outHi = outLo * 10.0;
}

QString number(double v, int digits)
{
    return QString::number(v, 'g', digits);
}

Painter::Painter(QPainter &painter, double scale)
    : p(painter)
    , f(scale)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QFont Painter::font(double px, bool bold) const
{
    QFont font;
    font.setFamilies({ QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif") });
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(px * f))));
    font.setBold(bold);
    return font;
}

void Painter::text(
    const QRectF &r, int flags, const QString &s, double px, const QColor &c, bool bold)
{
    p.setFont(font(px, bold));
    p.setPen(c);
    p.drawText(r, flags, s);
}

void Painter::powerOfTen(double x, double y, int exponent, bool rightAligned)
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

void frame(Painter &g, const QRectF &area)
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
            if (m == 1)
                gridLine(g, px, area, horizontal);
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
        gridLine(g, px, area, horizontal);
        if (horizontal)
            g.text(QRectF(px - 50 * g.f, area.bottom() + 6 * g.f, 100 * g.f, 20 * g.f),
                Qt::AlignHCenter | Qt::AlignTop, label, 13);
        else
            g.text(QRectF(area.left() - 106 * g.f, px - 10 * g.f, 100 * g.f, 20 * g.f),
                Qt::AlignRight | Qt::AlignVCenter, label, 13);
    }
}

void axisTitles(Painter &g, const QRectF &area, const QString &x, const QString &y, double slack)
{
    g.text(
        QRectF(area.left() - slack, area.bottom() + 32 * g.f, area.width() + 2 * slack, 24 * g.f),
        Qt::AlignHCenter | Qt::AlignTop, x, 14);
    g.p.save();
    g.p.translate(area.left() - 72 * g.f, area.center().y());
    g.p.rotate(-90);
    g.text(QRectF(-area.height() / 2, -12 * g.f, area.height(), 24 * g.f), Qt::AlignCenter, y, 14);
    g.p.restore();
}

void noData(Painter &g, const QRectF &area)
{
    g.text(area, Qt::AlignCenter, QStringLiteral("データがありません"), 16, kBallistic);
}

void legend(Painter &g, QPointF corner, const std::vector<LegendEntry> &entries, bool alignRight)
{
    const QFontMetricsF fm(g.font(12.5));
    double width = 0;
    for (const auto &e : entries)
        width = std::max(width, fm.horizontalAdvance(e.label));
    const double row = 20 * g.f, sample = 28 * g.f, pad = 8 * g.f;
    const QRectF box(alignRight ? corner.x() - width - sample - 3 * pad : corner.x(), corner.y(),
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

} // namespace brownian::plotting
