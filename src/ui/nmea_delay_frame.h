// The receiver output delay on the GPS configuration page: what was learned
// from 1PPS or entered by hand, "Measure now", and whether corrections
// without 1PPS put the delay back.
#pragma once

#include <gtk/gtk.h>

// A frame with the delay label, the "Measure now" button, the spin button for
// the delay in ms and the "compensate" check box, loaded from the settings.
GtkWidget* nmea_delay_frame_create(void);

// Brings the label, the spin button and the button's sensitivity up to date
// with the analysis thread's measurement; for the 50 ms tick. Does nothing
// while no frame exists.
void nmea_delay_frame_refresh(void);
