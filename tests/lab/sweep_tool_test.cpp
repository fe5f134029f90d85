// End-to-end sweeps and merges with the built brownian-lab: small runs (9 particles, a few
// hundred ticks) so that the suite stays fast, also under the sanitizers.
#include "support/child_process.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using brownian::test::slurp;
using Result = brownian::test::ChildResult;

/// Every file under `dir` with its contents, temporary files included.
std::map<std::string, std::string> tree(const fs::path &dir)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(dir))
        return files;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        files[fs::relative(e.path(), dir).string()] = e.is_regular_file() ? slurp(e.path()) : "/";
    return files;
}

class SweepTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lab-sweep-tool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    /// Starts `program args` in its own process group, in `cwd`, with output and error in
    /// files; returns the process id.
    pid_t start(std::vector<std::string> args, const std::string &program = BROWNIAN_LAB,
        const fs::path &cwd = {}) const
    {
        brownian::test::ChildSetup setup;
        setup.scratch = dir;
        setup.cwd = cwd;
        setup.ownGroup = true;
        return brownian::test::startChild(program, std::move(args), setup);
    }

    Result finish(pid_t pid) const
    {
        brownian::test::ChildSetup setup;
        setup.scratch = dir;
        return brownian::test::finishChild(pid, setup);
    }

    Result run(const std::vector<std::string> &args, const fs::path &cwd = {},
        const std::string &program = BROWNIAN_LAB) const
    {
        return finish(start(args, program, cwd));
    }

    /// A small sweep: 2 sizes x 2 seeds of 9 particles on the torus.
    std::vector<std::string> sweep(const std::string &out, const std::string &seeds = "1-2") const
    {
        return { "sweep", "--mode", "unbounded", "--num-side", "3", "--size", "300,900", "--seeds",
            seeds, "--ticks", "300", "--out", path(out) };
    }

    fs::path dir;
};

