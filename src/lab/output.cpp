#include "output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brownian::lab {

namespace {

/// The permissions a newly created file gets: 0666 less the umask.
mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile(OutputFile &&other) noexcept
    : m_file(other.m_file)
    , m_path(std::move(other.m_path))
    , m_tempPath(std::move(other.m_tempPath))
    , m_failed(other.m_failed)
{
    other.m_file = nullptr;
    other.m_tempPath.clear();
}

OutputFile &OutputFile::operator=(OutputFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_file = other.m_file;
        m_path = std::move(other.m_path);
        m_tempPath = std::move(other.m_tempPath);
        m_failed = other.m_failed;
        other.m_file = nullptr;
        other.m_tempPath.clear();
    }
    return *this;
}

OutputFile::~OutputFile()
{
    discard();
}

std::string OutputFile::open(const std::string &path)
{
    discard();
    m_path = path;
    m_failed = false;
    if (path == "-") {
        m_file = std::tmpfile();
        if (!m_file)
            return std::string("cannot create a temporary file: ") + std::strerror(errno);
        return {};
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return "'" + path + "' is a directory";
    const fs::path target(path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (dir / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return "cannot write in '" + dir.string() + "': " + std::strerror(errno);
    ::fchmod(fd, newFileMode());
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return std::string("cannot open a temporary file: ") + std::strerror(err);
    }
    m_tempPath = temp;
    return {};
}

void OutputFile::write(std::string_view text)
{
    if (!m_file || m_failed || text.empty())
        return;
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
        m_failed = true;
}

void OutputFile::drain(std::string &buffer, std::size_t threshold)
{
    if (buffer.size() >= threshold) {
        write(buffer);
        buffer.clear();
    }
}

std::string OutputFile::commit()
{
    if (!m_file)
        return "not open";
    const std::string target = m_path == "-" ? std::string("standard output") : "'" + m_path + "'";
    if (m_failed || std::fflush(m_file) != 0) {
        const int err = errno;
        discard();
        return "cannot write " + target + ": " + std::strerror(err);
    }
    if (m_path == "-") {
        std::rewind(m_file);
        char buffer[1 << 16];
        bool ok = true;
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            ok = ok && std::fwrite(buffer, 1, got, stdout) == got;
        ok = ok && !std::ferror(m_file) && std::fflush(stdout) == 0;
        const int err = errno;
        discard();
        return ok ? std::string() : "cannot write " + target + ": " + std::strerror(err);
    }
    const bool synced = ::fsync(::fileno(m_file)) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!synced || !closed || std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        const int err = errno;
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return "cannot write " + target + ": " + std::strerror(err);
    }
    m_tempPath.clear();
    return {};
}

void OutputFile::discard()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

} // namespace brownian::lab
