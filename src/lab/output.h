#pragma once

#include <csignal>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace brownian::lab {

/// An output that appears whole or not at all. A regular file (or one still to be made) is
/// written to a temporary file beside it and renamed into place; a symbolic link is followed
/// and its target replaced so. Standard output ("-"), a descriptor of the process (/dev/stdout)
/// and anything that is not a regular file (a device such as /dev/null, a FIFO) are never
/// replaced: the text is kept in an anonymous temporary file and appended there at the end.
/// Destroyed before place(), it leaves nothing.
class OutputFile
{
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile() { discard(); }

    /// Creates the temporary file for `path`. Returns an empty string, or why it cannot be
    /// written (the directory is missing or not writable, the path is a directory...).
    std::string open(const std::string &path);
    /// Whether place() only renames (it writes nothing that cannot be taken back).
    bool renamesOnly() const { return !m_tempPath.empty(); }

    /// Appends text; buffered. Errors are remembered and reported by finish().
    void write(std::string_view text);
    /// Writes everything out to the temporary file (synced to the disk). Returns an empty
    /// string or what went wrong (the temporary file is gone then).
    std::string finish();
    /// After finish(): renames the file into place, or copies it to standard output or the
    /// device. Returns an empty string or what went wrong.
    std::string place();
    std::string commit(); ///< finish() and place()
    void discard(); ///< drops the temporary file

private:
    std::string failure(int error);

    std::FILE *m_file = nullptr;
    std::string m_path; // as given
    std::string m_target; // the file written: links followed; empty for standard output
    std::string m_tempPath; // empty when the text is copied at the end
    std::optional<int> m_writeError;
};

/// The files of one command, each under a label its messages start with: opened before any work,
/// so that an unwritable place is found first, and put into place together, all or none.
class OutputSet
{
public:
    /// Opens `path`; nullptr after printing "label: why".
    OutputFile *open(const std::string &label, const std::string &path);
    /// The first file opened under `label`, or nullptr.
    OutputFile *find(const std::string &label);
    /// Writes every file out, then puts them into place: the copies to standard output and
    /// devices first (they cannot be taken back), the renames last. When one fails, or a signal
    /// came (InterruptGuard), none is put into place. Returns 0, 130 (interrupted) or 1 after
    /// printing what failed.
    int commitAll();

private:
    std::deque<std::pair<std::string, OutputFile>> m_files; // open() hands out pointers
};

/// Turns Ctrl-C, SIGTERM and SIGHUP into a flag for as long as it lives, so that a command can
/// stop between two steps and remove its temporary files.
class InterruptGuard
{
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;
    static bool interrupted();

private:
    static constexpr int kSignals[] = { SIGINT, SIGTERM, SIGHUP };
    struct sigaction m_old[3] {};
};

/// Whether a file name is one of the temporary names OutputFile gives (".NAME.tmp-XXXXXX").
bool isTemporaryName(const std::string &name);

/// Flushes and closes standard output; false (with errno set) when what was written to it was
/// lost (a closed descriptor, a full disk).
bool closeStandardOutput();

} // namespace brownian::lab
