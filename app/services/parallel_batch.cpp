#include "app/services/parallel_batch.h"

#include <chrono>

namespace sorvik {

namespace {

    /// Waits until `value` differs from `old`: a short spin first, then a sleep in the kernel.
    template <class T> T awaitChange(const std::atomic<T>& value, T old)
    {
        auto spinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        for (int round = 0;; ++round) {
            T current = value.load(std::memory_order_acquire);
            if (current != old)
                return current;
            if ((round & 63) == 63 && std::chrono::steady_clock::now() > spinUntil)
                break;
            std::this_thread::yield();
        }
        value.wait(old, std::memory_order_acquire);
        return value.load(std::memory_order_acquire);
    }

    void runGuarded(const std::function<void()>& job)
    {
        try {
            job();
        } catch (...) {
            // A job that fails counts as done; the others of its batch go on.
        }
    }

} // namespace

ParallelBatch::ParallelBatch(int helperCount)
    : m_helperCount(helperCount)
{
}

ParallelBatch::~ParallelBatch()
{
    m_stopping = true;
    for (Helper& helper : m_helpers) {
        helper.generation.fetch_add(1, std::memory_order_release);
        helper.generation.notify_one();
    }
    for (Helper& helper : m_helpers)
        helper.thread.join();
}

void ParallelBatch::start()
{
    m_helpers = std::vector<Helper>(static_cast<std::size_t>(m_helperCount));
    for (Helper& helper : m_helpers)
        helper.thread = std::thread([this, &helper] { serve(helper); });
}

void ParallelBatch::serve(Helper& helper)
{
    std::uint32_t seen = 0;
    while (true) {
        seen = awaitChange(helper.generation, seen);
        if (m_stopping)
            return;
        runGuarded(*helper.job);
        m_finished.fetch_add(1, std::memory_order_acq_rel);
        m_finished.notify_one();
    }
}

void ParallelBatch::run(const std::vector<std::function<void()>>& jobs)
{
    if (jobs.empty())
        return;
    if (jobs.size() == 1 || m_helperCount == 0) {
        for (const auto& job : jobs)
            runGuarded(job);
        return;
    }
    if (m_helpers.empty())
        start();

    std::size_t handedOut = std::min(jobs.size() - 1, m_helpers.size());
    std::uint32_t finishedBefore = m_finished.load(std::memory_order_acquire);
    for (std::size_t index = 0; index < handedOut; ++index) {
        Helper& helper = m_helpers[index];
        helper.job = &jobs[index];
        helper.generation.fetch_add(1, std::memory_order_release);
        helper.generation.notify_one();
    }
    for (std::size_t index = handedOut; index < jobs.size(); ++index)
        runGuarded(jobs[index]);

    std::uint32_t target = finishedBefore + static_cast<std::uint32_t>(handedOut);
    std::uint32_t finished = finishedBefore;
    while (finished != target)
        finished = awaitChange(m_finished, finished);
}

} // namespace sorvik
