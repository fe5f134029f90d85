#include "setup.h"

#include "commands.h"
#include "sim/restart.h"
#include "sim/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brownian::lab {

namespace {

constexpr std::size_t kMaxInputBytes = 64u << 20;

std::optional<std::vector<StateRow>> readInput(const LabOptions &o)
{
    if (o.stateIn.empty())
        return std::nullopt;
    const bool fromStdin = o.stateIn == "-";
    const std::string name = fromStdin ? std::string("standard input") : o.stateIn;
    std::FILE *file = fromStdin ? stdin : std::fopen(o.stateIn.c_str(), "rb");
    if (!file)
        throw InputError("--state-in: cannot read '" + name + "': " + std::strerror(errno));
    std::string text;
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
        if (text.size() > kMaxInputBytes)
            break;
    }
    const bool failed = std::ferror(file);
    const int err = errno;
    if (!fromStdin)
        std::fclose(file);
    if (failed)
        throw InputError("--state-in: cannot read '" + name + "': " + std::strerror(err));
    if (text.size() > kMaxInputBytes)
        throw InputError(name + ": larger than " + std::to_string(kMaxInputBytes >> 20)
            + " MB, far more than a state of " + std::to_string(o.particles()) + " particles");
    return parseStateCsv(text, o.particles(), name);
}

} // namespace

bool readStateInput(const LabOptions &o, std::optional<std::vector<StateRow>> &rows)
{
    try {
        rows = readInput(o);
        return true;
    } catch (const InputError &e) {
        printError(e.what());
        return false;
    }
}

void prepareState(ModPar &s, const LabOptions &o)
{
    s.setDefaults();
    s.BoundMode = o.unbounded ? 1 : 0;
    applySettings(s, { o.numSide, o.size, o.speed, o.locus });
    if (o.seed)
        s.random.seed(*o.seed);
}

void placeParticles(ModPar &s, const std::optional<std::vector<StateRow>> &rows)
{
    if (rows)
        loadState(s, *rows);
    else
        restart(s);
}

} // namespace brownian::lab
