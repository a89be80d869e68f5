// An in-process manual-reset event with an existence flag, for the service's
// stop events: once set it stays set until it is created afresh, so a thread
// whose wait it satisfied still wakes when the owner has closed it meanwhile.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class ManualEvent {
public:
    // Create the event, not signalled, unless it exists already.
    void create()
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (exists_)
            return;
        exists_ = true;
        signalled_ = false;
    }
    // Forget the event. A set that happened before stays visible to waiters.
    void close()
    {
        std::lock_guard<std::mutex> guard(lock_);
        exists_ = false;
    }
    bool exists() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return exists_;
    }
    // No effect on an event that does not exist.
    void set()
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!exists_)
            return;
        signalled_ = true;
        changed_.notify_all();
    }
    bool is_set() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return signalled_;
    }
    void wait()
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return signalled_; });
    }
    // True when set within timeout_ms.
    bool wait_for(int timeout_ms)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; });
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool exists_ = false;
    bool signalled_ = false;
};
