// The settings writer thread and the problems it finds.
#include "src/settings/settings_store.h"

#include "platform/work_queue.h"
#include "src/settings/settings_file.h"
#include "src/settings/settings_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>

namespace {

struct Change {
    std::string key;
    std::string value;
};

struct Unsaved {
    std::string value;
    int error;
};

// The writer's state, never destroyed (nor the queue): a change may still be
// in hand while the process exits.
struct Store {
    // Guards everything here; never held while the file is read or written.
    // Taken before the queue's own lock, never after it.
    std::mutex lock;
    std::map<std::string, std::string> unwritten;  // the newest change of each key, waiting or in hand
    std::map<std::string, Unsaved> unsaved;       // changes that failed, by key
    std::vector<SettingsProblem> file_problems;
    void (*listener)() = nullptr;
};

Store& store = *new Store;
WorkQueue& writer = *new WorkQueue;

void write_one(const Change& change);

// A newer value of a key replaces the one waiting, in its place.
void queue_locked(const std::string& key, const std::string& value)
{
    store.unwritten[key] = value;
    writer.post_keyed(key, [change = Change{key, value}] { write_one(change); });
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
            if (!store.unwritten.contains(key))  // else a newer value waits
                queue_locked(key, kept.value);
        return;
    }
    store.unsaved[change.key] = {change.value, error};
}

void write_one(const Change& change)
{
    std::vector<SettingsProblem> before = settings_problems();
    int status = settings_write_string(change.key.c_str(), change.value.c_str());
    int error = errno;
    {
        std::lock_guard guard(store.lock);
        note_outcome_locked(change, status, error);
        auto unwritten = store.unwritten.find(change.key);
        if (unwritten != store.unwritten.end() && unwritten->second == change.value)
            store.unwritten.erase(unwritten);
    }
    publish(look_at_file(), before);
}

// The writer runs from the first change to the process's end.
bool start_writer()
{
    std::string error = writer.start();
    if (error.empty())
        return true;
    std::printf("settings: no writer thread (%s); writing at once\n", error.c_str());
    return false;
}

}  // namespace

void settings_post_string(const char* key, std::string value)
{
    if (!key)
        return;
    {
        std::lock_guard guard(store.lock);
        if (start_writer()) {
            queue_locked(key, value);
            return;
        }
    }
    write_one({key, std::move(value)});
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
    auto unwritten = store.unwritten.find(key);
    if (unwritten != store.unwritten.end()) {
        value = unwritten->second;
        return true;
    }
    auto unsaved = store.unsaved.find(key);
    if (unsaved == store.unsaved.end())
        return false;
    value = unsaved->second.value;
    return true;
}

bool settings_flush(int timeout_ms) { return writer.flush(timeout_ms); }

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
