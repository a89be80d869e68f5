// The receiver output delay frame.
#include "src/ui/nmea_delay_frame.h"

#include "src/ui/widget_helpers.h"

#include "src/correction/nmea_delay.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"

#include <glib/gi18n.h>

namespace {

struct DelayWidgets {
    GtkWidget* frame = nullptr;
    GtkWidget* label = nullptr;
    GtkWidget* measure = nullptr;
    GtkWidget* spin = nullptr;
    GtkWidget* compensate = nullptr;
    gulong spin_handler = 0;
    // What the label shows now: -2 forces the first refresh.
    int shown_delay = -2, shown_spread = -2, shown_state = -2;
};

DelayWidgets delay_widgets;

gchar* delay_text(int delay, int spread, int state)
{
    if (state == 1)
        return g_strdup(_("Measuring the receiver output delay from 1PPS (15 s)..."));
    gchar* known = spread >= 0
                       ? g_strdup_printf(_("Receiver output delay: %d ms ± %d ms, learned from 1PPS"), delay, spread)
                       : g_strdup_printf(_("Receiver output delay: %d ms, entered by hand"), delay);
    if (state != -1)
        return known;
    gchar* text = g_strdup_printf("%s\n%s", _("No 1PPS pulses came: the delay was not measured."), known);
    g_free(known);
    return text;
}

void on_spin_changed(GtkSpinButton* spin, gpointer)
{
    int delay = gtk_spin_button_get_value_as_int(spin);
    nmea_delay_ms.store(delay);
    nmea_delay_spread_ms.store(-1);
    settings_post_int(settings_keys::nmea_delay_ms, delay);
    settings_post_int(settings_keys::nmea_delay_spread_ms, -1);
    nmea_delay_frame_refresh();
}

void on_measure_clicked(GtkButton*, gpointer)
{
    nmea_delay_measure_state.store(1);
    nmea_delay_measure_request.store(1);
    nmea_delay_frame_refresh();
}

void on_compensate_toggled(GtkToggleButton* check, gpointer)
{
    bool on = gtk_toggle_button_get_active(check);
    nmea_compensate.store(on ? 1 : 0);
    settings_post_bool(settings_keys::nmea_compensate, on);
}

void on_frame_destroyed(GtkWidget*, gpointer) { delay_widgets = DelayWidgets{}; }

GtkWidget* measure_row()
{
    GtkWidget* row = gtk_hbox_new(FALSE, 6);
    GtkWidget* caption = gtk_label_new(_("Delay, ms:"));
    gtk_box_pack_start(GTK_BOX(row), caption, FALSE, FALSE, 0);
    delay_widgets.spin = gtk_spin_button_new_with_range(0, kNmeaDelayMaxMs, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(delay_widgets.spin), nmea_delay_ms.load());
    set_tip(delay_widgets.spin, _("The receiver output delay in milliseconds, for a receiver without 1PPS: "
                                  "the time from the start of a second to the first byte the receiver sends."));
    delay_widgets.spin_handler =
        g_signal_connect(delay_widgets.spin, "value-changed", G_CALLBACK(on_spin_changed), nullptr);
    gtk_box_pack_start(GTK_BOX(row), delay_widgets.spin, FALSE, FALSE, 0);
    delay_widgets.measure = gtk_button_new_with_label(_("Measure now"));
    set_tip(delay_widgets.measure, _("Measures the delay for 15 seconds from the 1PPS pulse on the line chosen "
                                     "above to the receiver's first byte, and keeps it."));
    g_signal_connect(delay_widgets.measure, "clicked", G_CALLBACK(on_measure_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(row), delay_widgets.measure, FALSE, FALSE, 0);
    return row;
}

}  // namespace

GtkWidget* nmea_delay_frame_create(void)
{
    nmea_delay_load_settings();
    delay_widgets = DelayWidgets{};
    GtkWidget* frame = titled_frame_new(_("Receiver output delay"));
    delay_widgets.frame = frame;
    g_signal_connect(frame, "destroy", G_CALLBACK(on_frame_destroyed), nullptr);
    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 6);
    gtk_container_add(GTK_CONTAINER(frame), box);

    delay_widgets.label = gtk_label_new("");
    gtk_misc_set_alignment(GTK_MISC(delay_widgets.label), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), delay_widgets.label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), measure_row(), FALSE, FALSE, 0);

    delay_widgets.compensate =
        gtk_check_button_new_with_label(_("Compensate the receiver output delay when correcting without 1PPS"));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(delay_widgets.compensate), nmea_compensate.load() != 0);
    set_tip(delay_widgets.compensate, _("Without 1PPS the clock is set to the time of the sentence plus this delay "
                                        "plus the time since the receiver began sending that second."));
    g_signal_connect(delay_widgets.compensate, "toggled", G_CALLBACK(on_compensate_toggled), nullptr);
    gtk_box_pack_start(GTK_BOX(box), delay_widgets.compensate, FALSE, FALSE, 0);
    nmea_delay_frame_refresh();
    return frame;
}

void nmea_delay_frame_refresh(void)
{
    DelayWidgets& w = delay_widgets;
    if (!w.frame)
        return;
    int delay = nmea_delay_ms.load(), spread = nmea_delay_spread_ms.load(), state = nmea_delay_measure_state.load();
    if (delay == w.shown_delay && spread == w.shown_spread && state == w.shown_state)
        return;
    w.shown_delay = delay;
    w.shown_spread = spread;
    w.shown_state = state;
    gchar* text = delay_text(delay, spread, state);
    gtk_label_set_text(GTK_LABEL(w.label), text);
    g_free(text);
    gtk_widget_set_sensitive(w.measure, state != 1);
    if (gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(w.spin)) != delay) {
        g_signal_handler_block(w.spin, w.spin_handler);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(w.spin), delay);
        g_signal_handler_unblock(w.spin, w.spin_handler);
    }
}
