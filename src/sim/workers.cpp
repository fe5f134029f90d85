#include "workers.h"

#include <stdexcept>

namespace brownian::pairs {

namespace {

/// How long a helper watches for the next job before it sleeps: longer than the gaps between
/// the jobs of a sub-step (the collisions left to the calling thread alone take up to about
/// 100 µs once a large run has mixed its particles), shorter than the work between sub-steps
/// where a run writes its outputs (on a machine shared by several runs a watching helper holds
/// a processor another run could use).
constexpr std::chrono::microseconds kWatch { 200 };

void spinPause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

} // namespace

Workers::Workers(int threads)
    : m_threads(threads)
    , m_watch(static_cast<unsigned>(threads) <= std::max(1u, std::thread::hardware_concurrency())
              ? kWatch
              : std::chrono::microseconds { 0 })
{
    if (threads < 1 || threads > 256)
        throw std::invalid_argument("threads must be 1 to 256");
}

Workers::~Workers()
{
    for (std::jthread &helper : m_helpers)
        helper.request_stop();
    // A new generation wakes every sleeping helper; one that read the ticket after this sees
    // the stop request, which was made before.
    m_ticket.fetch_add(std::uint64_t { 1 } << 48);
    m_ticket.notify_all();
    m_helpers.clear(); // joins
}

void Workers::start()
{
    if (!m_helpers.empty())
        return;
    m_helpers.reserve(static_cast<std::size_t>(m_threads - 1));
    for (int k = 1; k < m_threads; ++k)
        m_helpers.emplace_back([this](std::stop_token stop) { loop(stop); });
}

/// Claims and runs one chunk of the current job, the calling thread from the front and the
/// helpers from the back: each thread keeps to the same end of the particles from job to job,
/// so that what one job leaves in a processor's cache is mostly what its next job there reads.
/// Returns the ticket seen when there is none left, or kNone after running one. A chunk's work
/// is read only after its claim, which the caller cannot have finished waiting for.
std::uint64_t Workers::claim(bool fromBack) noexcept
{
    std::uint64_t t = m_ticket.load(std::memory_order_acquire);
    for (;;) {
        const std::uint64_t front = t & kMask, back = t >> 24 & kMask;
        if (front >= back)
            return t;
        const std::uint64_t next = fromBack ? t - (std::uint64_t { 1 } << 24) : t + 1;
        if (m_ticket.compare_exchange_weak(t, next, std::memory_order_acq_rel)) {
            m_call(m_work, static_cast<int>(fromBack ? back - 1 : front));
            m_done.fetch_add(1, std::memory_order_release);
            return kNone;
        }
    }
}

void Workers::loop(std::stop_token stop) noexcept
{
    for (;;) {
        const std::uint64_t seen = claim(true);
        if (seen == kNone)
            continue;
        // Checked after reading the ticket: a stop requested before the destructor's new
        // generation is seen here, or the ticket differs from `seen` and the wait returns.
        if (stop.stop_requested())
            return;
        // The jobs of a sub-step come a few dozen microseconds apart: watch for the next one
        // for a while before sleeping, since waking takes about as long.
        bool changed = false;
        const auto until = std::chrono::steady_clock::now() + m_watch;
        for (int k = 1; !changed && m_watch.count() > 0; ++k) {
            spinPause();
            changed = m_ticket.load(std::memory_order_relaxed) != seen;
            if (k % 64 == 0 && std::chrono::steady_clock::now() >= until)
                break;
        }
        if (!changed)
            m_ticket.wait(seen);
    }
}

} // namespace brownian::pairs
