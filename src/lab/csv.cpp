#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace brownian::lab {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string quoted(std::string_view s)
{
    constexpr std::size_t kShown = 40;
    return "'" + std::string(s.substr(0, kShown)) + (s.size() > kShown ? "...'" : "'");
}

} // namespace

void appendSingle(std::string &out, float value)
{
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 9);
    out.append(buffer, r.ptr);
}

void appendDouble(std::string &out, double value)
{
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

void appendInteger(std::string &out, long long value)
{
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
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
    for (char c : t) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return "not a decimal number: " + quoted(text);
    }
    float value = 0;
    const char *end = t.data() + t.size();
    const auto [ptr, ec] = std::from_chars(t.data(), end, value, std::chars_format::general);
    if (ptr != end || ec == std::errc::invalid_argument)
        return "not a decimal number: " + quoted(text);
    if (ec == std::errc::result_out_of_range) {
        // Either too large for a Single or so small that it rounds to zero. The exponent's
        // sign tells which when even a Double cannot hold the value.
        double wide = 0;
        const auto [dptr, dec] = std::from_chars(t.data(), end, wide, std::chars_format::general);
        bool tiny = false;
        if (dec == std::errc())
            tiny = std::fabs(wide) < 1.0;
        else {
            const auto e = t.find_first_of("eE");
            tiny = e != std::string_view::npos && e + 1 < t.size() && t[e + 1] == '-';
        }
        (void)dptr;
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
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(trim(line.substr(start)));
            return fields;
        }
        fields.push_back(trim(line.substr(start, comma - start)));
        start = comma + 1;
    }
}

std::vector<CsvRow> csvRows(
    std::string_view text, std::string_view header, const std::string &source)
{
    auto fail = [&](long line, const std::string &what) {
        return InputError(source + ":" + std::to_string(line) + ": " + what);
    };
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
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
            throw fail(firstBlank, "empty line before the end of the file");
        if (lineNo == 1 && line != header)
            throw fail(1, "expected the header " + std::string(header) + ", got " + quoted(line));
        if (lineNo == 1)
            continue;
        rows.push_back({ lineNo, splitFields(line) });
        if (rows.back().fields.size() != columns)
            throw fail(lineNo,
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
    for (const auto &[lineNo, fields] : csvRows(text, kStateHeader, source)) {
        auto fail = [&, line = lineNo](const std::string &what) {
            return InputError(source + ":" + std::to_string(line) + ": " + what);
        };
        const int expected = static_cast<int>(rows.size());
        if (expected >= particles)
            throw fail(
                "more rows than the " + std::to_string(particles) + " particles of --num-side");
        int index = -1;
        const auto [ptr, ec] =
            std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), index);
        if (ec != std::errc() || ptr != fields[0].data() + fields[0].size())
            throw fail("i: not a particle index: " + quoted(fields[0]));
        if (index != expected)
            throw fail("i: expected particle " + std::to_string(expected)
                + " (rows in index order), got " + std::to_string(index));
        StateRow row;
        float *targets[] = { &row.x, &row.y, &row.vx, &row.vy };
        const char *names[] = { "x", "y", "vx", "vy" };
        for (int k = 0; k < 4; ++k) {
            if (const std::string why = parseSingle(fields[k + 1], *targets[k]); !why.empty())
                throw fail(std::string(names[k]) + ": " + why);
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
