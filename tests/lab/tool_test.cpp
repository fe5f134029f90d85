// End-to-end runs of the built brownian-lab tool.
#include "analysis/analysis.h"
#include "lab/csv.h"
#include "model/modpar.h"
#include "sim/simulation.h"
#include "support/child_process.h"
#include "support/state_builder.h"
#include "support/state_compare.h"

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>

using namespace brownian;
using namespace brownian::lab;
namespace fs = std::filesystem;

namespace {

using test::slurp;
using Result = test::ChildResult;

class Tool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lab-tool-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path file(const std::string &name) const { return dir / name; }
    std::string path(const std::string &name) const { return file(name).string(); }

    /// Runs the tool with `args`, standard input from `input` (or nothing); sends it `signal`
    /// after `interruptAfterMs` when that is not 0.
    Result run(std::vector<std::string> args, const std::string &input = {},
        int interruptAfterMs = 0, int signal = SIGINT) const
    {
        test::ChildSetup setup;
        setup.scratch = dir;
        setup.input = input;
        const pid_t pid = test::startChild(BROWNIAN_LAB, std::move(args), setup);
        if (pid > 0 && interruptAfterMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(interruptAfterMs));
            kill(pid, signal);
        }
        return test::finishChild(pid, setup);
    }

    /// Files in the directory, temporary ones included.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

/// Rows of a CSV file after its header, each split at commas.
std::vector<std::vector<std::string>> rowsOf(const std::string &text, const std::string &header)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, header);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        for (auto f : splitFields(line))
            fields.emplace_back(f);
        rows.push_back(fields);
    }
    return rows;
}

double num(const std::string &s)
{
    return std::stod(s);
}

std::string stateFile(const ModPar &s)
{
    std::string text(kStateHeader);
    text += '\n';
    appendStateRows(text, s);
    return text;
}

ModPar programStart(int numSide, int size, int speed, bool unbounded)
{
    return test::StateBuilder()
        .unbounded(unbounded)
        .numSide(numSide)
        .size(size)
        .speed(speed)
        .locus(0)
        .placed();
}

/// The rows, loaded into a state of the same settings with every array element 0 first, give
/// `s` bit for bit.
void expectSameState(const ModPar &s, const std::vector<StateRow> &rows)
{
    ASSERT_EQ(static_cast<int>(rows.size()), s.ParX.size());
    ModPar loaded = s;
    loaded.redim();
    loadState(loaded, rows);
    EXPECT_TRUE(test::sameState(loaded, s));
}

TEST_F(Tool, HelpExplainsBothCommands)
{
    const Result r = run({ "--help" });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("brownian-lab run [OPTIONS]"), std::string::npos);
    EXPECT_NE(r.out.find("brownian-lab bench [OPTIONS]"), std::string::npos);
    EXPECT_NE(r.out.find("--msd-out"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST_F(Tool, DefaultRunStartsFromTheProgramsFirstPlacement)
{
    const Result r =
        run({ "run", "--state-out", path("s.csv"), "--snapshots-out", path("snap.csv") });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The window's start-up: defaults, redim, InitPar(0), from the fixed random state.
    const ModPar program = test::StateBuilder().placed();
    expectSameState(program, parseStateCsv(slurp(file("s.csv")), 25, "s.csv"));
    EXPECT_EQ(
        slurp(file("snap.csv")), "tick,i,x,y,vx,vy\n" + [&] {
            std::string rows;
            appendStateRows(rows, program, "0,");
            return rows;
        }());
}

TEST_F(Tool, SeedGivesAnotherButRepeatableStart)
{
    const std::string plain = run({ "run", "--state-out", "-" }).out;
    const Result a = run({ "run", "--seed", "42", "--state-out", "-" });
    const Result b = run({ "run", "--seed", "42", "--state-out", "-" });
    const Result c = run({ "run", "--seed", "43", "--state-out", "-" });
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out, plain);
    EXPECT_NE(a.out, c.out);
    const ModPar seeded = test::StateBuilder().seed(42).placed();
    expectSameState(seeded, parseStateCsv(a.out, 25, "stdout"));
}

TEST_F(Tool, StateRoundTripGivesIdenticalBytes)
{
    ASSERT_EQ(run({ "run", "--mode", "unbounded", "--seed", "9", "--ticks", "37", "--state-out",
                      path("a.csv") })
                  .status,
        0);
    const Result r = run({ "run", "--mode", "unbounded", "--state-in", path("a.csv"), "--state-out",
        path("b.csv") });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(file("a.csv")), slurp(file("b.csv")));
    // Also through standard input and standard output.
    const Result piped =
        run({ "run", "--state-in", "-", "--state-out", "-" }, slurp(file("a.csv")));
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, slurp(file("a.csv")));
}

