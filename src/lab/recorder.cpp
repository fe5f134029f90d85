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

} // namespace

bool readStateInput(const LabOptions &o, std::optional<std::vector<StateRow>> &rows)
{
    if (o.stateIn.empty())
        return true;
    const bool fromStdin = o.stateIn == "-";
    const std::string name = fromStdin ? std::string("standard input") : o.stateIn;
    std::FILE *file = fromStdin ? stdin : std::fopen(o.stateIn.c_str(), "rb");
    std::string text;
    char buffer[1 << 16];
    std::size_t got;
    while (file && text.size() <= kMaxInputBytes
        && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool failed = !file || std::ferror(file);
    const int err = errno;
    if (file && !fromStdin)
        std::fclose(file);
    try {
        if (failed)
            throw InputError("--state-in: cannot read '" + name + "': " + std::strerror(err));
        if (text.size() > kMaxInputBytes)
            throw InputError(name + ": larger than " + std::to_string(kMaxInputBytes >> 20)
                + " MB, far more than a state of " + std::to_string(o.particles()) + " particles");
        rows = parseStateCsv(text, o.particles(), name);
        return true;
    } catch (const InputError &e) {
        printError(e.what());
        return false;
    }
}

void placeParticles(
    ModPar &s, const LabOptions &o, const std::optional<std::vector<StateRow>> &rows)
{
    s.setDefaults();
    s.BoundMode = o.unbounded ? 1 : 0;
    applySettings(s, { o.numSide, o.size, o.speed, o.locus });
    if (o.seed)
        s.random.seed(*o.seed);
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

Recorder::Recorder(RecorderSetup setup, const Stepper &stepper)
    : m_setup(std::move(setup))
    , m_stepper(stepper)
    , m_motion(
          stepper.state(), stepper.unbounded(), m_setup.msd, m_setup.speeds, m_setup.totalSubSteps)
{
    const ModPar &s = stepper.state();
    if (m_setup.snapshots) {
        m_snapshots = std::string(kSnapshotHeader) + '\n';
        appendStateRows(m_snapshots, s, "0,");
    }
    if (m_setup.trace) {
        m_trace = std::string(kTraceHeader) + '\n';
        traceRow(s);
    }
    if (m_setup.stats) {
        m_stats = statsHeader(stepper.unbounded()) + '\n';
        afterTick(s, 0, TickCounters {});
    }
    m_motion.sample(s, stepper.unwrappedX(), stepper.unwrappedY());
}

void Recorder::pass(const TextSink &sink, std::string &buffer, bool last)
{
    if (sink && (last || buffer.size() >= kChunk)) {
        sink(buffer);
        buffer.clear();
    }
}

void Recorder::traceRow(const ModPar &s)
{
    const auto L = static_cast<std::size_t>(s.LocusNo.value());
    appendRow(m_trace, m_stepper.subSteps(), s.ParX.at(L), s.ParY.at(L),
        m_stepper.unwrappedX().at(L), m_stepper.unwrappedY().at(L));
    pass(m_setup.trace, m_trace);
}

void Recorder::afterSubStep(const ModPar &s)
{
    if (m_setup.trace)
        traceRow(s);
    m_motion.sample(s, m_stepper.unwrappedX(), m_stepper.unwrappedY());
}

void Recorder::afterTick(
    const ModPar &s, std::int64_t tick, const TickCounters &counters, const CollisionRecord *record)
{
    const bool unbounded = m_stepper.unbounded();
    if (m_setup.stats) {
        const Totals t = stateTotals(s);
        const int n = s.ParVX.size();
        const double kT = temperature(t, n, unbounded);
        const CollisionRecord r = record ? *record : CollisionRecord {};
        const double pressure = virialPressure(r, n, kT, gasArea(unbounded, s.ParSize.toDouble()));
        if (unbounded)
            appendRow(m_stats, tick, t.kineticEnergy, t.momentumX, t.momentumY, counters.contacts,
                kT, pressure);
        else
            appendRow(m_stats, tick, t.kineticEnergy, t.momentumX, t.momentumY, counters.contacts,
                kT, pressure, wallPressure(r));
        pass(m_setup.stats, m_stats);
    }
    if (m_setup.snapshots && tick > 0 && tick % m_setup.every == 0) {
        std::string prefix;
        appendInteger(prefix, tick);
        prefix += ',';
        appendStateRows(m_snapshots, s, prefix);
        pass(m_setup.snapshots, m_snapshots);
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
