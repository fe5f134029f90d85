#include "merge_stats.h"

#include "analysis/gas.h"
#include "csv.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>

namespace brownian::lab {

namespace {

double number(std::string_view field, const std::string &source, long line)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size()
        || !std::isfinite(value))
        throw InputError(source + ":" + std::to_string(line) + ": '" + std::string(field)
            + "' is not a finite number");
    return value;
}

void appendOptional(std::string &out, const std::optional<double> &v)
{
    out += ',';
    if (v)
        appendDouble(out, *v);
}

void appendKey(std::string &out, const GroupKey &k)
{
    out += k.unbounded ? "unbounded," : "bounded,";
    out += std::to_string(k.numSide) + ',' + std::to_string(k.size) + ',' + std::to_string(k.speed)
        + ',' + std::to_string(k.ticks);
}

} // namespace

/// The header of a stats.csv: as runs write it, or without the temperature and pressure.
std::string statsHeaderOf(const std::string &text, bool unbounded)
{
    const std::string full = statsHeader(unbounded);
    std::string_view t = text;
    if (t.starts_with("\xEF\xBB\xBF"))
        t.remove_prefix(3);
    const bool gas = t.starts_with(full + '\n') || t.starts_with(full + "\r\n") || t == full;
    return gas ? full : std::string(kStatsHeader);
}

double thermalFromStats(
    const std::string &text, bool unbounded, int particles, const std::string &source)
{
    const auto rows = csvRows(text, statsHeaderOf(text, unbounded), source);
    if (rows.empty())
        throw InputError(source + ": no rows");
    double sum = 0;
    const double n = particles;
    for (const auto &[line, f] : rows) {
        const double energy = number(f[1], source, line);
        if (!unbounded) {
            sum += energy / n;
            continue;
        }
        const double px = number(f[2], source, line), py = number(f[3], source, line);
        sum += particles > 1 ? (energy - (px * px + py * py) / (2 * n)) / (n - 1) : 0.0;
    }
    return sum / static_cast<double>(rows.size());
}

std::optional<double> zFromStats(
    const std::string &text, bool unbounded, int particles, int size, const std::string &source)
{
    const std::string header = statsHeaderOf(text, unbounded);
    if (header == kStatsHeader)
        return std::nullopt;
    double temperature = 0, pressure = 0;
    int ticks = 0;
    for (const auto &[line, f] : csvRows(text, header, source)) {
        if (number(f[0], source, line) == 0)
            continue;
        temperature += number(f[5], source, line);
        pressure += number(f[6], source, line);
        ++ticks;
    }
    if (ticks == 0 || !(temperature > 0))
        return std::nullopt;
    return pressure * gasArea(unbounded, size) / (particles * temperature);
}

std::vector<MsdPoint> parseMsdCsv(const std::string &text, const std::string &source)
{
    std::vector<MsdPoint> points;
    for (const auto &[line, f] : csvRows(text, kMsdHeader, source)) {
        const double lag = number(f[0], source, line);
        if (lag < 1 || lag != std::floor(lag) || lag > 9e15)
            throw InputError(source + ":" + std::to_string(line) + ": lag: expected a whole "
                + "number of sub-steps, got '" + std::string(f[0]) + "'");
        points.push_back({ static_cast<std::int64_t>(lag), number(f[1], source, line) });
    }
    return points;
}

std::vector<GroupSummary> summarise(const std::vector<RunData> &runs)
{
    std::vector<GroupSummary> groups;
    std::map<GroupKey, std::vector<const RunData *>> members;
    for (const RunData &r : runs) {
        if (members[r.key].empty()) {
            groups.emplace_back();
            groups.back().key = r.key;
        }
        members[r.key].push_back(&r);
    }
    for (GroupSummary &g : groups) {
        const std::vector<const RunData *> &m = members[g.key];
        g.runs = static_cast<int>(m.size());
        g.packingFraction = fieldPackingFraction(g.key.unbounded, g.key.numSide, g.key.size);
        std::vector<double> ds, thermals, zs;
        for (const RunData *r : m) {
            if (const auto fit = fitDiffusion(r->msd))
                ds.push_back(fit->coefficient);
            if (r->thermal)
                thermals.push_back(*r->thermal);
            if (r->z)
                zs.push_back(*r->z);
            if (r->msd.size() != m.front()->msd.size())
                throw InputError(r->source + ": its MSD has other lags than " + m.front()->source
                    + "'s, with the same settings");
        }
        g.fitted = static_cast<int>(ds.size());
        if (!ds.empty())
            std::tie(g.dMean, g.dStderr) = meanAndError(ds);
        if (thermals.size() == m.size()) {
            g.thermal = meanAndError(thermals).first;
            const double density =
                static_cast<double>(g.key.numSide) * g.key.numSide / fieldArea(g.key.unbounded);
            g.dEnskog = enskogDiffusion(density, g.key.size, g.packingFraction, *g.thermal);
        }
        if (zs.size() == m.size()) {
            std::tie(g.zMean, g.zStderr) = meanAndError(zs);
            const int n = g.key.numSide * g.key.numSide;
            g.zHenderson = hendersonZ(brownian::packingFraction(n, g.key.size, g.key.unbounded));
        }
        for (std::size_t k = 0; k < m.front()->msd.size(); ++k) {
            std::vector<double> values;
            for (const RunData *r : m) {
                if (r->msd[k].lag != m.front()->msd[k].lag)
                    throw InputError(r->source + ": its MSD has other lags than "
                        + m.front()->source + "'s, with the same settings");
                values.push_back(r->msd[k].msd);
            }
            const auto [mean, error] = meanAndError(values);
            g.msdMean.push_back({ m.front()->msd[k].lag, mean });
            g.msdStderr.push_back(error.value_or(std::nan("")));
        }
    }
    return groups;
}

std::string summaryCsv(const std::vector<GroupSummary> &groups)
{
    std::string out = "mode,num_side,size,speed,ticks,packing_fraction,runs,D_mean,D_stderr,"
                      "D_enskog,Z_mean,Z_stderr,Z_henderson\n";
    for (const GroupSummary &g : groups) {
        appendKey(out, g.key);
        out += ',';
        appendDouble(out, g.packingFraction);
        out += ',' + std::to_string(g.runs);
        appendOptional(out, g.dMean);
        appendOptional(out, g.dStderr);
        appendOptional(out, g.dEnskog);
        appendOptional(out, g.zMean);
        appendOptional(out, g.zStderr);
        appendOptional(out, g.zHenderson);
        out += '\n';
    }
    return out;
}

std::string summaryMsdCsv(const std::vector<GroupSummary> &groups)
{
    std::string out = "mode,num_side,size,speed,ticks,lag,msd_mean,msd_stderr\n";
    for (const GroupSummary &g : groups) {
        for (std::size_t k = 0; k < g.msdMean.size(); ++k) {
            appendKey(out, g.key);
            out += ',' + std::to_string(g.msdMean[k].lag) + ',';
            appendDouble(out, g.msdMean[k].msd);
            appendOptional(
                out, std::isnan(g.msdStderr[k]) ? std::nullopt : std::optional(g.msdStderr[k]));
            out += '\n';
        }
    }
    return out;
}

} // namespace brownian::lab