class ToolModes : public Tool, public ::testing::WithParamInterface<bool>
{
};

/// A run from a state, on any number of threads, gives the bits of the same ticks stepped with
/// every pair tested: 36 particles (all pairs in the tool too) and 4 096 (the cell grid).
TEST_P(ToolModes, RunFromAStateEqualsTicksSteppedThroughTheCore)
{
    const bool unbounded = GetParam();
    struct Case
    {
        int numSide, size, ticks;
        std::vector<const char *> threads;
    };
    for (const Case &c :
        { Case { 6, 420, 250, { "2" } }, Case { 64, 40, 12, { "1", "2", "4" } } }) {
        brownian::Simulation simulation(
            programStart(c.numSide, c.size, 4, unbounded), 1, brownian::PairPass::All);
        ModPar &core = simulation.state();
        NullCanvas path, frame;
        for (int t = 0; t < 8; ++t) // a state with collisions under way
            simulation.tick(unbounded, path, frame);
        std::ofstream(file("in.csv")) << stateFile(core);
        for (int t = 0; t < c.ticks; ++t)
            simulation.tick(unbounded, path, frame);
        for (const char *threads : c.threads) {
            const Result r =
                run({ "run", "--mode", unbounded ? "unbounded" : "bounded", "--num-side",
                    std::to_string(c.numSide), "--size", std::to_string(c.size), "--speed", "4",
                    "--locus", "0", "--ticks", std::to_string(c.ticks), "--threads", threads,
                    "--state-in", this->path("in.csv"), "--state-out", this->path("out.csv") });
            ASSERT_EQ(r.status, 0) << r.err;
            expectSameState(
                core, parseStateCsv(slurp(file("out.csv")), c.numSide * c.numSide, "out.csv"));
        }
    }
}

