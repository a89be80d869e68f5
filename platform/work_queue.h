// One worker thread that runs posted jobs in turn, for the writers that must
// not hold up the thread posting to them.
//
// A job runs when it is due (platform_monotonic_ns time), the earliest due
// first and, at the same due time, in the order posted. A job posted under a
// key replaces one of that key still waiting: the newest job wins, in the
// older one's place and at the earlier of the two due times (a write wanted
// by then still happens by then). Jobs must not throw.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct WorkQueueState;

class WorkQueue {
public:
    using Job = std::function<void()>;

    WorkQueue();
    // Drops the jobs not begun, waits for the one running and ends the thread.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Starts the worker (once; later calls find it running); the jobs posted
    // before wait for it. Empty when it runs, else why no thread could be made.
    std::string start();

    // Due now; post_at's due_ns 0 puts a job ahead of every waiting one.
    void post(Job job);
    void post_at(int64_t due_ns, Job job);
    void post_keyed(const std::string& key, Job job);
    void post_keyed_at(const std::string& key, int64_t due_ns, Job job);

    // Waits until every job posted so far has run (a job posted by one of
    // them counts as part of it): true; false when bound_ms passed first.
    // From any thread but the worker's own.
    bool flush(int bound_ms);

private:
    void post_job(const std::string* key, int64_t due_ns, Job job);

    std::unique_ptr<WorkQueueState> state_;
    std::mutex control_;            // one start at a time; guards worker_
    std::thread worker_;
};
