// The command line: CLI11 reads the words and the config file; options_values.cpp checks the
// values. The messages keep one form: the option (or file and line) first, then what is wrong.
#include "options.h"

#include "options_internal.h"
#include "sim/restart.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>

namespace brownian::lab {

namespace detail {

const std::vector<OptionSpec> &optionSpecs()
{
    constexpr unsigned RB = ForRun | ForBench, RBS = ForRun | ForBench | ForSweep;
    static const std::vector<OptionSpec> table = {
        { "--mode", RBS },
        { "--num-side", RBS },
        { "--size", RBS },
        { "--speed", RBS },
        { "--locus", RB },
        { "--ticks", RBS },
        { "--seed", RB },
        { "--state-in", RB, false, true },
        { "--dpi", RB | ForMerge },
        { "--state-out", ForRun, false, true },
        { "--snapshots-out", ForRun, false, true },
        { "--every", ForRun },
        { "--trace-out", ForRun, false, true },
        { "--stats-out", ForRun, false, true },
        { "--path-png", ForRun, false, true },
        { "--frame-png", ForRun, false, true },
        { "--msd-out", ForRun, false, true },
        { "--speeds-out", ForRun, false, true },
        { "--plot", ForRun, false, true },
        { "--bins", ForRun },
        { "--manifest", ForRun, false, true },
        { "--no-draw", ForBench, true },
        { "--repeats", ForBench },
        { "--pairs", ForBench },
        { "--warmup", ForBench },
        { "--seeds", ForSweep },
        { "--out", ForSweep, false, true },
        { "--msd", ForSweep, true },
        { "--speeds", ForSweep, true },
        { "--stats", ForSweep, true },
        { "--jobs", ForSweep },
        { "--print-commands", ForSweep, true },
    };
    return table;
}

} // namespace detail

namespace {

using namespace detail;

/// Set only from a manifest: the version that wrote it.
constexpr const char *kVersionKey = "--program-version";

const OptionSpec *findSpec(const std::string &name)
{
    for (const OptionSpec &s : optionSpecs()) {
        if (name == s.name)
            return &s;
    }
    return nullptr;
}

unsigned scopeOf(Command c)
{
    switch (c) {
    case Command::Run:
        return ForRun;
    case Command::Bench:
        return ForBench;
    case Command::Sweep:
        return ForSweep;
    case Command::Merge:
        return ForMerge;
    case Command::Help:
        break;
    }
    return 0;
}

/// The 1-based line of `key = ...` (or of the section [key]) in the config file; 0 if not found.
int lineOfKey(const std::string &file, const std::string &key)
{
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        std::string_view rest = std::string_view(line).substr(start);
        if (rest.front() == '[') {
            rest.remove_prefix(1);
            if (rest.substr(0, key.size()) == key && rest.substr(key.size()).starts_with("]"))
                return number;
            continue;
        }
        if (rest.substr(0, key.size()) != key)
            continue;
        rest.remove_prefix(key.size());
        const auto eq = rest.find_first_not_of(" \t");
        if (eq != std::string_view::npos && rest[eq] == '=')
            return number;
    }
    return 0;
}

std::string unknownSetting(const std::string &file, const std::string &item, const char *command)
{
    std::string key = item, what = "unknown setting '" + item + "'";
    if (item.ends_with(".++") || item.ends_with(".--")) {
        key = item.substr(0, item.size() - 3);
        what = "unknown section [" + key + "]";
    } else if (const OptionSpec *s = findSpec("--" + item)) {
        (void)s;
        what = "'" + item + "' is not a setting of " + command;
    }
    const int line = lineOfKey(file, key);
    return file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what
        + " (--config)";
}

/// The error for words CLI11 could not place: the first option among them, else the first word.
std::string extrasError(const std::vector<std::string> &extras, const char *command)
{
    for (const std::string &word : extras) {
        if (word.size() < 2 || word.front() != '-')
            continue;
        const std::string name = word.substr(0, word.find('='));
        if (findSpec(name))
            return name + ": not an option of " + command + " (see --help)";
        return "unknown option " + name + " (see --help)";
    }
    return "unexpected argument '" + extras.front() + "' (options start with --; see --help)";
}

/// "--name: 1 required TEXT missing" and the like: the name before the colon.
std::string mismatchError(const std::string &what)
{
    const std::string name = what.substr(0, what.find(':'));
    if (what.find("At Most") != std::string::npos)
        return name + ": given twice";
    return name + ": missing value";
}

/// Splits `--name=` into `--name` and an empty value (CLI11 would drop the empty value), and
/// refuses a value for a flag.
std::string prepareWords(const std::vector<std::string> &args, std::vector<std::string> &words)
{
    for (std::size_t k = 1; k < args.size(); ++k) {
        const std::string &a = args[k];
        const auto eq = a.find('=');
        if (a.rfind("--", 0) != 0 || eq == std::string::npos) {
            if (a == kVersionKey)
                return std::string("unknown option ") + kVersionKey + " (see --help)";
            words.push_back(a);
            continue;
        }
        const std::string name = a.substr(0, eq);
        if (const OptionSpec *s = findSpec(name); s && s->flag)
            return name + ": takes no value";
        words.push_back(name);
        words.push_back(a.substr(eq + 1));
    }
    return {};
}

bool onCommandLine(const std::vector<std::string> &words, const std::string &name)
{
    return std::find(words.begin(), words.end(), name) != words.end();
}

/// Reads the words and the config file into `raw`; returns the error.
std::string readWords(const std::vector<std::string> &args, const char *command, RawValues &raw)
{
    std::vector<std::string> words;
    if (std::string error = prepareWords(args, words); !error.empty())
        return error;

    CLI::App app;
    app.set_help_flag();
    app.allow_config_extras(CLI::config_extras_mode::error);
    CLI::Option *config = app.set_config("--config", "", "", false);
    const unsigned scope = scopeOf(raw.command);
    std::vector<std::pair<const OptionSpec *, CLI::Option *>> options;
    for (const OptionSpec &s : optionSpecs()) {
        if (!(s.scope & scope))
            continue;
        CLI::Option *o =
            s.flag ? app.add_flag(s.name)->disable_flag_override() : app.add_option(s.name);
        options.emplace_back(&s, o->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
    }
    CLI::Option *version = raw.command == Command::Run ? app.add_option(kVersionKey) : nullptr;
    CLI::Option *positional = raw.command == Command::Merge
        ? app.add_option("dir")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        : nullptr;

    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ExtrasError &) {
        return extrasError(app.remaining(false), command);
    } catch (const CLI::ArgumentMismatch &e) {
        return mismatchError(e.what());
    } catch (const CLI::ConfigError &e) {
        const std::string what = e.what(), prefix = "INI was not able to parse ";
        const std::string file = config->as<std::string>();
        if (what.rfind(prefix, 0) == 0)
            return unknownSetting(file, what.substr(prefix.size()), command);
        return file + ": " + what + " (--config)";
    } catch (const CLI::FileError &) {
        return "--config: cannot read '" + config->as<std::string>() + "'";
    } catch (const CLI::ParseError &e) {
        return e.what();
    }

    if (config->count() > 0) {
        raw.configFile = config->as<std::string>();
        if (raw.configFile.empty())
            return "--config: expected a file name";
    }
    for (const auto &[entry, o] : options) {
        if (o->count() == 0)
            continue;
        if (o->count() > 1 && !(raw.command == Command::Sweep && !entry->flag)) {
            if (onCommandLine(words, entry->name))
                return std::string(entry->name) + ": given twice";
            const std::string file = config->as<std::string>(), key = entry->name + 2;
            return file + ":" + std::to_string(lineOfKey(file, key)) + ": " + key
                + ": expected one value, got a list (--config)";
        }
        if (!onCommandLine(words, entry->name))
            raw.fromConfig.insert(entry->name);
        if (entry->flag)
            raw.flags.insert(entry->name);
        else
            raw.values[entry->name] = o->results();
    }
    if (raw.command == Command::Sweep) {
        // A list may be given once on the command line, or once in the file (as a TOML array).
        for (const auto &[entry, o] : options) {
            if (!entry->flag && o->count() > 1 && onCommandLine(words, entry->name)
                && std::count(words.begin(), words.end(), entry->name) > 1)
                return std::string(entry->name) + ": given twice";
        }
    }
    if (version && version->count() > 0)
        raw.values[kVersionKey] = version->results();
    if (positional)
        raw.positionals = positional->results();
    return {};
}

} // namespace

