#pragma once

#include "commands.h"
#include "merge_stats.h"

#include <QImage>

namespace brownian::lab {

/// `merge DIR`: reads the finished runs, writes summary.csv, summary-msd.csv and summary.png.
int mergeCommand(const MergeOptions &options, const GuiStarter &startGui);

/// The figure: D against the packing fraction with error bars, beside the Enskog values,
/// labelled in Japanese; 960 × 640 pixels at 96 dpi. Needs a QGuiApplication for the fonts.
QImage renderSummary(const std::vector<GroupSummary> &groups, int dpi);

} // namespace brownian::lab
