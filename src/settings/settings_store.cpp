// The settings writer thread and the problems it finds.
#include "src/settings/settings_store.h"

#include "src/settings/settings_file.h"
#include "src/settings/settings_line.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Change {
    std::string key;
    std::string value;
};

struct Unsaved {
    std::string value;
    int error;
};

// The writer's state. Never destroyed: the writer thread waits on it until the
// process is gone (a condition variable destroyed under a waiter hangs the exit).
struct Store {
    // Guards everything here; never held while the file is read or written.
    std::mutex lock;
    // Signalled when a change is posted and when the writer has finished one.
    std::condition_variable changed;
    std::deque<Change> waiting;             // at most one change per key
    bool writing = false;                   // the writer holds a change it took
    Change in_hand;                         // that change, while writing
    bool writer_running = false;
    std::map<std::string, Unsaved> unsaved;  // changes that failed, by key
    std::vector<SettingsProblem> file_problems;
    void (*listener)() = nullptr;
};

Store& store = *new Store;

void queue_locked(const std::string& key, const std::string& value)
{
    auto same_key = [&](const Change& change) { return change.key == key; };
    auto queued = std::find_if(store.waiting.begin(), store.waiting.end(), same_key);
    if (queued != store.waiting.end())
        queued->value = value;
    else
        store.waiting.push_back({key, value});
}

std::vector<SettingsProblem> problems_locked()
{
    std::vector<SettingsProblem> all = store.file_problems;
    for (const auto& [key, change] : store.unsaved)
        all.push_back({SettingsProblem::Kind::not_saved, 0, "", key, change.value, change.error});
    return all;
}

std::vector<SettingsProblem> look_at_file()
{
    std::string bytes;
    if (!settings_file_bytes(bytes) && errno == EFBIG)
        return {{SettingsProblem::Kind::too_large, 0, "", "", "", EFBIG}};
    std::vector<SettingsProblem> found = settings_problems_in(bytes);
    std::stable_sort(found.begin(), found.end(),
                     [](const SettingsProblem& a, const SettingsProblem& b) { return a.line < b.line; });
    return found;
}

// Replaces the file's problems; tells the listener when anything changed.
void publish(std::vector<SettingsProblem> found, const std::vector<SettingsProblem>& before)
{
    void (*listener)() = nullptr;
    {
        std::lock_guard guard(store.lock);
        store.file_problems = std::move(found);
        if (problems_locked() != before)
            listener = store.listener;
    }
    if (listener)
        listener();
}

// A write that succeeded shows the file can be written again: the changes
// that failed before go once more.
void note_outcome_locked(const Change& change, int status, int error)
{
    if (status == 1) {
        store.unsaved.erase(change.key);
        for (const auto& [key, kept] : store.unsaved)
            queue_locked(key, kept.value);
        return;
    }
    store.unsaved[change.key] = {change.value, error};
}

void write_one(const Change& change, const std::vector<SettingsProblem>& before)
{
    int status = settings_write_string(change.key.c_str(), change.value.c_str());
    int error = errno;
    {
        std::lock_guard guard(store.lock);
        note_outcome_locked(change, status, error);
    }
    publish(look_at_file(), before);
}

void writer_loop()
{
    for (;;) {
        Change change;
        std::vector<SettingsProblem> before;
        {
            std::unique_lock guard(store.lock);
            store.changed.wait(guard, [] { return !store.waiting.empty(); });
            change = std::move(store.waiting.front());
            store.waiting.pop_front();
            store.writing = true;
            store.in_hand = change;
            before = problems_locked();
        }
        write_one(change, before);
        {
            std::lock_guard guard(store.lock);
            store.writing = false;
        }
        store.changed.notify_all();
    }
}

// The writer runs from the first change to the process's end.
bool start_writer_locked()
{
    if (store.writer_running)
        return true;
    try {
        std::thread(writer_loop).detach();
    } catch (const std::system_error& e) {
        std::printf("settings: no writer thread (%s); writing at once\n", e.what());
        return false;
    }
    store.writer_running = true;
    return true;
}

}  // namespace

void settings_post_string(const char* key, std::string value)
{
    if (!key)
        return;
    std::vector<SettingsProblem> before;
    {
        std::lock_guard guard(store.lock);
        if (start_writer_locked()) {
            queue_locked(key, value);
            store.changed.notify_all();
            return;
        }
        before = problems_locked();
    }
    write_one({key, std::move(value)}, before);
}

void settings_post_bool(const char* key, bool value) { settings_post_string(key, value ? "TRUE" : "FALSE"); }

void settings_post_int(const char* key, int value) { settings_post_string(key, std::to_string(value)); }

void settings_post_double(const char* key, double value)
{
    settings_post_string(key, settings_double_to_text(value));
}

bool settings_unwritten_value(const char* key, std::string& value)
{
    std::lock_guard guard(store.lock);
    for (const Change& change : store.waiting)
        if (change.key == key) {
            value = change.value;
            return true;
        }
    if (store.writing && store.in_hand.key == key) {
        value = store.in_hand.value;
        return true;
    }
    auto unsaved = store.unsaved.find(key);
    if (unsaved == store.unsaved.end())
        return false;
    value = unsaved->second.value;
    return true;
}

bool settings_flush(int timeout_ms)
{
    std::unique_lock guard(store.lock);
    return store.changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                  [] { return store.waiting.empty() && !store.writing; });
}

void settings_scan()
{
    std::vector<SettingsProblem> before = settings_problems();
    publish(look_at_file(), before);
}

std::vector<SettingsProblem> settings_problems()
{
    std::lock_guard guard(store.lock);
    return problems_locked();
}

void settings_on_problems_changed(void (*listener)())
{
    std::lock_guard guard(store.lock);
    store.listener = listener;
}
