#pragma once

#include "pixels.h"
#include "sim/canvas.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace brownian {

/// Two groups of four neighbouring pixels of a disc sprite, A and B, blended onto the picture
/// together: the sprite's premultiplied pixels and, for every channel, 255 less their alpha.
/// The last pair of a sprite may hold group A only; B is then transparent.
struct alignas(32) BlendPair
{
    std::uint32_t src[8]; // A's four pixels, then B's
    std::uint16_t inverseAlpha[32];
    std::int32_t offset[2]; // y × stride + x in the picture, from the sprite's corner
    std::int16_t x[2], y[2]; // sprite column and row of each group's first pixel
    bool single = false;
};

/// Eight neighbouring opaque pixels of a disc sprite, all of the disc's colour.
struct FillGroup
{
    std::int32_t offset; // y × stride + x in the picture, from the sprite's corner
    std::int16_t x, y; // sprite column and row of the first pixel
};

/// A disc, antialiased, at one radius, colour and sub-pixel offset, as the groups of pixels
/// that draw it. Every pixel that is not transparent lies in exactly one blend group or in one
/// or more fill groups (these may overlap each other). Blend groups may reach into the opaque
/// middle (blending an opaque pixel copies it) or into transparent pixels (which leave the
/// picture as it is), never into each other.
struct DiscSprite
{
    std::vector<BlendPair> blends;
    std::vector<FillGroup> fills;
    qsizetype stride = 0; // the picture row length the offsets were made for, bytes
    std::uint32_t solid = 0; // the disc's colour, opaque
    int minX = 0, maxX = 0, minY = 0, maxY = 0; // extent of all groups, [min, max)
};

/// Draws a disc sprite with its top-left corner at (left, top) of the picture, clipped to it,
/// with the widest vectors the processor has.
void drawDisc(DiscSprite &sprite, const pixels::Target &target, int left, int top);

/// Keeps drawDisc to the baseline instruction set (SSE2 on x86-64) also where wider vectors
/// are available, so that both variants can be checked and timed.
void setDiscBaselineVectorsOnly(bool on);

/// The sprites of the discs drawn lately, rendered once per radius, colour and sub-pixel
/// offset (antialiased, at the picture's resolution) and kept for the few latest radii and
/// colours.
class DiscSprites
{
public:
    /// Sub-pixel positions of a disc per device pixel and axis.
    static constexpr int kSubPixel = 4;

    DiscSprites();
    ~DiscSprites();
    DiscSprites(const DiscSprites &) = delete;
    DiscSprites &operator=(const DiscSprites &) = delete;

    /// The disc of a radius in device pixels and a colour, its centre at 1 + radius plus
    /// (subX, subY) / kSubPixel from the sprite's corner on both axes.
    DiscSprite &get(double radiusPx, Rgb color, int subX, int subY);
    void clear();

private:
    struct Set;
    std::vector<std::unique_ptr<Set>> m_sets;
    Set *m_last = nullptr;
};

} // namespace brownian
