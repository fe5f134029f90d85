#pragma once

#include "model/modpar.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brownian::lab {

/// A Single with 9 significant digits, enough for reading it back to give the same Single;
/// independent of the locale.
void appendSingle(std::string &out, float value);
/// A Double in the shortest form that reads back to the same Double.
void appendDouble(std::string &out, double value);
void appendInteger(std::string &out, long long value);

/// Appends one CSV row: the values separated by commas, then a line break. A float is written
/// as a Single, a double as a Double, a word as it is, and a double that is not there as an
/// empty field.
template <typename... V> void appendRow(std::string &out, const V &...values)
{
    auto field = [&out](const auto &v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, float>)
            appendSingle(out, v);
        else if constexpr (std::is_same_v<T, double>)
            appendDouble(out, v);
        else if constexpr (std::is_same_v<T, std::optional<double>>) {
            if (v)
                appendDouble(out, *v);
        } else if constexpr (std::is_same_v<T, const char *>)
            out += v;
        else
            appendInteger(out, static_cast<long long>(v));
    };
    int k = 0;
    ((out += k++ ? "," : "", field(values)), ...);
    out += '\n';
}

/// Reads a decimal number and rounds it once to Single. Returns an empty string on success,
/// otherwise why the text is not a finite Single. A value too small for a Single rounds to
/// zero; a value too large is an error.
std::string parseSingle(std::string_view text, float &out);

/// A problem with an input file: the message already names the file and the line.
class InputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct StateRow
{
    float x = 0, y = 0, vx = 0, vy = 0;
};

inline constexpr std::string_view kStateHeader = "i,x,y,vx,vy";
inline constexpr std::string_view kSnapshotHeader = "tick,i,x,y,vx,vy";
inline constexpr std::string_view kTraceHeader = "substep,x,y,ux,uy";
inline constexpr std::string_view kStatsHeader =
    "tick,kinetic_energy,momentum_x,momentum_y,contacts";
/// The statistics as runs write them: kStatsHeader, then the temperature and the pressure
/// from the collisions' virial and, in the box, the walls' pressure.
inline std::string statsHeader(bool unbounded)
{
    return std::string(kStatsHeader)
        + (unbounded ? ",temperature,pressure" : ",temperature,pressure,pressure_wall");
}
inline constexpr std::string_view kMsdHeader = "lag,msd";
inline constexpr std::string_view kSpeedsHeader = "speed_low,speed_high,count,expected";

/// Appends the rows `prefix` i,x,y,vx,vy of every particle, in index order (no header).
/// `prefix` is "" for the state file and "tick," for snapshots.
void appendStateRows(std::string &out, const ModPar &state, std::string_view prefix = {});

struct CsvRow
{
    long line = 0;
    std::vector<std::string_view> fields;
};

/// The rows of a CSV text after its header, each with as many fields as the header. A
/// byte-order mark is skipped, CR LF line ends are accepted, empty lines only at the end.
/// Throws InputError naming `source` and the line.
std::vector<CsvRow> csvRows(
    std::string_view text, std::string_view header, const std::string &source);

/// Parses a state file (csvRows with the header i,x,y,vx,vy): exactly `particles` rows with
/// i = 0, 1, ... in order. Throws InputError naming `source`.
std::vector<StateRow> parseStateCsv(
    std::string_view text, int particles, const std::string &source);

/// Writes the rows into the state's arrays, which must hold rows.size() elements.
void loadState(ModPar &state, const std::vector<StateRow> &rows);

/// Splits a CSV line at commas (no quoting: the lab's files hold numbers only).
std::vector<std::string_view> splitFields(std::string_view line);

} // namespace brownian::lab
