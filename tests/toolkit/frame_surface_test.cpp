// The retained image surface the frame and the path are drawn on: discs against QPainter's own
// antialiased ellipse, clipping at the image edges, lines, rectangles, clearing.
#include "toolkit/image_surface.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <ostream>
#include <string>
#include <utility>

namespace brownian {
namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr QRgb kWhitePixel = 0xffffffff;

QColor toQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

/// The disc as QPainter draws it, antialiased, on a white image like the surface's.
QImage referenceDisc(
    const ImageSurface &surface, double xTwips, double yTwips, double rTwips, Rgb color)
{
    QImage img(surface.image().size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(toQColor(color));
    const double k = surface.scale();
    p.drawEllipse(QPointF(xTwips * k, yTwips * k), rTwips * k, rTwips * k);
    return img;
}

struct Difference
{
    int inner = 0; // largest channel difference well inside or well outside the edge
    int edge = 0; // largest channel difference within 1.5 px of the edge
    double coverageRatio = 0; // ink of the surface's disc over the reference's
    double inkDifference = 0; // in fully covered pixels
};

Difference compare(const QImage &got, const QImage &want, double cxPx, double cyPx, double rPx)
{
    Difference d;
    double inkGot = 0, inkWant = 0;
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            const int diff = std::max({ std::abs(qRed(a) - qRed(b)),
                std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)) });
            const double dist = std::hypot(x + 0.5 - cxPx, y + 0.5 - cyPx);
            int &slot = std::abs(dist - rPx) <= 1.5 ? d.edge : d.inner;
            slot = std::max(slot, diff);
            inkGot += 3 * 255 - qRed(a) - qGreen(a) - qBlue(a);
            inkWant += 3 * 255 - qRed(b) - qGreen(b) - qBlue(b);
        }
    }
    d.coverageRatio = inkWant > 0 ? inkGot / inkWant : (inkGot == 0 ? 1 : 0);
    // A pure green or red pixel on white lacks 2 × 255 of the three channels.
    d.inkDifference = std::abs(inkGot - inkWant) / (2 * 255.0);
    return d;
}

bool blank(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != kWhitePixel)
                return false;
    return true;
}

int countPixels(const QImage &img, QRgb value)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) == value;
    return n;
}

struct DiscCase
{
    const char *name;
    double dpr;
    float x, y, r; // twips
    Rgb color;
    int edgeTolerance; // channel steps
};

void PrintTo(const DiscCase &c, std::ostream *os)
{
    *os << c.name;
}

class SpriteDisc : public ::testing::TestWithParam<DiscCase>
{
};

/// Runs a check with the widest vectors the processor has, then with the baseline ones.
template <class Check> void withEveryVectorWidth(Check check)
{
    for (const bool baseline : { false, true }) {
        SCOPED_TRACE(baseline ? "baseline vectors" : "widest vectors");
        ImageSurface::setBaselineVectorsOnly(baseline);
        check();
    }
    ImageSurface::setBaselineVectorsOnly(false);
}

TEST_P(SpriteDisc, MatchesQPaintersAntialiasedDisc)
{
    const DiscCase c = GetParam();
    withEveryVectorWidth([&] {
        ImageSurface surface(5000, 5000, kTwipsPerPixel, c.dpr);
        surface.setFillStyle(FillStyle::Solid);
        surface.setFillColor(c.color);
        surface.circle(c.x, c.y, c.r, c.color);
        const QImage want = referenceDisc(surface, c.x, c.y, c.r, c.color);
        const double k = surface.scale();
        const Difference d = compare(surface.image(), want, c.x * k, c.y * k, c.r * k);
        EXPECT_EQ(d.inner, 0);
        EXPECT_LE(d.edge, c.edgeTolerance);
        EXPECT_NEAR(d.coverageRatio, 1.0, 0.01);
    });
}

// Positions on the sprites' quarter-pixel grid come out as QPainter draws them, up to the
// rounding of the premultiplied blend; others are moved by at most 1/8 pixel on each axis,
// which changes an edge pixel's coverage by at most about a fifth.
INSTANTIATE_TEST_SUITE_P(Positions, SpriteDisc,
    ::testing::Values(DiscCase { "on_grid_green", 1, 1500, 1500, 240, kGreen, 2 },
        DiscCase { "on_grid_red_dpr2", 2, 1500, 1500, 240, kRed, 2 },
        DiscCase { "quarter_steps", 1, 2002.5, 1012.5, 240, kGreen, 2 },
        DiscCase { "off_grid_size500", 1, 1503.7, 2511.2, 250, kGreen, 64 },
        DiscCase { "off_grid_size400_dpr2", 2, 3333.3, 777.7, 200, kRed, 64 },
        DiscCase { "off_grid_size200", 1, 4001.1, 4002.9, 100, kGreen, 64 },
        DiscCase { "off_grid_dpr1_5", 1.5, 2222.2, 2468.4, 250, kGreen, 64 },
        DiscCase { "tiny", 1, 1000.3, 1000.9, 4, kRed, 64 }),
    [](const auto &info) { return std::string(info.param.name); });

