#include "model/numeric_text.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using brownian::isNumeric;
using brownian::normaliseCount;
using brownian::normaliseSize;
using brownian::plainDecimal;
using brownian::valueOf;

namespace {

constexpr double kMax = std::numeric_limits<double>::max();

struct ReadCase
{
    const char *name;
    const char *text;
    bool numeric;
    double value;
};

class Reading : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(Reading, NumericTestAndValue)
{
    const ReadCase c = GetParam();
    EXPECT_EQ(isNumeric(c.text), c.numeric) << '"' << c.text << '"';
    const double v = valueOf(c.text);
    EXPECT_FALSE(std::isinf(v));
    EXPECT_EQ(v, c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(NumericText, Reading,
    ::testing::Values(ReadCase { "Integer", "5", true, 5 },
        ReadCase { "BlanksAround", " 5 ", true, 5 },
        ReadCase { "TabsAroundNegative", "\t-3\t", true, -3 },
        ReadCase { "PlusSignFraction", "+0.5", true, 0.5 },
        ReadCase { "LeadingPoint", ".5", true, 0.5 }, ReadCase { "TrailingPoint", "5.", true, 5 },
        ReadCase { "Exponent", "1e3", true, 1000 },
        ReadCase { "ExponentUpperWithSign", "1E+3", true, 1000 },
        ReadCase { "NegativeExponent", "2.5e-1", true, 0.25 }, ReadCase { "Empty", "", false, 0 },
        ReadCase { "OnlyBlanks", "   ", false, 0 }, ReadCase { "Letters", "abc", false, 0 },
        ReadCase { "NumberThenLetters", "12abc", false, 12 },
        ReadCase { "BlankInsideIsDroppedForTheValue", "1 2", false, 12 },
        ReadCase { "BlankAfterSign", "- 5", false, -5 },
        ReadCase { "ExponentWithoutDigits", "1e", false, 1 },
        ReadCase { "ExponentWithoutMantissa", "e5", false, 0 },
        ReadCase { "PointAlone", ".", false, 0 }, ReadCase { "SignAlone", "+", false, 0 },
        ReadCase { "DoubleSign", "--5", false, 0 },
        ReadCase { "ThousandsSeparator", "1,000", false, 1 },
        ReadCase { "HexPrefix", "0x10", false, 0 }, ReadCase { "Currency", "$5", false, 0 },
        ReadCase { "InfinityWord", "inf", false, 0 }, ReadCase { "NanWord", "nan", false, 0 },
        ReadCase { "FullWidthDigit", "７", true, 7 },
        ReadCase { "FullWidthMinus", "－３", true, -3 },
        ReadCase { "MinusSign",
            "\u2212"
            "3",
            true, -3 },
        ReadCase { "FullWidthPlusAndPoint", "＋７．５", true, 7.5 },
        ReadCase { "FullWidthLowerE", "１ｅ３", true, 1000 },
        ReadCase { "FullWidthUpperE", "１Ｅ２", true, 100 },
        ReadCase { "IdeographicSpaces",
            "\u3000"
            "５\u3000",
            true, 5 },
        ReadCase { "MixedWidths", "1５.２5", true, 15.25 },
        ReadCase { "OtherFullWidthLetter", "５ｘ", false, 5 },
        ReadCase { "HugeExponentSaturates", "1e999", true, kMax },
        ReadCase { "HugeNegativeSaturates", "-1e999", true, -kMax },
        ReadCase { "ExponentBeyondAnyLimit", "1e99999999999999999999", true, kMax },
        ReadCase { "TinyIsZero", "1e-999", true, 0 },
        ReadCase { "ZeroWithHugeExponent", "0e999999", true, 0 },
        ReadCase { "ManyZerosThenDigit", "0.0000000001e999", true, kMax },
        ReadCase { "InvalidUtf8",
            "\xff"
            "5",
            false, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(NumericText, EveryFullWidthDigitReadsAsItsAsciiDigit)
{
    // U+FF10..U+FF19 in UTF-8: EF BC 90..99.
    std::string all;
    for (int d = 0; d <= 9; ++d) {
        const std::string digit = { '\xEF', '\xBC', static_cast<char>(0x90 + d) };
        EXPECT_TRUE(isNumeric(digit)) << d;
        EXPECT_EQ(valueOf(digit), d) << d;
        all += digit;
    }
    EXPECT_TRUE(isNumeric(all));
    EXPECT_EQ(valueOf(all), 123456789.0);
    // The code points just outside the digits are no digits.
    EXPECT_FALSE(isNumeric("\xEF\xBC\x8F")); // ／
    EXPECT_FALSE(isNumeric("\xEF\xBC\x9A")); // ：
}

struct NormaliseCase
{
    const char *name;
    const char *text;
    const char *expected;
};

class CountField : public ::testing::TestWithParam<NormaliseCase>
{
};

TEST_P(CountField, FloorsThenClampsIntoOneToTen)
{
    const NormaliseCase c = GetParam();
    ASSERT_TRUE(isNumeric(c.text));
    EXPECT_EQ(normaliseCount(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(NumericText, CountField,
    ::testing::Values(NormaliseCase { "Zero", "0", "1" }, NormaliseCase { "Negative", "-3", "1" },
        NormaliseCase { "Half", "0.5", "1" }, NormaliseCase { "Eleven", "11", "10" },
        NormaliseCase { "Hundred", "100", "10" }, NormaliseCase { "ExponentForm", "1e3", "10" },
        NormaliseCase { "FractionRoundsDown", "7.9", "7" },
        NormaliseCase { "NegativeFractionRoundsDown", "-2.5", "1" },
        NormaliseCase { "Ten", "10", "10" }, NormaliseCase { "JustBelowEleven", "10.999", "10" },
        NormaliseCase { "One", "1", "1" }, NormaliseCase { "Blanks", " 3 ", "3" },
        NormaliseCase { "LeadingZeros", "007", "7" }, NormaliseCase { "FullWidth", "７", "7" },
        NormaliseCase { "Huge", "1e999", "10" }, NormaliseCase { "HugeNegative", "-1e999", "1" },
        NormaliseCase { "Tiny", "1e-999", "1" }),
    [](const auto &info) { return std::string(info.param.name); });

class SizeField : public ::testing::TestWithParam<NormaliseCase>
{
};

TEST_P(SizeField, RoundsDownToTwentyThenClamps)
{
    const NormaliseCase c = GetParam();
    ASSERT_TRUE(isNumeric(c.text));
    EXPECT_EQ(normaliseSize(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(NumericText, SizeField,
    ::testing::Values(NormaliseCase { "RoundsDown", "390", "380" },
        NormaliseCase { "RoundsDownBelowMinimum", "199", "200" },
        NormaliseCase { "RoundsDownToMaximum", "519", "500" },
        NormaliseCase { "AboveMaximum", "520", "500" }, NormaliseCase { "Negative", "-40", "200" },
        NormaliseCase { "Default", "400", "400" }, NormaliseCase { "Minimum", "200", "200" },
        NormaliseCase { "Maximum", "500", "500" }, NormaliseCase { "Fraction", "479.9", "460" },
        NormaliseCase { "Exponent", "4.2e2", "420" },
        NormaliseCase { "FullWidth", "４２０", "420" }, NormaliseCase { "Huge", "1e999", "500" },
        NormaliseCase { "HugeNegative", "-1e999", "200" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(NumericText, NormalisedFieldsAlwaysLandInTheirRange)
{
    for (double v = -30.0; v <= 30.0; v += 0.25) {
        const std::string count = normaliseCount(plainDecimal(v));
        const double n = valueOf(count);
        EXPECT_TRUE(n >= 1 && n <= 10 && n == std::floor(n)) << v << " -> " << count;
        EXPECT_EQ(normaliseCount(count), count) << "not stable for " << v;
    }
    for (double v = -100.0; v <= 1000.0; v += 7.5) {
        const std::string size = normaliseSize(plainDecimal(v));
        const double s = valueOf(size);
        EXPECT_TRUE(s >= 200 && s <= 500 && std::fmod(s, 20.0) == 0.0) << v << " -> " << size;
        EXPECT_EQ(normaliseSize(size), size) << "not stable for " << v;
    }
}

TEST(NumericText, PlainDecimalForms)
{
    struct
    {
        double value;
        const char *text;
    } const rows[] = { { 5, "5" }, { 380, "380" }, { -3, "-3" }, { 0.5, "0.5" }, { -0.0, "0" },
        { 0.0, "0" }, { 1e20, "100000000000000000000" }, { 0.1, "0.1" } };
    for (const auto &row : rows)
        EXPECT_EQ(plainDecimal(row.value), row.text) << row.value;

    const std::string max = plainDecimal(kMax);
    EXPECT_EQ(max.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(max.size(), 309u);
    EXPECT_EQ(valueOf(max), kMax);
    EXPECT_EQ(plainDecimal(std::numeric_limits<double>::infinity()), max);
    for (double v : { 7.9, -2.5, 1e-7, 123456.789 })
        EXPECT_EQ(valueOf(plainDecimal(v)), v) << plainDecimal(v);
}

} // namespace
