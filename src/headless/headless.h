// satclock without a window: `satclock --headless` for a machine with no
// desktop (a time server). The same settings, receiver link, analysis thread,
// schedule, checks before a step, offset history and chrony feed as the
// desktop program; GTK is never started. What the window's status line would
// show goes to standard error, a line each time it changes.
#pragma once

// Runs until SIGTERM or SIGINT; returns the exit status (0).
int headless_main();

// `satclock --chrony-lines`: the lines for chrony's configuration that the
// GPS configuration page shows, from the settings. Returns 0.
int chrony_lines_main();