TEST_F(SweepTool, JobsAndParallelGiveIdenticalRunsAndMergedFiles)
{
    if (std::system("parallel --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (scripts/deps.sh --test)";
    auto jobs = sweep("a");
    jobs.insert(jobs.end(), { "--jobs", "2" });
    const Result a = run(jobs);
    ASSERT_EQ(a.status, 0) << a.err;

    auto print = sweep("b");
    print.push_back("--print-commands");
    const Result listed = run(print);
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 4);
    std::ofstream(path("commands")) << listed.out;
    const Result par =
        finish(start({ "-c", "parallel -j 2 < '" + path("commands") + "'" }, "/bin/sh"));
    ASSERT_EQ(par.status, 0) << par.err;

    for (const char *out : { "a", "b" }) {
        const Result m = run({ "merge", path(out) });
        ASSERT_EQ(m.status, 0) << m.err;
    }
    auto ta = tree(dir / "a"), tb = tree(dir / "b");
    ASSERT_EQ(ta.size(), 4u * 4 + 3); // 4 folders of 3 files, and the 3 summaries
    // Manifests included: they name their outputs relative to their own folder.
    for (auto &[name, text] : ta)
        EXPECT_EQ(text, tb[name]) << name;
    EXPECT_NE(ta["summary.csv"].find("\nunbounded,3,900,3,300,"), std::string::npos)
        << ta["summary.csv"];
}

TEST_F(SweepTool, ManifestRepeatsTheRunBitForBit)
{
    ASSERT_EQ(run(sweep("a", "5-5")).status, 0);
    const fs::path folder = dir / "a" / "run-2";
    const std::string msd = slurp(folder / "msd.csv"), stats = slurp(folder / "stats.csv");
    fs::remove(folder / "msd.csv");
    fs::remove(folder / "stats.csv");
    fs::create_directory(dir / "elsewhere");
    // From another folder: the manifest's file names are taken from its own folder.
    const Result r = run({ "run", "--config", "../a/run-2/run.toml" }, dir / "elsewhere");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(folder / "msd.csv"), msd);
    EXPECT_EQ(slurp(folder / "stats.csv"), stats);
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

/// A manifest replays bit for bit whatever the file names: each name is used for an output
/// outside the manifest's folder (written by its absolute path) and for one inside it. The
/// last names are 249 and 251 bytes, near the file system's limit of 255.
TEST_F(SweepTool, ManifestsOfHostileNamesReplay)
{
    const std::string names[] = { "with space.csv", "out #1.csv", "both'\"quotes.csv",
        "back\\slash.csv", "日本語.csv", "-lead.csv",
        std::string(80, 'x') + "日本語" + std::string(160, 'y') };
    for (const std::string &name : names) {
        fs::remove_all(dir / "o");
        fs::create_directories(dir / "o" / "m");
        const std::string outside = path("o/" + name), inside = path("o/m/" + name + ".2");
        const Result r = run({ "run", "--ticks", "3", "--seed", "9", "--state-out", outside,
            "--stats-out", inside, "--manifest", path("o/m/run.toml") });
        ASSERT_EQ(r.status, 0) << name << r.err;
        const std::string state = slurp(outside), stats = slurp(inside);
        fs::remove(outside);
        fs::remove(inside);
        const Result replay = run({ "run", "--config", path("o/m/run.toml") });
        ASSERT_EQ(replay.status, 0) << name << replay.err;
        EXPECT_EQ(slurp(outside), state) << name;
        EXPECT_EQ(slurp(inside), stats) << name;
    }
}

TEST_F(SweepTool, SignalEndsTheSweepAndItsRuns)
{
    const pid_t pid = start({ "sweep", "--num-side", "10", "--ticks", "100000000", "--seeds", "1-4",
        "--jobs", "2", "--out", path("a") });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (kill(pid, 0) == 0) {
        kill(-pid, SIGKILL);
        FAIL() << "the sweep did not end after SIGTERM";
    }
    EXPECT_EQ(WEXITSTATUS(status), 130);
    for (const auto &e : fs::recursive_directory_iterator(dir / "a"))
        EXPECT_TRUE(e.is_directory()) << e.path(); // no outputs, no temporary files
}

TEST_F(SweepTool, FolderNamedLikeAnOption)
{
    const Result r = run({ "sweep", "--num-side", "3", "--ticks", "50", "--out=--d" }, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const Result m = run({ "merge", "--", "--d" }, dir);
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_TRUE(fs::exists(dir / "--d" / "summary.csv"));
}

TEST_F(SweepTool, MergeRefusesCopiedAndUnfinishedRuns)
{
    ASSERT_EQ(run(sweep("a")).status, 0);
    fs::copy(dir / "a" / "run-2", dir / "a" / "run-7");
    Result r = run({ "merge", path("a") });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(path("a/run-2") + " and " + path("a/run-7") + " are the same run"),
        std::string::npos)
        << r.err;
    fs::remove_all(dir / "a" / "run-7");
    fs::remove(dir / "a" / "run-3" / "msd.csv");
    r = run({ "merge", path("a") });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("run-3 has a manifest but not all its files"), std::string::npos) << r.err;
    // A figure that cannot be written leaves none of the three files.
    if (mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        fs::create_symlink(dir / "full", dir / "a" / "summary.png");
        fs::remove_all(dir / "a" / "run-3");
        EXPECT_EQ(run({ "merge", path("a") }).status, 1);
        EXPECT_FALSE(fs::exists(dir / "a" / "summary.csv"));
        fs::remove(dir / "a" / "summary.png");
    }
    // The sweep runs it again, and then merge takes it.
    ASSERT_EQ(run(sweep("a")).status, 0);
    EXPECT_EQ(run({ "merge", "--", path("a") }).status, 0);
}

TEST_F(SweepTool, ProgressOnATerminalCountsRuns)
{
    // script(1) gives the sweep a terminal; the bar shows once the sweep has taken a second,
    // so the runs are long enough to take several.
    const std::string command = std::string(BROWNIAN_LAB)
        + " sweep --num-side 10 --ticks 60000 --seeds 1-3 --jobs 1 --out " + path("a");
    const Result r = run({ "-q", "-e", "-c", command, "/dev/null" }, {}, "script");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("%  run "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" tick "), std::string::npos) << r.out;
}

TEST_F(SweepTool, KilledSweepResumesToTheSameResult)
{
    auto args = sweep("a", "1-6");
    args.insert(args.end(), { "--jobs", "1" });
    const pid_t pid = start(args);
    // Kill the sweep and its running child once the first run has finished.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(dir / "a" / "run-1" / "run.toml")
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(-pid, SIGKILL);
    finish(pid);
    int finished = 0;
    for (int k = 1; k <= 12; ++k)
        finished += fs::exists(dir / "a" / ("run-" + std::to_string(k)) / "run.toml");
    ASSERT_GE(finished, 1);
    ASSERT_LT(finished, 12) << "the sweep ended before it was killed";

    // What a killed run leaves behind, removed when the sweep resumes.
    for (int k = 1; k <= 12; ++k)
        std::ofstream(dir / "a" / ("run-" + std::to_string(k)) / ".msd.csv.tmp-Ab12Cd");
    const Result resumed = run(args);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    for (const auto &e : fs::recursive_directory_iterator(dir / "a"))
        EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
    EXPECT_NE(resumed.err.find(std::to_string(finished) + " of 12 runs already finished"),
        std::string::npos)
        << resumed.err;
    ASSERT_EQ(run(sweep("b", "1-6")).status, 0);
    for (const char *out : { "a", "b" })
        ASSERT_EQ(run({ "merge", path(out) }).status, 0);
    EXPECT_EQ(slurp(dir / "a" / "summary.csv"), slurp(dir / "b" / "summary.csv"));
    EXPECT_EQ(slurp(dir / "a" / "summary-msd.csv"), slurp(dir / "b" / "summary-msd.csv"));
}

