#include "run_files.h"

#include "commands.h"
#include "interrupt.h"
#include "toml_config.h"

namespace brownian::lab {

bool RunFiles::open(const LabOptions &o)
{
    std::vector<OutputRequest> all = outputRequests(o);
    if (!o.manifestOut.empty())
        all.push_back({ "--manifest", o.manifestOut });
    for (const OutputRequest &r : all) {
        OutputFile file;
        const std::string why = file.open(r.path);
        if (!why.empty()) {
            printError(r.option + ": " + why);
            return false;
        }
        m_files.emplace_back(r.option, std::move(file));
    }
    return true;
}

OutputFile *RunFiles::find(const std::string &option)
{
    for (auto &[name, file] : m_files) {
        if (name == option)
            return &file;
    }
    return nullptr;
}

int RunFiles::commitAll(const LabOptions &o)
{
    if (OutputFile *manifest = find("--manifest"))
        manifest->write(manifestText(o, o.manifestOut));
    auto fail = [this](const std::string &option, const std::string &why) {
        printError(option + ": " + why);
        m_files.clear();
        return kExitOutputFailed;
    };
    for (auto &[option, file] : m_files) {
        if (const std::string why = file.finish(); !why.empty())
            return fail(option, why);
    }
    if (InterruptGuard::interrupted()) {
        printError("interrupted; nothing written");
        m_files.clear();
        return kExitInterrupted;
    }
    for (const bool renames : { false, true }) {
        for (auto &[option, file] : m_files) {
            if (file.renamesOnly() != renames)
                continue;
            if (const std::string why = file.place(); !why.empty())
                return fail(option, why);
        }
    }
    return kExitOk;
}

} // namespace brownian::lab
