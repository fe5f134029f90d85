// Any bytes as the lab's state file: read whole, with one finite row per particle, or rejected
// with a message that names the file. The first byte picks the particles per side (1..10).
#include "lab/csv.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void broken(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int side = data[0] % 10 + 1;
    const int particles = side * side;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    using namespace brownian::lab;
    try {
        const auto rows = parseStateCsv(text, particles, "state.csv");
        if (static_cast<int>(rows.size()) != particles)
            broken("accepted with the wrong number of rows");
        for (const StateRow &r : rows) {
            if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.vx)
                || !std::isfinite(r.vy))
                broken("accepted a value that is not finite");
        }
    } catch (const InputError &e) {
        if (std::string_view(e.what()).substr(0, 9) != "state.csv")
            broken("a rejection that does not name the file");
    }
    // Any other exception escapes and ends the run: it would end the lab tool without its
    // message.
    return 0;
}
