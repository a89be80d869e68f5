// The worker queue: due order and keyed replacement, and flush's answer.
#include "platform/work_queue.h"

#include <future>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr int kLongMs = 60000;  // a bound no healthy run reaches

// The jobs append their names here; read once a flush said they ran.
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

}  // namespace
