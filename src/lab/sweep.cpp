// A sweep: lists of settings expanded into runs, each with its own folder and run as a separate
// `brownian-lab run` process of this very executable.
#include "sweep.h"

#include "commands.h"
#include "csv.h"
#include "output.h"
#include "progress.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

/// How a manifest differs from the run this sweep would make there ("has size 150 where this
/// sweep has 200"); empty if it does not.
std::string difference(const LabOptions &had, const LabOptions &wants)
{
    auto valuesOf = [](const LabOptions &o) {
        std::map<std::string, std::string> values;
        for (const RunSetting &s : runSettings(o, std::identity()))
            values[s.name] = s.value;
        return values;
    };
    auto h = valuesOf(had), w = valuesOf(wants);
    for (const char *name : { "mode", "num-side", "size", "speed", "ticks", "seed" }) {
        const std::string &a = h.try_emplace(name, "none").first->second;
        const std::string &b = w.try_emplace(name, "none").first->second;
        if (a != b)
            return "has " + (name + (" " + a)) + " where this sweep has " + b;
    }
    for (const char *name : { "msd-out", "speeds-out", "stats-out" }) {
        if (h.contains(name) != w.contains(name))
            return std::string(w.contains(name) ? "has no " : "has a ") + name
                + " where this sweep has " + (w.contains(name) ? "one" : "none");
    }
    return {};
}

/// The path of the running executable, so that every run uses the same program.
std::string ownExecutable()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("brownian-lab") : self.string();
}

/// The cores this process may run on.
int coreCount()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

/// The command line of one run: this program's `run`, writing the outputs and, last, the
/// manifest into the run's folder.
std::vector<std::string> runCommandLine(const SweepOptions &s, const SweepRun &r)
{
    const LabOptions o = runOptions(s, r);
    std::vector<std::string> words = { ownExecutable(), "run" };
    std::vector<RunSetting> settings = runSettings(o, std::identity());
    settings.push_back({ "manifest", o.manifestOut });
    for (const RunSetting &setting : settings) {
        // A value starting with '-' goes with its option in one word, not to be taken for one.
        if (setting.value.starts_with("-"))
            words.push_back("--" + setting.name + "=" + setting.value);
        else
            words.insert(words.end(), { "--" + setting.name, setting.value });
    }
    return words;
}

