#pragma once

#include "analysis/gas.h"

#include <QRectF>

class QPainter;

namespace brownian {

/// Draws the gas's strip chart in `box` (logical pixels; its texts inside it): the temperature
/// kT and the pressure as P·A/N (both twips² per sub-step², so that they share one axis and
/// their ratio is Z) tick by tick over the gauge's history, their running means, and the
/// pressure Henderson's equation of state gives for the current η and kT as a dashed line.
/// `scale` as for drawPlotPanels. Needs a QGuiApplication for the fonts.
void drawGasPanel(QPainter &painter, const GasGauge &gauge, const QRectF &box, double scale);

} // namespace brownian
