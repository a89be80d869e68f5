// The offset history chart, its span list and the CSV export.
#include "src/ui/offset_chart.h"

#include "platform/clock.h"
#include "platform/time_units.h"
#include "src/ui/app.h"
#include "src/ui/widget_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <glib/gi18n.h>
#include <pango/pangocairo.h>
#include <string>
#include <system_error>
#include <thread>

namespace {

constexpr double kLeft = 58, kRight = 8, kTop = 16, kBottom = 18;  // room for the labels, in pixels
constexpr int64_t kTimeSteps[] = {60, 300, 900, 1800, 3600, 3 * 3600, 6 * 3600, 12 * 3600,
                                  86400, 2 * 86400, 7 * 86400, 14 * 86400, 30 * 86400, 91 * 86400};
constexpr double kMinLabelGapPx = 80;

struct Colour {
    double r, g, b;
};
constexpr Colour kBackground{1, 1, 1}, kFrame{0.6, 0.6, 0.6}, kGrid{0.9, 0.9, 0.9}, kZero{0.55, 0.55, 0.55},
    kText{0.25, 0.25, 0.25}, kLive{0.16, 0.38, 0.79}, kCorrection{0.78, 0.16, 0.16};

void set_colour(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// Where a moment and an offset land in the plot area.
struct Plot {
    double x0, x1, y0, y1;  // the plot area: x0 left, y0 top
    int64_t from_ns, to_ns;
    double low_ms, high_ms;
    double x(int64_t ns) const { return x0 + (x1 - x0) * double(ns - from_ns) / double(to_ns - from_ns); }
    double y(double ms) const { return y1 - (y1 - y0) * (ms - low_ms) / (high_ms - low_ms); }
};

// A number with the language's decimal mark.
std::string number_text(double value, int decimals, bool sign)
{
    char format[16];
    std::snprintf(format, sizeof format, "%%%s.%df", sign ? "+" : "", decimals);
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    std::string out = text;
    size_t point = out.find('.');
    if (point != std::string::npos)
        out.replace(point, 1, C_("decimal mark", "."));
    return out;
}

PangoLayout* text_layout(cairo_t* cr, const std::string& text, int* width, int* height)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans 7.5");
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_get_pixel_size(layout, width, height);
    return layout;
}

// Draws text with its anchor at (x, y): align 0 left/top, 0.5 centre, 1 right/bottom.
void draw_text(cairo_t* cr, const std::string& text, double x, double y, double align_x, double align_y,
               Colour colour = kText)
{
    int width = 0, height = 0;
    PangoLayout* layout = text_layout(cr, text, &width, &height);
    set_colour(cr, colour);
    cairo_move_to(cr, std::round(x - align_x * width), std::round(y - align_y * height));
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

double text_width(cairo_t* cr, const std::string& text)
{
    int width = 0, height = 0;
    g_object_unref(text_layout(cr, text, &width, &height));
    return width;
}

// 1, 2 or 5 times a power of ten, at least raw.
double nice_step(double raw)
{
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

bool in_view(const HistoryRecord& r, int64_t from_ns, int64_t to_ns) { return r.at_ns >= from_ns && r.at_ns <= to_ns; }

// The offsets' range with zero in it, a little room around, at least +-1 ms.
void fit_offsets(Plot& plot, const std::vector<HistoryRecord>& records)
{
    double low = 0, high = 0;
    for (const HistoryRecord& r : records) {
        if (!in_view(r, plot.from_ns, plot.to_ns))
            continue;
        low = std::min(low, double(r.offset_ns) / kNsPerMs);
        high = std::max(high, double(r.offset_ns) / kNsPerMs);
    }
    double room = std::max((high - low) * 0.1, 1.0);
    plot.low_ms = low - (low < 0 ? room : room / 4);
    plot.high_ms = high + (high > 0 ? room : room / 4);
}

int decimals_for(double step) { return step >= 1 ? 0 : step >= 0.1 ? 1 : 2; }

void draw_offset_axis(cairo_t* cr, const Plot& plot)
{
    double step = nice_step((plot.high_ms - plot.low_ms) / std::max(1.0, (plot.y1 - plot.y0) / 24));
    cairo_set_line_width(cr, 1);
    for (double v = std::ceil(plot.low_ms / step) * step; v <= plot.high_ms; v += step) {
        double y = std::round(plot.y(v)) + 0.5;
        set_colour(cr, std::fabs(v) < step / 2 ? kZero : kGrid);
        cairo_move_to(cr, plot.x0, y);
        cairo_line_to(cr, plot.x1, y);
        cairo_stroke(cr);
        draw_text(cr, number_text(std::fabs(v) < step / 2 ? 0 : v, decimals_for(step), v > step / 2), plot.x0 - 4,
                  y, 1, 0.5);
    }
    // TRANSLATORS: the title of the chart's vertical axis: PC clock minus GPS time, in milliseconds.
    draw_text(cr, _("PC − GPS, ms"), 2, 1, 0, 0);
}

// Seconds from UTC of the local zone now: the time labels fall on local hours and days.
int64_t local_offset_s(int64_t at_ns)
{
    GDateTime* moment = g_date_time_new_from_unix_local(at_ns / kNsPerSecond);
    if (!moment)
        return 0;
    int64_t offset = g_date_time_get_utc_offset(moment) / G_USEC_PER_SEC;
    g_date_time_unref(moment);
    return offset;
}

std::string time_label(int64_t at_ns, bool with_day)
{
    GDateTime* moment = g_date_time_new_from_unix_local(at_ns / kNsPerSecond);
    if (!moment)
        return "";
    gchar* text = g_date_time_format(moment, with_day ? "%d %b" : "%H:%M");
    std::string out = text ? text : "";
    g_free(text);
    g_date_time_unref(moment);
    return out;
}

void draw_time_axis(cairo_t* cr, const Plot& plot)
{
    double px_per_s = (plot.x1 - plot.x0) / (double(plot.to_ns - plot.from_ns) / kNsPerSecond);
    int64_t step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (int64_t candidate : kTimeSteps) {
        if (candidate * px_per_s >= kMinLabelGapPx) {
            step = candidate;
            break;
        }
    }
    int64_t zone = local_offset_s(plot.to_ns);
    int64_t first = (plot.from_ns / kNsPerSecond + zone + step - 1) / step * step - zone;
    for (int64_t s = first; s * kNsPerSecond <= plot.to_ns; s += step) {
        double x = std::round(plot.x(s * kNsPerSecond)) + 0.5;
        set_colour(cr, kGrid);
        cairo_move_to(cr, x, plot.y0);
        cairo_line_to(cr, x, plot.y1);
        cairo_stroke(cr);
        draw_text(cr, time_label(s * kNsPerSecond, step >= 86400), x, plot.y1 + 2, 0.5, 0);
    }
}

// The minute measurements as a line, broken at every correction and at
// every other step of the clock.
void draw_live(cairo_t* cr, const Plot& plot, const std::vector<HistoryRecord>& records)
{
    set_colour(cr, kLive);
    cairo_set_line_width(cr, 1.5);
    bool drawing = false;
    const HistoryRecord* previous = nullptr;
    for (const HistoryRecord& r : records) {
        if (r.kind == HistoryKind::correction || !in_view(r, plot.from_ns, plot.to_ns)) {
            if (r.kind == HistoryKind::correction)
                drawing = false;
            continue;
        }
        if (previous && offset_history_stepped(*previous, r))
            drawing = false;
        previous = &r;
        double x = plot.x(r.at_ns), y = plot.y(double(r.offset_ns) / kNsPerMs);
        if (drawing) {
            cairo_line_to(cr, x, y);
        } else {
            cairo_stroke(cr);
            cairo_arc(cr, x, y, 1.2, 0, 2 * M_PI);
            cairo_fill(cr);
            cairo_move_to(cr, x, y);
        }
        drawing = true;
    }
    cairo_stroke(cr);
}

// Each correction: a dot at the offset it found and a line down to zero (the step).
void draw_corrections(cairo_t* cr, const Plot& plot, const std::vector<HistoryRecord>& records)
{
    set_colour(cr, kCorrection);
    cairo_set_line_width(cr, 1.5);
    for (const HistoryRecord& r : records) {
        if (r.kind != HistoryKind::correction || !in_view(r, plot.from_ns, plot.to_ns))
            continue;
        double x = plot.x(r.at_ns), y = plot.y(double(r.offset_ns) / kNsPerMs);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x, plot.y(0));
        cairo_stroke(cr);
        cairo_arc(cr, x, y, 3, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

// "+11.6 ppm" above each span between corrections that is wide enough for it.
void draw_drifts(cairo_t* cr, const Plot& plot, const std::vector<HistoryRecord>& records)
{
    for (const DriftSpan& span : offset_history_drifts(records)) {
        if (span.from_ns < plot.from_ns || span.to_ns > plot.to_ns)
            continue;
        // TRANSLATORS: the drift of the PC clock between two corrections, in parts per million.
        gchar* text = g_strdup_printf(_("%s ppm"), number_text(span.ppm, 1, true).c_str());
        double left = plot.x(span.from_ns), right = plot.x(span.to_ns);
        if (right - left >= text_width(cr, text) + 6)
            draw_text(cr, text, (left + right) / 2, plot.y0 - 1, 0.5, 1, kCorrection);
        g_free(text);
    }
}

}  // namespace

void offset_chart_draw(cairo_t* cr, int width, int height, const std::vector<HistoryRecord>& records,
                       int64_t now_ns, int64_t span_ns)
{
    set_colour(cr, kBackground);
    cairo_paint(cr);
    Plot plot{kLeft, width - kRight, kTop, height - kBottom, now_ns - span_ns, now_ns, -1, 1};
    if (plot.x1 - plot.x0 < 20 || plot.y1 - plot.y0 < 20 || span_ns <= 0)
        return;
    bool any = std::any_of(records.begin(), records.end(), [&](auto& r) { return in_view(r, plot.from_ns, now_ns); });
    if (!any) {
        draw_text(cr, _("No offset measured in this span yet: a point is added once a minute while the receiver "
                        "has a fix."),
                  width / 2.0, height / 2.0, 0.5, 0.5);
        return;
    }
    fit_offsets(plot, records);
    draw_offset_axis(cr, plot);
    draw_time_axis(cr, plot);
    set_colour(cr, kFrame);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, plot.x0 + 0.5, plot.y0 + 0.5, plot.x1 - plot.x0 - 1, plot.y1 - plot.y0 - 1);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_rectangle(cr, plot.x0, plot.y0, plot.x1 - plot.x0, plot.y1 - plot.y0);
    cairo_clip(cr);
    draw_live(cr, plot, records);
    draw_corrections(cr, plot, records);
    cairo_restore(cr);
    draw_drifts(cr, plot, records);
}

// ---- the widgets ----

namespace {

struct ChartWidgets {
    GtkWidget* area = nullptr;
    GtkWidget* span = nullptr;
    GtkWidget* export_note = nullptr;
    unsigned drawn_version = ~0u;
    int64_t drawn_minute = 0;
};
ChartWidgets chart;

// GPS time now: the PC clock corrected by the offset measured, so that a PC
// clock far off does not push the records out of the span.
int64_t gps_now_ns()
{
    ClockOffset offset = clock_offset_now();
    int64_t now = platform_clock_read_ns() + (offset.valid ? offset.offset_ns : 0);
    return now;
}

gboolean on_expose(GtkWidget* area, GdkEventExpose*, gpointer)
{
    cairo_t* cr = gdk_cairo_create(area->window);
    int span = chart.span ? gtk_combo_box_get_active(GTK_COMBO_BOX(chart.span)) : 0;
    offset_chart_draw(cr, area->allocation.width, area->allocation.height, offset_history_records(), gps_now_ns(),
                      kChartSpans[span < 0 ? 0 : span]);
    cairo_destroy(cr);
    return TRUE;
}

void on_span_changed(GtkComboBox*, gpointer)
{
    if (chart.area)
        gtk_widget_queue_draw(chart.area);
}

// The export runs on a thread of its own; its result comes back to the window.
struct ExportJob {
    std::string path;
    std::vector<HistoryRecord> records;
    int error = 0;
};

gboolean export_done(gpointer data)
{
    auto* job = static_cast<ExportJob*>(data);
    if (chart.export_note) {
        gchar* text = job->error ? g_strdup_printf(_("Cannot write %s: %s"), job->path.c_str(), g_strerror(job->error))
                                 : g_strdup_printf(ngettext("%d record saved to %s", "%d records saved to %s",
                                                            gulong(job->records.size())),
                                                   int(job->records.size()), job->path.c_str());
        gtk_label_set_text(GTK_LABEL(chart.export_note), text);
        gtk_widget_show(chart.export_note);
        g_free(text);
    }
    delete job;
    return FALSE;
}

void export_to(const std::string& path)
{
    auto* job = new ExportJob{path, offset_history_records()};
    try {
        std::thread([job] {
            job->error = offset_history_write_csv(job->path, job->records);
            g_idle_add(export_done, job);
        }).detach();
    } catch (const std::system_error&) {
        job->error = EAGAIN;
        export_done(job);
    }
}

void on_chooser_response(GtkDialog* dialog, gint response, gpointer)
{
    if (response == GTK_RESPONSE_ACCEPT) {
        gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        if (path)
            export_to(path);
        g_free(path);
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void on_export_clicked(GtkButton*, gpointer)
{
    GtkWidget* dialog = gtk_file_chooser_dialog_new(_("Export the offset history"), GTK_WINDOW(main_window),
                                                    GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_CANCEL,
                                                    GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(dialog), TRUE);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), "satclock-offsets.csv");
    g_signal_connect(dialog, "response", G_CALLBACK(on_chooser_response), nullptr);
    gtk_widget_show(dialog);  // not run modally: the window's ticks go on
}

GtkWidget* side_column()
{
    GtkWidget* column = gtk_vbox_new(FALSE, 4);
    GtkWidget* span = keep(chart.span, gtk_combo_box_new_text());
    for (const char* text : {N_("Last day"), N_("Last week"), N_("Last year")})
        gtk_combo_box_append_text(GTK_COMBO_BOX(span), _(text));
    gtk_combo_box_set_active(GTK_COMBO_BOX(span), 0);
    g_signal_connect(span, "changed", G_CALLBACK(on_span_changed), nullptr);
    gtk_box_pack_start(GTK_BOX(column), span, FALSE, FALSE, 0);
    GtkWidget* button = gtk_button_new_with_label(_("Export CSV..."));
    set_tip(button, _("Saves the offset history as a CSV file: the time (UTC), the kind of record, the PC clock "
                      "minus GPS time in milliseconds, its source and its uncertainty."));
    g_signal_connect(button, "clicked", G_CALLBACK(on_export_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(column), button, FALSE, FALSE, 0);
    GtkWidget* note = keep(chart.export_note, gtk_label_new(""));
    gtk_widget_set_no_show_all(note, TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(note), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(note), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_width_chars(GTK_LABEL(note), 18);
    gtk_label_set_max_width_chars(GTK_LABEL(note), 18);
    gtk_box_pack_start(GTK_BOX(column), note, FALSE, FALSE, 0);
    return column;
}

}  // namespace

GtkWidget* offset_chart_box_new()
{
    GtkWidget* box = gtk_hbox_new(FALSE, 6);
    GtkWidget* area = keep(chart.area, gtk_drawing_area_new());
    gtk_widget_set_size_request(area, 420, 140);
    set_tip(area, _("The PC clock minus GPS time: in blue as measured once a minute, in red as found before each "
                    "correction (the line down to zero is the step it made). Between corrections, the PC clock's "
                    "drift in ppm: above 0 it runs fast."));
    g_signal_connect(area, "expose-event", G_CALLBACK(on_expose), nullptr);
    gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), side_column(), FALSE, FALSE, 0);
    chart.drawn_version = ~0u;
    return box;
}

void offset_chart_refresh()
{
    if (!chart.area)
        return;
    unsigned version = offset_history_version();
    int64_t minute = platform_clock_read_ns() / (60 * kNsPerSecond);
    if (version == chart.drawn_version && minute == chart.drawn_minute)
        return;
    chart.drawn_version = version;
    chart.drawn_minute = minute;
    gtk_widget_queue_draw(chart.area);
}

GtkWidget* offset_chart_widget() { return chart.area; }
