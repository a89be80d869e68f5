// clockkeeper's program entry: the service itself, or one command word.
#pragma once

// No word: run as the service. "install", "remove": (un)register it, rerun
// elevated when needed. "debug": run the service's threads in this process.
// Returns the exit status.
int clockkeeper_main(int argc, char** argv);
