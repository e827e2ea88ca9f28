#include "app/services/parallel_batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace sorvik {
namespace {

    TEST(ParallelBatch, RunsEveryJobOnceAtMostFourAtATime)
    {
        ParallelBatch batch(3);
        std::atomic<int> running = 0;
        std::atomic<int> mostRunning = 0;
        std::vector<int> runs(4000, 0);
        for (std::size_t start = 0; start < runs.size(); start += 4) {
            std::vector<std::function<void()>> jobs;
            for (std::size_t index = start; index < start + 4; ++index)
                jobs.emplace_back([&, index] {
                    int now = ++running;
                    int most = mostRunning.load();
                    while (now > most && !mostRunning.compare_exchange_weak(most, now)) { }
                    ++runs[index];
                    if (index % 97 == 0)
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    --running;
                });
            batch.run(jobs);
            EXPECT_EQ(running.load(), 0); // the batch is over when run returns
        }
        for (int count : runs)
            ASSERT_EQ(count, 1);
        EXPECT_LE(mostRunning.load(), 4);
    }

    TEST(ParallelBatch, AFailingJobDoesNotStopTheOthers)
    {
        ParallelBatch batch(3);
        for (int round = 0; round < 50; ++round) {
            std::atomic<int> done = 0;
            std::vector<std::function<void()>> jobs;
            for (int index = 0; index < 4; ++index)
                jobs.emplace_back([&, index] {
                    if (index == round % 4)
                        throw std::runtime_error("unreadable");
                    ++done;
                });
            batch.run(jobs);
            EXPECT_EQ(done.load(), 3);
        }
    }

    TEST(ParallelBatch, SmallAndLargeBatches)
    {
        ParallelBatch batch(3);
        std::atomic<int> done = 0;
        batch.run({});
        batch.run({ [&] { ++done; } });
        std::vector<std::function<void()>> many(10, [&] { ++done; });
        batch.run(many);
        EXPECT_EQ(done.load(), 11);

        ParallelBatch alone(0);
        alone.run(many);
        EXPECT_EQ(done.load(), 21);
    }

} // namespace
} // namespace sorvik
