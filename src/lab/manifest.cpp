#include "manifest.h"

#include "csv.h"
#include "options_internal.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

/// A TOML string: literal ('...') unless the text holds a quote itself.
std::string quoted(const std::string &text)
{
    if (text.find('\'') == std::string::npos)
        return "'" + text + "'";
    return "\"" + text + "\"";
}

std::string nameFrom(const fs::path &folder, const std::string &path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    const fs::path relative = absolute.lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != "..")
        return relative.string();
    return absolute.string();
}

struct Line
{
    int number = 0;
    std::string value; // without quotes
};

/// key = value lines, comments and blank lines skipped.
std::map<std::string, Line> readLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError(path + ": cannot read the manifest");
    std::map<std::string, Line> lines;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        const auto start = text.find_first_not_of(" \t");
        if (start == std::string::npos || text[start] == '#')
            continue;
        const auto eq = text.find('=');
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (eq == std::string::npos)
            throw InputError(where + "expected 'name = value' (a damaged manifest?)");
        auto trim = [](std::string s) {
            const auto a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        const std::string key = trim(text.substr(0, eq));
        std::string value = trim(text.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"')) {
            if (value.back() != value.front())
                throw InputError(where + key + ": unterminated string (a damaged manifest?)");
            value = value.substr(1, value.size() - 2);
        }
        if (!lines.emplace(key, Line { number, value }).second)
            throw InputError(where + key + ": given twice");
    }
    return lines;
}

template <typename T>
T whole(
    const std::map<std::string, Line> &lines, const std::string &path, const char *key, T lo, T hi)
{
    const auto it = lines.find(key);
    if (it == lines.end())
        throw InputError(path + ": no '" + key + "' setting (a damaged manifest?)");
    const std::string &v = it->second.value;
    T value {};
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || value < lo || value > hi)
        throw InputError(path + ":" + std::to_string(it->second.number) + ": " + key
            + ": expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi)
            + ", got '" + v + "'");
    return value;
}

} // namespace

std::string manifestText(const LabOptions &o, const std::string &manifestPath)
{
    std::error_code ec;
    const fs::path folder = fs::absolute(manifestPath, ec).lexically_normal().parent_path();
    std::ostringstream out;
    out << "# The settings of a finished run of brownian-lab. Repeat it with\n"
        << "#   brownian-lab run --config " << kManifestName << "\n"
        << "# (output names are taken from this file's folder).\n"
        << "program-version = " << quoted(detail::programVersion()) << '\n'
        << "mode = " << quoted(o.unbounded ? "unbounded" : "bounded") << '\n'
        << "num-side = " << o.numSide << '\n'
        << "size = " << o.size << '\n'
        << "speed = " << o.speed << '\n'
        << "locus = " << o.locus << '\n'
        << "ticks = " << o.ticks << '\n';
    if (o.seed)
        out << "seed = " << *o.seed << '\n';
    if (!o.stateIn.empty())
        out << "state-in = " << quoted(nameFrom(folder, o.stateIn)) << '\n';
    for (const OutputRequest &r : outputRequests(o)) {
        const std::string name = r.path == "-" ? r.path : nameFrom(folder, r.path);
        out << r.option.substr(2) << " = " << quoted(name) << '\n';
    }
    if (!o.snapshotsOut.empty())
        out << "every = " << o.every << '\n';
    if (o.wantsSpeeds())
        out << "bins = " << o.bins << '\n';
    if (o.wantsPictures())
        out << "dpi = " << o.dpi << '\n';
    return out.str();
}

ManifestRecord readManifest(const std::string &path)
{
    const std::map<std::string, Line> lines = readLines(path);
    std::vector<std::string> known = allOptionNames();
    for (const auto &[key, line] : lines) {
        if (key != "program-version"
            && std::find(known.begin(), known.end(), "--" + key) == known.end())
            throw InputError(path + ":" + std::to_string(line.number) + ": unknown setting '" + key
                + "' (a damaged manifest?)");
    }
    ManifestRecord r;
    const auto version = lines.find("program-version");
    if (version == lines.end())
        throw InputError(path + ": no 'program-version' (not a manifest of brownian-lab?)");
    r.version = version->second.value;
    const auto mode = lines.find("mode");
    if (mode == lines.end())
        throw InputError(path + ": no 'mode' setting (a damaged manifest?)");
    if (mode->second.value != "bounded" && mode->second.value != "unbounded")
        throw InputError(path + ":" + std::to_string(mode->second.number)
            + ": mode: expected bounded or unbounded, got '" + mode->second.value + "'");
    r.unbounded = mode->second.value == "unbounded";
    r.numSide = whole(lines, path, "num-side", 1, 181);
    r.size = whole(lines, path, "size", 1, 32767);
    r.speed = whole(lines, path, "speed", 0, 32767);
    r.locus = whole(lines, path, "locus", 0, 32767);
    r.ticks = whole<std::int64_t>(lines, path, "ticks", 0, 1'000'000'000'000);
    if (lines.count("seed"))
        r.seed = whole<std::uint64_t>(lines, path, "seed", 0, UINT64_MAX);
    for (const auto &[key, line] : lines)
        r.others[key] = line.value;
    return r;
}

std::string manifestOutput(
    const ManifestRecord &record, const std::string &manifestPath, const std::string &name)
{
    const auto it = record.others.find(name);
    if (it == record.others.end() || it->second == "-")
        return {};
    const fs::path p(it->second);
    return p.is_absolute() ? p.string() : (fs::path(manifestPath).parent_path() / p).string();
}

} // namespace brownian::lab