class ClippedDisc : public ::testing::TestWithParam<DiscCase>
{
};

TEST_P(ClippedDisc, DrawsTheVisiblePartOnly)
{
    const DiscCase c = GetParam();
    withEveryVectorWidth([&] {
        ImageSurface surface(5000, 5000, kTwipsPerPixel, c.dpr);
        surface.setFillColor(c.color);
        surface.circle(c.x, c.y, c.r, c.color);
        const QImage want = referenceDisc(surface, c.x, c.y, c.r, c.color);
        const double k = surface.scale();
        const Difference d = compare(surface.image(), want, c.x * k, c.y * k, c.r * k);
        EXPECT_EQ(d.inner, 0);
        EXPECT_LE(d.edge, c.edgeTolerance);
        // The disc is moved by at most 1/8 pixel along each axis, so at most a band of that width
        // along each clipped chord (no longer than the diameter) moves out of sight or into it.
        EXPECT_LE(d.inkDifference, c.r * k / 2);
    });
}

INSTANTIATE_TEST_SUITE_P(Edges, ClippedDisc,
    ::testing::Values(DiscCase { "left_half", 1, 0, 2500, 250, kGreen, 64 },
        DiscCase { "touching_left_wall", 1, 250, 2500, 250, kGreen, 64 },
        DiscCase { "right_half", 1, 5000, 1234.5, 250, kGreen, 64 },
        DiscCase { "touching_right_wall", 1, 4750, 1234.5, 250, kRed, 64 },
        DiscCase { "top_sliver", 1, 2500, -230, 250, kGreen, 64 },
        DiscCase { "bottom_sliver_dpr2", 2, 2500, 5230, 250, kRed, 64 },
        DiscCase { "top_left_corner", 1, -100, -100, 250, kGreen, 64 },
        DiscCase { "bottom_right_corner_dpr2", 2, 5050, 5050, 250, kGreen, 64 },
        DiscCase { "just_outside_left", 1, -260, 2500, 250, kGreen, 0 },
        DiscCase { "just_outside_bottom", 1, 2500, 5270, 250, kGreen, 0 },
        DiscCase { "far_outside", 1, -1e7f, 3e8f, 250, kGreen, 0 },
        DiscCase { "large_sprite", 2, 2500, 2500, 900, kGreen, 64 },
        DiscCase { "larger_than_the_image", 1, 2500, 2500, 4000, kGreen, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SpriteDisc, NonFiniteInputsDrawNothing)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ImageSurface surface(5000, 5000, kTwipsPerPixel);
    surface.setFillColor(kGreen);
    surface.circle(nan, 100, 200, kGreen);
    surface.circle(100, inf, 200, kGreen);
    surface.circle(100, 100, inf, kGreen);
    surface.circle(3e38f, -3e38f, 3e38f, kGreen);
    EXPECT_TRUE(blank(surface.image()));
}

TEST(SpriteDisc, LaterDiscsLieOnTopOfEarlierOnes)
{
    ImageSurface surface(5000, 5000, kTwipsPerPixel);
    surface.setFillColor(kGreen);
    surface.circle(1500, 1500, 250, kGreen);
    surface.setFillColor(kRed);
    surface.circle(1800, 1500, 250, kRed);
    surface.setFillColor(kGreen);
    surface.circle(2100, 1500, 250, kGreen);
    const QImage &img = surface.image();
    EXPECT_EQ(img.pixel(1500 / 15, 100), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(1700 / 15, 100), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(1950 / 15, 100), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(2300 / 15, 100), qRgb(0, 255, 0));
}

struct LineCase
{
    const char *name;
    double dpr;
    float x1, y1, x2, y2;
    int redPixels; // -1: not checked
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.name;
}

class Lines : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(Lines, DrawTheVisiblePixelsOfTheLine)
{
    const LineCase c = GetParam();
    ImageSurface surface(5063, 5063, kTwipsPerPixel, c.dpr);
    surface.line(c.x1, c.y1, c.x2, c.y2, kRed);
    const QImage &img = surface.image();
    const int red = countPixels(img, qRgb(255, 0, 0));
    EXPECT_EQ(red + countPixels(img, kWhitePixel), img.width() * img.height());
    if (c.redPixels >= 0) {
        EXPECT_EQ(red, c.redPixels);
    }
    // Every red pixel lies on the mathematical line, within the pen.
    const double k = surface.scale();
    const double ax = c.x1 * k, ay = c.y1 * k, bx = c.x2 * k, by = c.y2 * k;
    const double len = std::hypot(bx - ax, by - ay);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != qRgb(255, 0, 0))
                continue;
            const double px = x + 0.5, py = y + 0.5;
            const double dist = len > 0
                ? std::abs((bx - ax) * (ay - py) - (ax - px) * (by - ay)) / len
                : std::hypot(px - ax, py - ay);
            ASSERT_LE(dist, surface.penWidth() * 0.5 + 1.0) << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Segments, Lines,
    ::testing::Values(LineCase { "zero_length", 1, 1500, 1500, 1500, 1500, 1 },
        LineCase { "zero_length_dpr2", 2, 1500, 1500, 1500, 1500, 4 },
        LineCase { "horizontal", 1, 750, 1500, 1500, 1500, 51 },
        LineCase { "vertical_dpr2", 2, 750, 1500, 750, 2250, 2 * 102 },
        LineCase { "diagonal", 1, 0, 0, 1500, 1500, 101 },
        LineCase { "short_step", 1, 1000.4, 1000.2, 1002.9, 1003.1, -1 },
        LineCase { "across_from_far_outside", 1, -1e9f, 1507, 1e9f, 1507, 338 },
        LineCase { "diagonal_from_far_outside", 1, -1e7f, -1e7f, 1e7f, 1e7f, -1 },
        LineCase { "wholly_outside", 1, -1e9f, -100, 1e9f, -100, 0 },
        LineCase { "outside_to_the_right", 1, 5100, 100, 1e8f, 3e8f, 0 },
        LineCase { "far_outside_both_ends", 1, 1e30f, 1e30f, -1e30f, 2e30f, 0 },
        LineCase { "not_a_number", 1, std::numeric_limits<float>::quiet_NaN(), 0, 100, 100, 0 },
        LineCase { "infinite", 1, 0, 0, std::numeric_limits<float>::infinity(), 100, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Lines, CrossingTheImageFromFarOutsideCoverEveryColumn)
{
    ImageSurface surface(5063, 5063, kTwipsPerPixel);
    surface.line(-1e7f, -1e7f, 1e7f, 1e7f, kRed);
    const QImage &img = surface.image();
    for (int x = 0; x < img.width(); ++x)
        EXPECT_EQ(img.pixel(x, x), qRgb(255, 0, 0)) << x;
}

struct RectangleCase
{
    const char *name;
    FillStyle style;
    QRgb inside;
};

void PrintTo(const RectangleCase &c, std::ostream *os)
{
    *os << c.name;
}

class Rectangles : public ::testing::TestWithParam<RectangleCase>
{
};

TEST_P(Rectangles, OutlineInTheGivenColourAndInsideByTheFillStyle)
{
    const RectangleCase c = GetParam();
    for (const double dpr : { 1.0, 2.0 }) {
        ImageSurface surface(5000, 5000, kTwipsPerPixel, dpr);
        surface.setFillStyle(c.style);
        surface.setFillColor(kGreen);
        surface.rectangle(3000, 1500, 1500, 3000, kRed); // corners in either order
        const QImage &img = surface.image();
        const int k = static_cast<int>(dpr);
        EXPECT_EQ(img.pixel(150 * k, 100 * k), qRgb(255, 0, 0)) << dpr; // top edge
        EXPECT_EQ(img.pixel(100 * k, 150 * k), qRgb(255, 0, 0)) << dpr; // left edge
        EXPECT_EQ(img.pixel(150 * k, 150 * k), c.inside) << dpr;
        EXPECT_EQ(img.pixel(50 * k, 50 * k), kWhitePixel) << dpr;
        EXPECT_EQ(img.pixel(250 * k, 250 * k), kWhitePixel) << dpr;
    }
}

INSTANTIATE_TEST_SUITE_P(FillStyles, Rectangles,
    ::testing::Values(RectangleCase { "solid", FillStyle::Solid, qRgb(0, 255, 0) },
        RectangleCase { "transparent", FillStyle::Transparent, kWhitePixel }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Retained, KeepsEverythingUntilClearedAndClearsEverything)
{
    for (const double dpr : { 1.0, 2.0 }) {
        ImageSurface surface(5000, 5000, kTwipsPerPixel, dpr);
        surface.setFillColor(kGreen);
        surface.circle(2500, -100, 250, kGreen); // a sliver at the top
        surface.line(0, 4990, 4990, 4990, kRed); // along the bottom
        surface.rectangle(100, 100, 900, 900, kRed);
        surface.setFillStyle(FillStyle::Transparent);
        surface.circle(4000, 2500, 300, kRed); // an outline, drawn by QPainter
        surface.setFillStyle(FillStyle::Solid);
        surface.circle(2500, 2500, 3000, kGreen); // too large for a sprite
        const QImage &img = surface.image();
        EXPECT_GT(countPixels(img, qRgb(255, 0, 0)), 0);
        EXPECT_FALSE(blank(img));
        surface.clear();
        EXPECT_TRUE(blank(surface.image())) << dpr;
        surface.line(0, 0, 1000, 0, kRed);
        EXPECT_FALSE(blank(surface.image())) << dpr;
    }
}

TEST(Retained, ASwapCarriesTheDrawnRowsAlongSoBothClearFully)
{
    ImageSurface a(5000, 5000, kTwipsPerPixel);
    ImageSurface b(5000, 5000, kTwipsPerPixel);
    a.setFillColor(kGreen);
    b.setFillColor(kRed);
    a.circle(2500, 300, 250, kGreen); // top rows
    b.circle(2500, 4700, 250, kRed); // bottom rows
    a.swapImage(b);
    a.clear();
    b.circle(2500, 2500, 250, kGreen);
    b.clear();
    EXPECT_TRUE(blank(a.image()));
    EXPECT_TRUE(blank(b.image()));
}

TEST(Retained, ACopyOfThePictureKeepsWhatItShowed)
{
    ImageSurface surface(5000, 5000, kTwipsPerPixel);
    surface.setFillColor(kGreen);
    surface.circle(2500, 2500, 250, kGreen);
    const QImage copy = surface.image();
    const QImage snapshot = copy.copy();
    // Discs reaching over every edge, a line and a clear, all after the copy was taken.
    for (const auto &[x, y] : { std::pair { 10.0f, 2500.0f }, { 4990.0f, 2500.0f },
             { 2500.0f, 10.0f }, { 2500.0f, 4990.0f } })
        surface.circle(x, y, 250, kGreen);
    surface.line(0, 0, 5000, 5000, kRed);
    EXPECT_EQ(copy, snapshot);
    EXPECT_EQ(surface.image().pixel(1, 2500 / 15), qRgb(0, 255, 0));
    EXPECT_EQ(surface.image().pixel(332, 2500 / 15), qRgb(0, 255, 0));
    surface.clear();
    EXPECT_TRUE(blank(surface.image()));
    EXPECT_EQ(copy, snapshot);
}

TEST(Retained, DrawsOverTheEdgesAfterASwapWithAPlainImage)
{
    ImageSurface surface(5000, 5000, kTwipsPerPixel);
    QImage plain(surface.image().size(), QImage::Format_ARGB32_Premultiplied);
    plain.fill(Qt::white);
    surface.swapImage(plain);
    surface.setFillColor(kRed);
    surface.circle(0, 0, 250, kRed);
    surface.circle(5000, 5000, 250, kRed);
    EXPECT_EQ(surface.image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(surface.image().pixel(333, 333), qRgb(255, 0, 0));
    EXPECT_EQ(surface.image().pixel(30, 30), kWhitePixel);
    surface.clear();
    EXPECT_TRUE(blank(surface.image()));
}

TEST(Retained, AChangeOfDevicePixelRatioKeepsTheDrawing)
{
    ImageSurface surface(5063, 5063, kTwipsPerPixel, 1.0);
    surface.line(750, 1500, 1500, 1500, kRed);
    surface.setDevicePixelRatio(2.0);
    EXPECT_EQ(surface.image().size(), QSize(676, 676));
    EXPECT_EQ(surface.penWidth(), 2);
    const QRgb mid = surface.image().pixel(150, 200);
    EXPECT_GT(qRed(mid), 200);
    EXPECT_LT(qGreen(mid), 128);
    surface.line(750, 3000, 1500, 3000, kRed);
    EXPECT_EQ(surface.image().pixel(150, 400), qRgb(255, 0, 0));
    EXPECT_EQ(surface.image().pixel(150, 399), qRgb(255, 0, 0));
    surface.clear();
    EXPECT_TRUE(blank(surface.image()));
}

} // namespace
} // namespace brownian
