// Runs a sweep: each run a separate `brownian-lab run` process of this very executable.
#include "commands.h"
#include "csv.h"
#include "output.h"
#include "progress.h"
#include "sweep.h"

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

/// The arguments of `brownian-lab run` for one run (without the program's name), writing the
/// outputs and, last, the manifest into the run's folder.
std::vector<std::string> runArguments(const SweepOptions &s, const SweepRun &r)
{
    const LabOptions o = runOptions(s, r);
    std::vector<std::string> args = { "run" };
    // A value starting with '-' goes with its option in one word, not to be taken for one.
    auto add = [&args](const std::string &name, const std::string &value) {
        if (value.starts_with("-"))
            args.push_back("--" + name + "=" + value);
        else
            args.insert(args.end(), { "--" + name, value });
    };
    for (const RunSetting &setting : runSettings(o, std::identity()))
        add(setting.name, setting.value);
    add("manifest", o.manifestOut);
    return args;
}

/// Starts `words` (the program, then its arguments) with its output and error going to `log`;
/// returns the process id or -1.
pid_t start(std::vector<std::string> words, const std::string &log)
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
    const std::string program = ownExecutable();
    const std::size_t jobs = o.jobs > 0 ? o.jobs : coreCount();
    const fs::path logStem =
        fs::temp_directory_path() / ("brownian-lab-sweep-" + std::to_string(::getpid()) + "-");
    auto logOf = [&logStem](
                     const SweepRun *run) { return logStem.string() + std::to_string(run->index); };
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
            std::vector<std::string> words = runArguments(o, *run);
            words.insert(words.begin(), program);
            const pid_t pid = start(std::move(words), logOf(run));
            if (pid < 0) {
                progress.finish();
                printError("cannot start " + program);
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
        const std::string log = readAndRemove(logOf(run));
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
        const std::string program = shellQuote(ownExecutable());
        std::string text;
        for (const SweepRun *r : todo) {
            text += program;
            for (const std::string &a : runArguments(o, *r))
                text += ' ' + shellQuote(a);
            text += '\n';
        }
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitOutputFailed;
    }
    return runAll(o, todo, finishedCount, static_cast<int>(runs.size()));
}

} // namespace brownian::lab
