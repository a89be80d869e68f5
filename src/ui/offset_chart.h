// The offset history chart of the GPS info page: the PC clock minus GPS time
// over the last day, week or year, each correction marked with the offset it
// found, and the drift in ppm between corrections. Drawn with cairo.
#pragma once

#include "src/correction/offset_history.h"

#include <cairo.h>
#include <cstdint>
#include <gtk/gtk.h>
#include <vector>

inline constexpr int64_t kChartSpans[] = {kHistoryDayNs, 7 * kHistoryDayNs, 366 * kHistoryDayNs};

// Draws the records of the span that ends at now_ns into a width x height area.
void offset_chart_draw(cairo_t* cr, int width, int height, const std::vector<HistoryRecord>& records,
                       int64_t now_ns, int64_t span_ns);

// The chart of the program's history (offset_history_records), with its
// span list and the CSV export button beside it.
GtkWidget* offset_chart_box_new();
// Redraws when the history has changed (the info page's tick).
void offset_chart_refresh();
// The drawing area itself, null when none is built.
GtkWidget* offset_chart_widget();
