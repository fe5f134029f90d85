#pragma once

#include "model/fault.h"
#include "options.h"

#include <cstdio>
#include <functional>
#include <string>

namespace brownian::lab {

/// Writes "brownian-lab: message" to standard error.
inline void printError(const std::string &message)
{
    std::fprintf(stderr, "brownian-lab: %s\n", message.c_str());
}

/// A simulation fault as the tool names it: "English name (what)".
inline std::string faultText(const RuntimeFault &fault)
{
    return fault.englishName() + " (" + fault.what() + ")";
}

inline constexpr int kExitOk = 0;
inline constexpr int kExitOutputFailed = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitFault = 3;
inline constexpr int kExitInterrupted = 130;

/// Starts what drawing text needs (the application object with its fonts); called only when
/// something is drawn.
using GuiStarter = std::function<void()>;

/// `run`: checks the input, opens the outputs, places, runs the ticks, writes the outputs.
int runCommand(const LabOptions &options, const GuiStarter &startGui);

/// `bench`: times ticks of the given settings and prints the figures.
int benchCommand(const LabOptions &options, const GuiStarter &startGui);

} // namespace brownian::lab
