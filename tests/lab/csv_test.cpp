#include "lab/csv.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using namespace brownian;
using namespace brownian::lab;

namespace {

float roundTrip(float value)
{
    std::string text;
    appendSingle(text, value);
    float back = std::numeric_limits<float>::quiet_NaN();
    const std::string why = parseSingle(text, back);
    EXPECT_TRUE(why.empty()) << text << ": " << why;
    return back;
}

TEST(Csv, NineDigitsGiveBackTheIdenticalSingle)
{
    const float edgeValues[] = { 0.0f, -0.0f, 1.0f, -2.5f, 2.4999998f, 0.1f, 5000.0f, 5499.99951f,
        -499.999969f, std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
        std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(), 1e-30f,
        123456792.0f };
    for (float v : edgeValues)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(roundTrip(v)), std::bit_cast<std::uint32_t>(v)) << v;

    std::mt19937 rng(12345);
    int checked = 0;
    while (checked < 200000) {
        const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        if (!std::isfinite(v))
            continue;
        ++checked;
        const float back = roundTrip(v);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << v;
    }
}

TEST(Csv, DecimalsAreRoundedOnceToSingle)
{
    // 1.0000000596046447762 lies just above the midpoint 1 + 2^-24 between two Singles; a
    // Double would round it onto the midpoint and a second rounding to even would give 1.
    struct Case
    {
        const char *text;
        float value;
    } cases[] = {
        { "0.1", 0.1f },
        { "+2.5", 2.5f },
        { "1e-50", 0.0f },
        { "-1e-50", -0.0f },
        { "1e-400", 0.0f },
        { "1.0000000596046447762", 1.00000011920928955078125f },
        { "2.50000011920928955078125", 2.5f }, // exactly a midpoint: ties to even
        { "16777217", 16777216.0f },
        { "16777217.000000001", 16777218.0f },
    };
    for (const Case &c : cases) {
        float v = 99;
        EXPECT_EQ(parseSingle(c.text, v), "") << c.text;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(v), std::bit_cast<std::uint32_t>(c.value)) << c.text;
    }
}

TEST(Csv, NonNumbersAndOverflowAreRefused)
{
    for (const char *text : { "", "abc", "nan", "inf", "-inf", "0x10", "1.5e", "1,5", "1 2", "--1",
             "3.5e38", "1e400", "-1e39" }) {
        float v = 0;
        EXPECT_NE(parseSingle(text, v), "") << text;
    }
}

std::string stateText(int rows)
{
    std::string text = "i,x,y,vx,vy\n";
    for (int i = 0; i < rows; ++i)
        text += std::to_string(i) + ",1,2,3,4\n";
    return text;
}

TEST(Csv, StateRowsAreReadInIndexOrder)
{
    const ModPar s = test::StateBuilder().numSide(2).locus(0).placed();
    std::string text(kStateHeader);
    text += '\n';
    appendStateRows(text, s);
    const auto rows = parseStateCsv(text, 4, "a.csv");
    ASSERT_EQ(rows.size(), 4u);
    ModPar t = test::StateBuilder().numSide(2).locus(0).build();
    loadState(t, rows);
    EXPECT_TRUE(test::sameState(t, s));
    // Line ends, spaces around fields, a byte-order mark and blank lines at the end are fine.
    const auto loose = parseStateCsv(
        "\xEF\xBB\xBFi,x,y,vx,vy\r\n0, 1.5 ,2,3,4\r\n1,1,2,3,-4\r\n\r\n\n", 2, "b.csv");
    ASSERT_EQ(loose.size(), 2u);
    EXPECT_EQ(loose[0].x, 1.5f);
    EXPECT_EQ(loose[1].vy, -4.0f);
}

struct BadStateCase
{
    const char *name;
    std::string text;
    int particles;
    const char *message;
};

void PrintTo(const BadStateCase &c, std::ostream *os)
{
    *os << c.name;
}

class BadState : public ::testing::TestWithParam<BadStateCase>
{
};

TEST_P(BadState, NamesTheFileAndLine)
{
    const BadStateCase &c = GetParam();
    try {
        parseStateCsv(c.text, c.particles, "in.csv");
        FAIL() << "accepted";
    } catch (const InputError &e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BadState,
    ::testing::Values(BadStateCase { "Empty", "", 1, "in.csv: empty file" },
        BadStateCase { "NoHeader", "0,1,2,3,4\n", 1, "in.csv:1: expected the header" },
        BadStateCase { "SnapshotHeader", "tick,i,x,y,vx,vy\n", 1, "in.csv:1: expected the header" },
        BadStateCase { "TooFewFields", "i,x,y,vx,vy\n0,1,2,3\n", 1, "in.csv:2: expected 5 fields" },
        BadStateCase {
            "TooManyFields", "i,x,y,vx,vy\n0,1,2,3,4,5\n", 1, "in.csv:2: expected 5 fields" },
        BadStateCase {
            "IndexNotANumber", "i,x,y,vx,vy\na,1,2,3,4\n", 1, "in.csv:2: i: not a particle index" },
        BadStateCase { "IndexOutOfOrder", "i,x,y,vx,vy\n0,1,2,3,4\n2,1,2,3,4\n", 3,
            "in.csv:3: i: expected particle 1" },
        BadStateCase { "BadX", "i,x,y,vx,vy\n0,x,2,3,4\n", 1, "in.csv:2: x: not a decimal number" },
        BadStateCase {
            "NanVy", "i,x,y,vx,vy\n0,1,2,3,nan\n", 1, "in.csv:2: vy: not a decimal number" },
        BadStateCase { "HugeVx", "i,x,y,vx,vy\n0,1,2,1e39,4\n", 1,
            "in.csv:2: vx: outside the range of a Single" },
        BadStateCase { "EmptyY", "i,x,y,vx,vy\n0,1,,3,4\n", 1, "in.csv:2: y: empty field" },
        BadStateCase { "BlankLineInside", "i,x,y,vx,vy\n0,1,2,3,4\n\n1,1,2,3,4\n", 2,
            "in.csv:3: empty line before the end" },
        BadStateCase { "TooFewRows", stateText(3), 4, "in.csv: 3 particle rows, expected 4" },
        BadStateCase {
            "TooManyRows", stateText(5), 4, "in.csv:6: more rows than the 4 particles" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
