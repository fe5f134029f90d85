#include "../support/recording_canvas.h"
#include "settings/locus_preview.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using brownian::drawLocusPreview;
using brownian::FillStyle;
using brownian::Integer;
using brownian::LocusPreview;
using brownian::pickParticle;
using brownian::Rgb;
using brownian::test::RecordingCanvas;

namespace {

constexpr float kW = 3060, kH = 3060;

LocusPreview preview(double count, double size, int mode, int pick)
{
    LocusPreview p;
    p.widthTwips = kW;
    p.heightTwips = kH;
    p.count = count;
    p.size = size;
    p.boundMode = mode;
    p.pick = pick;
    return p;
}

TEST(LocusPreview, DefaultsShowTheGridWithTheCentreRed)
{
    RecordingCanvas c;
    drawLocusPreview(c, preview(5, 400, 0, 12));
    EXPECT_EQ(c.clears, 1);
    const auto greens = c.circlesOf(brownian::kGreen);
    ASSERT_EQ(greens.size(), 25u);
    const float cell = kW / 5;
    for (int k = 0; k < 25; ++k) {
        // Row by row from the top, column by column from the left.
        EXPECT_FLOAT_EQ(greens[k].x, cell * (k % 5 + 0.5f)) << k;
        EXPECT_FLOAT_EQ(greens[k].y, cell * (k / 5 + 0.5f)) << k;
        EXPECT_FLOAT_EQ(greens[k].r, kW * 400 / 10000) << k;
        EXPECT_EQ(greens[k].fill, brownian::kGreen);
        EXPECT_EQ(greens[k].style, FillStyle::Solid);
    }
    const auto reds = c.circlesOf(brownian::kRed);
    ASSERT_EQ(reds.size(), 1u);
    EXPECT_EQ(c.circles.back().outline, brownian::kRed); // on top
    EXPECT_FLOAT_EQ(reds[0].x, greens[12].x);
    EXPECT_FLOAT_EQ(reds[0].y, greens[12].y);
    EXPECT_FLOAT_EQ(reds[0].r, greens[12].r);
    EXPECT_EQ(reds[0].fill, brownian::kRed);
    EXPECT_TRUE(c.rectanglesOf(brownian::kBlack).empty());
    EXPECT_EQ(c.style, FillStyle::Solid);
}

TEST(LocusPreview, UnboundedModeShrinksTheDiscsAndFramesTheView)
{
    RecordingCanvas c;
    drawLocusPreview(c, preview(5, 400, 1, 12));
    const auto greens = c.circlesOf(brownian::kGreen);
    ASSERT_EQ(greens.size(), 25u);
    EXPECT_FLOAT_EQ(greens[0].r, kW * 400 / 10000 * 5 / 6);
    const auto frames = c.rectanglesOf(brownian::kBlack);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FLOAT_EQ(frames[0].x1, kW / 12);
    EXPECT_FLOAT_EQ(frames[0].y1, kH / 12);
    EXPECT_FLOAT_EQ(frames[0].x2, kW / 12 * 11);
    EXPECT_FLOAT_EQ(frames[0].y2, kH / 12 * 11);
    // Drawn hollow so the discs stay visible, and solid again for the next paint.
    EXPECT_EQ(frames[0].style, FillStyle::Transparent);
    EXPECT_EQ(c.style, FillStyle::Solid);
}

TEST(LocusPreview, LargestDiscsOfTheDenseGridTouch)
{
    RecordingCanvas c;
    drawLocusPreview(c, preview(10, 500, 0, 44));
    const auto greens = c.circlesOf(brownian::kGreen);
    ASSERT_EQ(greens.size(), 100u);
    EXPECT_FLOAT_EQ(2 * greens[0].r, greens[1].x - greens[0].x);
    const auto reds = c.circlesOf(brownian::kRed);
    ASSERT_EQ(reds.size(), 1u);
    EXPECT_FLOAT_EQ(reds[0].x, greens[44].x);
    EXPECT_FLOAT_EQ(reds[0].y, greens[44].y);
}

TEST(LocusPreview, SingleParticleIsRedInTheMiddle)
{
    RecordingCanvas c;
    drawLocusPreview(c, preview(1, 400, 0, 0));
    ASSERT_EQ(c.circlesOf(brownian::kGreen).size(), 1u);
    const auto reds = c.circlesOf(brownian::kRed);
    ASSERT_EQ(reds.size(), 1u);
    EXPECT_FLOAT_EQ(reds[0].x, kW / 2);
    EXPECT_FLOAT_EQ(reds[0].y, kH / 2);
}

struct BlankCase
{
    const char *name;
    double count, size;
};

class BlankPreview : public ::testing::TestWithParam<BlankCase>
{
};

TEST_P(BlankPreview, DrawsNothingButTheBackground)
{
    const BlankCase bc = GetParam();
    RecordingCanvas c;
    drawLocusPreview(c, preview(bc.count, bc.size, 1, 12));
    EXPECT_EQ(c.clears, 1);
    EXPECT_TRUE(c.circles.empty());
    EXPECT_TRUE(c.rectangles.empty());
    EXPECT_EQ(c.style, FillStyle::Solid);
}

INSTANTIATE_TEST_SUITE_P(LocusPreview, BlankPreview,
    ::testing::Values(BlankCase { "CountZero", 0, 400 }, BlankCase { "SizeZero", 5, 0 },
        BlankCase { "CountBeyondAnyGrid", 30000, 400 },
        BlankCase { "CountHuge", 1.7976931348623157e308, 400 }, BlankCase { "SizeHuge", 5, 1e300 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LocusPreview, CountRoundingToZeroDrawsNoPick)
{
    // A text such as "0.3" while it is being edited: no cells, and no division by them.
    RecordingCanvas c;
    drawLocusPreview(c, preview(0.3, 400, 1, 12));
    EXPECT_TRUE(c.circlesOf(brownian::kGreen).empty());
    EXPECT_TRUE(c.circlesOf(brownian::kRed).empty());
    EXPECT_EQ(c.rectanglesOf(brownian::kBlack).size(), 1u);
}

TEST(LocusPreview, UnvalidatedFractionalCountUsesItsRoundedCells)
{
    RecordingCanvas c;
    drawLocusPreview(c, preview(2.5, 400, 0, 3));
    const auto greens = c.circlesOf(brownian::kGreen);
    ASSERT_EQ(greens.size(), 4u); // N = 2, halves to even
    EXPECT_FLOAT_EQ(greens[1].x, kW / 2.5f * 1.5f);
    const auto reds = c.circlesOf(brownian::kRed);
    ASSERT_EQ(reds.size(), 1u);
    EXPECT_FLOAT_EQ(reds[0].x, 1.5f * (kW / 2.5f)); // 3 mod 2 = 1
    EXPECT_FLOAT_EQ(reds[0].y, 1.5f * (kH / 2.5f)); // 3 \ 2 = 1
}

struct PickCase
{
    const char *name;
    double count;
    float x, y;
    int expected;
};

class Pick : public ::testing::TestWithParam<PickCase>
{
};

TEST_P(Pick, FindsTheCellUnderTheRelease)
{
    const PickCase pc = GetParam();
    const auto pick = pickParticle(kW, kH, pc.count, pc.x, pc.y);
    ASSERT_TRUE(pick.has_value());
    EXPECT_EQ(pick->value(), pc.expected);
}

constexpr float kCell5 = kW / 5; // 612 twips

INSTANTIATE_TEST_SUITE_P(LocusPreview, Pick,
    ::testing::Values(PickCase { "RowOneColumnThree", 5, 3.5f * kCell5, 1.5f * kCell5, 8 },
        PickCase { "TopLeft", 5, 1, 1, 0 },
        PickCase { "LeftEdgeBelongsToTheCell", 5, 3 * kCell5, 0, 3 },
        PickCase { "JustBeforeAnEdge", 5, 3 * kCell5 - 0.01f, 0, 2 },
        PickCase { "BottomRightCorner", 5, kW - 1, kH - 1, 24 },
        PickCase { "OnTheFarEdgeClamps", 5, kW, kH, 24 },
        PickCase { "LeftOfTheAreaClamps", 5, -400, 1.5f * kCell5, 5 },
        PickCase { "AboveTheAreaClamps", 5, 3.5f * kCell5, -5000, 3 },
        PickCase { "FarBeyondBothEdgesClamps", 5, 1e9f, 1e9f, 24 },
        PickCase { "SingleCellTakesAnyPoint", 1, 2000, -7, 0 },
        PickCase { "TenByTen", 10, 9.5f * 306, 4.5f * 306, 49 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LocusPreview, EveryCellEdgeOnBothAxesBelongsToTheCellAfterIt)
{
    // A wide area, so that a width used for a height (or the reverse) shows; its sides make
    // every edge below an exact Single, and at several of them dividing before multiplying
    // would land a hair short of the edge and give the cell before it.
    constexpr float kWide = 4590, kTall = 3060;
    for (int n = 1; n <= 10; ++n) {
        for (int k = 1; k < n; ++k) {
            const double edgeX = double(kWide) * k / n, edgeY = double(kTall) * k / n;
            if (static_cast<float>(edgeX) == edgeX) {
                const auto pick = pickParticle(kWide, kTall, n, static_cast<float>(edgeX), 1);
                ASSERT_TRUE(pick.has_value());
                EXPECT_EQ(pick->value(), k) << "x edge " << k << " of " << n;
            }
            if (static_cast<float>(edgeY) == edgeY) {
                const auto pick = pickParticle(kWide, kTall, n, 1, static_cast<float>(edgeY));
                ASSERT_TRUE(pick.has_value());
                EXPECT_EQ(pick->value(), k * n) << "y edge " << k << " of " << n;
            }
        }
    }
}

TEST(LocusPreview, WideAreaScalesEachAxisByItsOwnSide)
{
    constexpr float kWide = 4590, kTall = 3060;
    LocusPreview p = preview(5, 400, 0, 7);
    p.widthTwips = kWide;
    p.heightTwips = kTall;
    RecordingCanvas c;
    drawLocusPreview(c, p);
    const auto greens = c.circlesOf(brownian::kGreen);
    ASSERT_EQ(greens.size(), 25u);
    EXPECT_FLOAT_EQ(greens[7].x, 2.5f * kWide / 5); // row 1, column 2
    EXPECT_FLOAT_EQ(greens[7].y, 1.5f * kTall / 5);
    const auto reds = c.circlesOf(brownian::kRed);
    ASSERT_EQ(reds.size(), 1u);
    EXPECT_FLOAT_EQ(reds[0].x, greens[7].x);
    EXPECT_FLOAT_EQ(reds[0].y, greens[7].y);
    // And a click on that disc picks particle 7 again.
    const auto pick = pickParticle(kWide, kTall, 5, reds[0].x, reds[0].y);
    ASSERT_TRUE(pick.has_value());
    EXPECT_EQ(pick->value(), 7);
}

TEST(LocusPreview, HalfCountsRoundToEvenForThePickToo)
{
    // 2.5 and 4.5 cells in a text being edited give 2 and 4 columns (halves to even), as in
    // the drawing: the top right corner is the last column of those.
    for (const auto &[count, lastColumn] : { std::pair { 2.5, 1 }, std::pair { 4.5, 3 } }) {
        const auto pick = pickParticle(kW, kH, count, kW - 1, 1);
        ASSERT_TRUE(pick.has_value());
        EXPECT_EQ(pick->value(), lastColumn) << count;
    }
}

TEST(LocusPreview, NoPickWithoutAGrid)
{
    EXPECT_FALSE(pickParticle(kW, kH, 0, 100, 100).has_value());
    EXPECT_FALSE(pickParticle(kW, kH, 0.3, 100, 100).has_value());
    EXPECT_FALSE(pickParticle(kW, kH, -3, 100, 100).has_value());
    EXPECT_FALSE(pickParticle(kW, kH, 30000, 100, 100).has_value());
    EXPECT_FALSE(pickParticle(0, 0, 5, 100, 100).has_value());
}

} // namespace
