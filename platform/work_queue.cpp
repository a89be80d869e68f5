// The worker queue: its thread, the jobs waiting for it, and the waits for both.
#include "platform/work_queue.h"

#include "platform/clock.h"
#include "platform/deadline.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <tuple>
#include <vector>

struct WorkQueueState {
    struct Waiting {
        int64_t due_ns = 0;
        uint64_t order = 0;   // place among the jobs due at the same time
        uint64_t ticket = 0;  // what a flush waits for: the post's number, or the posting job's
        bool keyed = false;
        std::string key;
        WorkQueue::Job job;
    };

    std::mutex lock;  // guards everything here; never held while a job runs
    std::condition_variable work;      // a job posted, or the end asked
    std::condition_variable progress;  // a job ran, or the worker ended
    std::vector<Waiting> waiting;
    uint64_t posted = 0;  // posts so far
    bool running = false;
    uint64_t running_ticket = 0;
    std::thread::id worker;
    bool stopping = false;  // the queue is going: the worker ends
};

namespace {

using Waiting = WorkQueueState::Waiting;
using Guard = std::unique_lock<std::mutex>;

std::vector<Waiting>::iterator next_job(WorkQueueState& s)
{
    return std::min_element(s.waiting.begin(), s.waiting.end(), [](const Waiting& a, const Waiting& b) {
        return std::tie(a.due_ns, a.order) < std::tie(b.due_ns, b.order);
    });
}

// Waits until a job is due; false when the worker is to end.
bool wait_for_due(WorkQueueState& s, Guard& guard)
{
    for (;;) {
        if (s.stopping)
            return false;
        if (s.waiting.empty()) {
            s.work.wait(guard);
            continue;
        }
        int left = platform_ms_left(next_job(s)->due_ns);
        if (left == 0)
            return true;
        s.work.wait_for(guard, std::chrono::milliseconds(left));
    }
}

void run_jobs(WorkQueueState& s)
{
    Guard guard(s.lock);
    s.worker = std::this_thread::get_id();
    while (wait_for_due(s, guard)) {
        auto next = next_job(s);
        WorkQueue::Job job = std::move(next->job);
        s.running_ticket = next->ticket;
        s.waiting.erase(next);
        s.running = true;
        guard.unlock();
        job();
        job = nullptr;  // its captures go before the lock is taken again
        guard.lock();
        s.running = false;
        s.progress.notify_all();
    }
}

// Waits on progress until done() or the deadline; done()'s last answer.
template <typename Done>
bool wait_for_progress(WorkQueueState& s, Guard& guard, int64_t deadline_ns, Done done)
{
    while (!done()) {
        int left = platform_ms_left(deadline_ns);
        if (left == 0)
            return false;
        s.progress.wait_for(guard, std::chrono::milliseconds(left));
    }
    return true;
}

}  // namespace

WorkQueue::WorkQueue() : state_(std::make_unique<WorkQueueState>()) {}

WorkQueue::~WorkQueue()
{
    std::lock_guard control(control_);
    std::vector<Waiting> dropped;  // their captures go off the lock
    {
        std::lock_guard guard(state_->lock);
        dropped.swap(state_->waiting);
        state_->stopping = true;
    }
    state_->work.notify_all();
    if (worker_.joinable())
        worker_.join();
}

std::string WorkQueue::start()
{
    std::lock_guard control(control_);
    if (worker_.joinable())
        return {};
    try {
        worker_ = std::thread(run_jobs, std::ref(*state_));
    } catch (const std::system_error& e) {
        return e.what();
    }
    return {};
}

void WorkQueue::post(Job job) { post_job(nullptr, platform_monotonic_ns(), std::move(job)); }

void WorkQueue::post_at(int64_t due_ns, Job job) { post_job(nullptr, due_ns, std::move(job)); }

void WorkQueue::post_keyed(const std::string& key, Job job)
{
    post_job(&key, platform_monotonic_ns(), std::move(job));
}

void WorkQueue::post_keyed_at(const std::string& key, int64_t due_ns, Job job)
{
    post_job(&key, due_ns, std::move(job));
}

void WorkQueue::post_job(const std::string* key, int64_t due_ns, Job job)
{
    WorkQueueState& s = *state_;
    {
        std::lock_guard guard(s.lock);
        uint64_t order = ++s.posted;
        bool from_job = s.running && std::this_thread::get_id() == s.worker;
        uint64_t ticket = from_job ? s.running_ticket : order;
        auto same_key = [&](const Waiting& w) { return key && w.keyed && w.key == *key; };
        auto older = std::find_if(s.waiting.begin(), s.waiting.end(), same_key);
        if (older == s.waiting.end()) {
            s.waiting.push_back({due_ns, order, ticket, key != nullptr, key ? *key : std::string(), std::move(job)});
        } else {
            std::swap(older->job, job);  // the older job goes off the lock
            older->due_ns = std::min(older->due_ns, due_ns);
            older->ticket = std::min(older->ticket, ticket);
        }
    }
    s.work.notify_all();
}

bool WorkQueue::flush(int bound_ms)
{
    int64_t deadline = platform_deadline_after_ms(bound_ms);
    WorkQueueState& s = *state_;
    Guard guard(s.lock);
    const uint64_t last = s.posted;
    return wait_for_progress(s, guard, deadline, [&] {
        return !(s.running && s.running_ticket <= last) &&
               std::none_of(s.waiting.begin(), s.waiting.end(), [&](const Waiting& w) { return w.ticket <= last; });
    });
}
