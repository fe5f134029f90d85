#include "child_process.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char **environ;

namespace brownian::test {

namespace fs = std::filesystem;

namespace {

fs::path stdinFile(const ChildSetup &s)
{
    return s.scratch / ".child-stdin";
}
fs::path stdoutFile(const ChildSetup &s)
{
    return s.scratch / ".child-stdout";
}
fs::path stderrFile(const ChildSetup &s)
{
    return s.scratch / ".child-stderr";
}

} // namespace

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t startChild(const std::string &program, std::vector<std::string> args, const ChildSetup &setup)
{
    const fs::path in = setup.input.empty() ? fs::path("/dev/null") : stdinFile(setup);
    if (!setup.input.empty())
        std::ofstream(in, std::ios::binary) << setup.input;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(
        &actions, 1, stdoutFile(setup).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(
        &actions, 2, stderrFile(setup).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!setup.cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setup.cwd.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (setup.ownGroup) {
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
    }
    args.insert(args.begin(), program);
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    return pid;
}

ChildResult finishChild(pid_t pid, const ChildSetup &setup)
{
    ChildResult r;
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    r.out = slurp(stdoutFile(setup));
    r.err = slurp(stderrFile(setup));
    fs::remove(stdoutFile(setup));
    fs::remove(stderrFile(setup));
    fs::remove(stdinFile(setup));
    return r;
}

ChildResult runChild(
    const std::string &program, std::vector<std::string> args, const ChildSetup &setup)
{
    return finishChild(startChild(program, std::move(args), setup), setup);
}

} // namespace brownian::test
