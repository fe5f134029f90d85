#include "run_files.h"

#include "commands.h"
#include "messages.h"

namespace brownian::lab {

bool RunFiles::open(const LabOptions &o)
{
    for (const OutputRequest &r : outputRequests(o)) {
        OutputFile file;
        const std::string why = file.open(r.path);
        if (!why.empty()) {
            printError(r.option + ": " + why);
            return false;
        }
        m_files.emplace(r.option, std::move(file));
    }
    return true;
}

OutputFile *RunFiles::find(const char *option)
{
    const auto it = m_files.find(option);
    return it == m_files.end() ? nullptr : &it->second;
}

int RunFiles::commitAll(const LabOptions &o)
{
    int status = kExitOk;
    for (const OutputRequest &r : outputRequests(o)) {
        const std::string why = m_files.at(r.option).commit();
        if (!why.empty()) {
            printError(r.option + ": " + why);
            status = kExitOutputFailed;
        }
    }
    return status;
}

} // namespace brownian::lab
