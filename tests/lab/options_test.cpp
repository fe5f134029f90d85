#include "lab/options.h"
#include "model/modpar.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

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
    brownian::ModPar m;
    m.setDefaults();
    EXPECT_EQ(o.unbounded, m.BoundMode.value() != 0);
    EXPECT_EQ(o.numSide, m.NumSide.value());
    EXPECT_EQ(o.size, m.ParSize.value());
    EXPECT_EQ(o.speed, m.ParSpeed.value());
    EXPECT_EQ(o.locus, m.LocusNo.value());
    EXPECT_EQ(o.ticks, 0);
    EXPECT_FALSE(o.seed.has_value());
    EXPECT_EQ(o.threads, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    EXPECT_TRUE(outputRequests(o).empty());
}

// The largest settings are those the program's 16-bit Integers hold: N² particle indices, sizes
// and speeds; run, bench and a sweep's lists take them and refuse one more.
TEST(Options, LimitsAreThoseOfTheSixteenBitIntegers)
{
    const int largest = std::numeric_limits<std::int16_t>::max();
    const int side = static_cast<int>(std::sqrt(largest));
    ASSERT_TRUE(side * side <= largest && (side + 1) * (side + 1) > largest);
    for (const auto &[option, top] :
        { std::pair("--num-side", side), { "--size", largest }, { "--speed", largest } }) {
        for (const char *command : { "run", "bench", "sweep --out d" }) {
            const std::string line = std::string(command) + " " + option + " ";
            EXPECT_TRUE(parseArguments(split(line + std::to_string(top))).ok()) << line << top;
            EXPECT_EQ(
                parseArguments(split(line + std::to_string(top + 1))).error.rfind(option, 0), 0u)
                << line << top + 1;
        }
    }
}

// Every option the help lists is taken by the parser of at least one command.
TEST(Options, EveryOptionInTheHelpIsParsed)
{
    const std::string help = helpText();
    for (std::size_t at = help.find("\n  --"); at != std::string::npos;
         at = help.find("\n  --", at + 1)) {
        const std::string name = help.substr(at + 3, help.find_first_of(" ,\n", at + 3) - at - 3);
        bool taken = false;
        for (const char *command : { "run", "bench", "sweep", "merge" }) {
            const std::string error = parseArguments({ command, name + "=1" }).error;
            taken = taken
                || (error.find("unknown option") == std::string::npos
                    && error.find("not an option") == std::string::npos);
        }
        EXPECT_TRUE(taken) << name;
    }
}

TEST(Options, BenchRunsTwoThousandTicksByDefault)
{
    const ParseResult r = parseArguments({ "bench", "--no-draw" });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.command, Command::Bench);
    EXPECT_EQ(r.options.ticks, 2000);
    EXPECT_TRUE(r.options.noDraw);
}

