#pragma once

// The drawing pieces of the physics plot: colours, axes, titles and legends, in a painter whose
// units are `f` per logical pixel.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

namespace brownian::plotting {

inline const QColor kInk(40, 40, 40);
inline const QColor kGrid(225, 225, 225);
inline const QColor kMeasured(30, 90, 200);
inline const QColor kBallistic(120, 120, 120);
inline const QColor kDiffusive(230, 120, 0);
inline const QColor kBar(0, 200, 0, 140); // the particles' green, lightened
inline const QColor kBarEdge(0, 130, 0);
inline const QColor kExpected(255, 0, 0); // the tracked particle's red

/// One axis: values lo..hi onto painter units from..to, linear or logarithmic.
struct Axis
{
    double lo = 0, hi = 1;
    bool log = false;
    double from = 0, to = 1;

    double map(double v) const;
};

/// Whole decades around lo..hi (both > 0).
void decades(double lo, double hi, double &outLo, double &outHi);

/// A number in `digits` significant digits.
QString number(double v, int digits = 3);

/// A painter with the plot's font and `f` painter units per logical pixel.
class Painter
{
public:
    Painter(QPainter &painter, double scale);

    QFont font(double px, bool bold = false) const;
    void text(const QRectF &r, int flags, const QString &s, double px, const QColor &c = kInk,
        bool bold = false);
    /// "10" with a raised exponent, centred on (x, y) or right-aligned at x.
    void powerOfTen(double x, double y, int exponent, bool rightAligned);

    QPainter &p;
    double f;
};

/// The frame around a plot area.
void frame(Painter &g, const QRectF &area);
/// Grid lines, ticks and labels of a logarithmic axis at every power of ten.
void drawLogAxis(Painter &g, const Axis &a, const QRectF &area, bool horizontal);
/// Grid lines and labels of a linear axis at steps of 1, 2 or 5 times a power of ten.
void drawLinearAxis(Painter &g, const Axis &a, const QRectF &area, bool horizontal);
/// The titles of both axes, the vertical one turned; the horizontal one may reach `slack`
/// painter units beyond the area on either side.
void axisTitles(
    Painter &g, const QRectF &area, const QString &x, const QString &y, double slack = 0);
/// "No data" in the middle of a plot area.
void noData(Painter &g, const QRectF &area);

struct LegendEntry
{
    QString label;
    QColor color;
    enum Kind { Line, Dashed, Marker, Box } kind;
};

/// A legend box with its top-left (or, aligned right, top-right) corner at `corner`.
void legend(Painter &g, QPointF corner, const std::vector<LegendEntry> &entries, bool alignRight);

} // namespace brownian::plotting
