#pragma once

#include "model/integer.h"
#include "sim/canvas.h"

#include <optional>

namespace brownian {

/// What the settings dialog's preview shows, read afresh at each paint.
struct LocusPreview
{
    /// W and H: the drawing area in twips.
    float widthTwips = 0, heightTwips = 0;
    /// n: the value of the count field's text; 1..10 once the field is validated.
    double count = 0;
    /// s: the value of the size field's text, the particle diameter in twips; 200..500 once
    /// validated.
    double size = 0;
    /// 0 bounded (field 5000 twips), 1 unbounded (field 6000 twips, frame shown).
    Integer boundMode = 0;
    /// The picked particle, drawn red: index k sits in row k \ N and column k mod N.
    Integer pick = 0;
};

/// Largest count per side, and largest diameter in twips, that the preview pictures while a
/// field is still being edited; texts beyond them describe no start grid and leave it blank.
inline constexpr double kPreviewMaxCount = 100;
inline constexpr double kPreviewMaxSize = 6000;

/// Draws the preview in full: clears the canvas, then n × n green discs of radius
/// ((W ÷ F) × s) ÷ 2 centred in equal cells, the pick as a red disc on top and, in the unbounded
/// mode, a black frame from W/12 to 11W/12 drawn with the transparent fill style, which is set
/// back to solid at the end. Blank when the count or the size reads 0 (or lies beyond the
/// limits above); a count that rounds to 0 draws no red disc.
void drawLocusPreview(Canvas &canvas, const LocusPreview &preview);

/// The particle under a release at (X, Y) twips of a W × H preview of `count` per side: the cell
/// row floor(Y n ÷ H) and column floor(X n ÷ W), each clamped into 0..N - 1 so that a release
/// outside the area picks the nearest edge cell, as col + n × row. Empty when there is no grid
/// to pick from (a count below 1 or beyond kPreviewMaxCount, or an empty area).
std::optional<Integer> pickParticle(
    float widthTwips, float heightTwips, double count, float X, float Y);

} // namespace brownian
