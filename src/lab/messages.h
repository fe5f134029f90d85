#pragma once

#include "model/fault.h"

#include <string>

namespace brownian::lab {

/// Writes "brownian-lab: message" to standard error.
void printError(const std::string &message);

/// A simulation fault as the tool names it: "English name (what)".
std::string faultText(const RuntimeFault &fault);

} // namespace brownian::lab
