#pragma once

// Helpers shared by the collision and step tests: a canvas that records what is drawn, states
// with hand-placed particles, and exact comparisons of the particle arrays.

#include "sim/step.h"
#include "model/modpar.h"
#include "sim/canvas.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace steptest {

using brownian::Canvas;
using brownian::FillStyle;
using brownian::ModPar;
using brownian::Rgb;

/// Remembers every line and circle, with the fill colour in force when the circle was drawn.
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
        int fillSetsBefore; // setFillColor calls made since the previous circle
    };

    void clear() override { ++clears; }
    void setFillColor(Rgb color) override
    {
        fill = color;
        ++fillSets;
    }
    void setFillStyle(FillStyle) override { }
    void circle(float x, float y, float r, Rgb outline) override
    {
        circles.push_back({ x, y, r, outline, fill, fillSets });
        fillSets = 0;
    }
    void line(float x1, float y1, float x2, float y2, Rgb color) override
    {
        lines.push_back({ x1, y1, x2, y2, color });
    }
    void rectangle(float, float, float, float, Rgb) override { }

    std::vector<Line> lines;
    std::vector<Circle> circles;
    Rgb fill { 255, 255, 255 };
    int fillSets = 0;
    int clears = 0;
};

struct Particle
{
    float x, y, vx, vy;
};

/// A state with NumSide² particles, every one parked at rest far from the others and from the
/// walls (on a 1000-twip grid from 500), ParSpeed 1 and LocusNo 0.
inline ModPar makeState(int numSide, int parSize)
{
    ModPar s;
    s.setDefaults();
    s.NumSide = numSide;
    s.ParSize = parSize;
    s.ParSpeed = 1;
    s.LocusNo = 0;
    s.redim();
    const int count = numSide * numSide;
    for (int i = 0; i < count; ++i) {
        s.ParX.at(i) = 500.0f + 1000.0f * static_cast<float>(i % numSide);
        s.ParY.at(i) = 500.0f + 1000.0f * static_cast<float>(i / numSide);
    }
    return s;
}

inline void put(ModPar &s, int i, Particle p)
{
    s.ParX.at(i) = p.x;
    s.ParY.at(i) = p.y;
    s.ParVX.at(i) = p.vx;
    s.ParVY.at(i) = p.vy;
}

inline Particle get(const ModPar &s, int i)
{
    return { s.ParX.at(i), s.ParY.at(i), s.ParVX.at(i), s.ParVY.at(i) };
}

/// The bit patterns of all four arrays, x, y, vx, vy of particle 0 first.
inline std::vector<std::uint32_t> stateBits(const ModPar &s)
{
    std::vector<std::uint32_t> bits;
    for (int i = 0; i < s.ParX.size(); ++i) {
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParX.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParY.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParVX.at(i)));
        bits.push_back(std::bit_cast<std::uint32_t>(s.ParVY.at(i)));
    }
    return bits;
}

/// Sum of the squared speeds (twice the kinetic energy of unit masses), in Double.
inline double kineticSum(const ModPar &s)
{
    double sum = 0.0;
    for (int i = 0; i < s.ParX.size(); ++i) {
        const double vx = s.ParVX.at(i), vy = s.ParVY.at(i);
        sum += vx * vx + vy * vy;
    }
    return sum;
}

inline bool sameBits(float a, float b)
{
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

} // namespace steptest
