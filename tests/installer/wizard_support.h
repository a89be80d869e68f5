// Driving the setup wizard in-process under Xvfb.
#pragma once

#include <functional>
#include <gtk/gtk.h>
#include "tests/support/gtk_display.h"
#include <string>
#include <vector>

// gtk_init_check once per process; false without a display.
bool wizard_display();
// The next message box that shows up gets this answer; its text is kept.
void answer_next_message(int response, std::string* text = nullptr);
// The next message boxes get these answers in turn; their texts are kept.
void answer_next_messages(const std::vector<int>& responses, std::vector<std::string>* texts);
std::string label_text(GtkWidget* label);
std::string button_text(GtkWidget* button);
std::string window_title();
bool is_ticked(GtkWidget* box);
// Builds a fresh wizard from a command line, with the installer's state reset.
void open_wizard(const std::string& command_line = "");
// Closes a wizard still open (as the window's close button would, answering OK).
void close_wizard();
// Clicks Next until the page is reached.
void next_to(int page);
// The texts that do not get the room they ask for on the shown page: a
// button's, or the page's own lines. Empty when everything fits.
std::string what_is_cut();
