// GPS configuration page: port (or gpsd's receiver), speed, 1PPS line and the NMEA view.
#include "src/ui/config_page.h"

#include "src/correction/analiz.h"
#include "src/receiver/receiver_sources.h"
#include "src/receiver/receiver_state.h"
#include "src/receiver/receiver_threads.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/gnss_box.h"
#include "src/ui/nmea_delay_frame.h"
#include "src/ui/nmea_view.h"
#include "src/ui/port_doctor_frame.h"
#include "src/ui/status_line.h"
#include "src/ui/widget_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <glib/gi18n.h>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

ConfigPageWidgets config_widgets{};

namespace {

constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

const GtkAttachOptions kFill = GTK_FILL;
const GtkAttachOptions kExpandFill = GtkAttachOptions(GTK_EXPAND | GTK_FILL);

int port_entries = 0;             // entries of the port combo box from its last filling
bool port_list_refilling = false; // set while fill_port_list changes the entries
bool speed_showing = false;       // set while the speed box follows a speed found by the port doctor

// The port list follows ports coming and going while the page lives.
std::vector<guint> port_watch_sources;

enum PortColumn { port_number_column, port_device_column, port_columns };

std::string gpsd_source;  // setting "gpsd_host": "" the port is read, as designed
// The source text of each gpsd entry, which follow the port numbers in the list.
std::vector<std::string> gpsd_entries;

// ---- widget helpers ----

// A label and a combo box (a text one when none is given) side by side,
// both with the tip.
GtkWidget* add_combo_row(GtkWidget* box, const char* text, const char* tip, GtkWidget* combo = nullptr)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 4);
    GtkWidget* label = gtk_label_new(text);
    if (!combo)
        combo = gtk_combo_box_new_text();
    set_tip(label, tip);
    set_tip(combo, tip);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), combo, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
    return combo;
}

// The decimal value of the active entry; false when none is active.
bool active_number(GtkComboBox* combo, int& number)
{
    gchar* text = gtk_combo_box_get_active_text(combo);
    if (text)
        number = std::atoi(text);
    g_free(text);
    return text != nullptr;
}

}  // namespace

// ---- settings and the receiver ----

void config_page_load_settings()
{
    settings_load(settings_keys::com_port, app_settings.com_port);
    settings_load(settings_keys::baudrate, app_settings.baudrate);
    settings_load(settings_keys::use_pps, app_settings.use_pps);
    settings_load(settings_keys::use_cts, app_settings.use_cts);
    settings_load(settings_keys::pps_inverted, app_settings.pps_inverted);
    settings_load(settings_keys::show_nmea_info, app_settings.show_nmea_info);
    settings_load(settings_keys::gpsd_host, gpsd_source);
    receiver_use_gpsd(gpsd_source);
    use_pps.store(app_settings.use_pps ? 1 : 0);
    pps_use_cts.store(app_settings.use_cts ? 1 : 0);
    receiver_invert_pulse(app_settings.pps_inverted);
}

namespace {

// A new port or speed: the reader starts again on it, and nothing decoded
// from the old line is kept. The reader does it on its own thread.
void restart_receiver()
{
    receiver_restart(app_settings.com_port, app_settings.baudrate);
}

// A text combo box (column 0, the port number) that also shows each port's
// device and receiver in a second, greyed column.
GtkWidget* port_combo_new()
{
    GtkListStore* store = gtk_list_store_new(port_columns, G_TYPE_STRING, G_TYPE_STRING);
    GtkWidget* combo = gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    GtkCellRenderer* number = gtk_cell_renderer_text_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), number, FALSE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), number, "text", port_number_column);
    GtkCellRenderer* device = gtk_cell_renderer_text_new();
    g_object_set(device, "foreground", "#777", "scale", 0.8333333333333, nullptr);
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), device, TRUE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), device, "text", port_device_column);
    return combo;
}

gboolean on_ports_changed(GIOChannel*, GIOCondition, gpointer)
{
    if (receiver_port_watch_drain() && config_widgets.port)
        fill_port_list(config_widgets.port, app_settings.com_port);
    return TRUE;
}

void stop_port_watch(GtkWidget*, gpointer)
{
    for (guint source : port_watch_sources)
        g_source_remove(source);
    port_watch_sources.clear();
    receiver_port_watch_stop();
}

void start_port_watch(GtkWidget* combo)
{
    stop_port_watch(nullptr, nullptr);
    for (int fd : receiver_port_watch_start()) {
        GIOChannel* channel = g_io_channel_unix_new(fd);
        port_watch_sources.push_back(g_io_add_watch(channel, G_IO_IN, on_ports_changed, nullptr));
        g_io_channel_unref(channel);
    }
    g_signal_connect(combo, "destroy", G_CALLBACK(stop_port_watch), nullptr);
}