TEST_P(ToolModes, EnergyAndMomentumBehaveAsThePhysicsSays)
{
    const bool unbounded = GetParam();
    const Result r = run({ "run", "--mode", unbounded ? "unbounded" : "bounded", "--num-side", "8",
        "--size", "350", "--speed", "2", "--ticks", "3000", "--stats-out", path("stats.csv") });
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = rowsOf(slurp(file("stats.csv")),
        std::string("tick,kinetic_energy,momentum_x,momentum_y,contacts,temperature,pressure")
            + (unbounded ? "" : ",pressure_wall"));
    ASSERT_EQ(rows.size(), 3001u);
    const double e0 = num(rows[0][1]), px0 = num(rows[0][2]), py0 = num(rows[0][3]);
    EXPECT_EQ(rows[0][4], "0");
    // Each contact rounds four velocity components to Single: at most half an ulp each, the
    // ulp of a component below 8 being at most 2^-20. Walls only flip signs, exactly.
    double contacts = 0, worstEnergy = 0, worstMomentum = 0;
    bool wallMovedMomentum = false, quietTickChanged = false;
    for (std::size_t k = 1; k < rows.size(); ++k) {
        EXPECT_EQ(num(rows[k][0]), static_cast<double>(k));
        const double c = num(rows[k][4]);
        contacts += c;
        const double e = num(rows[k][1]), px = num(rows[k][2]), py = num(rows[k][3]);
        worstEnergy = std::max(worstEnergy, std::fabs(e - e0));
        worstMomentum = std::max({ worstMomentum, std::fabs(px - px0), std::fabs(py - py0) });
        const bool sameAsBefore = rows[k][1] == rows[k - 1][1] && rows[k][2] == rows[k - 1][2]
            && rows[k][3] == rows[k - 1][3];
        if (c == 0 && !sameAsBefore) {
            quietTickChanged = true;
            wallMovedMomentum = wallMovedMomentum
                || std::fabs(px - num(rows[k - 1][2])) + std::fabs(py - num(rows[k - 1][3])) > 0.1;
        }
    }
    ASSERT_GT(contacts, 100);
    // The collisions push the pressure above tick 0's, the motion's own N kT / A; in the box
    // the walls feel about the virial's.
    double pressure = 0, walls = 0;
    for (std::size_t k = 1; k < rows.size(); ++k)
        std::tie(pressure, walls) = std::pair(
            pressure + num(rows[k][6]) / 3000, walls + (unbounded ? 0.0 : num(rows[k][7]) / 3000));
    EXPECT_GT(pressure, 1.1 * num(rows[0][6]));
    EXPECT_NEAR(unbounded ? pressure : walls, pressure, 0.1 * pressure);
    const double halfUlp = std::ldexp(1.0, -21);
    EXPECT_LE(worstEnergy, contacts * 4 * 8 * halfUlp); // |Δ(v²)| ≤ 2 |v| |Δv|
    EXPECT_LT(worstEnergy, 1e-5 * e0);
    if (unbounded) {
        EXPECT_LE(worstMomentum, contacts * 4 * halfUlp);
        EXPECT_FALSE(quietTickChanged); // nothing but collisions changes a velocity on the torus
    } else {
        EXPECT_GT(worstMomentum, 1.0);
        EXPECT_TRUE(wallMovedMomentum); // ticks without a contact: the walls alone
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ToolModes, ::testing::Values(false, true),
    [](const auto &info) { return info.param ? "Unbounded" : "Bounded"; });

TEST_F(Tool, MsdOfOneFreeParticleIsExactlyBallistic)
{
    // Velocities with short binary fractions: every sum and square below is exact.
    std::ofstream(file("one.csv")) << "i,x,y,vx,vy\n0,2500,2500,1.5,-0.75\n";
    const Result r = run({ "run", "--num-side", "1", "--ticks", "300", "--state-in",
        path("one.csv"), "--msd-out", path("msd.csv"), "--trace-out", path("trace.csv") });
    ASSERT_EQ(r.status, 0) << r.err;
    const auto msd = rowsOf(slurp(file("msd.csv")), "lag,msd");
    ASSERT_FALSE(msd.empty());
    ASSERT_EQ(msd.size(), msdLags(900).size());
    for (const auto &row : msd) {
        // Lags up to 14 come from the positions themselves; longer ones from averages over
        // blocks of w = 2, 4, ... sub-steps, which give the MSD averaged over the lags within
        // a block's width, here v² (lag² + (w² - 1) / 6).
        const double lag = num(row[0]);
        const double w = lag <= 14 ? 1 : std::exp2(std::floor(std::log2(lag)) - 3);
        const double v2 = 1.5 * 1.5 + 0.75 * 0.75;
        EXPECT_NEAR(num(row[1]), v2 * (lag * lag + (w * w - 1) / 6), 1e-9 * lag * lag) << row[0];
    }
    const auto trace = rowsOf(slurp(file("trace.csv")), "substep,x,y,ux,uy");
    ASSERT_EQ(trace.size(), 901u);
    EXPECT_EQ(trace[0], (std::vector<std::string> { "0", "2500", "2500", "2500", "2500" }));
    EXPECT_EQ(trace[900], (std::vector<std::string> { "900", "3850", "1825", "3850", "1825" }));
}

TEST_F(Tool, TraceUnwrapsAcrossTheSeam)
{
    // A lone particle crossing the right edge of the torus several times.
    std::ofstream(file("one.csv")) << "i,x,y,vx,vy\n0,5000,100,2.25,0.5\n";
    const Result r = run({ "run", "--mode", "unbounded", "--num-side", "1", "--ticks", "3000",
        "--speed", "2", "--state-in", path("one.csv"), "--trace-out", path("trace.csv") });
    ASSERT_EQ(r.status, 0) << r.err;
    const auto trace = rowsOf(slurp(file("trace.csv")), "substep,x,y,ux,uy");
    ASSERT_EQ(trace.size(), 6001u);
    int wraps = 0;
    for (std::size_t k = 1; k < trace.size(); ++k) {
        EXPECT_EQ(num(trace[k][3]), 5000 + 2.25 * k);
        EXPECT_EQ(num(trace[k][4]), 100 + 0.5 * k);
        const double x = num(trace[k][1]);
        EXPECT_GE(x, -500);
        EXPECT_LE(x, 5500);
        wraps += x < num(trace[k - 1][1]);
        EXPECT_NEAR(std::remainder(num(trace[k][3]) - x, 6000.0), 0.0, 0.01);
    }
    EXPECT_EQ(wraps, 3); // 13500 twips from x = 5000: past 5500, 11500 and 17500
}

TEST_F(Tool, SpeedHistogramCountsAddUp)
{
    const Result r = run(
        { "run", "--mode", "unbounded", "--ticks", "200", "--speeds-out", "-", "--bins", "12" });
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bins = rowsOf(r.out, "speed_low,speed_high,count,expected");
    ASSERT_FALSE(bins.empty());
    EXPECT_LE(bins.size(), 12u);
    double counted = 0, expected = 0;
    for (std::size_t k = 0; k < bins.size(); ++k) {
        counted += num(bins[k][2]);
        expected += num(bins[k][3]);
        if (k > 0) {
            EXPECT_EQ(bins[k][0], bins[k - 1][1]);
        }
    }
    EXPECT_EQ(counted, 25.0 * (200 * 3 + 1)); // every particle at the start and each sub-step
    EXPECT_NEAR(expected, counted, 1.0);
}

/// Width and height from a PNG's header, or (0, 0).
std::pair<int, int> pngSize(const std::string &bytes)
{
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return { 0, 0 };
    auto be = [&](int at) {
        return (static_cast<unsigned char>(bytes[at]) << 24)
            | (static_cast<unsigned char>(bytes[at + 1]) << 16)
            | (static_cast<unsigned char>(bytes[at + 2]) << 8)
            | static_cast<unsigned char>(bytes[at + 3]);
    };
    return { be(16), be(20) };
}

TEST_F(Tool, PicturesHaveTheWindowsSizesAtTheResolution)
{
    for (const auto &[dpi, frame, pathSide, plotW, plotH] :
        { std::tuple { "96", 334, 338, 1280, 640 }, std::tuple { "144", 500, 507, 1920, 960 } }) {
        const Result r = run({ "run", "--ticks", "50", "--dpi", dpi, "--frame-png", path("f.png"),
            "--path-png", path("p.png"), "--plot", path("plot.png") });
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(pngSize(slurp(file("f.png"))), std::make_pair(frame, frame)) << dpi;
        EXPECT_EQ(pngSize(slurp(file("p.png"))), std::make_pair(pathSide, pathSide)) << dpi;
        EXPECT_EQ(pngSize(slurp(file("plot.png"))), std::make_pair(plotW, plotH)) << dpi;
    }
    // The plot is capped at 300 dpi: at 1200 it would take about a gigabyte.
    ASSERT_EQ(
        run({ "run", "--ticks", "2", "--dpi", "1200", "--plot", path("plot.png") }).status, 0);
    EXPECT_EQ(pngSize(slurp(file("plot.png"))), std::make_pair(4000, 2000));
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(Tool, BenchPrintsOneLinePerCaseAndTheFigures)
{
    for (const char *draw : { "", "--no-draw" }) {
        std::vector<std::string> args { "bench", "--ticks", "20", "--repeats", "3", "--num-side",
            "4" };
        if (*draw)
            args.push_back(draw);
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> all = linesOf(r.out);
        ASSERT_EQ(all.size(), 4u) << r.out;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(all[k].rfind("case " + std::to_string(k + 1) + "/3: 20 ticks", 0), 0u)
                << all[k];
        for (const char *key : { "us_per_tick=", "ticks_per_s=", "pair_tests_per_s=",
                 "particles=16", *draw ? "draw=no" : "draw=yes", "warmup_ticks=100 " })
            EXPECT_NE(all[3].find(key), std::string::npos) << key << " in " << all[3];
    }
}

TEST_F(Tool, BenchWithBothPassesTimesEachOnTheSameStates)
{
    // 324 particles: the grid applies. Every tick is compared bit for bit, so a run that ends
    // well has found the two passes identical on 2 × 3 ticks after the 7 of the warm-up.
    const Result r = run({ "bench", "--num-side", "18", "--size", "200", "--ticks", "3",
        "--repeats", "2", "--warmup", "7", "--pairs", "both", "--no-draw" });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> all = linesOf(r.out);
    ASSERT_EQ(all.size(), 3u) << r.out;
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(all[k].rfind("case " + std::to_string(k + 1) + "/2: 3 ticks: all pairs ", 0), 0u)
            << all[k];
        EXPECT_NE(all[k].find("results identical"), std::string::npos) << all[k];
    }
    for (const char *key :
        { "us_per_tick_all=", "us_per_tick_grid=", "ratio=", "warmup_ticks=7 ", "pairs=both" })
        EXPECT_NE(all[2].find(key), std::string::npos) << key << " in " << all[2];
}

TEST_F(Tool, InterruptedRunLeavesNothingBehind)
{
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        const Result r = run({ "run", "--num-side", "10", "--ticks", "100000000", "--stats-out",
                                 path("stats.csv"), "--msd-out", path("msd.csv") },
            {}, 600, signal);
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.err.find("interrupted at tick"), std::string::npos) << r.err;
        EXPECT_TRUE(entries().empty());
    }
}

