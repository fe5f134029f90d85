// Any text a person can type into the settings dialog: a text judged numeric has a finite
// value, every value prints and reads back unchanged, and the count and size fields are always
// left with a count 1..10 and a size that is a multiple of 20 within 200..500.
#include "model/numeric_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok, const char *what, std::string_view text, const std::string &got = {})
{
    if (ok)
        return;
    std::fprintf(stderr, "invariant broken: %s for '%.*s' (got '%s')\n", what,
        static_cast<int>(text.size()), text.data(), got.c_str());
    std::abort();
}

/// The integer a result text stands for; the text must be all ASCII digits.
bool readInteger(const std::string &s, long &out)
{
    if (s.empty() || s.size() > 4)
        return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    using namespace brownian;

    const double value = valueOf(text);
    check(std::isfinite(value), "valueOf is not finite", text);
    if (isNumeric(text))
        check(std::isfinite(value), "a numeric text has no finite value", text);

    const std::string printed = plainDecimal(value);
    check(valueOf(printed) == value, "plainDecimal does not read back", text, printed);
    check(isNumeric(printed), "plainDecimal is not numeric", text, printed);

    long count = 0;
    const std::string countText = normaliseCount(text);
    check(readInteger(countText, count) && count >= 1 && count <= 10, "count outside 1..10", text,
        countText);

    long sizeValue = 0;
    const std::string sizeText = normaliseSize(text);
    check(readInteger(sizeText, sizeValue) && sizeValue >= 200 && sizeValue <= 500
            && sizeValue % 20 == 0,
        "size not a multiple of 20 in 200..500", text, sizeText);
    return 0;
}
