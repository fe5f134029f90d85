#pragma once
// The one table of the tool's options: each option's name, commands, kind, limits, help line
// and the member it fills. The parser, the config reader, the help text and the manifest writer
// all read it.

#include "options.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace brownian::lab::detail {

enum Scope : unsigned { ForRun = 1, ForBench = 2, ForSweep = 4, ForMerge = 8, ForAny = 15 };

enum class Kind {
    Flag, ///< no value
    Whole, ///< a whole number lo..hi
    Choice, ///< one of `values` ("a|b|c")
    File, ///< a file name; relative names in a config file are taken from its folder
    List, ///< a comma-separated list of whole numbers lo..hi, or of `values`
    SeedRange, ///< A-B
};

/// What a run option is in a manifest: a setting, an output file, or a detail of an output.
enum class Part { None, Setting, Output, Detail };

/// The member an option fills, in the options of its command.
using Member = std::variant<int LabOptions::*, std::int64_t LabOptions::*,
    std::string LabOptions::*, bool LabOptions::*, std::optional<std::uint64_t> LabOptions::*,
    int SweepOptions::*, std::int64_t SweepOptions::*, std::string SweepOptions::*,
    bool SweepOptions::*, std::vector<int> SweepOptions::*, std::vector<bool> SweepOptions::*,
    std::uint64_t SweepOptions::*, int MergeOptions::*>;

struct OptionRow
{
    const char *name; ///< "--size"
    unsigned scope;
    Kind kind;
    std::int64_t lo = 0, hi = 0; ///< limits of Whole and List items; hi < lo: the full uint64
    /// The choices "a|b|c" of Choice and List; for Whole and File the word standing for the
    /// value in the help ("N", "FILE"); for a flag, the flags listed with it.
    const char *values = nullptr;
    Member member;
    Part part = Part::None;
    /// {lo} and {hi} stand for the limits; the help lists the options with a text, those of one
    /// command (or of both run and bench) together.
    const char *help = "";
};

/// Every option of every command, in the order of the help text.
const std::vector<OptionRow> &optionRows();

/// The option `name` of a command in `scope`, or nullptr.
const OptionRow *findOption(const std::string &name, unsigned scope);

/// Checks one value of an option; returns what is wrong (without the option's name) or "".
std::string checkValue(const OptionRow &row, const std::string &value);

/// Sets the member of `row` in `result` from a value that checkValue has passed.
void setValue(const OptionRow &row, ParseResult &result, const std::string &value);

/// The help text of `row` with the limits filled in, each line after the first indented.
std::string helpOf(const OptionRow &row, const std::string &indent);

/// CLI11's config reader on toml++ for a command in `scope`: every key must be a setting of the
/// command, with a value of its type that passes the table's check; the messages name the file
/// and line. A relative file name is taken from the file's folder; the program's version
/// (run only) goes to `version`.
std::shared_ptr<CLI::Config> tomlConfig(
    unsigned scope, std::string command, const CLI::Option *file, std::string &version);

} // namespace brownian::lab::detail
