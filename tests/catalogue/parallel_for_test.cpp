// ParallelFor: every index runs exactly once, on the caller's thread while the items answer at
// once, spread over threads once they wait.
#include "catalogue/folder_listing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ravir {
namespace {

struct Outcome {
    std::vector<int> counts;                  // runs per index
    std::set<std::thread::id> threads;        // threads that ran an item
};

Outcome runAll(size_t count, bool itemsWait)
{
    Outcome run;
    run.counts.assign(count, 0);
    std::vector<std::atomic<int>> counts(count);
    std::mutex lock;
    ParallelFor(count, [&](size_t i) {
        if (itemsWait)
            std::this_thread::sleep_for(std::chrono::microseconds(300));  // sleeps, as a read does
        counts[i].fetch_add(1);
        const std::lock_guard<std::mutex> guard(lock);
        run.threads.insert(std::this_thread::get_id());
    });
    for (size_t i = 0; i < count; ++i)
        run.counts[i] = counts[i].load();
    return run;
}

TEST(ParallelForTest, EveryIndexRunsOnce)
{
    for (const size_t count : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{32}, size_t{33}, size_t{100}, size_t{1000}, size_t{4097}}) {
        for (const bool itemsWait : {false, true}) {
            if (itemsWait && count > 200)
                continue;
            SCOPED_TRACE(testing::Message() << count << (itemsWait ? " waiting" : " at once"));
            const Outcome run = runAll(count, itemsWait);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(run.counts[i], 1) << "index " << i;
        }
    }
}

TEST(ParallelForTest, ItemsThatAnswerAtOnceStayOnTheCallersThread)
{
    const Outcome run = runAll(1000, false);
    ASSERT_EQ(run.threads.size(), 1u);
    EXPECT_EQ(*run.threads.begin(), std::this_thread::get_id());
}

TEST(ParallelForTest, ItemsThatWaitAreSpreadOverThreads)
{
    const Outcome run = runAll(160, true);
    EXPECT_GT(run.threads.size(), 1u);
    EXPECT_TRUE(run.threads.count(std::this_thread::get_id()));
}

}  // namespace
}  // namespace ravir
