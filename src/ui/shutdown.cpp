// The waits of the shutdown on threads of their own, beside the main loop.
#include "src/ui/shutdown.h"

#include <cstdio>
#include <glib.h>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Shutdown {
    std::mutex lock;            // guards answers and running
    std::vector<bool> answers;
    size_t running = 0;
    // GTK thread only:
    guint bound = 0;            // the bound's timeout source while it waits
    bool over = false;          // done has run
    ShutdownDone done;
    // The last wait's hand-over to the GTK thread, made there before any wait
    // starts: what crosses the main loop's queue is only this pointer, whose
    // target GLib's own lock (out of a thread checker's sight) needs not guard.
    std::shared_ptr<Shutdown>* at_end = nullptr;
};

using Shared = std::shared_ptr<Shutdown>;

Shutdown& of(gpointer data) { return **static_cast<Shared*>(data); }

void forget(gpointer data) { delete static_cast<Shared*>(data); }

void finish(Shutdown& run)
{
    if (run.over)
        return;
    run.over = true;
    std::vector<bool> answers;
    {
        std::lock_guard hold(run.lock);
        answers = run.answers;
    }
    run.done(answers);
}

gboolean on_bound(gpointer data)
{
    of(data).bound = 0;
    finish(of(data));
    return G_SOURCE_REMOVE;
}

gboolean on_all_answered(gpointer data)
{
    Shutdown& run = of(data);
    if (run.bound != 0)
        g_source_remove(run.bound);
    run.bound = 0;
    finish(run);
    return G_SOURCE_REMOVE;
}

void answer(const Shared& run, size_t index, bool answered)
{
    bool last = false;
    {
        std::lock_guard hold(run->lock);
        run->answers[index] = answered;
        last = --run->running == 0;
    }
    if (last)
        g_idle_add_full(G_PRIORITY_DEFAULT, on_all_answered, run->at_end, forget);
}

// A wait without a thread never answers: the bound ends it as one still running.
void start(const Shared& run, size_t index, ShutdownWait wait, int timeout_ms)
{
    try {
        std::thread([run, index, wait = std::move(wait), timeout_ms] { answer(run, index, wait(timeout_ms)); })
            .detach();
    } catch (const std::system_error& e) {
        std::printf("quit: no thread to wait on (%s)\n", e.what());
    }
}

}  // namespace

void shutdown_run(std::vector<ShutdownWait> waits, int bound_ms, ShutdownDone done)
{
    auto run = std::make_shared<Shutdown>();
    run->answers.assign(waits.size(), false);
    run->running = waits.size();
    run->done = std::move(done);
    run->at_end = new Shared(run);
    run->bound = g_timeout_add_full(G_PRIORITY_DEFAULT, guint(bound_ms), on_bound, new Shared(run), forget);
    for (size_t i = 0; i < waits.size(); ++i)
        start(run, i, std::move(waits[i]), bound_ms);
}
