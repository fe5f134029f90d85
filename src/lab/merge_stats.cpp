#include "merge_stats.h"

#include "analysis/gas.h"
#include "csv.h"
#include "sweep.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace brownian::lab {

namespace {

namespace fs = std::filesystem;

double number(std::string_view field, const std::string &source, long line)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(value))
        throw InputError(source + ":" + std::to_string(line) + ": '" + std::string(field)
            + "' is not a finite number");
    return value;
}

/// The lag,msd rows of an msd.csv.
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

std::string slurp(const std::string &path, const std::string &what)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError(path + ": cannot read the " + what);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::pair<double, std::optional<double>> statsMeans(
    const std::string &text, bool unbounded, int particles, int size, const std::string &source)
{
    // Statistics written before the temperature and pressure were recorded lack their columns.
    const std::string full = statsHeader(unbounded);
    std::string_view t = text;
    if (t.starts_with("\xEF\xBB\xBF"))
        t.remove_prefix(3);
    const bool gas = t.starts_with(full + '\n') || t.starts_with(full + "\r\n") || t == full;
    const auto rows = csvRows(text, gas ? std::string_view(full) : kStatsHeader, source);
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
    const double thermal = sum / static_cast<double>(rows.size());
    double temperature = 0, pressure = 0;
    int ticks = 0;
    for (const auto &[line, f] : rows) {
        if (!gas || number(f[0], source, line) == 0)
            continue;
        temperature += number(f[5], source, line);
        pressure += number(f[6], source, line);
        ++ticks;
    }
    if (ticks == 0 || !(temperature > 0))
        return { thermal, std::nullopt };
    return { thermal, pressure * gasArea(unbounded, size) / (particles * temperature) };
}

std::vector<GroupSummary> summarise(const std::vector<RunData> &runs)
{
    std::vector<GroupSummary> groups;
    std::map<GroupKey, std::vector<const RunData *>> members;
    for (const RunData &r : runs) {
        if (members[r.key].empty())
            groups.emplace_back().key = r.key;
        members[r.key].push_back(&r);
    }
    for (GroupSummary &g : groups) {
        const std::vector<const RunData *> &m = members[g.key];
        const RunData &first = *m.front();
        auto otherLags = [&first](const RunData &r) {
            return InputError(r.source + ": its MSD has other lags than " + first.source
                + "'s, with the same settings");
        };
        g.runs = static_cast<int>(m.size());
        g.packingFraction = fieldPackingFraction(g.key.unbounded, g.key.numSide, g.key.size);
        g.zPackingFraction =
            packingFraction(g.key.numSide * g.key.numSide, g.key.size, g.key.unbounded);
        std::vector<double> ds, thermals, zs;
        for (const RunData *r : m) {
            if (const auto fit = fitDiffusion(r->msd))
                ds.push_back(fit->coefficient);
            if (r->thermal)
                thermals.push_back(*r->thermal);
            if (r->z)
                zs.push_back(*r->z);
            if (r->msd.size() != first.msd.size())
                throw otherLags(*r);
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
            g.zHenderson = hendersonZ(g.zPackingFraction);
        }
        for (std::size_t k = 0; k < first.msd.size(); ++k) {
            std::vector<double> values;
            for (const RunData *r : m) {
                if (r->msd[k].lag != first.msd[k].lag)
                    throw otherLags(*r);
                values.push_back(r->msd[k].msd);
            }
            const auto [mean, error] = meanAndError(values);
            g.msdMean.push_back({ first.msd[k].lag, mean });
            g.msdStderr.push_back(error.value_or(std::nan("")));
        }
    }
    return groups;
}

std::pair<std::string, std::string> summaryFiles(const std::vector<GroupSummary> &groups)
{
    std::string csv = "mode,num_side,size,speed,ticks,packing_fraction,runs,D_mean,D_stderr,"
                      "D_enskog,Z_mean,Z_stderr,Z_henderson\n";
    std::string msd = "mode,num_side,size,speed,ticks,lag,msd_mean,msd_stderr\n";
    for (const GroupSummary &g : groups) {
        const GroupKey &k = g.key;
        const char *mode = k.unbounded ? "unbounded" : "bounded";
        appendRow(csv, mode, k.numSide, k.size, k.speed, k.ticks, g.packingFraction, g.runs,
            g.dMean, g.dStderr, g.dEnskog, g.zMean, g.zStderr, g.zHenderson);
        for (std::size_t j = 0; j < g.msdMean.size(); ++j) {
            const double error = g.msdStderr[j];
            appendRow(msd, mode, k.numSide, k.size, k.speed, k.ticks, g.msdMean[j].lag,
                g.msdMean[j].msd, std::isnan(error) ? std::nullopt : std::optional(error));
        }
    }
    return { csv, msd };
}

std::vector<RunData> readRuns(const std::string &dir, int &unfinished)
{
    std::vector<std::pair<std::size_t, fs::path>> folders;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        if (const std::size_t k = runNumber(entry.path().filename().string());
            k > 0 && entry.is_directory())
            folders.emplace_back(k, entry.path());
    }
    if (ec)
        throw InputError("merge: cannot read the folder '" + dir + "': " + ec.message());
    std::sort(folders.begin(), folders.end());
    std::vector<RunData> runs;
    std::map<std::pair<GroupKey, std::optional<std::uint64_t>>, std::string> seen;
    for (const auto &[k, folder] : folders) {
        const fs::path manifest = folder / kManifestName;
        if (!fs::exists(manifest)) {
            ++unfinished;
            continue;
        }
        const LabOptions m = readManifest(manifest.string());
        if (!outputsPresent(m))
            throw InputError("merge: " + folder.string()
                + " has a manifest but not all its files (an unfinished run: run the sweep again)");
        if (m.msdOut.empty() || m.msdOut == "-")
            throw InputError(
                manifest.string() + ": the run wrote no MSD (msd-out), which merge needs");
        RunData &r =
            runs.emplace_back(RunData { { m.unbounded, m.numSide, m.size, m.speed, m.ticks },
                folder.string(), parseMsdCsv(slurp(m.msdOut, "MSD"), m.msdOut), {}, {} });
        if (!m.statsOut.empty() && m.statsOut != "-")
            std::tie(r.thermal, r.z) = statsMeans(
                slurp(m.statsOut, "statistics"), m.unbounded, m.particles(), m.size, m.statsOut);
        const auto [it, fresh] = seen.emplace(std::pair(r.key, m.seed), folder.string());
        if (!fresh)
            throw InputError("merge: " + it->second + " and " + folder.string()
                + " are the same run (the same settings and seed)");
    }
    if (runs.empty())
        throw InputError(
            "merge: no finished runs (run-K/" + std::string(kManifestName) + ") in '" + dir + "'");
    return runs;
}

} // namespace brownian::lab