/// Starts `words` (the program, then its arguments) with its output and error going to `log`;
/// returns the process id or -1.
pid_t start(std::vector<std::string> &words, const std::string &log)
{
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

/// The text of a run's log without its last line breaks; the log is removed.
std::string readAndRemove(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    std::error_code ec;
    fs::remove(path, ec);
    return text.substr(0, text.find_last_not_of('\n') + 1);
}

/// Runs the unfinished runs, `jobs` at a time; returns the exit status of the sweep.
int runAll(const SweepOptions &o, const std::vector<const SweepRun *> &todo, int done, int total)
{
    const std::size_t jobs = o.jobs > 0 ? o.jobs : coreCount();
    const std::string logStem = (fs::temp_directory_path() / "brownian-lab-sweep-").string()
        + std::to_string(::getpid()) + "-";
    InterruptGuard interrupt;
    Progress progress(total, Progress::stderrIsTerminal(), "run");
    progress.update(done);
    std::map<pid_t, const SweepRun *> running;
    std::size_t next = 0;
    int failed = 0;
    bool stopping = false;
    while ((!stopping && next < todo.size()) || !running.empty()) {
        if (InterruptGuard::interrupted() && !stopping) {
            // The runs are told to stop (each removes its temporary files) and waited for.
            stopping = true;
            for (const auto &[pid, run] : running)
                ::kill(pid, SIGTERM);
        }
        while (!stopping && next < todo.size() && running.size() < jobs) {
            const SweepRun *run = todo[next++];
            std::vector<std::string> words = runCommandLine(o, *run);
            const pid_t pid = start(words, logStem + std::to_string(run->index));
            if (pid < 0) {
                progress.finish();
                printError("cannot start " + words[0]);
                return kExitOutputFailed;
            }
            running[pid] = run;
        }
        int status = 0;
        const auto it = running.find(::waitpid(-1, &status, WNOHANG));
        if (it == running.end()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const SweepRun *run = it->second;
        running.erase(it);
        const std::string log = readAndRemove(logStem + std::to_string(run->index));
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (code == 0) {
            progress.update(++done);
            continue;
        }
        ++failed;
        if (!stopping) {
            progress.finish();
            printError("run " + std::to_string(run->index) + " (" + runFolder(o, *run)
                + ") failed with exit status " + std::to_string(code)
                + (log.empty() ? std::string() : ":\n" + log));
        }
    }
    progress.finish();
    if (stopping) {
        printError("interrupted: " + std::to_string(done) + " of " + std::to_string(total)
            + " runs finished; the same sweep again resumes");
        return kExitInterrupted;
    }
    if (failed > 0) {
        printError(std::to_string(failed) + " of " + std::to_string(total)
            + " runs failed (their folders have no manifest)");
        return kExitOutputFailed;
    }
    return kExitOk;
}

} // namespace

std::size_t runNumber(const std::string &name)
{
    std::size_t k = 0;
    const char *end = name.data() + name.size();
    const bool digits = name.starts_with("run-") && name.size() <= 13
        && std::from_chars(name.data() + 4, end, k).ptr == end;
    return digits ? k : 0;
}

std::vector<SweepRun> expandSweep(const SweepOptions &s)
{
    std::vector<SweepRun> runs;
    for (bool unbounded : s.modes)
        for (int numSide : s.numSides)
            for (int size : s.sizes)
                for (int speed : s.speeds)
                    for (std::uint64_t seed = s.firstSeed;; ++seed) {
                        runs.push_back({ static_cast<int>(runs.size()) + 1, unbounded, numSide,
                            size, speed, seed });
                        if (seed == s.lastSeed)
                            break;
                    }
    return runs;
}

std::string runFolder(const SweepOptions &s, const SweepRun &r)
{
    return (fs::path(s.out) / ("run-" + std::to_string(r.index))).string();
}

LabOptions runOptions(const SweepOptions &s, const SweepRun &r)
{
    const fs::path folder = runFolder(s, r);
    LabOptions o;
    o.command = Command::Run;
    o.unbounded = r.unbounded;
    o.numSide = r.numSide;
    o.size = r.size;
    o.speed = r.speed;
    o.locus = defaultLocus(r.numSide);
    o.ticks = s.ticks;
    o.seed = r.seed;
    o.threads = s.threads;
    o.msdOut = s.writeMsd ? (folder / "msd.csv").string() : "";
    o.speedsOut = s.writeSpeeds ? (folder / "speeds.csv").string() : "";
    o.statsOut = s.writeStats ? (folder / "stats.csv").string() : "";
    o.manifestOut = (folder / kManifestName).string();
    return o;
}

std::string shellQuote(const std::string &word)
{
    if (!word.empty()
        && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789_-+=/.,:@%")
            == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool outputsPresent(const LabOptions &run)
{
    return std::ranges::all_of(outputRequests(run), [](const OutputRequest &r) {
        std::error_code ec;
        return r.path == "-" || fs::exists(r.path, ec);
    });
}

void removeTemporaryFiles(const std::string &folder)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        if (isTemporaryName(entry.path().filename().string()))
            fs::remove(entry.path(), ec);
    }
}

std::vector<bool> finishedRuns(const SweepOptions &s, const std::vector<SweepRun> &runs)
{
    std::vector<bool> finished(runs.size(), false);
    std::error_code ec;
    if (!fs::exists(s.out, ec))
        return finished;
    if (!fs::is_directory(s.out, ec))
        throw InputError("--out: '" + s.out + "' is not a folder");
    // In the order of K, so that the first run found amiss is the lowest.
    std::map<std::pair<std::size_t, std::string>, fs::path> folders;
    for (const auto &entry : fs::directory_iterator(s.out, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("run-") && entry.is_directory())
            folders[{ name.size(), name }] = entry.path();
    }
    for (const auto &[key, folder] : folders) {
        const fs::path manifest = folder / kManifestName;
        if (!fs::exists(manifest))
            continue;
        const LabOptions m = readManifest(manifest.string());
        const std::size_t k = runNumber(key.second);
        const std::string why = k < 1 || k > runs.size()
            ? "is not one of this sweep's " + std::to_string(runs.size()) + " runs"
            : difference(m, runOptions(s, runs[k - 1]));
        if (!why.empty())
            throw InputError("--out: '" + s.out
                + "' holds runs of another sweep: " + manifest.string() + " " + why);
        // A run whose files have gone is run again.
        finished[k - 1] = outputsPresent(m);
    }
    if (ec)
        throw InputError("--out: cannot read the folder '" + s.out + "': " + ec.message());
    return finished;
}

int sweepCommand(const SweepOptions &o)
{
    const std::vector<SweepRun> runs = expandSweep(o);
    std::vector<bool> finished;
    try {
        finished = finishedRuns(o, runs);
    } catch (const InputError &e) {
        printError(e.what());
        return kExitBadInput;
    }
    std::vector<const SweepRun *> todo;
    for (const SweepRun &r : runs) {
        removeTemporaryFiles(runFolder(o, r)); // what killed runs left
        if (!finished[r.index - 1])
            todo.push_back(&r);
    }
    // The folders, so that every command can write into its own.
    for (const SweepRun *r : todo) {
        std::error_code ec;
        if (fs::create_directories(runFolder(o, *r), ec); ec) {
            printError("--out: cannot create '" + runFolder(o, *r) + "': " + ec.message());
            return kExitOutputFailed;
        }
    }
    const int finishedCount = static_cast<int>(runs.size() - todo.size());
    if (finishedCount > 0)
        printError("note: " + std::to_string(finishedCount) + " of " + std::to_string(runs.size())
            + " runs already finished; skipping them");
    if (o.printCommands) {
        std::string text;
        for (const SweepRun *r : todo) {
            for (const std::string &word : runCommandLine(o, *r))
                text += shellQuote(word) + ' ';
            text.back() = '\n';
        }
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
    }
    return runAll(o, todo, finishedCount, static_cast<int>(runs.size()));
}

} // namespace brownian::lab
