#include "recorder.h"

#include "analysis/gas.h"
#include "csv.h"

namespace brownian::lab {

namespace {
constexpr std::size_t kChunk = 1 << 20;

std::string withHeader(std::string_view header)
{
    std::string text(header);
    text += '\n';
    return text;
}
} // namespace

Recorder::Recorder(RecorderSetup setup, const ModPar &start)
    : m_setup(std::move(setup))
    , m_motion(start, m_setup.unbounded, m_setup.msd, m_setup.speeds, m_setup.totalSubSteps)
{
    if (m_setup.snapshots)
        m_snapshots = withHeader(kSnapshotHeader);
    if (m_setup.trace)
        m_trace = withHeader(kTraceHeader);
    if (m_setup.stats)
        m_stats = withHeader(statsHeader(m_setup.unbounded));
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
    std::string text = withHeader(kMsdHeader);
    for (const MsdPoint &p : points)
        appendRow(text, p.lag, p.msd);
    return text;
}

std::string speedsCsv(const std::vector<SpeedBin> &bins)
{
    std::string text = withHeader(kSpeedsHeader);
    for (const SpeedBin &b : bins)
        appendRow(text, b.low, b.high, b.count, b.expected);
    return text;
}

} // namespace brownian::lab
