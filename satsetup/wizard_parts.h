// What the wizard's frame, pages and texts share inside satsetup.
#pragma once

#include <gtk/gtk.h>
#include <string>

// Dialog units of the design (MS Sans Serif 8) in pixels: 1.5 across, 1.625
// down. The frame and its pages are at least this big and grow where a
// language needs more room.
inline constexpr int kFrameWidth = 497;
inline constexpr int kPageWidth = 483;
inline constexpr int kPageHeight = 223;
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 23;
inline constexpr int kSidePictureWidth = 140;

// The five pages (wizard_pages.cpp), built into the WizardWindow.
GtkWidget* build_welcome_page();
GtkWidget* build_license_page();
GtkWidget* build_destination_page();
GtkWidget* build_installing_page();
GtkWidget* build_finish_page();
void set_up_destination_page();
void set_up_welcome_page();

// A widget asks for at least width x height, more when its content needs it.
void request_at_least(GtkWidget* widget, int width, int height);

// Texts through translate_text (wizard_texts.cpp).
void set_label(GtkWidget* label, const char* english);
void set_button(GtkWidget* button, const char* english);
void set_check_text(GtkWidget* box, const char* english);
// Next's text on the current page.
const char* next_button_text();

// The button row's places after a text change: each button as wide as its
// text needs (the design's width at least), from the right edge (wizard_texts.cpp).
void place_buttons();

// A question with OK and Cancel over the frame; the answer.
int ask(const std::string& text, const char* caption, GtkMessageType type, bool cancel_default);
