#include "output.h"

#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kNameMax = 255; // bytes of a file name on the usual file systems
constexpr std::string_view kTempSuffix = ".tmp-XXXXXX";
volatile std::sig_atomic_t g_interrupted = 0; // a signal handler can reach nothing else

/// The file a path leads to, its symbolic links followed (a dangling one too); `viaProc` tells
/// whether one led through /proc (/dev/stdout, /dev/fd/N: a descriptor of this process, opened
/// as it is: a pipe has no name to follow).
fs::path followLinks(fs::path path, bool &viaProc)
{
    viaProc = false;
    std::error_code ec;
    for (int hops = 0; hops < 40 && !viaProc && fs::is_symlink(path, ec); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec)
            break;
        path = path.parent_path() / target; // an absolute target replaces the whole path
        viaProc = path.string().starts_with("/proc/");
    }
    return path;
}

} // namespace

bool isTemporaryName(const std::string &name)
{
    const std::size_t n = name.size();
    return n >= kTempSuffix.size() + 2 && name.front() == '.'
        && name.compare(n - kTempSuffix.size(), 5, kTempSuffix.substr(0, 5)) == 0
        && std::all_of(name.end() - 6, name.end(), [](unsigned char c) { return std::isalnum(c); });
}

bool closeStandardOutput()
{
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int err = errno;
    const bool closed = std::fclose(stdout) == 0;
    if (!flushed)
        errno = err;
    return flushed && closed;
}

std::string OutputFile::open(const std::string &path)
{
    discard();
    m_path = path;
    m_writeError.reset();
    bool descriptor = false;
    const fs::path target = path == "-" ? fs::path() : followLinks(path, descriptor);
    m_target = target.string();
    struct stat info = {};
    const bool exists = path != "-" && ::stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return "'" + path + "' is a directory";
    // A descriptor of this process (/dev/stdout) is written in place too, even when it is a
    // regular file: it may be appended to (>>), and it is not ours to replace.
    if (path == "-" || descriptor || (exists && !S_ISREG(info.st_mode))) {
        if (path != "-" && ::access(target.c_str(), W_OK) != 0)
            return "cannot write '" + path + "': " + std::strerror(errno);
        m_file = std::tmpfile();
        return m_file ? std::string()
                      : std::string("cannot create a temporary file: ") + std::strerror(errno);
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string name =
        target.filename().string().substr(0, kNameMax - 1 - kTempSuffix.size());
    m_tempPath = (dir / ("." + name + std::string(kTempSuffix))).string();
    const int fd = ::mkstemp(m_tempPath.data());
    if (fd < 0) {
        m_tempPath.clear();
        return "cannot write in '" + dir.string() + "': " + std::strerror(errno);
    }
    const mode_t mask = ::umask(0); // a new file's permissions: 0666 less the umask
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (!(m_file = ::fdopen(fd, "wb"))) {
        const int err = errno;
        ::close(fd);
        discard();
        return std::string("cannot open a temporary file: ") + std::strerror(err);
    }
    return {};
}

void OutputFile::write(std::string_view text)
{
    if (m_file && !m_writeError && std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
        m_writeError = errno;
}

std::string OutputFile::failure(int error)
{
    discard();
    return "cannot write " + (m_path == "-" ? std::string("standard output") : "'" + m_path + "'")
        + ": " + std::strerror(error);
}

std::string OutputFile::finish()
{
    if (!m_file)
        return "not open";
    if (m_writeError || std::fflush(m_file) != 0)
        return failure(m_writeError.value_or(errno));
    if (m_tempPath.empty())
        return {};
    const bool synced = ::fsync(::fileno(m_file)) == 0;
    const int err = errno;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return synced && closed ? std::string() : failure(synced ? errno : err);
}

std::string OutputFile::place()
{
    if (!m_tempPath.empty()) {
        if (std::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
            return failure(errno);
        m_tempPath.clear();
        return {};
    }
    if (!m_file)
        return "not open";
    // Standard output, or a device or FIFO opened now and written in place.
    const int fd = m_target.empty() ? STDOUT_FILENO : ::open(m_target.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0)
        return failure(errno);
    std::fflush(stdout);
    std::rewind(m_file);
    char buffer[1 << 16];
    bool ok = true;
    for (std::size_t got; ok && (got = std::fread(buffer, 1, sizeof buffer, m_file)) > 0;) {
        for (std::size_t put = 0; ok && put < got;) {
            const ssize_t n = ::write(fd, buffer + put, got - put);
            ok = n > 0 || (n < 0 && errno == EINTR); // a signal's handler may cut a write short
            put += n > 0 ? n : 0;
        }
    }
    ok = ok && !std::ferror(m_file);
    const int err = errno;
    if (fd != STDOUT_FILENO && ::close(fd) != 0 && ok)
        return failure(errno);
    if (!ok)
        return failure(err);
    discard();
    return {};
}

std::string OutputFile::commit()
{
    std::string why = finish();
    return why.empty() ? place() : why;
}

void OutputFile::discard()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

OutputFile *OutputSet::open(const std::string &label, const std::string &path)
{
    auto &[name, file] = m_files.emplace_back(
        std::piecewise_construct, std::forward_as_tuple(label), std::forward_as_tuple());
    if (const std::string why = file.open(path); !why.empty()) {
        printError(label + ": " + why);
        m_files.pop_back();
        return nullptr;
    }
    return &file;
}

OutputFile *OutputSet::find(const std::string &label)
{
    const auto it = std::find_if(
        m_files.begin(), m_files.end(), [&label](const auto &f) { return f.first == label; });
    return it == m_files.end() ? nullptr : &it->second;
}

int OutputSet::commitAll()
{
    auto fail = [this](const std::string &why, int status) {
        printError(why);
        m_files.clear();
        return status;
    };
    for (auto &[label, file] : m_files) {
        if (const std::string why = file.finish(); !why.empty())
            return fail(label + ": " + why, kExitOutputFailed);
    }
    if (InterruptGuard::interrupted())
        return fail("interrupted; nothing written", kExitInterrupted);
    for (const bool renames : { false, true }) {
        for (auto &[label, file] : m_files) {
            const std::string why = file.renamesOnly() == renames ? file.place() : std::string();
            if (!why.empty())
                return fail(label + ": " + why, kExitOutputFailed);
        }
    }
    return kExitOk;
}

InterruptGuard::InterruptGuard()
{
    g_interrupted = 0;
    struct sigaction action = {};
    action.sa_handler = [](int) { g_interrupted = 1; };
    sigemptyset(&action.sa_mask);
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &action, &m_old[k]);
}

InterruptGuard::~InterruptGuard()
{
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &m_old[k], nullptr);
}

bool InterruptGuard::interrupted()
{
    return g_interrupted != 0;
}

} // namespace brownian::lab
