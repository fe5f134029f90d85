#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brownian::lab {

/// An output that appears whole or not at all. Everything goes to a temporary file beside the
/// target (for "-" an anonymous temporary file); commit() renames it into place (or copies it
/// to standard output). Destroyed without a commit, it leaves nothing behind.
class OutputFile
{
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    OutputFile(OutputFile &&other) noexcept;
    OutputFile &operator=(OutputFile &&other) noexcept;
    ~OutputFile();

    /// Creates the temporary file for `path`. Returns an empty string, or why it cannot be
    /// written (the directory is missing or not writable, the path is a directory...).
    std::string open(const std::string &path);

    bool isOpen() const { return m_file != nullptr; }
    const std::string &path() const { return m_path; }

    /// Appends text; buffered. Errors are remembered and reported by commit().
    void write(std::string_view text);
    /// Appends text held in `buffer` and empties it, once it has grown past `threshold` bytes.
    void drain(std::string &buffer, std::size_t threshold = 1 << 20);

    /// Flushes and moves the file into place. Returns an empty string or what went wrong.
    std::string commit();
    /// Drops the temporary file.
    void discard();

private:
    std::FILE *m_file = nullptr;
    std::string m_path; // the target
    std::string m_tempPath; // empty for standard output
    bool m_failed = false;
};

} // namespace brownian::lab
