#pragma once

#include "analysis/analysis.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QPainter;

namespace brownian {

/// What the two panels of the physics plot show.
struct PlotData
{
    bool unbounded = false;
    int numSide = 5;
    std::vector<MsdPoint> msd;
    std::optional<DiffusionFit> fit;
    /// Mean squared speed (relative to the centre of mass on the torus), twips² per sub-step²:
    /// the ballistic guide is MSD = meanSquaredSpeed × lag².
    double meanSquaredSpeed = 0;
    std::vector<SpeedBin> speeds;
    /// The expected distribution function of one speed, for the smooth curve.
    std::function<double(double)> cdf;
    /// Speeds counted in all (particles × samples).
    double totalSpeeds = 0;
};

/// Fills the panels' data from a run's accumulators: the MSD points and their fitted
/// diffusion coefficient, the speed bins with the expected curve at the histogram's mean Σ.
/// The lab's picture and the observation window fill it alike.
void fillPlotData(PlotData &data, std::vector<MsdPoint> msd, const SpeedHistogram &histogram,
    std::vector<SpeedBin> bins, int particles);

/// Where the panels go, in logical pixels: the plot area of each (inside its axes; the titles,
/// tick labels, axis titles and the fit line lie around it), and whether their legends and
/// fit line take the short wording, for small pictures.
struct PlotLayout
{
    QRectF msd, speeds;
    bool compact = false;
};

/// The layout of both panels side by side in `box` (logical pixels): each takes half of it
/// less the room its texts need. Boxes narrower than 1000 pixels take the short wording.
PlotLayout plotLayout(const QRectF &box);

/// Draws the panels: the mean squared displacement against the lag on log-log axes with the
/// ballistic and diffusive guides and the fitted diffusion coefficient, and the speed
/// histogram with its expected curve, labelled in Japanese. `scale` is the painter's units
/// per logical pixel (the device-pixel ratio when it paints device pixels). Needs a
/// QGuiApplication for the fonts.
void drawPlotPanels(
    QPainter &painter, const PlotData &data, const PlotLayout &layout, double scale);

/// The panels alone on white, laid out by plotLayout in `logicalSize` and drawn at
/// `devicePixelRatio` (which the image carries): what a window shows.
QImage renderPlotPanels(const PlotData &data, QSize logicalSize, double devicePixelRatio);

/// Text in the plot's font and ink, `px` logical pixels high, at `scale` as above.
void drawPlotText(QPainter &painter, const QRectF &rect, int flags, const QString &text, double px,
    double scale, bool bold = false);

} // namespace brownian
