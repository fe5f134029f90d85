#include "lab/options.h"

#include <gtest/gtest.h>

using namespace brownian::lab;

namespace {

std::vector<std::string> split(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

TEST(Options, DefaultsOfRunAreTheProgramsStartUp)
{
    const ParseResult r = parseArguments({ "run" });
    ASSERT_TRUE(r.ok()) << r.error;
    const LabOptions &o = r.options;
    EXPECT_EQ(o.command, Command::Run);
    EXPECT_FALSE(o.unbounded);
    EXPECT_EQ(o.numSide, 5);
    EXPECT_EQ(o.size, 400);
    EXPECT_EQ(o.speed, 3);
    EXPECT_EQ(o.locus, 12);
    EXPECT_EQ(o.ticks, 0);
    EXPECT_FALSE(o.seed.has_value());
    EXPECT_TRUE(outputRequests(o).empty());
}

TEST(Options, BenchRunsTwoThousandTicksByDefault)
{
    const ParseResult r = parseArguments({ "bench", "--no-draw" });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.command, Command::Bench);
    EXPECT_EQ(r.options.ticks, 2000);
    EXPECT_TRUE(r.options.noDraw);
}

TEST(Options, EveryValueIsTakenInBothSpellings)
{
    const ParseResult r = parseArguments(split(
        "run --mode=unbounded --num-side 181 --size=32767 --speed 0 --locus 32760 --ticks "
        "1000000000000 "
        "--seed 18446744073709551615 --state-in in.csv --state-out - --snapshots-out s.csv --every "
        "7 "
        "--trace-out t.csv --stats-out st.csv --path-png p.png --frame-png f.png --msd-out m.csv "
        "--speeds-out v.csv --plot plot.png --bins 1000 --dpi 1200"));
    ASSERT_TRUE(r.ok()) << r.error;
    const LabOptions &o = r.options;
    EXPECT_TRUE(o.unbounded);
    EXPECT_EQ(o.numSide, 181);
    EXPECT_EQ(o.size, 32767);
    EXPECT_EQ(o.speed, 0);
    EXPECT_EQ(o.locus, 32760);
    EXPECT_EQ(o.ticks, 1'000'000'000'000);
    EXPECT_EQ(o.seed, 18446744073709551615ull);
    EXPECT_EQ(o.stateIn, "in.csv");
    EXPECT_EQ(o.every, 7);
    EXPECT_EQ(o.bins, 1000);
    EXPECT_EQ(o.dpi, 1200);
    EXPECT_EQ(outputRequests(o).size(), 9u);
    EXPECT_EQ(outputRequests(o).front().path, "-");
}

struct LocusCase
{
    const char *name;
    int numSide, locus;
};

void PrintTo(const LocusCase &c, std::ostream *os)
{
    *os << c.name;
}

class DefaultLocus : public ::testing::TestWithParam<LocusCase>
{
};

TEST_P(DefaultLocus, IsTheCentreParticleOfTheSettingsDialog)
{
    const LocusCase c = GetParam();
    EXPECT_EQ(defaultLocus(c.numSide), c.locus);
    const ParseResult r = parseArguments({ "run", "--num-side", std::to_string(c.numSide) });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.locus, c.locus);
}

