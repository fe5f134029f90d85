#pragma once

namespace brownian::field {

/// Side of the bounded box, twips: the walls stand at 0 and kBoxSide on both axes.
inline constexpr float kBoxSide = 5000.0f;
/// Low and high edge of the wrap-around field of the unbounded mode, twips.
inline constexpr float kFieldLow = -500.0f;
inline constexpr float kFieldHigh = 5500.0f;
/// Period of the wrap-around field, twips: kFieldHigh - kFieldLow.
inline constexpr float kPeriod = 6000.0f;
/// Side of the square 0..kViewSide that the main window shows, twips.
inline constexpr float kViewSide = 5000.0f;
/// Side of the main window's square path picture, twips (the lab and the Python module save it).
inline constexpr double kPathPictureSide = 5063;
/// Margin of the placement in each mode, twips: the start grid fills -Margin/2..5000+Margin/2.
inline constexpr int kBoundedMargin = 0;
inline constexpr int kUnboundedMargin = 1000;

static_assert(kFieldHigh - kFieldLow == kPeriod);
static_assert(kBoxSide + kUnboundedMargin == kPeriod);

} // namespace brownian::field
