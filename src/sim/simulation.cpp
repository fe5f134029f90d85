#include "simulation.h"

#include "sim/engine.h"
#include "sim/restart.h"

namespace brownian {

Simulation::Simulation()
    : Simulation(ModPar {})
{
}

Simulation::Simulation(ModPar state, int threads, PairPass pass)
    : m_state(std::move(state))
    , m_engine(std::make_unique<pairs::Engine>(threads, pass))
{
}

Simulation::~Simulation() = default;
Simulation::Simulation(Simulation &&) noexcept = default;
Simulation &Simulation::operator=(Simulation &&) noexcept = default;

PairPass Simulation::pairPass() const
{
    return m_engine->pass;
}

void Simulation::setPairPass(PairPass pass)
{
    m_engine->pass = pass;
}

int Simulation::threads() const
{
    return m_engine->workers.threads();
}

void Simulation::setThreads(int threads)
{
    if (threads == this->threads())
        return;
    auto engine = std::make_unique<pairs::Engine>(threads, m_engine->pass, m_engine->wide);
    engine->record = m_engine->record;
    m_engine = std::move(engine);
}

bool Simulation::wideSearch() const
{
    return m_engine->wide;
}

void Simulation::setWideSearch(bool wide)
{
    m_engine->wide = wide && pairs::wideSearchAvailable();
}

void Simulation::setCollisionRecord(CollisionRecord *record)
{
    m_engine->record = record;
}

CollisionRecord *Simulation::collisionRecord() const
{
    return m_engine->record;
}

void Simulation::place()
{
    restart(m_state);
}

void Simulation::tick(
    Canvas &path, Canvas &frame, TickCounters *counters, SubStepObserver *observer)
{
    tick(unbounded(), path, frame, counters, observer);
}

void Simulation::tick(
    bool unbounded, Canvas &path, Canvas &frame, TickCounters *counters, SubStepObserver *observer)
{
    const int subSteps = m_state.ParSpeed.value();
    for (int k = 1; k <= subSteps; ++k) {
        pairs::subStep(*m_engine, m_state, unbounded, path, counters);
        if (observer)
            observer->afterSubStep(m_state);
    }
    drawFrame(m_state, frame);
}

void Simulation::subStep(bool unbounded, Canvas &path, TickCounters *counters)
{
    pairs::subStep(*m_engine, m_state, unbounded, path, counters);
}

} // namespace brownian
