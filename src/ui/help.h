// The help viewer (one child process at a time) and the opening of links.
#pragma once

#include <sys/types.h>

// Starts the viewer on the help file, or raises the one already running.
void help_show();

// Closes a viewer still running (WM_DELETE_WINDOW, SIGKILL after 200 ms) and
// forgets it; only the viewer named by SATCLOCK_HELP_VIEWER, which shows
// nothing but the help. A general browser is only forgotten, never closed.
void help_close();
// help_close in two halves, for Quit: the request to close, on the GTK thread
// (it returns at once, with the viewer to wait for, or 0), and the wait with
// its SIGKILL, on any thread.
pid_t help_close_ask();
void help_close_wait(pid_t viewer);

// Asks every window of the process to close and waits up to timeout_ms for it to end.
// 0: no such process, or it could not be killed; 1: it ended; 2: it was killed.
int process_close(pid_t pid, int timeout_ms);

// Opens a web or mailto: link or a document in the user's preferred program.
void open_url(const char* text);