TEST(Options, WholeNumbersAreDecimal)
{
    // Not octal nor hexadecimal, as C's strtol with base 0 would read them.
    const ParseResult r = parseArguments(split("run --size 010 --speed +07 --ticks 0x10"));
    EXPECT_EQ(r.error, "--ticks: expected a whole number from 0 to 1000000000000, got '0x10'");
    const ParseResult d = parseArguments(split("run --size 010 --speed +07"));
    EXPECT_EQ(d.options.size, 10);
    EXPECT_EQ(d.options.speed, 7);
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
        ErrorCase { "NumSideNotANumber", "run --num-side five", "got 'five'" },
        ErrorCase { "NumSideFraction", "run --num-side 5.0", "--num-side" },
        ErrorCase { "NumSideTrailing", "run --num-side 5x", "--num-side" },
        ErrorCase { "NumSideEmpty", "run --num-side=", "--num-side" },
        ErrorCase { "SizeZero", "run --size 0", "--size: expected a whole number from 1 to 32767" },
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
        ErrorCase { "RepeatsZero", "bench --repeats 0", "--repeats" },
        ErrorCase { "UnknownPairPass", "bench --pairs some",
            "--pairs: expected auto, all, grid or both, not 'some'" },
        ErrorCase { "NegativeWarmUp", "bench --warmup -1", "--warmup" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

/// A config file in a fresh folder.
class ConfigFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lab-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string &text)
    {
        const std::string path = (dir / "settings.toml").string();
        std::ofstream(path) << text;
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(ConfigFile, GivesTheSettingsAndTheCommandLineWins)
{
    const std::string file = write("# a comment\nmode = \"unbounded\"\nsize = 300\nspeed = 7\n"
                                   "msd-out = 'm.csv'\nstate-out = \"/abs/s.csv\"\n");
    const ParseResult r = parseArguments({ "run", "--config", file, "--size", "500" });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.options.unbounded);
    EXPECT_EQ(r.options.size, 500);
    EXPECT_EQ(r.options.speed, 7);
    // Relative names are taken from the file's folder, absolute ones kept.
    EXPECT_EQ(r.options.msdOut, (dir / "m.csv").string());
    EXPECT_EQ(r.options.stateOut, "/abs/s.csv");
    // ...but a name given on the command line stays as given.
    const ParseResult c = parseArguments({ "run", "--config", file, "--msd-out", "here.csv" });
    ASSERT_TRUE(c.ok()) << c.error;
    EXPECT_EQ(c.options.msdOut, "here.csv");
}

TEST_F(ConfigFile, IsReadAsTomlAndTheCommandLineWins)
{
    const std::string file = write("\xEF\xBB\xBFstate-out = \"a#b \\u0041.csv\" # a comment\n"
                                   "threads = 3\nseed = \"18446744073709551615\"\n");
    const ParseResult r = parseArguments({ "run", "--config", file, "--threads", "2" });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.stateOut, (dir / "a#b A.csv").string());
    EXPECT_EQ(r.options.threads, 2);
    EXPECT_EQ(r.options.seed, UINT64_MAX);
    for (const bool draw : { false, true }) {
        const std::string flag = write(draw ? "no-draw = false\n" : "no-draw = true\n");
        EXPECT_EQ(parseArguments({ "bench", "--config", flag }).options.noDraw, !draw);
    }
    const ParseResult merge = parseArguments({ "merge", "--", "-x" });
    ASSERT_TRUE(merge.ok()) << merge.error;
    EXPECT_EQ(merge.merge.dir, "-x");
}

TEST_F(ConfigFile, ListsOfASweepAsArraysOrText)
{
    const std::string file = write("size = [60, 100]\nnum-side = \"3,4\"\nseeds = \"2-5\"\n");
    const ParseResult r = parseArguments({ "sweep", "--config", file, "--out", "d" });
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.sweep.sizes, (std::vector<int> { 60, 100 }));
    EXPECT_EQ(r.sweep.numSides, (std::vector<int> { 3, 4 }));
    EXPECT_EQ(r.sweep.firstSeed, 2u);
    EXPECT_EQ(r.sweep.lastSeed, 5u);
}

struct ConfigCase
{
    const char *name;
    const char *command;
    const char *text;
    const char *message; // after the file name
};

void PrintTo(const ConfigCase &c, std::ostream *os)
{
    *os << c.name;
}

class ConfigErrors : public ConfigFile, public ::testing::WithParamInterface<ConfigCase>
{
};

