#pragma once
// The TOML files of the tool, through toml++: the config files CLI11 reads (--config) and the
// manifests a run leaves, written here and read back as config files.

#include "options.h"

#include <CLI/CLI.hpp>
#include <string>

namespace brownian::lab {

inline constexpr const char *kManifestName = "run.toml";

/// The manifest of a run with these options, to be written at `manifestPath`: the program's
/// version, then runSettings. An output inside the manifest's folder is named relative to it,
/// another by its absolute path, so that the folder can be moved and `brownian-lab run
/// --config` still finds its files.
std::string manifestText(const LabOptions &options, const std::string &manifestPath);

/// Reads a manifest through the config reader (`run --config FILE`): the run's options, with
/// its files named from the current folder. Throws InputError naming the file (and line) of a
/// damaged one, or of one without a version (not a manifest).
LabOptions readManifest(const std::string &path);

namespace detail {

/// CLI11's config reader on toml++: every key must be a setting of the command, with a value
/// of its type that passes the table's check; the messages name the file and line. A relative
/// file name is taken from the file's folder. `program-version` (run only) goes to `version`.
class TomlConfig : public CLI::Config
{
public:
    TomlConfig(unsigned scope, std::string command, const CLI::Option *file, std::string &version)
        : m_scope(scope)
        , m_command(std::move(command))
        , m_file(file)
        , m_version(version)
    {
    }
    std::string to_config(const CLI::App *, bool, bool, std::string) const override { return {}; }
    std::vector<CLI::ConfigItem> from_config(std::istream &input) const override;

private:
    unsigned m_scope;
    std::string m_command;
    const CLI::Option *m_file;
    std::string &m_version;
};

} // namespace detail

} // namespace brownian::lab
