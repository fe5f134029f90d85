#pragma once

#include "toolkit/image_surface.h"
#include "toolkit/plot.h"

#include <QImage>

#include <cstdint>

namespace brownian::lab {

/// What the teacher's picture shows: the run's settings above the two panels.
struct PlotInput : PlotData
{
    int size = 400, speed = 3, locus = 12;
    std::int64_t ticks = 0, subSteps = 0;
};

/// The resolution the figures are drawn at, at most: 4000 × 2000 pixels for the run's plot.
inline constexpr int kMaxPlotDpi = 300;

/// The picture: the mode and the settings, then the panels of drawPlotPanels side by side.
/// 1280 × 640 pixels at 96 dpi, scaled with `dpi` (kMaxPlotDpi at most). Needs a QGuiApplication
/// for the fonts.
QImage renderPlot(const PlotInput &input, int dpi);

} // namespace brownian::lab