// ---- handlers ----

// Another source: "" the port, else a gpsd entry's.
void choose_source(const std::string& source)
{
    gpsd_source = source;
    settings_post_string(settings_keys::gpsd_host, source);
    receiver_use_gpsd(source);
}

void on_port_changed(GtkComboBox* combo, gpointer)
{
    if (port_list_refilling)
        return;
    int entry = gtk_combo_box_get_active(combo);
    int gpsd_entry = entry - (port_entries - int(gpsd_entries.size()));
    if (entry >= 0 && gpsd_entry >= 0) {
        if (gpsd_entries[size_t(gpsd_entry)] == gpsd_source && receiver_running())
            return;
        choose_source(gpsd_entries[size_t(gpsd_entry)]);
        restart_receiver();
        return;
    }
    int port = 0;
    if (!active_number(combo, port))
        return;
    if (port == app_settings.com_port && gpsd_source.empty() && receiver_running())
        return;
    app_settings.com_port = port;
    settings_post_int(settings_keys::com_port, port);
    if (!gpsd_source.empty())
        choose_source("");
    restart_receiver();
}

void on_speed_changed(GtkComboBox* combo, gpointer)
{
    if (speed_showing)
        return;
    int baudrate = app_settings.baudrate;
    active_number(combo, baudrate);
    app_settings.baudrate = baudrate;
    settings_post_int(settings_keys::baudrate, baudrate);
    restart_receiver();
}

void on_use_pps_toggled(GtkToggleButton* check, gpointer)
{
    app_settings.use_pps = gtk_toggle_button_get_active(check);
    use_pps.store(app_settings.use_pps ? 1 : 0);
    if (config_widgets.pps_group)
        gtk_widget_set_sensitive(config_widgets.pps_group, app_settings.use_pps);
    settings_post_bool(settings_keys::use_pps, app_settings.use_pps);
}

// Another line: what was measured on the old one no longer holds.
void on_use_cts_toggled(GtkToggleButton* cts, gpointer)
{
    app_settings.use_cts = gtk_toggle_button_get_active(cts);
    receiver_choose_pulse_line(app_settings.use_cts);
    settings_post_bool(settings_keys::use_cts, app_settings.use_cts);
    set_markup(config_widgets.pps_state, pps_state_markup(-1));
}

// The other edge of the pulse leads from now on.
void on_pps_inverted_toggled(GtkToggleButton* check, gpointer)
{
    app_settings.pps_inverted = gtk_toggle_button_get_active(check);
    receiver_invert_pulse(app_settings.pps_inverted);
    settings_post_bool(settings_keys::pps_inverted, app_settings.pps_inverted);
}

// The analysis thread measures the line at its next received byte.
void on_pps_refresh_clicked(GtkButton*, gpointer)
{
    receiver_check_pulse();
    set_markup(config_widgets.pps_state, pps_state_markup(2));
}

void on_show_nmea_toggled(GtkToggleButton* check, gpointer)
{
    app_settings.show_nmea_info = gtk_toggle_button_get_active(check);
    settings_post_bool(settings_keys::show_nmea_info, app_settings.show_nmea_info);
}

// ---- the three frames ----

void build_port_row(GtkWidget* box)
{
    GtkWidget* combo = keep(config_widgets.port,
                            add_combo_row(box, _("COM port:"),
                                          _("The communication port must be set to the same port the GPS receiver "
                                            "is connected to."),
                                          port_combo_new()));
    port_entries = 0;
    fill_port_list(combo, app_settings.com_port);
    g_signal_connect(combo, "changed", G_CALLBACK(on_port_changed), nullptr);
    start_port_watch(combo);
}

void build_speed_row(GtkWidget* box)
{
    GtkWidget* combo = keep(config_widgets.speed,
                            add_combo_row(box, _("Baud rate:"),
                                          _("The standard NMEA baud rate is 4800 baud. If your GPS receiver have "
                                            "another baud rate, then select it.")));
    // The speed in force is always shown: one the list lacks gets an entry of its own.
    std::vector<int> speeds(std::begin(kBaudRates), std::end(kBaudRates));
    if (std::find(speeds.begin(), speeds.end(), app_settings.baudrate) == speeds.end())
        speeds.insert(std::upper_bound(speeds.begin(), speeds.end(), app_settings.baudrate), app_settings.baudrate);
    for (size_t index = 0; index < speeds.size(); ++index) {
        gchar* text = g_strdup_printf("%d", speeds[index]);
        gtk_combo_box_append_text(GTK_COMBO_BOX(combo), text);
        g_free(text);
        if (speeds[index] == app_settings.baudrate)
            gtk_combo_box_set_active(GTK_COMBO_BOX(combo), int(index));
    }
    g_signal_connect(combo, "changed", G_CALLBACK(on_speed_changed), nullptr);
}

