#pragma once

// The helper thread of the grid passes (internal to the simulation library).

#include "sim/pair_grid.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

namespace brownian::pairs {

/// A helper thread that shares chunked work with the calling thread. The chunks of a job
/// write disjoint outputs and are combined by the caller in chunk order, so which thread did
/// which chunk never shows in the results. The caller never waits for the helper to wake: it
/// takes every chunk the helper has not claimed, and waits only for chunks in hand.
class Helper
{
public:
    static Helper &instance()
    {
        static Helper helper;
        return helper;
    }

    ~Helper()
    {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        m_ticket.fetch_add(std::uint64_t { 1 } << 48);
        m_ticket.notify_one();
        m_thread.join();
    }

    /// Calls work(k) for every k in 0..chunks - 1, each exactly once, on this thread and, when
    /// `share`, enabled and free, on the helper.
    template <typename Work> void run(int chunks, Work &work, bool share = true)
    {
        std::unique_lock<std::mutex> lock(m_busy, std::defer_lock);
        if (!share || pairSearchThreads() < 2 || chunks < 2 || !lock.try_lock()) {
            for (int k = 0; k < chunks; ++k)
                work(k);
            return;
        }
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
        m_work = &work;
        m_call = [](void *w, int k) { (*static_cast<Work *>(w))(k); };
        m_done.store(0, std::memory_order_relaxed);
        const std::uint64_t generation = (m_ticket.load() >> 48) + 1;
        m_ticket.store(
            generation << 48 | static_cast<std::uint64_t>(chunks) << 24, std::memory_order_release);
        m_ticket.notify_one();
        while (claim(false) == kNone) { }
        while (m_done.load(std::memory_order_acquire) < chunks)
            std::this_thread::yield();
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t { 0 };
    /// How long the helper watches for the next job before it sleeps: longer than the gaps
    /// between the jobs of a sub-step (the collisions left to the calling thread alone take
    /// up to about 100 µs once a large run has mixed its particles), shorter than the work
    /// between sub-steps where a run writes its outputs (on a machine shared by several runs a
    /// watching helper holds a processor another run could use).
    static constexpr std::chrono::microseconds kWatch { 200 };

    static void spinPause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
    static constexpr std::uint64_t kMask = (1u << 24) - 1;

    /// Claims and runs one chunk of the current job, the calling thread from the front and the
    /// helper from the back: each thread keeps to the same end of the particles from job to
    /// job, so that what one job leaves in a processor's cache is mostly what its next job
    /// there reads. Returns the ticket seen when there is none left, or kNone after running
    /// one. A chunk's work is read only after its claim, which the caller cannot have finished
    /// waiting for.
    std::uint64_t claim(bool fromBack)
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

    void loop()
    {
        while (!m_stop.load()) {
            const std::uint64_t seen = claim(true);
            if (seen == kNone)
                continue;
            // The jobs of a sub-step come a few dozen microseconds apart: watch for the next
            // one for a while before sleeping, since waking takes about as long.
            bool changed = false;
            const auto until = std::chrono::steady_clock::now() + kWatch;
            for (int k = 1; !changed; ++k) {
                spinPause();
                changed = m_ticket.load(std::memory_order_relaxed) != seen;
                if (k % 64 == 0 && std::chrono::steady_clock::now() >= until)
                    break;
            }
            if (!changed)
                m_ticket.wait(seen);
        }
    }

    std::mutex m_busy; // one job at a time; a second caller works alone
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<std::uint64_t> m_ticket { 0 }; // generation << 48 | back << 24 | front
    std::atomic<int> m_done { 0 };
    void *m_work = nullptr;
    void (*m_call)(void *, int) = nullptr;
};

} // namespace brownian::pairs
