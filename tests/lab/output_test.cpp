#include "lab/commands.h"
#include "lab/output.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using namespace brownian::lab;
namespace fs = std::filesystem;

namespace {

class Output : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lab-output-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        return names;
    }
    static std::string contents(const fs::path &p)
    {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
};

TEST_F(Output, AppearsOnlyWhenCommitted)
{
    const fs::path target = dir / "a.csv";
    {
        OutputFile f;
        ASSERT_EQ(f.open(target.string()), "");
        f.write("partial\n");
        EXPECT_FALSE(fs::exists(target));
    } // dropped without a commit
    EXPECT_TRUE(entries().empty());

    OutputFile f;
    ASSERT_EQ(f.open(target.string()), "");
    f.write("one\n");
    f.write("two\n");
    EXPECT_EQ(f.commit(), "");
    EXPECT_EQ(contents(target), "one\ntwo\n");
    EXPECT_EQ(entries(), std::vector<std::string> { "a.csv" });
    // Created like any new file: readable by others when the umask allows it.
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~mask));
}

TEST_F(Output, ReplacesAnOldFileWhole)
{
    const fs::path target = dir / "b.csv";
    std::ofstream(target) << "old\n";
    OutputFile f;
    ASSERT_EQ(f.open(target.string()), "");
    f.write("new\n");
    EXPECT_EQ(contents(target), "old\n");
    f.discard();
    EXPECT_EQ(contents(target), "old\n");
    ASSERT_EQ(f.open(target.string()), "");
    f.write("new\n");
    EXPECT_EQ(f.commit(), "");
    EXPECT_EQ(contents(target), "new\n");
}

TEST_F(Output, RefusesPlacesThatCannotBeWritten)
{
    OutputFile f;
    EXPECT_NE(
        f.open((dir / "missing" / "a.csv").string()).find("cannot write in"), std::string::npos);
    EXPECT_NE(f.open(dir.string()).find("is a directory"), std::string::npos);
    EXPECT_EQ(f.commit(), "not open");
}

// A signal that comes after every file has been written still leaves none of them in place.
TEST_F(Output, SetPlacesNothingAfterASignal)
{
    for (const bool signalled : { false, true }) {
        OutputSet files;
        files.open("--a", (dir / "a.csv").string())->write("a\n");
        files.open("--b", (dir / "b.csv").string())->write("b\n");
        InterruptGuard guard;
        if (signalled)
            std::raise(SIGTERM);
        EXPECT_EQ(files.commitAll(), signalled ? kExitInterrupted : kExitOk);
        EXPECT_EQ(entries().size(), signalled ? 0u : 2u);
        fs::remove(dir / "a.csv"), fs::remove(dir / "b.csv");
    }
}

TEST(Bench, SummaryGivesTheMedianRun)
{
    LabOptions o;
    o.ticks = 1000;
    o.repeats = 3;
    const std::vector<BenchCase> cases = { { 3e-3, 1e-3, {} }, { 1e-3, 2e-3, {} },
        { 2e-3, 4e-3, {} } };
    const std::string single = benchSummary(o, cases);
    EXPECT_NE(single.find(" us_per_tick=2.000 ticks_per_s=500000.0 "), std::string::npos) << single;
    EXPECT_NE(single.find(" best_us_per_tick=1.000 "), std::string::npos) << single;
    o.pairs = "both";
    const std::string paired = benchSummary(o, cases);
    EXPECT_NE(
        paired.find(" us_per_tick_all=2.000 us_per_tick_grid=2.000 ratio=0.5 best_ratio=3.0 "),
        std::string::npos)
        << paired;
}

} // namespace
