#pragma once

#include "analysis/analysis.h"

#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brownian::lab {

/// What the teacher's picture shows.
struct PlotInput
{
    bool unbounded = false;
    int numSide = 5, size = 400, speed = 3, locus = 12;
    std::int64_t ticks = 0, subSteps = 0;
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

/// The picture: MSD against lag on log-log axes with the ballistic and diffusive guides and
/// the fitted diffusion coefficient, beside the speed histogram with its expected curve,
/// labelled in Japanese. 1280 × 640 pixels at 96 dpi, scaled with `dpi`. Needs a
/// QGuiApplication for the fonts.
QImage renderPlot(const PlotInput &input, int dpi);

/// PNG bytes of an image.
std::string encodePng(const QImage &image);

} // namespace brownian::lab
