// The command line: CLI11 parses it with the options of the table, toml++ reads the config
// file (toml_config.cpp). The messages keep one form: the option (or file and line)
// first, then what is wrong.
#include "options.h"

#include "option_table.h"
#include "sim/restart.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

namespace brownian::lab {

namespace {

using namespace detail;
namespace fs = std::filesystem;

constexpr std::tuple<const char *, Command, unsigned> kCommands[] = {
    { "run", Command::Run, ForRun }, { "bench", Command::Bench, ForBench },
    { "sweep", Command::Sweep, ForSweep }, { "merge", Command::Merge, ForMerge }
};

/// The options of a command in `scope`, each filling its member of `result`.
void addOptions(CLI::App &app, unsigned scope, ParseResult &result)
{
    for (const OptionRow &row : optionRows()) {
        if (!(row.scope & scope))
            continue;
        CLI::Option *option = row.kind == Kind::Flag
            ? app.add_flag_callback(row.name, [&row, &result] { setValue(row, result, "true"); })
            : app.add_option_function<std::string>(row.name,
                [&row, &result](const std::string &value) { setValue(row, result, value); });
        if (row.kind != Kind::Flag)
            option->check([&row](const std::string &value) { return checkValue(row, value); });
    }
}

/// The words CLI11 could not place (the "--" before positional words is not one of them): the
/// first option among them, else the first word; "" when there are none.
std::string extrasError(const CLI::App &app, const char *command)
{
    std::vector<std::string> extras = app.remaining(false);
    std::erase(extras, "--");
    for (const std::string &word : extras) {
        if (word.size() < 2 || word.front() != '-')
            continue;
        const std::string name = word.substr(0, word.find('='));
        if (findOption(name, ForAny) || name == "--config")
            return name + ": not an option of " + command + " (see --help)";
        return "unknown option " + name + " (see --help)";
    }
    if (extras.empty())
        return {};
    return "unexpected argument '" + extras.front() + "' (options start with --; see --help)";
}

/// `--name=` becomes `--name` and an empty value (CLI11 would drop the empty value); a flag
/// with a value is refused.
std::string prepareWords(
    const std::vector<std::string> &args, unsigned scope, std::vector<std::string> &words)
{
    bool positional = false;
    for (const std::string &a : args) {
        const auto eq = a.find('=');
        const std::string name = a.substr(0, eq);
        positional = positional || a == "--";
        if (positional || !a.starts_with("--") || eq == std::string::npos)
            words.push_back(a);
        else if (const OptionRow *s = findOption(name, scope); s && s->kind == Kind::Flag)
            return name + ": takes no value";
        else if (eq + 1 == a.size())
            words.insert(words.end(), { name, "" });
        else
            words.push_back(a); // CLI11 takes --name=value, also a value starting with '-'
    }
    return {};
}

/// Files named twice would be written twice: compare them as absolute paths, links followed.
std::string normalisedPath(const std::string &path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.string() : resolved.string();
}

std::string checkOutputs(const LabOptions &o)
{
    std::string stdoutOption;
    std::set<std::string> seen;
    for (const OutputRequest &r : outputRequests(o, true)) {
        if (r.path == "-") {
            if (r.option == "--manifest")
                return "--manifest: expected a file name (a manifest is not written to standard "
                       "output)";
            if (!stdoutOption.empty())
                return r.option + ": standard output is already taken by " + stdoutOption;
            stdoutOption = r.option;
            continue;
        }
        if (!seen.insert(normalisedPath(r.path)).second)
            return r.option + ": '" + r.path + "' is already the file of another output";
    }
    if (!o.manifestOut.empty() && o.stateIn == "-")
        return "--manifest: a run reading standard input cannot be repeated from a manifest";
    // The run would replace its own input, and its manifest could not repeat it.
    if (!o.manifestOut.empty() && !o.stateIn.empty() && seen.count(normalisedPath(o.stateIn)))
        return "--state-in: '" + o.stateIn
            + "' is also an output of the run, which its manifest could not repeat";
    return {};
}

std::string checkRunOrBench(const std::function<bool(const char *)> &given, LabOptions &o)
{
    if (given("--locus") && o.locus >= o.particles())
        return "--locus: particle " + std::to_string(o.locus) + " does not exist: with --num-side "
            + std::to_string(o.numSide) + " the particles are 0 to "
            + std::to_string(o.particles() - 1);
    if (!given("--locus"))
        o.locus = defaultLocus(o.numSide);
    if (!given("--threads"))
        o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (o.command == Command::Bench) {
        if (!given("--ticks"))
            o.ticks = 2000;
        if (given("--dpi") && o.noDraw)
            return "--dpi: bench --no-draw draws nothing";
        return {};
    }
    if (given("--every") && o.snapshotsOut.empty())
        return "--every: only used with --snapshots-out";
    if (given("--bins") && !o.wantsSpeeds())
        return "--bins: only used with --speeds-out or --plot";
    if (given("--dpi") && !o.wantsPictures())
        return "--dpi: only used with --path-png, --frame-png or --plot";
    return checkOutputs(o);
}

std::string checkSweep(const std::function<bool(const char *)> &given, SweepOptions &s)
{
    // Naming any of the three writes just those.
    if (given("--msd") || given("--speeds") || given("--stats")) {
        s.writeMsd = given("--msd");
        s.writeSpeeds = given("--speeds");
        s.writeStats = given("--stats");
    }
    if (s.out.empty() || s.out == "-")
        return "--out: expected the folder for the runs (sweep --out DIR)";
    if (s.printCommands && given("--jobs"))
        return "--jobs: not used with --print-commands, which runs nothing";
    return {};
}

/// Parses the words of one command into `result`; returns the error.
std::string parseCommand(
    const std::vector<std::string> &args, const char *command, unsigned scope, ParseResult &result)
{
    std::vector<std::string> words;
    if (std::string error = prepareWords(args, scope, words); !error.empty())
        return error;

    // One application per command: CLI11 reads config files for the top application only.
    CLI::App app(command);
    app.set_help_flag();
    app.allow_extras();
    CLI::Option *config = app.set_config("--config", "", "", false);
    app.config_formatter(tomlConfig(scope, command, config, result.version));
    addOptions(app, scope, result);
    CLI::Option *dir = scope == ForMerge ? app.add_option("dir", result.merge.dir) : nullptr;
    for (CLI::Option *o : app.get_options())
        o->multi_option_policy(CLI::MultiOptionPolicy::Throw);

    std::vector<std::string> reversed(words.rbegin(), words.rend() - 1);
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        if (std::string error = extrasError(app, command); !error.empty())
            return error;
        if (dynamic_cast<const CLI::FileError *>(&e))
            return "--config: cannot read '" + config->as<std::string>() + "'";
        if (dynamic_cast<const CLI::ArgumentMismatch *>(&e)) {
            // CLI11 names the option first: "--ticks: ...".
            for (const CLI::Option *o : app.get_options()) {
                if (o->count() > 1)
                    return o->get_name() + ": given twice";
            }
            const std::string what = e.what();
            return what.substr(0, what.find(':')) + ": missing value";
        }
        return e.what(); // the table's own messages, and the config file's
    }
    if (std::string error = extrasError(app, command); !error.empty())
        return error;
    if (config->count() > 0 && config->as<std::string>().empty())
        return "--config: expected a file name";
    if (!result.version.empty() && result.version != BROWNIAN_VERSION)
        result.notes.push_back(config->as<std::string>() + " was written by version "
            + result.version + " of brownian-lab; this is version " + BROWNIAN_VERSION);
    auto given = [&app](const char *name) { return app.get_option(name)->count() > 0; };
    if (scope == ForSweep)
        return checkSweep(given, result.sweep);
    if (scope != ForMerge)
        return checkRunOrBench(given, result.options);
    if (dir->count() == 0)
        return "merge: expected the folder of a sweep (brownian-lab merge DIR)";
    if (result.merge.dir.empty())
        return "merge: expected the folder of a sweep, got an empty name";
    return {};
}

} // namespace

int defaultLocus(int numSide)
{
    return centreParticle(numSide).value();
}

ParseResult parseArguments(const std::vector<std::string> &args)
{
    ParseResult result;
    for (std::size_t k = 0; k < args.size() && args[k] != "--"; ++k) {
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
    for (const auto &[word, command, scope] : kCommands) {
        if (args.front() == word) {
            result.options.command = command;
            result.error = parseCommand(args, word, scope, result);
            return result;
        }
    }
    result.error = "unknown command '" + args.front() + "': " + expected;
    return result;
}

} // namespace brownian::lab
