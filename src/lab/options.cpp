// The command line: CLI11 parses it with the typed options of the table, toml++ reads the
// config file (toml_config.cpp). The messages keep one form: the option (or file and line)
// first, then what is wrong.
#include "options.h"

#include "option_table.h"
#include "sim/restart.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <set>

namespace brownian::lab {

namespace {

using namespace detail;
namespace fs = std::filesystem;

constexpr std::pair<const char *, Command> kCommands[] = { { "run", Command::Run },
    { "bench", Command::Bench }, { "sweep", Command::Sweep }, { "merge", Command::Merge } };

unsigned scopeOf(Command c)
{
    return c == Command::Run  ? ForRun
        : c == Command::Bench ? ForBench
        : c == Command::Sweep ? ForSweep
                              : ForMerge;
}

/// The table's check as a CLI11 validator; a whole number is handed on in plain decimal, so
/// that CLI11's conversion (which reads 010 as octal) sees what the check saw.
CLI::Validator validatorOf(const OptionRow &s)
{
    return CLI::Validator(
        [&s](std::string &value) {
            std::string why = checkValue(s, value);
            if (why.empty() && s.kind == Kind::Whole) {
                const std::string digits = value.substr(value.front() == '+' ? 1 : 0);
                value = s.hi < s.lo ? std::to_string(std::stoull(digits))
                                    : std::to_string(std::stoll(digits));
            }
            return why;
        },
        "");
}

/// The options of run and bench, each filling its member of `o`.
void addRunOptions(CLI::App &sub, unsigned scope, LabOptions &o)
{
    using L = LabOptions;
    for (const OptionRow &s : optionRows()) {
        if (!(s.scope & scope))
            continue;
        CLI::Option *opt =
            std::visit(Overloaded {
                           [&](std::monostate) -> CLI::Option * { return nullptr; },
                           [&](int L::*m) { return sub.add_option(s.name, o.*m); },
                           [&](std::int64_t L::*m) { return sub.add_option(s.name, o.*m); },
                           [&](std::string L::*m) { return sub.add_option(s.name, o.*m); },
                           [&](bool L::*m) -> CLI::Option * {
                               if (s.kind == Kind::Flag)
                                   return sub.add_flag(s.name, o.*m);
                               // --mode: the second choice sets the member.
                               return sub.add_option_function<std::string>(s.name,
                                   [&o, m](const std::string &v) { o.*m = v == "unbounded"; });
                           },
                           [&](std::optional<std::uint64_t> L::*m) -> CLI::Option * {
                               return sub.add_option_function<std::uint64_t>(
                                   s.name, [&o, m](const std::uint64_t &v) { o.*m = v; });
                           },
                       },
                s.member);
        if (s.kind != Kind::Flag)
            opt->transform(validatorOf(s));
    }
}

std::vector<int> wholeItems(const std::string &list)
{
    std::vector<int> items;
    for (const std::string &item : CLI::detail::split(list, ','))
        items.push_back(std::stoi(item));
    return items;
}

/// The options of sweep; the lists are checked whole (so that a message can quote the list)
/// and then split at the commas.
void addSweepOptions(CLI::App &sub, SweepOptions &s, std::map<std::string, bool> &flags)
{
    for (const OptionRow &row : optionRows()) {
        if (!(row.scope & ForSweep))
            continue;
        const std::string name = row.name;
        CLI::Option *opt = nullptr;
        if (row.kind == Kind::Flag) {
            opt = sub.add_flag(name, flags[name]);
        } else if (name == "--mode") {
            opt = sub.add_option_function<std::string>(name, [&s](const std::string &v) {
                s.modes.clear();
                for (const std::string &m : CLI::detail::split(v, ','))
                    s.modes.push_back(CLI::detail::trim_copy(m) == "unbounded");
            });
        } else if (row.kind == Kind::List) {
            std::vector<int> &target = name == "--num-side" ? s.numSides
                : name == "--size"                          ? s.sizes
                                                            : s.speeds;
            opt = sub.add_option_function<std::string>(
                name, [&target](const std::string &v) { target = wholeItems(v); });
        } else if (row.kind == Kind::SeedRange) {
            opt = sub.add_option_function<std::string>(name, [&s](const std::string &v) {
                const auto dash = v.find('-');
                s.firstSeed = std::stoull(v.substr(0, dash));
                s.lastSeed =
                    dash == std::string::npos ? s.firstSeed : std::stoull(v.substr(dash + 1));
            });
        } else if (name == "--ticks") {
            opt = sub.add_option(name, s.ticks);
        } else if (name == "--jobs" || name == "--threads") {
            opt = sub.add_option(name, name == "--jobs" ? s.jobs : s.threads);
        } else {
            opt = sub.add_option(name, s.out);
        }
        if (row.kind != Kind::Flag)
            opt->transform(validatorOf(row));
    }
}

/// The words CLI11 could not place; the "--" before positional words is not one of them.
std::vector<std::string> extras(const CLI::App &app)
{
    std::vector<std::string> words = app.remaining(false);
    std::erase(words, "--");
    return words;
}

/// Words CLI11 could not place: the first option among them, else the first word.
std::string extrasError(const std::vector<std::string> &extras, const char *command)
{
    for (const std::string &word : extras) {
        if (word.size() < 2 || word.front() != '-')
            continue;
        const std::string name = word.substr(0, word.find('='));
        if (findOption(name, ForRun | ForBench | ForSweep | ForMerge) || name == "--config")
            return name + ": not an option of " + command + " (see --help)";
        return "unknown option " + name + " (see --help)";
    }
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
        positional = positional || a == "--";
        if (positional || a.rfind("--", 0) != 0 || eq == std::string::npos) {
            words.push_back(a);
            continue;
        }
        const std::string name = a.substr(0, eq);
        if (const OptionRow *s = findOption(name, scope); s && s->kind == Kind::Flag)
            return name + ": takes no value";
        if (eq + 1 < a.size()) {
            words.push_back(a); // CLI11 takes --name=value, also a value starting with '-'
            continue;
        }
        words.push_back(name);
        words.emplace_back();
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
    std::vector<OutputRequest> all = outputRequests(o);
    if (!o.manifestOut.empty())
        all.push_back({ "--manifest", o.manifestOut });
    for (const OutputRequest &r : all) {
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

std::string checkRunOrBench(CLI::App &sub, LabOptions &o)
{
    auto given = [&sub](const char *name) { return sub.get_option(name)->count() > 0; };
    if (given("--locus") && o.locus >= o.particles())
        return "--locus: particle " + std::to_string(o.locus) + " does not exist: with --num-side "
            + std::to_string(o.numSide) + " the particles are 0 to "
            + std::to_string(o.particles() - 1);
    if (!given("--locus"))
        o.locus = defaultLocus(o.numSide);
    if (!given("--threads"))
        o.threads = processorCount();
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

std::string checkSweep(CLI::App &sub, SweepOptions &s, const std::map<std::string, bool> &flags)
{
    s.printCommands = flags.at("--print-commands");
    if (flags.at("--msd") || flags.at("--speeds") || flags.at("--stats")) {
        s.writeMsd = flags.at("--msd");
        s.writeSpeeds = flags.at("--speeds");
        s.writeStats = flags.at("--stats");
    }
    if (s.out.empty() || s.out == "-")
        return "--out: expected the folder for the runs (sweep --out DIR)";
    if (s.printCommands && sub.get_option("--jobs")->count() > 0)
        return "--jobs: not used with --print-commands, which runs nothing";
    return {};
}

std::string checkMerge(const CLI::Option &dir, MergeOptions &m)
{
    if (dir.count() == 0)
        return "merge: expected the folder of a sweep (brownian-lab merge DIR)";
    if (m.dir.empty())
        return "merge: expected the folder of a sweep, got an empty name";
    return {};
}

/// Parses the words of one command into `result`; returns the error.
std::string parseCommand(
    const std::vector<std::string> &args, const char *command, ParseResult &result)
{
    const Command c = result.options.command;
    std::vector<std::string> words;
    if (std::string error = prepareWords(args, scopeOf(c), words); !error.empty())
        return error;

    // One application per command: CLI11 reads config files for the top application only.
    CLI::App app(command);
    CLI::App *sub = &app;
    sub->set_help_flag();
    sub->allow_extras();
    CLI::Option *config = sub->set_config("--config", "", "", false);
    auto toml = tomlConfig(scopeOf(c), command, config, result.version);
    sub->config_formatter(toml);
    std::map<std::string, bool> flags;
    CLI::Option *dir = nullptr;
    if (c == Command::Run || c == Command::Bench)
        addRunOptions(*sub, scopeOf(c), result.options);
    else if (c == Command::Sweep)
        addSweepOptions(*sub, result.sweep, flags);
    else {
        sub->add_option("--dpi", result.merge.dpi)
            ->transform(validatorOf(*findOption("--dpi", ForMerge)));
        dir = sub->add_option("dir", result.merge.dir);
    }
    for (CLI::Option *o : sub->get_options())
        o->multi_option_policy(CLI::MultiOptionPolicy::Throw);

    std::vector<std::string> reversed(words.rbegin(), words.rend() - 1);
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        if (!extras(*sub).empty())
            return extrasError(extras(*sub), command);
        if (dynamic_cast<const CLI::FileError *>(&e))
            return "--config: cannot read '" + config->as<std::string>() + "'";
        if (dynamic_cast<const CLI::ArgumentMismatch *>(&e)) {
            // CLI11 names the option first: "--ticks: ...".
            for (const CLI::Option *o : sub->get_options()) {
                if (o->count() > 1)
                    return o->get_name() + ": given twice";
            }
            const std::string what = e.what();
            return what.substr(0, what.find(':')) + ": missing value";
        }
        return e.what(); // the table's own messages, and the config file's
    }
    if (!extras(*sub).empty())
        return extrasError(extras(*sub), command);
    if (config->count() > 0 && config->as<std::string>().empty())
        return "--config: expected a file name";
    if (!result.version.empty() && result.version != programVersion())
        result.notes.push_back(config->as<std::string>() + " was written by version "
            + result.version + " of brownian-lab; this is version " + programVersion());
    if (c == Command::Sweep)
        return checkSweep(*sub, result.sweep, flags);
    if (c == Command::Merge)
        return checkMerge(*dir, result.merge);
    return checkRunOrBench(*sub, result.options);
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
    for (const auto &[word, c] : kCommands) {
        if (args.front() == word) {
            result.options.command = c;
            result.error = parseCommand(args, word, result);
            return result;
        }
    }
    result.error = "unknown command '" + args.front() + "': " + expected;
    return result;
}

} // namespace brownian::lab