GtkWidget* build_line_choice()
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* cts = keep(config_widgets.use_cts, gtk_radio_button_new_with_label(nullptr, _("Use CTS")));
    GtkWidget* dsr = keep(config_widgets.use_dsr,
                          gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(cts), _("Use DSR")));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(app_settings.use_cts ? cts : dsr), TRUE);
    const char* tip = _("Selects the RS-232 hardware line to be used as the 1PPS input.");
    set_tip(cts, tip);
    set_tip(dsr, tip);
    g_signal_connect(cts, "toggled", G_CALLBACK(on_use_cts_toggled), nullptr);
    gtk_box_pack_start(GTK_BOX(row), cts, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), dsr, FALSE, FALSE, 0);
    GtkWidget* inverted = keep(config_widgets.pps_inverted,
                               check_box_new(_("Pulse is inverted"),
                                             _("Tick it when the receiver's pulse line rests on and turns off at the "
                                               "top of the second. The second begins at the pulse's leading edge; "
                                               "the other edge only measures the pulse's width."),
                                             app_settings.pps_inverted, G_CALLBACK(on_pps_inverted_toggled)));
    gtk_box_pack_start(GTK_BOX(row), inverted, FALSE, FALSE, 8);
    return row;
}

GtkWidget* build_state_row()
{
    GtkWidget* row = gtk_hbox_new(FALSE, 8);
    GtkWidget* label = keep(config_widgets.pps_state, gtk_label_new(nullptr));
    gchar* markup = g_markup_printf_escaped("%s: <span foreground=\"#f00\">%s</span>", _("State"), _("No PPS signal"));
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    set_tip(label, _("Here you can see state of the 1PPS signal after click on 'Refresh' button"));
    GtkWidget* button = keep(config_widgets.pps_refresh, gtk_button_new());
    gtk_container_add(GTK_CONTAINER(button), gtk_image_new_from_stock(GTK_STOCK_REFRESH, GTK_ICON_SIZE_BUTTON));
    set_tip(button, _("Click this button for check availability of the 1PPS signal on DSR or CTS line."));
    g_signal_connect(button, "clicked", G_CALLBACK(on_pps_refresh_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(row), button, FALSE, FALSE, 0);
    return row;
}

void build_pps_settings(GtkWidget* box)
{
    GtkWidget* check = keep(config_widgets.use_pps,
                            check_box_new(_("Use 1 Pulse Per Second from GPS receiver"),
                                          _("When this check-box is selected, Satclock waits for the RS-232 DSR or "
                                            "CTS line to change state before setting the PC clock."),
                                          app_settings.use_pps, G_CALLBACK(on_use_pps_toggled)));
    gtk_box_pack_start(GTK_BOX(box), check, FALSE, FALSE, 0);

    GtkWidget* group = keep(config_widgets.pps_group, gtk_vbox_new(FALSE, 4));
    gtk_box_pack_start(GTK_BOX(group), build_line_choice(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(group), build_state_row(), FALSE, FALSE, 0);
    gtk_widget_set_sensitive(group, app_settings.use_pps);
    gtk_box_pack_start(GTK_BOX(box), group, FALSE, FALSE, 0);
}

void build_debug_view(GtkWidget* box)
{
    GtkWidget* check = keep(config_widgets.show_nmea,
                            check_box_new(_("Show the received NMEA data"),
                                          _("Click this check-box if you want to see the raw data in NMEA format "
                                            "received from COM port."),
                                          app_settings.show_nmea_info, G_CALLBACK(on_show_nmea_toggled)));
    gtk_box_pack_start(GTK_BOX(box), check, FALSE, FALSE, 0);
    GtkWidget* view = nmea_view_new();
    set_tip(nmea_view_widget(), _("Here you can see list of the NMEA sentences received from COM port."));
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
}

}  // namespace

GtkWidget* create_config_page()
{
    config_page_load_settings();
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 4);
    GtkWidget* communication = add_frame(table, _("Communication settings"), 0, 1, 0, kFill);
    build_port_row(communication);
    build_speed_row(communication);
    gtk_box_pack_start(GTK_BOX(communication), gnss_box_create(), FALSE, FALSE, 0);
    build_pps_settings(add_frame(table, _("PPS Settings"), 1, 2, 0, kFill));
    gtk_table_attach(GTK_TABLE(table), nmea_delay_frame_create(), 0, 2, 1, 2, kExpandFill, kFill, 2, 2);
    build_debug_view(add_frame(table, _("Debug View"), 0, 2, 2, kExpandFill));
    config_page_add_row(table, port_doctor_frame_create());
    return table;
}

