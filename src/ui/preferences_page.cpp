// Preferences page: start with the desktop session, start in the tray, keep above others.
#include "src/ui/preferences_page.h"

#include "common/shell_folder.h"
#include "platform/desktop_entry.h"
#include "platform/process.h"
#include "src/correction/prestep_check.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/widget_helpers.h"

#include <glib/gi18n.h>
#include <string>

namespace {

constexpr char autostart_name[] = "Satclock";
constexpr char autostart_file[] = "/satclock.desktop";

std::string autostart_entry_path()
{
    char folder[4096];
    if (get_shell_folder(folder, sizeof folder, "Startup") != 1)
        return {};
    return folder + std::string(autostart_file);
}

}  // namespace

void preferences_page_load_settings()
{
    using namespace settings_keys;
    settings_load(auto_run, app_settings.auto_run);
    settings_load(turn_to_tray, app_settings.turn_to_tray);
    settings_load(above_all, app_settings.above_all);
    settings_load(notify_corrections, app_settings.notify_corrections);
    settings_load(min_satellites, app_settings.min_satellites);
    settings_load(step_cap_minutes, app_settings.step_cap_minutes);
    prestep_min_satellites.store(app_settings.min_satellites);
    prestep_step_cap_minutes.store(app_settings.step_cap_minutes);
}

namespace {

void on_min_satellites_changed(GtkSpinButton* spin, gpointer)
{
    app_settings.min_satellites = gtk_spin_button_get_value_as_int(spin);
    prestep_min_satellites.store(app_settings.min_satellites);
    settings_post_int(settings_keys::min_satellites, app_settings.min_satellites);
}

void on_step_cap_changed(GtkSpinButton* spin, gpointer)
{
    app_settings.step_cap_minutes = gtk_spin_button_get_value_as_int(spin);
    prestep_step_cap_minutes.store(app_settings.step_cap_minutes);
    settings_post_int(settings_keys::step_cap_minutes, app_settings.step_cap_minutes);
}

// A caption and a spin button in a row, with the tip on both.
void spin_row(GtkWidget* box, const char* caption, const char* tip, int low, int high, int value, GCallback changed)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 6);
    GtkWidget* label = gtk_label_new(caption);
    GtkWidget* spin = gtk_spin_button_new_with_range(low, high, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
    set_tip(label, tip);
    set_tip(spin, tip);
    g_signal_connect(spin, "value-changed", changed, nullptr);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), spin, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
}

// What a correction needs before it sets the clock.
void build_before_step(GtkWidget* page)
{
    GtkWidget* box = add_frame(page, _("Before setting the clock"), 0, 1, 1, GTK_FILL);
    spin_row(box, _("Satellites in use, at least:"),
             _("A correction waits until the receiver uses this many satellites; 0: a fix is enough."), 0, 24,
             app_settings.min_satellites, G_CALLBACK(on_min_satellites_changed));
    spin_row(box, _("Ask before a step larger than, minutes:"),
             _("A correction that would move the clock further than this waits until you say yes in the window; "
               "0: never ask."),
             0, 1000000, app_settings.step_cap_minutes, G_CALLBACK(on_step_cap_changed));
}

void on_notify_toggled(GtkToggleButton* button, gpointer)
{
    app_settings.notify_corrections = gtk_toggle_button_get_active(button);
    settings_post_bool(settings_keys::notify_corrections, app_settings.notify_corrections);
}

GtkWidget* check_box(GtkWidget* box, const char* text, const char* tip, bool value)
{
    GtkWidget* button = gtk_check_button_new_with_label(text);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), value);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    if (shared_tooltips)
        gtk_tooltips_set_tip(shared_tooltips, button, tip, nullptr);
    return button;
}

}  // namespace

GtkWidget* create_preferences_page()
{
    preferences_page_load_settings();
    if (app_settings.auto_run)
        autostart_register();
    else
        autostart_unregister();

    GtkWidget* page = gtk_table_new(2, 1, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(page), 4);
    GtkWidget* box = add_frame(page, _("General Options"), 0, 1, 0, GTK_FILL);
    GtkWidget* auto_run = check_box(box, _("Start this Application with PC"),
                                    _("Launch Satclock  every time Operating System starts."), app_settings.auto_run);
    GtkWidget* to_tray = check_box(box, _("Hide to system tray after start up"),
                                   _("Do not show the main dialog box when you start the Satclock."),
                                   app_settings.turn_to_tray);
    GtkWidget* above = check_box(box, _("Window always on top"), _("Whether to keep window above other windows."),
                                 app_settings.above_all);
    GtkWidget* notify = check_box(box, _("Notify me of each clock correction"),
                                  _("Shows a desktop notification when Satclock has set the clock, or could not."),
                                  app_settings.notify_corrections);
    // Connected only now, so setting the boxes above wrote nothing.
    g_signal_connect(auto_run, "clicked", G_CALLBACK(on_auto_run_toggled), nullptr);
    g_signal_connect(to_tray, "clicked", G_CALLBACK(on_turn_to_tray_toggled), nullptr);
    g_signal_connect(above, "clicked", G_CALLBACK(on_above_all_toggled), nullptr);
    g_signal_connect(notify, "toggled", G_CALLBACK(on_notify_toggled), nullptr);
    build_before_step(page);
    return page;
}

int autostart_register()
{
    std::string entry = autostart_entry_path();
    return !entry.empty() && autostart_entry_write(entry, autostart_name, process_self_path()) ? 1 : 0;
}

int autostart_unregister()
{
    std::string entry = autostart_entry_path();
    return !entry.empty() && autostart_entry_remove(entry) ? 1 : 0;
}

void on_auto_run_toggled(GtkToggleButton* button)
{
    app_settings.auto_run = gtk_toggle_button_get_active(button);
    settings_post_bool(settings_keys::auto_run, app_settings.auto_run);
    if (app_settings.auto_run)
        autostart_register();
    else
        autostart_unregister();
}

void on_turn_to_tray_toggled(GtkToggleButton* button)
{
    // Takes effect at the next start.
    app_settings.turn_to_tray = gtk_toggle_button_get_active(button);
    settings_post_bool(settings_keys::turn_to_tray, app_settings.turn_to_tray);
}

void on_above_all_toggled(GtkToggleButton* button)
{
    app_settings.above_all = gtk_toggle_button_get_active(button);
    if (main_window) {
        gtk_window_set_keep_above(GTK_WINDOW(main_window), FALSE);
        if (app_settings.above_all)
            gtk_window_set_keep_above(GTK_WINDOW(main_window), TRUE);
    }
    settings_post_bool(settings_keys::above_all, app_settings.above_all);
}
