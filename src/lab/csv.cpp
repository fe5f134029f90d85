#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace brownian::lab {

namespace {

std::string_view trim(std::string_view s)
{
    s.remove_suffix(s.size() - (s.find_last_not_of(" \t\r") + 1)); // npos + 1: all of it
    s.remove_prefix(std::min(s.size(), s.find_first_not_of(" \t")));
    return s;
}

std::string quoted(std::string_view s)
{
    constexpr std::size_t kShown = 40;
    return "'" + std::string(s.substr(0, kShown)) + (s.size() > kShown ? "...'" : "'");
}

InputError lineError(const std::string &source, long line, const std::string &what)
{
    return InputError(source + ":" + std::to_string(line) + ": " + what);
}

template <typename T, typename... Format>
void appendChars(std::string &out, T value, Format... format)
{
    char buffer[40];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value, format...).ptr);
}

} // namespace

void appendSingle(std::string &out, float value)
{
    appendChars(out, value, std::chars_format::general, 9);
}

void appendDouble(std::string &out, double value)
{
    appendChars(out, value);
}

void appendInteger(std::string &out, long long value)
{
    appendChars(out, value);
}

std::string parseSingle(std::string_view text, float &out)
{
    std::string_view t = text;
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    if (t.empty())
        return "empty field";
    // from_chars would read "inf", "nan" and hexadecimal-looking prefixes; a state holds
    // plain decimals only.
    const char *end = t.data() + t.size();
    float value = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), end, value, std::chars_format::general);
    if (t.find_first_not_of("0123456789.-+eE") != std::string_view::npos || ptr != end
        || ec == std::errc::invalid_argument)
        return "not a decimal number: " + quoted(text);
    if (ec == std::errc::result_out_of_range) {
        // Too large for a Single, or so small that it rounds to zero: a Double tells which or,
        // when even a Double cannot hold the value, the exponent's sign.
        double wide = 0;
        const std::size_t e = t.find_first_of("eE");
        const bool tiny = std::from_chars(t.data(), end, wide).ec == std::errc()
            ? std::fabs(wide) < 1.0
            : e != std::string_view::npos && e + 1 < t.size() && t[e + 1] == '-';
        if (!tiny)
            return "outside the range of a Single: " + quoted(text);
        value = t.front() == '-' ? -0.0f : 0.0f;
    }
    out = value;
    return {};
}

void appendStateRows(std::string &out, const ModPar &state, std::string_view prefix)
{
    for (int i = 0; i < state.ParX.size(); ++i) {
        out.append(prefix);
        appendRow(out, i, state.ParX.at(i), state.ParY.at(i), state.ParVX.at(i), state.ParVY.at(i));
    }
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0, comma = 0; comma != std::string_view::npos; start = comma + 1) {
        comma = line.find(',', start);
        fields.push_back(trim(line.substr(start, comma - start)));
    }
    return fields;
}

std::vector<CsvRow> csvRows(
    std::string_view text, std::string_view header, const std::string &source)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3); // a byte-order mark some spreadsheets write
    const std::size_t columns = splitFields(header).size();
    std::vector<CsvRow> rows;
    long lineNo = 0, firstBlank = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t eol = std::min(text.find('\n', pos), text.size());
        const std::string_view line = trim(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNo;
        if (line.empty()) {
            firstBlank = firstBlank ? firstBlank : lineNo;
            continue;
        }
        if (firstBlank != 0)
            throw lineError(source, firstBlank, "empty line before the end of the file");
        if (lineNo == 1 && line != header)
            throw lineError(
                source, 1, "expected the header " + std::string(header) + ", got " + quoted(line));
        if (lineNo == 1)
            continue;
        rows.push_back({ lineNo, splitFields(line) });
        if (rows.back().fields.size() != columns)
            throw lineError(source, lineNo,
                "expected " + std::to_string(columns) + " fields " + std::string(header) + ", got "
                    + std::to_string(rows.back().fields.size()));
    }
    if (lineNo == 0)
        throw InputError(source + ": empty file, expected the header " + std::string(header));
    return rows;
}

std::vector<StateRow> parseStateCsv(std::string_view text, int particles, const std::string &source)
{
    std::vector<StateRow> rows;
    for (const auto &[line, fields] : csvRows(text, kStateHeader, source)) {
        const int expected = static_cast<int>(rows.size());
        if (expected >= particles)
            throw lineError(source, line,
                "more rows than the " + std::to_string(particles) + " particles of --num-side");
        int index = -1;
        const char *end = fields[0].data() + fields[0].size();
        if (const auto [ptr, ec] = std::from_chars(fields[0].data(), end, index);
            ec != std::errc() || ptr != end)
            throw lineError(source, line, "i: not a particle index: " + quoted(fields[0]));
        if (index != expected)
            throw lineError(source, line,
                "i: expected particle " + std::to_string(expected) + " (rows in index order), got "
                    + std::to_string(index));
        StateRow row;
        float *targets[] = { &row.x, &row.y, &row.vx, &row.vy };
        const char *names[] = { "x", "y", "vx", "vy" };
        for (int k = 0; k < 4; ++k) {
            if (const std::string why = parseSingle(fields[k + 1], *targets[k]); !why.empty())
                throw lineError(source, line, names[k] + (": " + why));
        }
        rows.push_back(row);
    }
    if (static_cast<int>(rows.size()) < particles)
        throw InputError(source + ": " + std::to_string(rows.size()) + " particle rows, expected "
            + std::to_string(particles) + " (one per particle of --num-side)");
    return rows;
}

void loadState(ModPar &state, const std::vector<StateRow> &rows)
{
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        state.ParX.at(i) = rows[i].x;
        state.ParY.at(i) = rows[i].y;
        state.ParVX.at(i) = rows[i].vx;
        state.ParVY.at(i) = rows[i].vy;
    }
}

} // namespace brownian::lab
