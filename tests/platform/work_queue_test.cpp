// The worker queue: due order and keyed replacement, flush's answer, and a
// stop that runs the jobs still waiting.
#include "platform/work_queue.h"

#include "platform/clock.h"
#include "platform/time_units.h"

#include <future>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr int kLongMs = 60000;  // a bound no healthy run reaches

// The jobs append their names here; read once a flush or stop said they ran.
struct Log {
    std::vector<std::string> ran;
    WorkQueue::Job job(std::string name)
    {
        return [this, name] { ran.push_back(name); };
    }
};

TEST(WorkQueue, TheEarliestDueRunsFirstAndANewerKeyedJobReplacesAWaitingOne)
{
    Log log;
    WorkQueue queue;
    queue.post_at(30, log.job("due 30"));
    queue.post_at(10, log.job("due 10"));
    queue.post_keyed_at("key", 20, log.job("key, older"));
    queue.post(log.job("due now"));
    queue.post_keyed_at("key", 40, log.job("key, newer"));  // keeps the older one's due time
    queue.post_at(10, log.job("due 10, posted later"));
    ASSERT_EQ(queue.start(), "");
    ASSERT_TRUE(queue.flush(kLongMs));
    EXPECT_EQ(log.ran, (std::vector<std::string>{"due 10", "due 10, posted later", "key, newer", "due 30", "due now"}));
}

TEST(WorkQueue, FlushWaitsForWhatWasPostedAndWhatItsJobsPosted)
{
    Log log;
    WorkQueue queue;
    ASSERT_EQ(queue.start(), "");
    std::promise<void> gate;
    queue.post([opened = gate.get_future().share()] { opened.wait(); });
    EXPECT_FALSE(queue.flush(0)) << "a job still runs";
    gate.set_value();
    queue.post([&] {
        log.ran.push_back("first");
        queue.post(log.job("posted by the first"));
    });
    ASSERT_TRUE(queue.flush(kLongMs));
    EXPECT_EQ(log.ran, (std::vector<std::string>{"first", "posted by the first"}));
}

TEST(WorkQueue, StopRunsTheWaitingJobsAtOnceOrLeavesThemToTheWorker)
{
    Log log;
    WorkQueue queue;
    ASSERT_EQ(queue.start(), "");
    queue.post_at(platform_monotonic_ns() + 3600 * kNsPerSecond, log.job("due in an hour"));
    queue.post(log.job("due now"));
    ASSERT_TRUE(queue.stop(kLongMs));
    EXPECT_EQ(log.ran, (std::vector<std::string>{"due now", "due in an hour"}));

    // Past its bound the stop leaves the worker to end after the jobs.
    ASSERT_EQ(queue.start(), "");
    std::promise<void> gate;
    queue.post([opened = gate.get_future().share()] { opened.wait(); });
    queue.post(log.job("after the stop's bound"));
    EXPECT_FALSE(queue.stop(0));
    gate.set_value();
    ASSERT_TRUE(queue.flush(kLongMs));
    EXPECT_EQ(log.ran.back(), "after the stop's bound");
}

}  // namespace
