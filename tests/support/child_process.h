#pragma once

// Running a program as a child process from a test: its exit status and what it wrote.

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace brownian::test {

/// How a child ended: the exit status (128 + the signal when a signal ended it) and what it
/// wrote on standard output and standard error.
struct ChildResult
{
    int status = -1;
    std::string out, err;
};

/// Where and how a child runs.
struct ChildSetup
{
    /// Folder for the child's standard input, output and error files.
    std::filesystem::path scratch;
    /// Standard input; empty: /dev/null.
    std::string input;
    /// Working folder; empty: the test's own.
    std::filesystem::path cwd;
    /// Puts the child into a process group of its own, so that kill(-pid, …) reaches its
    /// children too.
    bool ownGroup = false;
};

/// Starts `program` with `args` (argv[0] is added); looks the program up in PATH. Returns the
/// process id, or -1 after a test failure when it cannot start.
pid_t startChild(
    const std::string &program, std::vector<std::string> args, const ChildSetup &setup);

/// Waits for the child started with `setup` and collects its status and output.
ChildResult finishChild(pid_t pid, const ChildSetup &setup);

/// startChild, then finishChild.
ChildResult runChild(
    const std::string &program, std::vector<std::string> args, const ChildSetup &setup);

/// A whole file's bytes; empty when it cannot be read.
std::string slurp(const std::filesystem::path &path);

} // namespace brownian::test
