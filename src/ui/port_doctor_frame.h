// The "Port doctor" frame of the GPS configuration page: the port's modem
// lines, bytes and sentences a second, checksum failures and a verdict in
// plain words, refreshed while the page is shown, and a button that finds
// the receiver's speed.
#pragma once

#include "src/receiver/port_doctor.h"

#include <gtk/gtk.h>
#include <string>

struct PortDoctorWidgets {
    GtkWidget* lines;    // the four modem lines
    GtkWidget* data;     // bytes, sentences and checksum failures a second
    GtkWidget* verdict;  // what to do, in plain words
    GtkWidget* search;   // "Find the speed"
    GtkWidget* search_state;
};

extern PortDoctorWidgets doctor_widgets;

GtkWidget* port_doctor_frame_create();

// The texts, without widgets.
std::string doctor_lines_text(const DoctorReading& reading);
std::string doctor_data_text(const DoctorReading& reading);
std::string doctor_verdict_text(const DoctorVerdict& verdict);
