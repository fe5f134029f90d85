// The physics plot's two panels: where they go in a box of any size, and drawn at a
// device-pixel ratio onto the whole picture.
#include "toolkit/plot.h"

#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <gtest/gtest.h>
#include <ostream>

namespace brownian {
namespace {

/// The fonts need an application object; one for the whole run.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "plot_tests";
    static char *argv[] = { name, nullptr };
    if (!QGuiApplication::instance())
        new QGuiApplication(argc, argv);
}

/// A run with both regimes and a fit, and a histogram with its expected curve.
PlotData sampleData()
{
    PlotData d;
    d.unbounded = true;
    d.numSide = 10;
    const double meanSquaredSpeed = 4, coefficient = 94.3;
    for (std::int64_t lag = 1; lag <= 5000; lag = lag < 10 ? lag + 1 : lag * 6 / 5) {
        const double t = static_cast<double>(lag);
        d.msd.push_back(
            { lag, 1.0 / (1.0 / (meanSquaredSpeed * t * t) + 1.0 / (4 * coefficient * t)) });
    }
    d.fit = fitDiffusion(d.msd);
    d.meanSquaredSpeed = meanSquaredSpeed;
    const int n = 100;
    d.cdf = [n, sum = n * meanSquaredSpeed](double v) { return expectedSpeedCdf(v, n, sum, true); };
    d.totalSpeeds = 1e6;
    for (int k = 0; k < 30; ++k) {
        const double low = k * 0.26, high = low + 0.26;
        const double expected = d.totalSpeeds * (d.cdf(high) - d.cdf(low));
        d.speeds.push_back({ low, high, static_cast<std::uint64_t>(expected), expected });
    }
    return d;
}

TEST(PlotLayout, TheLabsPictureKeepsItsPanels)
{
    // The lab's --plot picture: 1280 wide, the panels below its two lines of text.
    const PlotLayout layout = plotLayout(QRectF(0, 68, 1280, 572));
    EXPECT_EQ(layout.msd, QRectF(105, 120, 510, 400));
    EXPECT_EQ(layout.speeds, QRectF(750, 120, 505, 400));
    EXPECT_FALSE(layout.compact);
}

struct BoxCase
{
    QRectF box;
    bool compact;
};

std::ostream &operator<<(std::ostream &os, const BoxCase &c)
{
    return os << c.box.width() << "x" << c.box.height() << "+" << c.box.left() << "+"
              << c.box.top();
}

class PlotLayoutBox : public ::testing::TestWithParam<BoxCase>
{
};

TEST_P(PlotLayoutBox, EachPanelLiesInsideItsHalf)
{
    const BoxCase c = GetParam();
    const PlotLayout layout = plotLayout(c.box);
    const double middle = c.box.center().x();
    EXPECT_EQ(layout.compact, c.compact);
    for (const QRectF &area : { layout.msd, layout.speeds }) {
        EXPECT_GT(area.width(), 0.25 * c.box.width());
        EXPECT_GT(area.height(), 0.5 * c.box.height());
        EXPECT_TRUE(c.box.contains(area)) << area.x() << "," << area.y();
        EXPECT_EQ(area.top(), layout.msd.top());
        EXPECT_EQ(area.bottom(), layout.msd.bottom());
    }
    EXPECT_LT(layout.msd.right(), middle);
    EXPECT_GT(layout.speeds.left(), middle);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PlotLayoutBox,
    ::testing::Values(BoxCase { QRectF(0, 0, 720, 420), true },
        BoxCase { QRectF(30, 40, 999, 420), true }, BoxCase { QRectF(0, 68, 1280, 572), false },
        BoxCase { QRectF(-10, 5, 2000, 900), false }));

/// Pixels near the plot's measured blue and its bars' green.
bool isMeasured(QRgb p)
{
    return std::abs(qRed(p) - 30) < 20 && std::abs(qGreen(p) - 90) < 20 && qBlue(p) > 170;
}
bool isBar(QRgb p)
{
    return qGreen(p) > 180 && qRed(p) < 140 && qBlue(p) < 140;
}

class PlotPanels : public ::testing::TestWithParam<double>
{
protected:
    static void SetUpTestSuite() { ensureApplication(); }
};

TEST_P(PlotPanels, FillTheWholePictureAtTheDevicePixelRatio)
{
    const double dpr = GetParam();
    const QImage image = renderPlotPanels(sampleData(), QSize(720, 420), dpr);
    ASSERT_EQ(image.size(),
        QSize(static_cast<int>(std::lround(720 * dpr)), static_cast<int>(std::lround(420 * dpr))));
    EXPECT_EQ(image.devicePixelRatio(), dpr);
    // The MSD's points on the left half only, the bars on the right half only, the bars
    // reaching into the last quarter of the width: the panels are laid out in device pixels.
    int measured[2] = { 0, 0 }, bars[2] = { 0, 0 }, lastQuarter = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int half = x < image.width() / 2 ? 0 : 1;
            measured[half] += isMeasured(p);
            bars[half] += isBar(p);
            lastQuarter += isBar(p) && x > image.width() * 3 / 4;
        }
    }
    EXPECT_GT(measured[0], 100);
    EXPECT_EQ(measured[1], 0);
    EXPECT_EQ(bars[0], 0);
    EXPECT_GT(bars[1], 1000);
    EXPECT_GT(lastQuarter, 10);
    // Nothing drawn on the outermost device pixels: the texts and frames stay inside.
    for (int x = 0; x < image.width(); ++x) {
        ASSERT_EQ(image.pixel(x, 0), qRgb(255, 255, 255)) << x;
        ASSERT_EQ(image.pixel(x, image.height() - 1), qRgb(255, 255, 255)) << x;
    }
    for (int y = 0; y < image.height(); ++y) {
        ASSERT_EQ(image.pixel(0, y), qRgb(255, 255, 255)) << y;
        ASSERT_EQ(image.pixel(image.width() - 1, y), qRgb(255, 255, 255)) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Ratios, PlotPanels, ::testing::Values(1.0, 1.5, 2.0));

} // namespace
} // namespace brownian
