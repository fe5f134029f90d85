// The frame a tick draws on the frame buffer, read back from the image: green discs of the
// right size at the particles, the tracked one red and on top, the path segments, and the
// buffer left blank by the copy-then-clear of the main window.
#include "sim/simulation.h"
#include "support/recording_canvas.h"
#include "support/state_builder.h"
#include "toolkit/image_surface.h"

#include <QImage>

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <ostream>
#include <vector>

namespace brownian {
namespace {

constexpr double kTwipsPerPixel = 15.0; // 96 dpi

using test::RecordingCanvas;

/// A bounded state placed as the program places it.
ModPar makeState(int numSide, int size, int speed, int locus)
{
    return test::StateBuilder().numSide(numSide).size(size).speed(speed).locus(locus).placed();
}

enum class Kind { Other, Green, Red };

/// Pure or nearly pure particle colours: the inside of a disc and its almost covered edge.
Kind classify(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (g >= 240 && r <= 15 && b <= 15)
        return Kind::Green;
    if (r >= 240 && g <= 15 && b <= 15)
        return Kind::Red;
    return Kind::Other;
}

struct Component
{
    Kind kind;
    int area = 0;
    double cx = 0, cy = 0; // centroid, device pixels
};

/// Connected regions (4-neighbourhood) of green and of red pixels.
std::vector<Component> components(const QImage &image)
{
    const int w = image.width(), h = image.height();
    std::vector<Kind> kind(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            kind[static_cast<std::size_t>(y) * w + x] = classify(image.pixel(x, y));
    std::vector<bool> seen(kind.size());
    std::vector<Component> out;
    std::vector<int> stack;
    for (int start = 0; start < w * h; ++start) {
        if (seen[start] || kind[start] == Kind::Other)
            continue;
        Component c { kind[start] };
        stack.assign(1, start);
        seen[start] = true;
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            const int x = at % w, y = at / w;
            ++c.area;
            c.cx += x + 0.5;
            c.cy += y + 0.5;
            const int next[4][2] = { { x - 1, y }, { x + 1, y }, { x, y - 1 }, { x, y + 1 } };
            for (const auto &n : next) {
                if (n[0] < 0 || n[0] >= w || n[1] < 0 || n[1] >= h)
                    continue;
                const int k = n[1] * w + n[0];
                if (!seen[k] && kind[k] == c.kind) {
                    seen[k] = true;
                    stack.push_back(k);
                }
            }
        }
        c.cx /= c.area;
        c.cy /= c.area;
        out.push_back(c);
    }
    return out;
}

double minimumCentreDistance(const ModPar &s)
{
    const int n = s.lastIndex().value() + 1;
    double best = 1e300;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            best = std::min(best,
                std::hypot(double(s.ParX.data()[i]) - s.ParX.data()[j],
                    double(s.ParY.data()[i]) - s.ParY.data()[j]));
    return best;
}

struct FrameCase
{
    const char *name;
    int numSide, size, speed, locus;
};

void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

class FrameAfterTick : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P(FrameAfterTick, GreenDiscsOfTheRightSizeAndOneRedOnTheTrackedParticle)
{
    const FrameCase c = GetParam();
    brownian::Simulation simulation(makeState(c.numSide, c.size, c.speed, c.locus));
    ModPar &s = simulation.state();
    RecordingCanvas path;
    ImageSurface buffer(5000, 5000, kTwipsPerPixel);
    simulation.tick(false, path, buffer);
    // Separate discs, at least two pixels apart, so that each shows as its own region.
    ASSERT_GT(minimumCentreDistance(s), c.size + 2 * kTwipsPerPixel);

