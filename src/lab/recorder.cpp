#include "recorder.h"

#include "analysis/gas.h"
#include "commands.h"
#include "csv.h"
#include "sim/restart.h"
#include "sim/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brownian::lab {

namespace {

constexpr std::size_t kMaxInputBytes = 64u << 20;
constexpr std::size_t kChunk = 1 << 20; // of streamed text handed to a sink at a time

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

Stepper::Stepper(Simulation &simulation, bool unbounded)
    : m_simulation(simulation)
    , m_unbounded(unbounded)
{
    m_unwrapped.reset(simulation.state());
}

void Stepper::tick(Canvas &path, TickCounters &counters, SubStepObserver *after)
{
    m_after = after;
    m_simulation.tick(m_unbounded, path, m_frame, &counters, this);
}

void Stepper::afterSubStep(const ModPar &s)
{
    m_unwrapped.advance(s);
    if (m_after)
        m_after->afterSubStep(s);
}

Recorder::Recorder(RecorderSetup setup, const ModPar &start)
    : m_setup(std::move(setup))
    , m_motion(start, m_setup.unbounded, m_setup.msd, m_setup.speeds, m_setup.totalSubSteps)
{
    if (m_setup.snapshots)
        m_snapshots = std::string(kSnapshotHeader) + '\n';
    if (m_setup.trace)
        m_trace = std::string(kTraceHeader) + '\n';
    if (m_setup.stats)
        m_stats = statsHeader(m_setup.unbounded) + '\n';
}

void Recorder::pass(const TextSink &sink, std::string &buffer, bool last)
{
    if (sink && (last || buffer.size() >= kChunk))
        sink(buffer, last);
}

void Recorder::traceRow(const ModPar &s, std::int64_t subStep, const std::vector<double> &ux,
    const std::vector<double> &uy)
{
    const int L = s.LocusNo.value();
    appendRow(m_trace, subStep, s.ParX.at(L), s.ParY.at(L), ux.at(L), uy.at(L));
    pass(m_setup.trace, m_trace, false);
}

void Recorder::atStart(
    const ModPar &s, const std::vector<double> &ux, const std::vector<double> &uy)
{
    if (m_setup.snapshots) {
        appendStateRows(m_snapshots, s, "0,");
        pass(m_setup.snapshots, m_snapshots, false);
    }
    if (m_setup.trace)
        traceRow(s, 0, ux, uy);
    if (m_setup.stats)
        afterTick(s, 0, TickCounters {});
    m_motion.sample(s, ux, uy);
}

void Recorder::afterSubStep(const ModPar &s, std::int64_t subStep, const std::vector<double> &ux,
    const std::vector<double> &uy)
{
    if (m_setup.trace)
        traceRow(s, subStep, ux, uy);
    m_motion.sample(s, ux, uy);
}

void Recorder::afterTick(
    const ModPar &s, std::int64_t tick, const TickCounters &counters, const CollisionRecord *record)
{
    if (m_setup.stats) {
        const Totals t = stateTotals(s);
        const int n = s.ParVX.size();
        const double kT = temperature(t, n, m_setup.unbounded);
        const CollisionRecord r = record ? *record : CollisionRecord {};
        const double pressure =
            virialPressure(r, n, kT, gasArea(m_setup.unbounded, s.ParSize.toDouble()));
        if (m_setup.unbounded)
            appendRow(m_stats, tick, t.kineticEnergy, t.momentumX, t.momentumY, counters.contacts,
                kT, pressure);
        else
            appendRow(m_stats, tick, t.kineticEnergy, t.momentumX, t.momentumY, counters.contacts,
                kT, pressure, wallPressure(r));
        pass(m_setup.stats, m_stats, false);
    }
    if (m_setup.snapshots && tick > 0 && tick % m_setup.every == 0) {
        std::string prefix;
        appendInteger(prefix, tick);
        prefix += ',';
        appendStateRows(m_snapshots, s, prefix);
        pass(m_setup.snapshots, m_snapshots, false);
    }
}

void Recorder::finish()
{
    pass(m_setup.snapshots, m_snapshots, true);
    pass(m_setup.trace, m_trace, true);
    pass(m_setup.stats, m_stats, true);
}

std::string msdCsv(const std::vector<MsdPoint> &points)
{
    std::string text = std::string(kMsdHeader) + '\n';
    for (const MsdPoint &p : points)
        appendRow(text, p.lag, p.msd);
    return text;
}

std::string speedsCsv(const std::vector<SpeedBin> &bins)
{
    std::string text = std::string(kSpeedsHeader) + '\n';
    for (const SpeedBin &b : bins)
        appendRow(text, b.low, b.high, b.count, b.expected);
    return text;
}

} // namespace brownian::lab
