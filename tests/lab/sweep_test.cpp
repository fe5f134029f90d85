#include "lab/csv.h"
#include "lab/output.h"
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
    SweepOptions t = twoByTwo();
    t.modes = { false };
    t.numSides = { 4, 3 };
    t.lastSeed = t.firstSeed;
    t.threads = 3;
    std::string sides;
    for (const SweepRun &r : expandSweep(t)) {
        sides += std::to_string(r.numSide) + "/" + std::to_string(r.size) + " ";
        EXPECT_EQ(runOptions(t, r).threads, 3); // the sweep's, not the processor count
    }
    EXPECT_EQ(sides, "4/200 4/100 3/200 3/100 ");
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

    /// The files and the manifest run K would leave, after `edit` of its options.
    void finish(int k, const std::function<void(LabOptions &)> &edit = {})
    {
        LabOptions o = runOptions(s, expandSweep(s)[k - 1]);
        if (edit)
            edit(o);
        fs::create_directories(runFolder(s, expandSweep(s)[k - 1]));
        std::ofstream(o.msdOut) << "lag,msd\n";
        std::ofstream(o.statsOut) << "tick\n";
        std::ofstream(o.manifestOut) << manifestText(o, o.manifestOut);
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

TEST_F(SweepFolder, RunsWithAManifestAndTheirFilesAreFinished)
{
    fs::create_directories(s.out + "/run-1"); // started, not finished
    finish(2);
    finish(8);
    finish(5);
    fs::remove(s.out + "/run-5/stats.csv"); // a file lost since: run again
    std::ofstream(s.out + "/run-1/.msd.csv.tmp-a1B2c3"); // left by a killed run
    EXPECT_EQ(finishedRuns(s, expandSweep(s)),
        (std::vector<bool> { false, true, false, false, false, false, false, true }));
    removeTemporaryFiles(s.out + "/run-1");
    EXPECT_TRUE(fs::is_empty(s.out + "/run-1"));
}

TEST_F(SweepFolder, ManifestRoundTrip)
{
    finish(3, [](LabOptions &o) {
        o.seed = UINT64_MAX;
        o.threads = 7;
    });
    const LabOptions m = readManifest(s.out + "/run-3/run.toml");
    EXPECT_TRUE(m.unbounded);
    EXPECT_EQ(m.size, 100);
    EXPECT_EQ(m.seed, UINT64_MAX);
    EXPECT_EQ(m.ticks, 10);
    EXPECT_EQ(m.threads, 7);
    EXPECT_EQ(m.msdOut, s.out + "/run-3/msd.csv"); // written relative to the manifest
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
    struct Case
    {
        const char *from, *to, *message;
    };
    const Case cases[] = {
        { "size = 200\n", "size = 200\nsize = 12\n", "run.toml:8:8: " }, // the key again
        { "size = 200", "size = 4o0", "run.toml:7:" },
        { "ticks = 10", "[ticks]", "run.toml:10: unknown section [ticks]" },
        { "ticks = 10", "ticks = 'ten'",
            "run.toml:10: ticks: expected a whole number, got a string" },
        { "program-version", "version", "run.toml:4: unknown setting 'version'" },
    };
    for (const Case &c : cases) {
        finish(1);
        std::string text = manifestText(runOptions(s, expandSweep(s)[0]), "m");
        text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        std::ofstream(s.out + "/run-1/run.toml") << text;
        EXPECT_NE(failure().find(c.message), std::string::npos) << failure();
    }
    std::ofstream(s.out + "/run-1/run.toml") << "size = 1\n";
    EXPECT_NE(failure().find("no 'program-version'"), std::string::npos) << failure();
}

} // namespace
