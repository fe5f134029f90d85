#include "lab/csv.h"
#include "lab/manifest.h"
#include "lab/sweep.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace brownian::lab;
namespace fs = std::filesystem;

namespace {

SweepOptions twoByTwo()
{
    SweepOptions s;
    s.modes = { true, false };
    s.sizes = { 200, 100 };
    s.firstSeed = 3;
    s.lastSeed = 4;
    s.ticks = 10;
    s.out = "/tmp/x";
    return s;
}

TEST(Sweep, ExpandsModeOutermostAndTheSeedInnermost)
{
    std::string order;
    int expectedIndex = 1;
    for (const SweepRun &r : expandSweep(twoByTwo())) {
        EXPECT_EQ(r.index, expectedIndex++);
        order +=
            (r.unbounded ? "u" : "b") + std::to_string(r.size) + "/" + std::to_string(r.seed) + " ";
    }
    EXPECT_EQ(order, "u200/3 u200/4 u100/3 u100/4 b200/3 b200/4 b100/3 b100/4 ");
}

TEST(Sweep, TheLastSeedOfAllIsReached)
{
    SweepOptions s;
    s.firstSeed = UINT64_MAX - 1;
    s.lastSeed = UINT64_MAX;
    const auto runs = expandSweep(s);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs.back().seed, UINT64_MAX);
}

TEST(Sweep, QuotedWordsReadBackThroughTheShell)
{
    for (const std::string word :
        { "plain/path-1.csv", "with space", "it's", "$HOME", "a\"b", "" }) {
        const std::string command = "printf %s " + shellQuote(word);
        FILE *pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[256] = {};
        const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
        ::pclose(pipe);
        EXPECT_EQ(std::string(buffer, n), word) << shellQuote(word);
    }
}

class SweepFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lab-sweep-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s = twoByTwo();
        s.out = pattern;
    }
    void TearDown() override { fs::remove_all(s.out); }

    /// The manifest run K would leave, after `edit` of its options.
    void finish(int k, const std::function<void(LabOptions &)> &edit = {})
    {
        const SweepRun r = expandSweep(s)[k - 1];
        LabOptions o;
        o.unbounded = r.unbounded;
        o.numSide = r.numSide;
        o.size = r.size;
        o.speed = r.speed;
        o.seed = r.seed;
        o.ticks = s.ticks;
        o.msdOut = runFolder(s, r) + "/msd.csv";
        o.statsOut = runFolder(s, r) + "/stats.csv";
        if (edit)
            edit(o);
        fs::create_directories(runFolder(s, r));
        const std::string path = runFolder(s, r) + "/run.toml";
        std::ofstream(path) << manifestText(o, path);
    }

    std::string failure()
    {
        try {
            finishedRuns(s, expandSweep(s));
        } catch (const InputError &e) {
            return e.what();
        }
        return "no error";
    }

    SweepOptions s;
};

TEST_F(SweepFolder, RunsWithAManifestAreFinished)
{
    fs::create_directories(s.out + "/run-1"); // started, not finished
    finish(2);
    finish(8);
    EXPECT_EQ(finishedRuns(s, expandSweep(s)),
        (std::vector<bool> { false, true, false, false, false, false, false, true }));
}

TEST_F(SweepFolder, ManifestRoundTrip)
{
    finish(3);
    const ManifestRecord m = readManifest(s.out + "/run-3/run.toml");
    EXPECT_TRUE(m.unbounded);
    EXPECT_EQ(m.size, 100);
    EXPECT_EQ(m.seed, 3u);
    EXPECT_EQ(m.ticks, 10);
    EXPECT_EQ(m.others.at("msd-out"), "msd.csv"); // relative to the manifest
    EXPECT_EQ(manifestOutput(m, s.out + "/run-3/run.toml", "msd-out"), s.out + "/run-3/msd.csv");
}

TEST_F(SweepFolder, RunsOfAnotherSweepAreRefused)
{
    finish(2, [](LabOptions &o) { o.size = 150; });
    EXPECT_NE(
        failure().find("run-2/run.toml has size 150 where this sweep has 200"), std::string::npos)
        << failure();
    fs::remove_all(s.out + "/run-2");
    finish(2, [](LabOptions &o) { o.statsOut.clear(); });
    EXPECT_NE(failure().find("no stats-out"), std::string::npos) << failure();
    fs::remove_all(s.out + "/run-2");
    fs::create_directories(s.out + "/run-9");
    std::ofstream(s.out + "/run-9/run.toml") << manifestText(LabOptions {}, s.out + "/run-9/x");
    EXPECT_NE(failure().find("is not one of this sweep's 8 runs"), std::string::npos) << failure();
}

TEST_F(SweepFolder, DamagedManifestNamesItsLine)
{
    finish(1);
    std::ofstream(s.out + "/run-1/run.toml", std::ios::app) << "size = 12x\n";
    EXPECT_NE(failure().find("run-1/run.toml:14: size: given twice"), std::string::npos)
        << failure();
    finish(1);
    std::string text = manifestText(LabOptions {}, "m");
    text.replace(text.find("size = 400"), 10, "size = 4o0");
    std::ofstream(s.out + "/run-1/run.toml") << text;
    EXPECT_NE(failure().find("run.toml:7: size: expected a whole number"), std::string::npos)
        << failure();
    std::ofstream(s.out + "/run-1/run.toml") << "garbage\n";
    EXPECT_NE(failure().find("run.toml:1: expected 'name = value'"), std::string::npos)
        << failure();
}

} // namespace
