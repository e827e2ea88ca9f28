#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace sorvik {

/// Runs the jobs of one small batch at once: the calling thread takes one job itself and a
/// few helper threads of the object's own take the others; `run` returns when all are done.
///
/// Batches follow each other closely, so a helper that finished waits a few microseconds by
/// spinning before it sleeps, and so does the caller waiting for the helpers. A batch then
/// costs its slowest job, not two thread wake-ups. The helpers start with the first batch that
/// needs them.
class ParallelBatch {
public:
    explicit ParallelBatch(int helperCount);
    ~ParallelBatch();
    ParallelBatch(const ParallelBatch&) = delete;
    ParallelBatch& operator=(const ParallelBatch&) = delete;

    /// Runs every job once, at most helperCount + 1 at a time; blocks until all have
    /// returned. A job that throws counts as done; its exception is dropped.
    void run(const std::vector<std::function<void()>>& jobs);

private:
    struct Helper {
        std::atomic<std::uint32_t> generation { 0 };
        const std::function<void()>* job = nullptr;
        std::thread thread;
    };

    void start();
    void serve(Helper& helper);

    int m_helperCount;
    std::vector<Helper> m_helpers;
    std::atomic<std::uint32_t> m_finished { 0 };
    std::atomic<bool> m_stopping { false };
};

} // namespace sorvik