/// What becomes of an output that is not a plain file (never the machine's own /dev: the
/// devices are made in the test's folder, and skipped where that is not allowed).
TEST_F(Tool, OutputsOnDevicesFifosAndLinks)
{
    ASSERT_EQ(run({ "run", "--ticks", "3", "--state-out", path("plain.csv") }).status, 0);
    const std::string state = slurp(file("plain.csv"));
    const std::vector<std::string> args = { "run", "--ticks", "3", "--stats-out", path("stats.csv"),
        "--state-out" };
    auto runTo = [&](const std::string &name) {
        std::vector<std::string> a = args;
        a.push_back(path(name));
        return run(a);
    };
    // A link is followed: its target replaced, the link kept; a dangling one made good.
    std::ofstream(file("target.csv")) << "old";
    fs::create_symlink("target.csv", file("link.csv"));
    fs::create_symlink("missing.csv", file("dangling.csv"));
    for (const char *name : { "link.csv", "dangling.csv" }) {
        EXPECT_EQ(runTo(name).status, 0);
        EXPECT_TRUE(fs::is_symlink(file(name)));
    }
    EXPECT_EQ(slurp(file("target.csv")), state);
    EXPECT_EQ(slurp(file("missing.csv")), state);
    // A FIFO is written, not replaced.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    // Held open for reading and writing, the FIFO takes the run's bytes without a reader.
    const int fifo = ::open(path("fifo").c_str(), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(runTo("fifo").status, 0);
    char buffer[1 << 16];
    const ssize_t got = ::read(fifo, buffer, sizeof buffer);
    ::close(fifo);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), state);
    EXPECT_TRUE(fs::is_fifo(file("fifo")));
    // A link to the tool's own standard output (as /dev/stdout is, but made here, so that a
    // fault replaces nothing of the machine's), on a file opened for appending: appended to.
    fs::create_symlink("/proc/self/fd/1", file("stdout"));
    std::ofstream(file("log.txt")) << "first\n";
    const Result appended = test::runChild("sh",
        { "-c", "f=$1; shift; exec \"$0\" \"$@\" >>\"$f\"", BROWNIAN_LAB, path("log.txt"), "run",
            "--ticks", "3", "--state-out", path("stdout") },
        { dir, {}, {}, false });
    EXPECT_EQ(appended.status, 0) << appended.err;
    EXPECT_TRUE(fs::is_symlink(file("stdout")));
    EXPECT_EQ(slurp(file("log.txt")), "first\n" + state);
    // Devices like /dev/null and /dev/full: written in place; a failed write is reported, and
    // the run's other outputs are not put into place.
    fs::remove(file("stats.csv"));
    if (mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0
        || mknod(path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "no device files allowed here";
    EXPECT_EQ(runTo("null").status, 0);
    EXPECT_TRUE(fs::is_character_file(file("null")));
    fs::remove(file("stats.csv"));
    const Result full = runTo("full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
    EXPECT_TRUE(fs::is_character_file(file("full")));
    EXPECT_FALSE(fs::exists(file("stats.csv")));
    // Standard output lost (closed, or full) is a failure too.
    for (const char *redirect : { ">&-", ">full" }) {
        for (const std::vector<std::string> &args :
            { std::vector<std::string> { "run", "--ticks", "1", "--state-out", "-" },
                std::vector<std::string> { "--help" } }) {
            std::vector<std::string> words = { "-c",
                std::string("cd \"$1\" && shift && exec \"$0\" \"$@\" ") + redirect, BROWNIAN_LAB,
                dir.string() };
            words.insert(words.end(), args.begin(), args.end());
            const Result lost = test::runChild("sh", words, { dir, {}, {}, false });
            EXPECT_EQ(lost.status, 1) << redirect << lost.err;
        }
    }
}

struct FailureCase
{
    const char *name;
    std::vector<std::string> args;
    std::string input; // contents of in.csv, when the case uses it
    int status;
    const char *message;
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class ToolFailures : public Tool, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(ToolFailures, ReportAndWriteNothing)
{
    const FailureCase &c = GetParam();
    if (!c.input.empty())
        std::ofstream(file("in.csv")) << c.input;
    std::vector<std::string> args;
    for (const std::string &a : c.args) {
        std::string s = a;
        if (const auto at = s.find("@"); at != std::string::npos)
            s.replace(at, 1, dir.string() + "/");
        args.push_back(s);
    }
    // Every failing run also asks for outputs, none of which may appear.
    if (args.front() == "run")
        args.insert(args.end(),
            { "--state-out", path("out.csv"), "--stats-out", path("stats.csv"), "--plot",
                path("plot.png") });
    const Result r = run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    std::vector<std::string> expected;
    if (!c.input.empty())
        expected.push_back("in.csv");
    EXPECT_EQ(entries(), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ToolFailures,
    ::testing::Values(
        FailureCase { "UnknownOption", { "run", "--bogus" }, "", 2, "unknown option --bogus" },
        FailureCase {
            "BadValue", { "run", "--size", "big" }, "", 2, "--size: expected a whole number" },
        FailureCase { "LocusOutside", { "run", "--locus", "25" }, "", 2, "--locus: particle 25" },
        FailureCase { "MissingInput", { "run", "--state-in", "@nothing.csv" }, "", 2,
            "--state-in: cannot read" },
        FailureCase {
            "InputIsADirectory", { "run", "--state-in", "@" }, "", 2, "--state-in: cannot read" },
        FailureCase { "MalformedInput", { "run", "--num-side", "2", "--state-in", "@in.csv" },
            "i,x,y,vx,vy\n0,1,2,3,4\n1,1,2,3,4\n2,1,two,3,4\n", 2,
            "in.csv:4: y: not a decimal number" },
        FailureCase { "ShortInput", { "run", "--state-in", "@in.csv" }, "i,x,y,vx,vy\n0,1,2,3,4\n",
            2, "in.csv: 1 particle rows, expected 25" },
        FailureCase { "OutputDirectoryMissing", { "run", "--msd-out", "@no/such/dir/m.csv" }, "", 2,
            "--msd-out: cannot write in" },
        FailureCase { "OverflowInPlacement", { "run", "--num-side", "100", "--size", "400" }, "", 3,
            "16-bit integer overflow" },
        FailureCase { "FloatingFaultInTheMove",
            { "run", "--mode", "unbounded", "--num-side", "1", "--ticks", "5", "--state-in",
                "@in.csv" },
            "i,x,y,vx,vy\n0,3e38,2500,3e38,0\n", 3, "floating-point fault" },
        FailureCase { "BenchOverflow", { "bench", "--num-side", "100", "--no-draw" }, "", 3,
            "16-bit integer overflow" },
        FailureCase { "BenchWithoutTicks", { "bench", "--ticks", "0" }, "", 2, "--ticks" }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
