// The GNSS mode's controls: the check box of the GPS configuration page, and
// the hint shown when the receiver's sentences are refused for what the mode
// accepts (one line on the GPS info page, a short form for the tray tooltip).
#pragma once

#include <gtk/gtk.h>

// Reads the setting accept_gnss_talkers (missing: FALSE) into accept_gnss_talkers.
void gnss_box_load_settings(void);

// The check box "Accept GNSS receivers (GN, GL, GA, GB talkers, whole-second
// times)" with its tooltip, loaded as above; toggling writes the setting and
// takes effect at the next sentence, without restarting the reader.
GtkWidget* gnss_box_create(void);

// The hint line: a wrapping label, hidden while there is no hint. The update
// shows, changes or hides it; call it from a tick.
GtkWidget* gnss_hint_label_new(void);
void gnss_hint_label_update(GtkWidget* label);

// The hint as the info page shows it, and its short form for the tray
// tooltip; null when there is no hint. Translated; valid until the next call
// of the same function (GUI thread only).
const char* gnss_hint_text(void);
const char* gnss_hint_short(void);
