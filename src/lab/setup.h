#pragma once

#include "csv.h"
#include "model/modpar.h"
#include "options.h"

#include <optional>
#include <vector>

namespace brownian::lab {

/// Reads and checks the --state-in file, if any, into `rows`. Returns false after printing
/// what is wrong, naming the option, or the file and line.
bool readStateInput(const LabOptions &options, std::optional<std::vector<StateRow>> &rows);

/// Sets up the state as the program does before its first placement: the defaults, then the
/// settings of the options, then the arrays re-dimensioned; seeds the random source when asked.
void prepareState(ModPar &state, const LabOptions &options);

/// The start: the rows read, or InitPar(BoundMode × 1000). A fault of the placement is thrown
/// as RuntimeFault.
void placeParticles(ModPar &state, const std::optional<std::vector<StateRow>> &rows);

} // namespace brownian::lab
