// The port doctor frame: readings, verdicts and the speed search.
#include "src/ui/port_doctor_frame.h"

#include "platform/clock.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/config_page.h"
#include "src/ui/status_line.h"
#include "src/ui/widget_helpers.h"

#include <cerrno>
#include <glib/gi18n.h>

PortDoctorWidgets doctor_widgets{};

namespace {

constexpr guint kRefreshMs = 250;
constexpr guint kSearchStepMs = 100;
const char* const kLineNames[kModemLineCount] = {"CTS", "DSR", "DCD", "RI"};

PortDoctor doctor;
SpeedSearch search;
guint refresh_timer = 0;  // while the frame is mapped
guint search_timer = 0;   // while a search runs

// "1.5" with the language's decimal mark.
std::string rate_text(double value)
{
    gchar* text = g_strdup_printf("%.1f", value);
    std::string out = owned_text(text);
    size_t point = out.find_first_of(".,");
    if (point != std::string::npos)
        out.replace(point, 1, C_("decimal mark", "."));
    return out;
}

void show_line(GtkWidget* label, const std::string& text)
{
    if (label)
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

gboolean refresh(gpointer)
{
    doctor.add(port_doctor_sample_now());
    DoctorReading reading = doctor.reading();
    show_line(doctor_widgets.lines, doctor_lines_text(reading));
    show_line(doctor_widgets.data, doctor_data_text(reading));
    std::string verdict;
    for (const DoctorVerdict& v : reading.verdicts)
        verdict += (verdict.empty() ? "" : "\n") + doctor_verdict_text(v);
    if (doctor_widgets.verdict)
        set_markup(doctor_widgets.verdict, g_markup_printf_escaped("<b>%s</b>", verdict.c_str()));
    return TRUE;
}

void on_mapped(GtkWidget*, gpointer)
{
    if (refresh_timer == 0)
        refresh_timer = g_timeout_add(kRefreshMs, refresh, nullptr);
}

void on_unmapped(GtkWidget*, gpointer)
{
    if (refresh_timer != 0)
        g_source_remove(refresh_timer);
    refresh_timer = 0;
}

std::string search_text()
{
    switch (search.state()) {
    case SearchState::trying:
        return owned_text(g_strdup_printf(_("Trying %d baud..."), search.trying()));
    case SearchState::found:
        return owned_text(g_strdup_printf(_("Found: the receiver talks at %d baud."), search.found()));
    case SearchState::not_found:
        return _("No usual speed gave NMEA sentences: check the cable, the port and the receiver's power.");
    case SearchState::port_failed:
        return _("The port cannot be opened: see the status line on the GPS info page.");
    default:
        return "";
    }
}

gboolean search_step(gpointer)
{
    SearchState state = search.step(platform_monotonic_ns());
    show_line(doctor_widgets.search_state, search_text());
    if (state == SearchState::trying)
        return TRUE;
    if (state == SearchState::found)
        config_page_speed_found(search.found());
    if (doctor_widgets.search)
        gtk_widget_set_sensitive(doctor_widgets.search, TRUE);
    search_timer = 0;
    return FALSE;
}

void on_search_clicked(GtkButton* button, gpointer)
{
    if (search_timer != 0)
        return;
    search.start(app_settings.com_port, app_settings.baudrate, platform_monotonic_ns());
    gtk_widget_set_sensitive(GTK_WIDGET(button), FALSE);
    show_line(doctor_widgets.search_state, search_text());
    search_timer = g_timeout_add(kSearchStepMs, search_step, nullptr);
}

void on_frame_destroyed(GtkWidget* frame, gpointer)
{
    on_unmapped(frame, nullptr);
    if (search_timer != 0)
        g_source_remove(search_timer);
    search_timer = 0;
}

GtkWidget* wrapped_label(GtkWidget*& slot, int chars)
{
    GtkWidget* label = keep(slot, gtk_label_new(""));
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_width_chars(GTK_LABEL(label), chars);
    gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
    return label;
}

}  // namespace

GtkWidget* port_doctor_frame_create()
{
    GtkWidget* frame = titled_frame_new(_("Port doctor"));
    GtkWidget* box = gtk_vbox_new(FALSE, 3);
    gtk_container_set_border_width(GTK_CONTAINER(box), 4);
    gtk_container_add(GTK_CONTAINER(frame), box);
    GtkWidget* lines = wrapped_label(doctor_widgets.lines, 90);
    set_tip(lines, _("The port's modem-status lines: on or off, the edges counted since the port opened, and the "
                     "width of the pulse when one comes. A receiver's 1PPS shows here as a line with a pulse a "
                     "second."));
    gtk_box_pack_start(GTK_BOX(box), lines, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), wrapped_label(doctor_widgets.data, 90), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), wrapped_label(doctor_widgets.verdict, 90), FALSE, FALSE, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 6);
    GtkWidget* button = keep(doctor_widgets.search, gtk_button_new_with_label(_("Find the speed")));
    set_tip(button, _("Tries 4800, 9600, 19200, 38400, 57600 and 115200 baud in turn and keeps the first at which "
                      "NMEA sentences arrive."));
    g_signal_connect(button, "clicked", G_CALLBACK(on_search_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(row), button, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), wrapped_label(doctor_widgets.search_state, 60), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
    g_signal_connect(frame, "map", G_CALLBACK(on_mapped), nullptr);
    g_signal_connect(frame, "unmap", G_CALLBACK(on_unmapped), nullptr);
    g_signal_connect(frame, "destroy", G_CALLBACK(on_frame_destroyed), nullptr);
    return frame;
}

