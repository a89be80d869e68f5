// The NMEA view of the GPS configuration page: the raw text the receiver
// sends, taken from the view's cursor of the receive ring on every refresh.
#pragma once

#include <cstdint>
#include <gtk/gtk.h>

// Bytes of text appended since the view was last emptied.
extern long nmea_view_count;
// Past this many bytes of appended text the view is emptied.
inline constexpr long nmea_view_limit = 65536;

// The scrolled, non-editable, char-wrapped text view with its "small_text"
// tag, above the line that counts the receive ring's overruns (hidden while
// there were none); the text view and that line are kept for the routines
// below.
GtkWidget* nmea_view_new();
GtkWidget* nmea_view_widget();
GtkWidget* nmea_view_overrun_label();

// Shows how often the writer of the receive ring came round to the view's and
// the analysis thread's cursors, and the bytes each lost so.
void nmea_view_overrun_refresh();

// One refresh: up to 300 bytes from the ring appended as text (or as the
// bad-data line), after a line that marks the bytes lost when the ring
// overran the view, and the view emptied once nmea_view_count passes the limit.
void nmea_view_feed();

// Appends text (UTF-8) with the named tag at the end and scrolls to the end.
void nmea_view_append(const char* text, const char* tag);

// Empties the view's buffer.
void nmea_view_clear();

// The text shown for count received bytes: the bytes converted from the
// locale's charset to UTF-8, or, when they are not valid text in it, the line
// "received bad data <count> byte(s) (need change baudrate)". g_free it.
gchar* nmea_view_text(const uint8_t* bytes, int count);
