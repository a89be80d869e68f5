// The waits of the shutdown, kept off the GTK thread: each on a thread of its
// own, all at once, under one bound, while the main loop goes on.
#pragma once

#include <functional>
#include <vector>

// One wait: it may take timeout_ms and answers whether what it waited for came.
using ShutdownWait = std::function<bool(int timeout_ms)>;
// Gets each wait's answer, in the order of the waits.
using ShutdownDone = std::function<void(const std::vector<bool>& answers)>;

// Starts every wait and returns at once. `done` runs once on the GTK thread,
// when every wait has answered or bound_ms has passed; a wait still running
// then answers false.
void shutdown_run(std::vector<ShutdownWait> waits, int bound_ms, ShutdownDone done);