std::string doctor_lines_text(const DoctorReading& reading)
{
    if (reading.lines_error == ENODEV)
        return _("Modem lines: the port is not open.");
    if (reading.lines_error != 0)
        return _("Modem lines: none on this port (a pseudo-terminal has none, nor have many USB adapters).");
    std::string text;
    for (int i = 0; i < kModemLineCount; ++i) {
        const ModemLineState& line = reading.lines.line[i];
        std::string one = owned_text(g_strdup_printf(ngettext("%s %s, %lu edge", "%s %s, %lu edges", line.edges),
                                                     kLineNames[i], line.on ? _("on") : _("off"), line.edges));
        if (reading.pulsing[i] && reading.width_ms[i] > 0)
            one += owned_text(g_strdup_printf(_(", pulse %d ms"), reading.width_ms[i]));
        text += (text.empty() ? "" : "   ") + one;
    }
    return text;
}

std::string doctor_data_text(const DoctorReading& reading)
{
    return owned_text(g_strdup_printf(_("%s bytes/s, %s sentences/s, %s checksum failures/s"),
                                      rate_text(reading.bytes_per_s).c_str(),
                                      rate_text(reading.sentences_per_s).c_str(),
                                      rate_text(reading.bad_checksums_per_s).c_str()));
}

std::string doctor_verdict_text(const DoctorVerdict& v)
{
    const char* line = v.line >= 0 && v.line < kModemLineCount ? kLineNames[v.line] : "";
    switch (v.kind) {
    case DoctorVerdictKind::port_closed:
        return _("the port is not open: see the status line on the GPS info page");
    case DoctorVerdictKind::nothing_received:
        return _("nothing received: check that the receiver is powered and on this port");
    case DoctorVerdictKind::wrong_speed:
        return owned_text(g_strdup_printf(_("bytes but no sentence: try %d"), v.baud));
    case DoctorVerdictKind::speed_right:
        return owned_text(g_strdup_printf(_("sentences arrive at %d baud: the speed is right"), v.baud));
    case DoctorVerdictKind::bad_checksums:
        return owned_text(g_strdup_printf(_("sentences arrive at %d baud, but some fail their checksum: a noisy "
                                            "line or a speed at its limit"),
                                          v.baud));
    case DoctorVerdictKind::no_modem_lines:
        return _("no modem lines: no 1PPS can come from this port");
    case DoctorVerdictKind::pulses:
        if (v.chosen)
            return owned_text(v.width_ms > 0 ? g_strdup_printf(_("pulses on %s, %s: 1PPS is set up right"), line,
                                                               pps_pulse_text(v.width_ms).c_str())
                                             : g_strdup_printf(_("pulses on %s: 1PPS is set up right"), line));
        return owned_text(v.width_ms > 0 ? g_strdup_printf(_("pulses on %s, %d ms wide: choose %s"), line, v.width_ms, line)
                                         : g_strdup_printf(_("pulses on %s: choose %s"), line, line));
    case DoctorVerdictKind::pulses_unusable:
        return owned_text(g_strdup_printf(_("pulses on %s, which Satclock cannot use for 1PPS: wire the pulse to CTS "
                                            "or DSR"),
                                          line));
    case DoctorVerdictKind::no_pulses:
        return _("no pulses on CTS, DSR, DCD or RI");
    default:
        return _("measuring...");
    }
}