INSTANTIATE_TEST_SUITE_P(Table, DefaultLocus,
    ::testing::Values(LocusCase { "One", 1, 0 }, LocusCase { "Two", 2, 0 },
        LocusCase { "Three", 3, 4 }, LocusCase { "Four", 4, 5 }, LocusCase { "Five", 5, 12 },
        LocusCase { "Ten", 10, 44 }, LocusCase { "Largest", 181, 16380 }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Options, HelpWinsWhereverItStands)
{
    for (const char *line :
        { "--help", "-h", "help", "run --ticks 5 --help", "bench -h", "run --bogus --help" }) {
        const ParseResult r = parseArguments(split(line));
        EXPECT_TRUE(r.ok()) << line;
        EXPECT_EQ(r.options.command, Command::Help) << line;
    }
    EXPECT_NE(helpText().find("brownian-lab bench"), std::string::npos);
}

struct ErrorCase
{
    const char *name;
    const char *line;
    const char *message; // a part of the error that names the option
};

void PrintTo(const ErrorCase &c, std::ostream *os)
{
    *os << c.name;
}

class OptionErrors : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(OptionErrors, AreReportedNamingTheOption)
{
    const ErrorCase c = GetParam();
    const ParseResult r = parseArguments(split(c.line));
    ASSERT_FALSE(r.ok()) << c.line;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(Table, OptionErrors,
    ::testing::Values(ErrorCase { "NoCommand", "", "no command" },
        ErrorCase { "UnknownCommand", "walk", "unknown command 'walk'" },
        ErrorCase { "UnknownOption", "run --bogus 3", "unknown option --bogus" },
        ErrorCase { "StrayWord", "run 12", "unexpected argument '12'" },
        ErrorCase { "MissingValue", "run --ticks", "--ticks: missing value" },
        ErrorCase { "GivenTwice", "run --size 300 --size 400", "--size: given twice" },
        ErrorCase { "ModeWord", "run --mode torus", "--mode: expected bounded or unbounded" },
        ErrorCase { "NumSideZero", "run --num-side 0",
            "--num-side: expected a whole number from 1 to 181" },
        ErrorCase { "NumSideTooLarge", "run --num-side 182", "--num-side" },
        ErrorCase { "NumSideNotANumber", "run --num-side five", "got 'five'" },
        ErrorCase { "NumSideFraction", "run --num-side 5.0", "--num-side" },
        ErrorCase { "NumSideTrailing", "run --num-side 5x", "--num-side" },
        ErrorCase { "NumSideEmpty", "run --num-side=", "--num-side" },
        ErrorCase { "SizeZero", "run --size 0", "--size: expected a whole number from 1 to 32767" },
        ErrorCase { "SizeTooLarge", "run --size 32768", "--size" },
        ErrorCase {
            "SpeedNegative", "run --speed -1", "--speed: expected a whole number from 0 to 32767" },
        ErrorCase { "LocusNegative", "run --locus -1", "--locus" },
        ErrorCase { "LocusOutsideGrid", "run --num-side 3 --locus 9",
            "--locus: particle 9 does not exist" },
        ErrorCase { "TicksNegative", "run --ticks -5", "--ticks" },
        ErrorCase { "TicksHuge", "run --ticks 99999999999999999999", "--ticks" },
        ErrorCase { "SeedNegative", "run --seed -1", "--seed" },
        ErrorCase { "SeedTooLarge", "run --seed 18446744073709551616", "--seed" },
        ErrorCase { "EveryZero", "run --snapshots-out s.csv --every 0", "--every" },
        ErrorCase {
            "EveryWithoutSnapshots", "run --every 5", "--every: only used with --snapshots-out" },
        ErrorCase { "BinsWithoutHistogram", "run --bins 10", "--bins: only used with" },
        ErrorCase { "BinsZero", "run --speeds-out v.csv --bins 0", "--bins" },
        ErrorCase { "DpiWithoutPicture", "run --dpi 192", "--dpi: only used with" },
        ErrorCase { "DpiTooSmall", "run --plot p.png --dpi 10", "--dpi" },
        ErrorCase { "TwoOnStandardOutput", "run --state-out - --stats-out -",
            "--stats-out: standard output is already taken by --state-out" },
        ErrorCase { "SameFileTwice", "run --state-out a.csv --msd-out ./a.csv",
            "a.csv' is already the file of another output" },
        ErrorCase { "EmptyFileName", "run --state-out=", "--state-out: expected a file name" },
        ErrorCase { "EmptyInputName", "run --state-in=", "--state-in: expected a file name" },
        ErrorCase {
            "RunOptionInBench", "bench --state-out a.csv", "--state-out: not an option of bench" },
        ErrorCase { "BenchOptionInRun", "run --no-draw", "--no-draw: not an option of run" },
        ErrorCase { "FlagWithValue", "bench --no-draw=1", "--no-draw: takes no value" },
        ErrorCase { "DpiWithNoDraw", "bench --no-draw --dpi 96", "--dpi" },
        ErrorCase { "RepeatsZero", "bench --repeats 0", "--repeats" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
