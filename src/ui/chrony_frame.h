// chrony on the GPS configuration page: "Give GPS time to chrony instead of
// setting the clock", and the refclock lines to add to chrony's configuration
// with a button that copies them.
#pragma once

#include <gtk/gtk.h>

// The setting chrony_feed into the flag chrony_feed.
void chrony_frame_load_settings(void);

// The frame, its check box loaded from the settings.
GtkWidget* chrony_frame_create(void);

// Brings the lines up to date with the receiver delay and 1PPS; for the 50 ms
// tick. Does nothing while no frame exists.
void chrony_frame_refresh(void);

// The lines shown now ("" while no frame exists).
const char* chrony_frame_lines(void);