    const int n = c.numSide * c.numSide;
    const std::vector<Component> found = components(buffer.image());
    const double radiusPx = c.size / 2.0 / kTwipsPerPixel;
    int greens = 0, reds = 0;
    std::vector<int> matched(n, 0);
    for (const Component &k : found) {
        (k.kind == Kind::Green ? greens : reds) += 1;
        // The region sits on a particle and has the area of a disc of radius ParSize/2.
        int nearest = -1;
        double best = 1e300;
        for (int i = 0; i < n; ++i) {
            const double d = std::hypot(
                k.cx - s.ParX.data()[i] / kTwipsPerPixel, k.cy - s.ParY.data()[i] / kTwipsPerPixel);
            if (d < best) {
                best = d;
                nearest = i;
            }
        }
        ASSERT_LT(best, 0.5) << "region at " << k.cx << ", " << k.cy;
        ++matched[nearest];
        EXPECT_EQ(k.kind == Kind::Red, nearest == c.locus) << "particle " << nearest;
        // Near-pure pixels reach to about half a pixel inside the true edge.
        const double measured = std::sqrt(k.area / std::numbers::pi) + 0.5;
        EXPECT_NEAR(measured, radiusPx, 1.0) << "particle " << nearest;
    }
    EXPECT_EQ(greens, n - 1);
    EXPECT_EQ(reds, 1);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(matched[i], 1) << "particle " << i;
}

INSTANTIATE_TEST_SUITE_P(Placements, FrameAfterTick,
    ::testing::Values(FrameCase { "defaults", 5, 400, 3, 12 },
        FrameCase { "smallest_first_tracked", 5, 200, 1, 0 },
        FrameCase { "largest_last_tracked", 5, 500, 5, 24 },
        FrameCase { "single_particle", 1, 400, 2, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

struct OverlapCase
{
    const char *name;
    int locus, neighbour; // the neighbour overlaps the tracked particle from the right
};

void PrintTo(const OverlapCase &c, std::ostream *os)
{
    *os << c.name;
}

class TrackedOnTop : public ::testing::TestWithParam<OverlapCase>
{
};

TEST_P(TrackedOnTop, WhateverTheIndexOfTheDiscOverIt)
{
    const OverlapCase c = GetParam();
    brownian::Simulation simulation(makeState(5, 400, 1, c.locus));
    ModPar &s = simulation.state();
    // Put every particle far away in a column, then the two overlapping ones by hand.
    for (int i = 0; i < 25; ++i) {
        s.ParX.data()[i] = 4500;
        s.ParY.data()[i] = 200 + 180 * i;
    }
    s.ParX.data()[c.locus] = 1500;
    s.ParY.data()[c.locus] = 1500;
    s.ParX.data()[c.neighbour] = 1800; // 300 apart: overlapping by 100 twips
    s.ParY.data()[c.neighbour] = 1500;
    ImageSurface buffer(5000, 5000, kTwipsPerPixel);
    drawFrame(s, buffer);
    const QImage &img = buffer.image();
    auto at = [&](double xTwips, double yTwips) {
        return classify(img.pixel(int(xTwips / kTwipsPerPixel), int(yTwips / kTwipsPerPixel)));
    };
    EXPECT_EQ(at(1500, 1500), Kind::Red); // the tracked centre
    EXPECT_EQ(at(1660, 1500), Kind::Red); // in the overlap, nearer the neighbour
    EXPECT_EQ(at(1670, 1500), Kind::Red);
    EXPECT_EQ(at(1800, 1500), Kind::Green); // the neighbour's centre
    EXPECT_EQ(at(1950, 1500), Kind::Green);
}

INSTANTIATE_TEST_SUITE_P(Indexes, TrackedOnTop,
    ::testing::Values(OverlapCase { "higher_index_over_it", 3, 17 },
        OverlapCase { "lower_index_under_it", 17, 3 }, OverlapCase { "first_tracked", 0, 24 },
        OverlapCase { "last_tracked", 24, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

struct SpeedCase
{
    const char *name;
    int speed;
    bool unbounded;
};

void PrintTo(const SpeedCase &c, std::ostream *os)
{
    *os << c.name;
}

class PathPerTick : public ::testing::TestWithParam<SpeedCase>
{
};

TEST_P(PathPerTick, GainsOneJoinedRedSegmentPerSubStep)
{
    const SpeedCase c = GetParam();
    brownian::Simulation simulation(makeState(5, 400, c.speed, 7));
    ModPar &s = simulation.state();
    RecordingCanvas path, buffer;
    const float startX = s.ParX.data()[7], startY = s.ParY.data()[7];
    for (int tick = 1; tick <= 3; ++tick) {
        simulation.tick(c.unbounded, path, buffer);
        ASSERT_EQ(path.lines.size(), static_cast<std::size_t>(c.speed * tick));
        ASSERT_EQ(buffer.circles.size(), static_cast<std::size_t>(26 * tick));
    }
    for (std::size_t k = 0; k < path.lines.size(); ++k) {
        EXPECT_EQ(path.lines[k].color, kRed);
        if (k > 0 && !c.unbounded) {
            // Each segment starts where the one before ended, up to Single rounding.
            EXPECT_NEAR(path.lines[k].x1, path.lines[k - 1].x2, 1e-3);
            EXPECT_NEAR(path.lines[k].y1, path.lines[k - 1].y2, 1e-3);
        }
    }
    if (!path.lines.empty() && !c.unbounded) {
        EXPECT_NEAR(path.lines.front().x1, startX, 1e-3);
        EXPECT_NEAR(path.lines.front().y1, startY, 1e-3);
        EXPECT_EQ(path.lines.back().x2, s.ParX.data()[7]);
        EXPECT_EQ(path.lines.back().y2, s.ParY.data()[7]);
    }
    EXPECT_EQ(path.clears, 0);
    EXPECT_EQ(buffer.clears, 0);
}

INSTANTIATE_TEST_SUITE_P(Speeds, PathPerTick,
    ::testing::Values(SpeedCase { "no_sub_step", 0, false }, SpeedCase { "one", 1, false },
        SpeedCase { "defaults", 3, false }, SpeedCase { "fastest", 5, false },
        SpeedCase { "unbounded_fastest", 5, true }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PathPicture, KeepsEverySegmentDrawnSinceThePlacement)
{
    brownian::Simulation simulation(makeState(5, 400, 5, 12));
    ModPar &s = simulation.state();
    ImageSurface path(5063, 5063, kTwipsPerPixel);
    RecordingCanvas buffer;
    ModPar start = s;
    for (int tick = 0; tick < 40; ++tick)
        simulation.tick(false, path, buffer);
    // The start and the end of the path are both red, 200 sub-steps apart.
    const QImage &img = path.image();
    auto red = [&](float x, float y) {
        return img.pixel(int(x / kTwipsPerPixel), int(y / kTwipsPerPixel)) == qRgb(255, 0, 0);
    };
    EXPECT_TRUE(red(start.ParX.data()[12], start.ParY.data()[12]));
    EXPECT_TRUE(red(s.ParX.data()[12], s.ParY.data()[12]));
}

bool blank(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

TEST(FrameBuffer, IsBlankAfterEveryTickWhileTheViewShowsTheFrame)
{
    // The main window's copy-then-clear: the buffer's image becomes the view and the old view,
    // cleared, the next buffer. The particles are re-placed in between, as the Space key does,
    // so the two images hold different rows.
    brownian::Simulation simulation(makeState(2, 500, 3, 1));
    ModPar &s = simulation.state();
    RecordingCanvas path;
    ImageSurface buffer(5000, 5000, kTwipsPerPixel);
    ImageSurface view(5000, 5000, kTwipsPerPixel);
    QImage lastFrame;
    for (int tick = 0; tick < 6; ++tick) {
        if (tick == 2 || tick == 4) {
            // Line the particles up in the top or the bottom band.
            for (int i = 0; i < 4; ++i) {
                s.ParX.data()[i] = 600.0f + 1200.0f * i;
                s.ParY.data()[i] = tick == 2 ? 400.0f : 4600.0f;
            }
        }
        simulation.tick(false, path, buffer);
        buffer.swapImage(view);
        buffer.clear();
        ASSERT_TRUE(blank(buffer.image())) << "tick " << tick;
        const std::vector<Component> shown = components(view.image());
        EXPECT_EQ(shown.size(), 4u) << "tick " << tick;
        EXPECT_NE(view.image(), lastFrame);
        lastFrame = view.image().copy();
    }
}

TEST(FrameBuffer, IsBlankAfterASwapWithAPlainImage)
{
    brownian::Simulation simulation(makeState(3, 400, 1, 0));
    RecordingCanvas path;
    ImageSurface buffer(5000, 5000, kTwipsPerPixel);
    QImage view = buffer.image().copy();
    view.fill(Qt::black); // whatever the other image holds
    simulation.tick(false, path, buffer);
    buffer.swapImage(view);
    buffer.clear();
    EXPECT_TRUE(blank(buffer.image()));
    EXPECT_EQ(components(view).size(), 9u);
}

} // namespace
} // namespace brownian