void config_page_speed_found(int baudrate)
{
    app_settings.baudrate = baudrate;
    settings_post_int(settings_keys::baudrate, baudrate);
    if (!config_widgets.speed)
        return;
    speed_showing = true;
    int index = 0;
    for (int listed : kBaudRates) {
        if (listed == baudrate)
            gtk_combo_box_set_active(GTK_COMBO_BOX(config_widgets.speed), index);
        ++index;
    }
    speed_showing = false;
}

void config_page_add_row(GtkWidget* page, GtkWidget* widget)
{
    guint rows = 0;
    g_object_get(page, "n-rows", &rows, nullptr);
    gtk_table_attach(GTK_TABLE(page), widget, 0, 2, rows, rows + 1, kExpandFill, kFill, 2, 2);
}

namespace {

// "gpsd (localhost:2947): /dev/ttyACM0".
std::string gpsd_entry_text(const GpsdEntry& entry)
{
    return "gpsd (" + entry.address + ")" + (entry.device.empty() ? "" : ": " + entry.device);
}

// The port list as it is to be shown, gathered before any widget changes:
// each row's text and greyed note, the gpsd sources of the rows after the
// port numbers, and the row of the source in force (-1 none).
struct PortListRows {
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<std::string> gpsd_sources;
    int active = -1;
};

PortListRows gather_port_rows(int port)
{
    PortListRows list;
    std::vector<int> ports = receiver_ports();
    // The port in force is always shown, also when it is not there now.
    if (port > 0 && std::find(ports.begin(), ports.end(), port) == ports.end())
        ports.insert(std::upper_bound(ports.begin(), ports.end(), port), port);
    for (int number : ports) {
        if (number == port && gpsd_source.empty())
            list.active = int(list.rows.size());
        list.rows.emplace_back(std::to_string(number), receiver_port_description(number));
    }
    gchar* cost = g_strdup_printf(_("through gpsd: about %d ms later without 1PPS"), kGpsdExtraDelayMs);
    for (const GpsdEntry& entry : receiver_gpsd_entries(gpsd_source)) {
        if (entry.source == gpsd_source)
            list.active = int(list.rows.size());
        list.rows.emplace_back(gpsd_entry_text(entry), cost);
        list.gpsd_sources.push_back(entry.source);
    }
    g_free(cost);
    return list;
}

}  // namespace

void fill_port_list(GtkWidget* combo, int port)
{
    PortListRows list = gather_port_rows(port);
    port_list_refilling = true;
    for (int entry = port_entries - 1; entry >= 0; --entry)
        gtk_combo_box_remove_text(GTK_COMBO_BOX(combo), entry);
    GtkListStore* store = GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)));
    for (const auto& [text, note] : list.rows) {
        GtkTreeIter row;
        gtk_list_store_append(store, &row);
        gtk_list_store_set(store, &row, port_number_column, text.c_str(), port_device_column, note.c_str(), -1);
    }
    gpsd_entries = std::move(list.gpsd_sources);
    port_list_refilling = false;
    port_entries = int(list.rows.size());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), list.active);
}

gchar* pps_state_markup(int state)
{
    switch (state) {
    case 0:
        return g_markup_printf_escaped("%s: <span foreground=\"#e00\">%s</span>", _("State"), _("No PPS signal"));
    case 1: {
        int width_ms = receiver_pulse_width_ms();
        if (width_ms > 0)
            return g_markup_printf_escaped("%s: <span foreground=\"#0a0\">%s</span>, %s", _("State"),
                                           _("PPS signal is present"), pps_pulse_text(width_ms).c_str());
        return g_markup_printf_escaped("%s: <span foreground=\"#0a0\">%s</span>", _("State"),
                                       _("PPS signal is present"));
    }
    case 2:
        return g_markup_printf_escaped("%s: %s", _("State"), _("Getting the state..."));
    default:
        return g_markup_printf_escaped("%s: %s", _("State"), _("Unknown"));
    }
}

void pps_state_label_update()
{
    set_markup(config_widgets.pps_state, pps_state_markup(state_1PPS.load()));
}
