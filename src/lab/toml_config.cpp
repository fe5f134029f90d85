#include "csv.h"
#include "option_table.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <limits>
#include <sstream>
#include <toml++/toml.h>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;
using namespace detail;

/// The manifest key of the version that wrote it.
constexpr const char *kVersionKey = "program-version";

std::string typeName(const toml::node &node)
{
    // In the order of toml::node_type: none, table, array, string, integer, floating_point,
    // boolean, date, time, date_time.
    constexpr const char *names[] = { "", "a table", "a list", "a string", "an integer",
        "a fraction", "true or false", "a date or time", "a date or time", "a date or time" };
    static_assert(static_cast<int>(toml::node_type::boolean) == 6
        && static_cast<int>(toml::node_type::date_time) == std::size(names) - 1);
    return names[static_cast<int>(node.type())];
}

/// The text of one value for CLI11, or throws a message (without the file and line).
std::string scalarText(const OptionRow &s, const std::string &key, const toml::node &node)
{
    if (const auto *text = node.as_string(); text && s.kind != Kind::Whole)
        return text->get();
    if (const auto *number = node.as_integer();
        number && s.kind != Kind::Choice && s.kind != Kind::File)
        return std::to_string(number->get());
    // A seed above the largest TOML integer is written as a string.
    if (const auto *text = node.as_string(); text && s.hi < s.lo)
        return text->get();
    if (node.is_array())
        throw key + ": expected one value, got a list";
    const bool number = s.kind == Kind::Whole || s.kind == Kind::List;
    throw key + ": expected " + (number ? "a whole number" : "a string in quotes") + ", got "
        + typeName(node);
}

std::string valueText(const OptionRow &s, const std::string &key, const toml::node &node)
{
    const auto *list = node.as_array();
    if (!list || s.kind != Kind::List)
        return scalarText(s, key, node);
    if (list->empty())
        throw key + ": expected at least one value, got an empty list";
    std::string joined;
    for (const toml::node &item : *list)
        joined += (joined.empty() ? "" : ",") + scalarText(s, key, item);
    return joined;
}

/// Reads a config file as tomlConfig describes.
std::vector<CLI::ConfigItem> readConfig(std::istream &input, unsigned scope,
    const std::string &command, const std::string &file, std::string &version)
{
    const std::string text(std::istreambuf_iterator<char>(input), {});
    auto fail = [&file](const toml::source_region &where, const std::string &what) {
        return CLI::ConfigError(
            file + ":" + std::to_string(where.begin.line) + ": " + what + " (--config)");
    };
    toml::table table;
    try {
        table = toml::parse(text, file);
    } catch (const toml::parse_error &e) {
        throw CLI::ConfigError(file + ":" + std::to_string(e.source().begin.line) + ":"
            + std::to_string(e.source().begin.column) + ": " + std::string(e.description())
            + " (--config)");
    }
    // In the order of the file, so that the first fault found is the first in the file.
    std::vector<std::pair<const toml::key *, const toml::node *>> entries;
    for (const auto &[key, node] : table)
        entries.emplace_back(&key, &node);
    std::ranges::sort(entries, {}, [](const auto &entry) { return entry.first->source().begin; });

    std::vector<CLI::ConfigItem> items;
    for (const auto &[keyPtr, node] : entries) {
        const std::string key(keyPtr->str());
        const toml::source_region &where = keyPtr->source();
        if (key == kVersionKey && (scope & ForRun) && node->is_string()) {
            version = node->as_string()->get();
            continue;
        }
        if (node->is_table())
            throw fail(where, "unknown section [" + key + "]");
        const OptionRow *row = findOption("--" + key, scope);
        if (!row && findOption("--" + key, ForAny))
            throw fail(where, "'" + key + "' is not a setting of " + command);
        if (!row)
            throw fail(where, "unknown setting '" + key + "'");
        std::string value;
        if (row->kind == Kind::Flag) {
            if (!node->is_boolean())
                throw fail(where, key + ": expected true or false, got " + typeName(*node));
            if (!node->as_boolean()->get())
                continue;
            value = "true";
        } else {
            try {
                value = valueText(*row, key, *node);
            } catch (const std::string &what) {
                throw fail(where, what);
            }
            if (const std::string why = checkValue(*row, value); !why.empty())
                throw fail(where, key + ": " + why);
        }
        if (row->kind == Kind::File && value != "-" && fs::path(value).is_relative())
            value = (fs::path(file).parent_path() / value).string();
        items.push_back({ {}, key, { value } });
    }
    return items;
}

} // namespace

namespace detail {

std::shared_ptr<CLI::Config> tomlConfig(
    unsigned scope, std::string command, const CLI::Option *file, std::string &version)
{
    class Reader : public CLI::Config
    {
    public:
        std::function<std::vector<CLI::ConfigItem>(std::istream &)> read;
        std::string to_config(const CLI::App *, bool, bool, std::string) const override
        {
            return {};
        }
        std::vector<CLI::ConfigItem> from_config(std::istream &input) const override
        {
            return read(input);
        }
    };
    auto reader = std::make_shared<Reader>();
    reader->read = [=, &version](std::istream &input) {
        return readConfig(input, scope, command, file->as<std::string>(), version);
    };
    return reader;
}

} // namespace detail

std::string manifestText(const LabOptions &o, const std::string &manifestPath)
{
    std::error_code ec;
    const fs::path folder = fs::absolute(manifestPath, ec).lexically_normal().parent_path();
    auto nameFrom = [&folder](const std::string &path) {
        if (path == "-")
            return path;
        std::error_code error;
        const fs::path absolute = fs::absolute(path, error).lexically_normal();
        const fs::path relative = absolute.lexically_relative(folder);
        if (!relative.empty() && *relative.begin() != "..")
            return relative.string();
        return absolute.string();
    };
    auto quoted = [](const std::string &text) {
        std::ostringstream s;
        s << toml::toml_formatter(toml::value<std::string>(text),
            toml::format_flags::allow_literal_strings | toml::format_flags::allow_unicode_strings);
        return s.str();
    };
    std::string out = "# The settings of a finished run of brownian-lab. Repeat it with\n"
                      "#   brownian-lab run --config "
        + std::string(kManifestName) + "\n# (output names are taken from this file's folder).\n"
        + kVersionKey + " = " + quoted(BROWNIAN_VERSION) + '\n';
    for (const RunSetting &s : runSettings(o, nameFrom)) {
        // TOML integers end at 2^63 - 1; a larger seed is written as a string.
        const bool text = s.text
            || std::stoull(s.value) > std::uint64_t(std::numeric_limits<std::int64_t>::max());
        out += s.name + " = " + (text ? quoted(s.value) : s.value) + '\n';
    }
    return out;
}

LabOptions readManifest(const std::string &path)
{
    const ParseResult r = parseArguments({ "run", "--config=" + path });
    if (!r.ok())
        throw InputError(r.error);
    if (r.version.empty())
        throw InputError(path + ": no '" + kVersionKey + "' (not a manifest of brownian-lab?)");
    return r.options;
}

} // namespace brownian::lab
