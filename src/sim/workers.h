#pragma once

// The worker threads of one simulation (internal to the simulation library).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <vector>

namespace brownian::pairs {

/// The threads that share a simulation's chunked work: the calling thread and threads() - 1
/// helpers, started on the first job that is shared and stopped when the object is destroyed.
/// The chunks of a job write disjoint outputs and are combined by the caller in chunk order, so
/// which thread did which chunk never shows in the results. The caller never waits for a
/// helper to wake: it takes every chunk no helper has claimed, and waits only for chunks in
/// hand. One thread calls run() at a time.
class Workers
{
public:
    /// `threads` 1..256: the calling thread and threads - 1 helpers.
    explicit Workers(int threads);
    ~Workers();
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;

    int threads() const { return m_threads; }

    /// Calls work(k) for every k in 0..chunks - 1 (chunks below 2^24), each exactly once, on
    /// this thread and, when `share`, on the helpers. A work item never throws: what it could
    /// not do it records in its own output for the caller to act on.
    template <typename Work> void run(int chunks, Work &work, bool share = true)
    {
        static_assert(std::is_nothrow_invocable_v<Work &, int>,
            "work shared with the helpers must be noexcept");
        if (!share || m_threads < 2 || chunks < 2) {
            for (int k = 0; k < chunks; ++k)
                work(k);
            return;
        }
        start();
        m_work = &work;
        m_call = [](void *w, int k) noexcept { (*static_cast<Work *>(w))(k); };
        m_done.store(0, std::memory_order_relaxed);
        const std::uint64_t generation = (m_ticket.load() >> 48) + 1;
        m_ticket.store(
            generation << 48 | static_cast<std::uint64_t>(chunks) << 24, std::memory_order_release);
        m_ticket.notify_all();
        while (claim(false) == kNone) { }
        while (m_done.load(std::memory_order_acquire) < chunks)
            std::this_thread::yield();
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t { 0 };
    static constexpr std::uint64_t kMask = (1u << 24) - 1;

    void start();
    std::uint64_t claim(bool fromBack) noexcept;
    void loop(std::stop_token stop) noexcept;

    int m_threads;
    /// How long a helper watches for the next job before it sleeps; zero where there are more
    /// threads than processors, so that watching helpers never hold up the calling thread.
    std::chrono::microseconds m_watch;
    std::atomic<std::uint64_t> m_ticket { 0 }; // generation << 48 | back << 24 | front
    std::atomic<int> m_done { 0 };
    void *m_work = nullptr;
    void (*m_call)(void *, int) noexcept = nullptr;
    std::vector<std::jthread> m_helpers; // last: stopped and joined before the rest goes
};

} // namespace brownian::pairs