TEST_P(ConfigErrors, NameTheFileAndLine)
{
    const ConfigCase &c = GetParam();
    const std::string file = write(c.text);
    const ParseResult r = parseArguments({ c.command, "--config", file });
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error.rfind(file, 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(Table, ConfigErrors,
    ::testing::Values(ConfigCase { "UnknownKey", "run", "size = 3\n\nbogus = 1\n",
                          ":3: unknown setting 'bogus'" },
        ConfigCase { "KeyOfAnotherCommand", "bench", "msd-out = 'm.csv'\n",
            ":1: 'msd-out' is not a setting of bench" },
        ConfigCase {
            "Section", "run", "size = 3\n[run]\nspeed = 2\n", ":2: unknown section [run]" },
        ConfigCase { "ListForOneValue", "run", "size = [1, 2]\n", "got a list" },
        ConfigCase { "EmptyList", "sweep", "size = []\n", ":1: size: expected at least one" },
        ConfigCase {
            "NumberInQuotes", "run", "\nticks = \"3\"\n", ":2: ticks: expected a whole number" },
        ConfigCase { "NameAsNumber", "run", "state-out = 5\n", ":1: state-out: expected a string" },
        ConfigCase { "BareWord", "run", "mode = unbounded\n", ":1:8: " },
        ConfigCase { "Unterminated", "run", "state-out = \"a.csv\n", ":1:" },
        ConfigCase { "Duplicate", "run", "size = 3\nsize = 4\n", ":2:" },
        ConfigCase { "ValueOutOfRange", "run", "\n\nsize = 0\n",
            ":3: size: expected a whole number from 1" },
        ConfigCase {
            "FlagNotBoolean", "bench", "no-draw = 1\n", ":1: no-draw: expected true or false" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Options, ConfigFileThatCannotBeRead)
{
    const ParseResult r = parseArguments({ "run", "--config", "/nonexistent/x.toml" });
    EXPECT_EQ(r.error, "--config: cannot read '/nonexistent/x.toml'");
}

TEST(Options, SweepDefaultsAndLists)
{
    const ParseResult r = parseArguments(
        split("sweep --mode unbounded,bounded --size 60,100,80 --seeds 7 --out d --speeds --msd"));
    ASSERT_TRUE(r.ok()) << r.error;
    const SweepOptions &s = r.sweep;
    EXPECT_EQ(s.modes, (std::vector<bool> { true, false }));
    EXPECT_EQ(s.sizes, (std::vector<int> { 60, 100, 80 }));
    EXPECT_EQ(s.numSides, (std::vector<int> { 5 }));
    EXPECT_EQ(s.firstSeed, 7u);
    EXPECT_EQ(s.lastSeed, 7u);
    EXPECT_EQ(s.ticks, 2000);
    EXPECT_TRUE(s.writeMsd && s.writeSpeeds && !s.writeStats);
    const ParseResult plain = parseArguments(split("sweep --out d"));
    ASSERT_TRUE(plain.ok()) << plain.error;
    EXPECT_TRUE(plain.sweep.writeMsd && plain.sweep.writeStats && !plain.sweep.writeSpeeds);
}

INSTANTIATE_TEST_SUITE_P(Sweep, OptionErrors,
    ::testing::Values(ErrorCase { "EmptyItem", "sweep --out d --size 60,,100",
                          "--size: malformed list '60,,100': item 2 is empty" },
        ErrorCase { "TrailingComma", "sweep --out d --speed 3,", "--speed: malformed list" },
        ErrorCase { "ItemOutOfRange", "sweep --out d --num-side 3,182", "got '182'" },
        ErrorCase { "ItemListedTwice", "sweep --out d --size 60,60", "--size: 60 is listed twice" },
        ErrorCase { "ItemListedTwiceSpeltApart", "sweep --out d --size 60,+060",
            "--size: +060 is listed twice" },
        ErrorCase { "ModeWord", "sweep --out d --mode bounded,torus", "--mode: expected bounded" },
        ErrorCase {
            "EmptyRange", "sweep --out d --seeds 5-2", "--seeds: the range '5-2' is empty" },
        ErrorCase { "MalformedRange", "sweep --out d --seeds 1-x", "--seeds: expected a range" },
        ErrorCase { "NoFolder", "sweep --size 60", "--out: expected the folder" },
        ErrorCase { "ListGivenTwice", "sweep --out d --size 60 --size 70", "--size: given twice" },
        ErrorCase {
            "JobsWithPrint", "sweep --out d --print-commands --jobs 2", "--jobs: not used" },
        ErrorCase { "RunOptionInSweep", "sweep --out d --msd-out m.csv",
            "--msd-out: not an option of sweep" },
        ErrorCase { "MergeTwoFolders", "merge a b", "unexpected argument 'b'" },
        ErrorCase { "ManifestOnStdout", "run --manifest -", "--manifest: expected a file name" },
        ErrorCase { "ManifestOfStdin", "run --state-in - --manifest m.toml",
            "--manifest: a run reading standard input" },
        ErrorCase { "VersionOnCommandLine", "run --program-version 1", "unknown option" },
        ErrorCase { "InputIsOutputOfARepeatableRun",
            "run --state-in s.csv --state-out ./s.csv --manifest m.toml",
            "--state-in: 's.csv' is also an output" },
        ErrorCase {
            "NoThreads", "run --threads 0", "--threads: expected a whole number from 1 to 256" },
        ErrorCase { "TooManyThreads", "bench --threads 257", "--threads" },
        ErrorCase { "SweepThreads", "sweep --out d --threads 257", "--threads" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