int defaultLocus(int numSide)
{
    return centreParticle(numSide).value();
}

std::vector<OutputRequest> outputRequests(const LabOptions &o)
{
    const std::pair<const char *, const std::string *> all[] = {
        { "--state-out", &o.stateOut },
        { "--snapshots-out", &o.snapshotsOut },
        { "--trace-out", &o.traceOut },
        { "--stats-out", &o.statsOut },
        { "--path-png", &o.pathPng },
        { "--frame-png", &o.framePng },
        { "--msd-out", &o.msdOut },
        { "--speeds-out", &o.speedsOut },
        { "--plot", &o.plotPng },
    };
    std::vector<OutputRequest> result;
    for (const auto &[option, path] : all) {
        if (!path->empty())
            result.push_back({ option, *path });
    }
    return result;
}

std::vector<std::string> allOptionNames()
{
    std::vector<std::string> names { "--config" };
    for (const OptionSpec &s : optionSpecs())
        names.emplace_back(s.name);
    return names;
}

ParseResult parseArguments(const std::vector<std::string> &args)
{
    ParseResult result;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--help" || args[k] == "-h" || (k == 0 && args[k] == "help")) {
            result.options.command = Command::Help;
            return result;
        }
    }
    constexpr const char *expected = "expected run, bench, sweep or merge (see --help)";
    if (args.empty()) {
        result.error = std::string("no command given: ") + expected;
        return result;
    }
    const std::string &command = args.front();
    const std::pair<const char *, Command> commands[] = { { "run", Command::Run },
        { "bench", Command::Bench }, { "sweep", Command::Sweep }, { "merge", Command::Merge } };
    RawValues raw;
    for (const auto &[word, c] : commands) {
        if (command == word)
            raw.command = c;
    }
    if (raw.command == Command::Help) {
        result.error = "unknown command '" + command + "': " + expected;
        return result;
    }
    result.options.command = raw.command;
    result.error = readWords(args, command.c_str(), raw);
    if (result.error.empty())
        result.error = applyValues(raw, result);
    return result;
}

} // namespace brownian::lab