TEST_F(SweepTool, FailedRunLeavesNoManifestAndTheSweepFails)
{
    // 100 x 100 particles of 400 twips overflow the placement's 16-bit arithmetic.
    const Result r = run({ "sweep", "--num-side", "2,100", "--ticks", "5", "--out", path("a") });
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(
        r.err.find("run 2 (" + path("a") + "/run-2) failed with exit status 3"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("16-bit integer overflow"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir / "a" / "run-1" / "run.toml"));
    EXPECT_TRUE(fs::is_empty(dir / "a" / "run-2"));
}

struct BadCase
{
    const char *name;
    std::vector<std::string> args; // "@" stands for the test's folder
    const char *message;
};

void PrintTo(const BadCase &c, std::ostream *os)
{
    *os << c.name;
}

class SweepToolBadInput : public SweepTool, public ::testing::WithParamInterface<BadCase>
{
};

/// Every case starts from a finished sweep in @a (sizes 300 and 900, seeds 1-2) and a config
/// file @bad.toml with an unknown setting, and must leave all of it as it was.
TEST_P(SweepToolBadInput, ReportsAndChangesNothing)
{
    ASSERT_EQ(run(sweep("a")).status, 0);
    std::ofstream(path("bad.toml")) << "size = [60, 70]\nstep = 3\n";
    std::string manifest = slurp(dir / "a" / "run-3" / "run.toml");
    manifest.replace(manifest.find("\nsize = "), 7, "\nsize: ");
    fs::create_directories(dir / "damaged" / "run-1");
    std::ofstream(dir / "damaged" / "run-1" / "run.toml") << manifest;
    // A run that wrote its MSD to standard output ('-' is no file to read).
    manifest = slurp(dir / "a" / "run-1" / "run.toml");
    manifest.replace(manifest.find("\nmsd-out = "), 11, "\nmsd-out = '-'\n#");
    fs::create_directories(dir / "piped" / "run-1");
    std::ofstream(dir / "piped" / "run-1" / "run.toml") << manifest;
    fs::copy_file(dir / "a" / "run-1" / "stats.csv", dir / "piped" / "run-1" / "stats.csv");
    const auto before = tree(dir);

    std::vector<std::string> args;
    for (std::string a : GetParam().args) {
        if (const auto at = a.find('@'); at != std::string::npos)
            a.replace(at, 1, dir.string() + "/");
        args.push_back(a);
    }
    const Result r = run(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tree(dir), before);
}

INSTANTIATE_TEST_SUITE_P(Table, SweepToolBadInput,
    ::testing::Values(BadCase { "MalformedList", { "sweep", "--size", "1,,2", "--out", "@new" },
                          "--size: malformed list '1,,2': item 2 is empty" },
        BadCase { "EmptyRange", { "sweep", "--seeds", "9-3", "--out", "@new" },
            "--seeds: the range '9-3' is empty" },
        BadCase { "UnknownSettingInConfig", { "sweep", "--config", "@bad.toml", "--out", "@new" },
            "bad.toml:2: unknown setting 'step'" },
        BadCase { "AnotherSweepsFolder",
            { "sweep", "--mode", "unbounded", "--num-side", "3", "--size", "300,600", "--seeds",
                "1-2", "--ticks", "300", "--out", "@a" },
            "a' holds runs of another sweep: " },
        BadCase { "AnotherSweepsFolderPrinting",
            { "sweep", "--num-side", "3", "--out", "@a", "--print-commands" },
            "run-1/run.toml has mode unbounded where this sweep has bounded" },
        BadCase { "DamagedManifestInMerge", { "merge", "@damaged" }, "damaged/run-1/run.toml:7:" },
        BadCase { "DamagedManifestInSweep", { "sweep", "--out", "@damaged" }, "run-1/run.toml:7:" },
        BadCase { "MergeWithoutRuns", { "merge", "@" }, "no finished runs" },
        BadCase { "MergeOfAnMsdOnStandardOutput", { "merge", "@piped" },
            "piped/run-1/run.toml: the run wrote no MSD (msd-out)" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
