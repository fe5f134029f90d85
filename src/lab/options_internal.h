#pragma once
// Shared by the parts of the option parsing: the table of options and the raw values the
// command line and the config file gave.

#include "options.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace brownian::lab::detail {

enum Scope : unsigned {
    ForRun = 1,
    ForBench = 2,
    ForSweep = 4,
    ForMerge = 8,
};

struct OptionSpec
{
    const char *name;
    unsigned scope;
    bool flag = false; ///< takes no value
    bool file = false; ///< names a file: relative names in a config file are taken from its folder
};

/// Every option of every command.
const std::vector<OptionSpec> &optionSpecs();

/// What the command line and the config file gave, before checking.
struct RawValues
{
    Command command = Command::Help;
    /// Option name → its values, in the order given (at most one unless a list).
    std::map<std::string, std::vector<std::string>> values;
    std::set<std::string> flags;
    std::vector<std::string> positionals;
    /// The config file, and the options whose value came from it.
    std::string configFile;
    std::set<std::string> fromConfig;
};

/// Checks the raw values and fills in `result` (options, sweep or merge); returns the error.
std::string applyValues(const RawValues &raw, ParseResult &result);

/// The program's version, as the manifests record it.
const char *programVersion();

} // namespace brownian::lab::detail
