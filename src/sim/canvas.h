#pragma once

#include <cstdint>

namespace brownian {

/// A colour as red, green, blue components 0..255.
struct Rgb
{
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kWhite { 255, 255, 255 };
inline constexpr Rgb kBlack { 0, 0, 0 };
inline constexpr Rgb kGreen { 0, 255, 0 };
inline constexpr Rgb kRed { 255, 0, 0 };

/// Fill style of a drawing surface: circles and rectangles are filled when solid.
enum class FillStyle {
    Solid = 0,
    Transparent = 1,
};

/// The drawing operations the simulation and the preview need, in twips, origin at the top-left
/// corner of the surface, y downward. The core draws through this interface and never knows
/// what is behind it; the toolkit implements it on a retained image.
class Canvas
{
public:
    virtual ~Canvas() = default;

    /// Clears the whole surface to its background colour.
    virtual void clear() = 0;
    virtual void setFillColor(Rgb color) = 0;
    virtual void setFillStyle(FillStyle style) = 0;
    /// A circle of radius `r` around (x, y) with the outline in `outline`, its interior filled
    /// with the fill colour when the fill style is solid.
    virtual void circle(float x, float y, float r, Rgb outline) = 0;
    /// A straight line from (x1, y1) to (x2, y2).
    virtual void line(float x1, float y1, float x2, float y2, Rgb color) = 0;
    /// A rectangle outline with opposite corners (x1, y1) and (x2, y2), filled according to
    /// the fill style.
    virtual void rectangle(float x1, float y1, float x2, float y2, Rgb outline) = 0;
    /// True for a canvas that keeps nothing of what is drawn on it, so that drawing a whole
    /// frame onto it can be left out.
    virtual bool keepsNothing() const { return false; }
};

/// A canvas that draws nothing, for headless runs that want no pictures.
class NullCanvas final : public Canvas
{
public:
    void clear() override { }
    void setFillColor(Rgb) override { }
    void setFillStyle(FillStyle) override { }
    void circle(float, float, float, Rgb) override { }
    void line(float, float, float, float, Rgb) override { }
    void rectangle(float, float, float, float, Rgb) override { }
    bool keepsNothing() const override { return true; }
};

} // namespace brownian
