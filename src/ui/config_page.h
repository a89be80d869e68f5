// GPS configuration page: port, speed, 1PPS line and the NMEA view.
#pragma once

#include <gtk/gtk.h>

// The widgets the handlers and the refresh tick use; each pointer goes back
// to null when its widget is destroyed.
struct ConfigPageWidgets {
    GtkWidget* port;         // text combo box of port numbers
    GtkWidget* speed;        // text combo box of the baud rates
    GtkWidget* use_pps;      // "Use 1 Pulse Per Second from GPS receiver"
    GtkWidget* pps_group;    // the line choice, state label and refresh button
    GtkWidget* use_cts;      // radio buttons
    GtkWidget* use_dsr;
    GtkWidget* pps_inverted; // check box: the pulse turns the line off
    GtkWidget* pps_state;    // the 1PPS state label
    GtkWidget* pps_refresh;  // the refresh button
    GtkWidget* show_nmea;    // "Show the received NMEA data"
};

extern ConfigPageWidgets config_widgets;

// The page widget; built once by the main window. Loads com_port, baudrate,
// use_pps, use_cts, pps_inverted and show_nmea_info and sets the 1PPS flags from them.
GtkWidget* create_config_page();

// The page's settings (port, speed, 1PPS, gpsd) into app_settings and the
// receiver's flags; the page calls it when made, the copy without a window at start-up.
void config_page_load_settings();

// Attaches a widget across the page below everything there, filling the
// width and taking no spare height.
void config_page_add_row(GtkWidget* page, GtkWidget* widget);

// The port doctor found the receiver at this speed, and the reader runs at it
// already: the speed is stored and shown, without another restart.
void config_page_speed_found(int baudrate);

// Fills the combo box with the port numbers of list_com_ports and gpsd's
// receivers, and makes the entry of port (or of the gpsd source in force)
// active (none when it is not listed). The list is gathered first, then the
// entries change in one pass; the main loop is not run meanwhile, so the
// port watch's callback may call it.
void fill_port_list(GtkWidget* combo, int port);

// Shows state_1PPS in the state label (called by the 50 ms refresh tick).
void pps_state_label_update();

// The state label's markup for a state_1PPS value (g_free it).
gchar* pps_state_markup(int state);
