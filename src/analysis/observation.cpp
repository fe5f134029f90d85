#include "analysis/observation.h"

namespace brownian {

void Observation::reset(const ModPar &s)
{
    m_unbounded = s.BoundMode != Integer(0);
    m_positions.reset(s);
    m_motion.emplace(s, m_unbounded, true, true, std::nullopt);
    m_motion->sample(s, m_positions.x(), m_positions.y());
    m_start = m_now = stateTotals(s);
    m_record.clear();
    m_gas.reset(s);
    m_ticks = 0;
    m_lastContacts = 0;
    ++m_version;
}

void Observation::clear()
{
    m_motion.reset();
    m_positions = {};
    m_ticks = 0;
    m_lastContacts = 0;
    ++m_version;
}

void Observation::afterSubStep(const ModPar &s)
{
    if (!m_motion || static_cast<std::size_t>(s.ParX.size()) != m_positions.x().size()) {
        reset(s);
        return;
    }
    m_positions.advance(s);
    m_motion->sample(s, m_positions.x(), m_positions.y());
    ++m_version;
}

void Observation::afterTick(const ModPar &s, const TickCounters &counters)
{
    if (!m_motion)
        return;
    ++m_ticks;
    m_lastContacts = counters.contacts;
    m_now = stateTotals(s);
    m_gas.afterTick(m_now, m_record);
    m_record.clear();
    ++m_version;
}

} // namespace brownian
