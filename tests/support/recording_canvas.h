#pragma once

// A canvas that records what is drawn, for the tests of the steps, the frame and the preview.

#include "sim/canvas.h"

#include <vector>

namespace brownian::test {

/// Remembers every line, circle and rectangle, each with the fill colour and style in force.
class RecordingCanvas final : public Canvas
{
public:
    struct Line
    {
        float x1, y1, x2, y2;
        Rgb color;
    };
    struct Circle
    {
        float x, y, r;
        Rgb outline, fill;
        FillStyle style;
        int fillSetsBefore; ///< setFillColor calls made since the previous circle
    };
    struct Rectangle
    {
        float x1, y1, x2, y2;
        Rgb outline, fill;
        FillStyle style;
    };

    void clear() override { ++clears; }
    void setFillColor(Rgb color) override
    {
        fill = color;
        ++fillSets;
    }
    void setFillStyle(FillStyle s) override { style = s; }
    void circle(float x, float y, float r, Rgb outline) override
    {
        circles.push_back({ x, y, r, outline, fill, style, fillSets });
        fillSets = 0;
    }
    void line(float x1, float y1, float x2, float y2, Rgb color) override
    {
        lines.push_back({ x1, y1, x2, y2, color });
    }
    void rectangle(float x1, float y1, float x2, float y2, Rgb outline) override
    {
        rectangles.push_back({ x1, y1, x2, y2, outline, fill, style });
    }

    /// The circles drawn with the given outline, in drawing order.
    std::vector<Circle> circlesOf(Rgb outline) const
    {
        std::vector<Circle> out;
        for (const Circle &c : circles)
            if (c.outline == outline)
                out.push_back(c);
        return out;
    }
    /// The rectangles drawn with the given outline, in drawing order.
    std::vector<Rectangle> rectanglesOf(Rgb outline) const
    {
        std::vector<Rectangle> out;
        for (const Rectangle &r : rectangles)
            if (r.outline == outline)
                out.push_back(r);
        return out;
    }

    std::vector<Line> lines;
    std::vector<Circle> circles;
    std::vector<Rectangle> rectangles;
    /// Colours no drawing code uses, so that a shape drawn before any setting shows.
    Rgb fill { 1, 2, 3 };
    FillStyle style = FillStyle::Solid;
    int fillSets = 0;
    int clears = 0;
};

} // namespace brownian::test
