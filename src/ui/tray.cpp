// The tray icon as a GtkStatusIcon on the GUI thread (XEmbed notification
// area): state pictures from the bundle, a pop-up menu built at each right
// click, a double click to show the window.
#include "src/ui/tray.h"

#include "src/correction/analiz.h"
#include "src/receiver/receiver_state.h"
#include "src/receiver/receiver_threads.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/notify.h"
#include "src/ui/status_line.h"
#include "src/ui/widget_helpers.h"
#include "src/ui/help.h"
#include "src/ui/main_window.h"
#include "src/ui/resources.h"

#include <cstdio>
#include <glib/gi18n.h>
#include <string>

std::atomic<int> show_main_request{0};
std::atomic<int> show_about_request{0};
GtkStatusIcon* tray_status_icon = nullptr;
int tray_icon_state = -1;

namespace {

constexpr char tray_tooltip[] = "Satclock";
constexpr int about_page = 3;
// How long a notification area has to take the icon in before the window is
// shown after all; polled every check_period_ms.
constexpr int embed_wait_ms = 3000;
constexpr int check_period_ms = 50;

// The tooltip the icon shows now.
std::string tray_tooltip_shown = tray_tooltip;

// The menu last popped up; destroyed when it is done or replaced.
GtkWidget* tray_menu = nullptr;

const char* state_picture(int state)
{
    switch (state) {
    case tray_no_data:
        return "tray_nodata.png";
    case tray_no_fix:
        return "tray_nofix.png";
    case tray_fix:
        return "tray_fix.png";
    default:
        return nullptr;
    }
}

struct MenuRow {
    int command;  // -1: separator
    const char* text;
};

constexpr MenuRow menu_rows[] = {
    {tray_settings, N_("Settings")}, {tray_correct_now, N_("Correct PC Clock Now")},
    {tray_help, N_("Help")},         {tray_about, N_("About program")},
    {-1, nullptr},                   {tray_quit, N_("Quit")},
};

gboolean poll_requests_once(gpointer)
{
    tray_poll_requests();
    return G_SOURCE_REMOVE;
}

// Raises a show request and has the main loop carry it out at once.
void request_show(bool about)
{
    if (about)
        show_about_request.store(1);
    show_main_request.store(1);
    g_idle_add(poll_requests_once, nullptr);
}

// The receiver's changes come from its threads.
GuiRefresh follow_refresh{tray_follow_receiver};

void post_follow() { gui_refresh_post(follow_refresh); }

void on_menu_item_activate(GtkMenuItem*, gpointer command)
{
    tray_on_command(GPOINTER_TO_INT(command));
}

gboolean quit_on_gui_thread(gpointer)
{
    // The window's destroy handler runs the shutdown.
    if (main_window)
        gtk_widget_destroy(main_window);
    return FALSE;
}

void on_popup_menu(GtkStatusIcon* icon, guint button, guint activate_time, gpointer)
{
    if (tray_menu)
        gtk_widget_destroy(tray_menu);
    tray_menu = tray_menu_new();
    g_object_add_weak_pointer(G_OBJECT(tray_menu), reinterpret_cast<gpointer*>(&tray_menu));
    g_signal_connect(tray_menu, "selection-done", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_menu_popup(GTK_MENU(tray_menu), nullptr, nullptr, gtk_status_icon_position_menu, icon, button,
                   activate_time);
}

gboolean on_button_press(GtkStatusIcon*, GdkEventButton* event, gpointer)
{
    if (event->button == 1 && event->type == GDK_2BUTTON_PRESS)
        request_show(false);
    return FALSE;
}

gboolean check_embedded(gpointer waited_ms)
{
    int waited = GPOINTER_TO_INT(waited_ms);
    if (!main_window || tray_icon_embedded())
        return FALSE;
    if (tray_status_icon && waited < embed_wait_ms) {
        g_timeout_add(check_period_ms, check_embedded, GINT_TO_POINTER(waited + check_period_ms));
        return FALSE;
    }
    // Hidden with no icon to call it back, the window could not be reached.
    std::fprintf(stderr, "satclock: %s: \"Hide to system tray after start up\" is ignored and the window is shown\n",
                 tray_status_icon ? "no notification area took the tray icon in" : "there is no tray icon");
    gtk_widget_show(main_window);
    return FALSE;
}

}  // namespace

int tray_icon_add()
{
    if (tray_status_icon)
        return 1;
    GdkPixbuf* picture = res_load_pixbuf(state_picture(tray_no_data));
    if (!picture)
        return 0;
    tray_status_icon = gtk_status_icon_new_from_pixbuf(picture);
    g_object_unref(picture);
    gtk_status_icon_set_tooltip_text(tray_status_icon, tray_tooltip);
    tray_tooltip_shown = tray_tooltip;
    gtk_status_icon_set_title(tray_status_icon, tray_tooltip);
    g_signal_connect(tray_status_icon, "popup-menu", G_CALLBACK(on_popup_menu), nullptr);
    g_signal_connect(tray_status_icon, "button-press-event", G_CALLBACK(on_button_press), nullptr);
    return 1;
}

int tray_icon_remove()
{
    tray_icon_state = -1;
    if (tray_menu)
        gtk_widget_destroy(tray_menu);
    if (!tray_status_icon)
        return 0;
    gtk_status_icon_set_visible(tray_status_icon, FALSE);
    g_object_unref(tray_status_icon);
    tray_status_icon = nullptr;
    return 1;
}

int tray_icon_set_state(int state)
{
    if (state == tray_icon_state)
        return 1;
    tray_icon_state = state;
    const char* picture_name = state_picture(state);
    if (!picture_name || !tray_status_icon)
        return 0;
    GdkPixbuf* picture = res_load_pixbuf(picture_name);
    if (!picture)
        return 0;
    gtk_status_icon_set_from_pixbuf(tray_status_icon, picture);
    g_object_unref(picture);
    return 1;
}

void tray_icon_set_hint(const char* hint)
{
    std::string text = tray_tooltip;
    if (hint && *hint)
        text.append("\n").append(hint);
    if (text == tray_tooltip_shown || !tray_status_icon)
        return;
    tray_tooltip_shown = text;
    gtk_status_icon_set_tooltip_text(tray_status_icon, text.c_str());
}

bool tray_icon_embedded()
{
    return tray_status_icon && gtk_status_icon_is_embedded(tray_status_icon);
}

void tray_keep_hidden_or_show()
{
    check_embedded(GINT_TO_POINTER(0));
}

void tray_poll_requests()
{
    if (!show_main_request.load() || !main_window)
        return;
    if (!gtk_widget_get_realized(main_window))
        gtk_widget_realize(main_window);
    if (show_about_request.exchange(0) && main_notebook)
        gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), about_page);
    GtkWindow* window = GTK_WINDOW(main_window);
    gtk_widget_show(main_window);
    gtk_window_deiconify(window);
    // Keeping it above for a moment raises it over the others.
    gtk_window_set_keep_above(window, TRUE);
    if (!app_settings.above_all)
        gtk_window_set_keep_above(window, FALSE);
    if (main_window->window)
        gdk_window_show(main_window->window);
    gtk_window_present(window);
    show_main_request.store(0);
}

void tray_follow_receiver()
{
    int quality = receiver_fix().fix_quality;
    tray_icon_set_state(quality > 0 ? tray_fix : quality == 0 ? tray_no_data : tray_no_fix);
    tray_icon_set_hint(tray_tooltip_lines().c_str());
    // The desktop notification of a correction comes also while the window is hidden.
    correction_notice_poll(correction_result_now());
}

void tray_follow_receiver_changes() { receiver_set_view_listener(post_follow); }

GtkWidget* tray_menu_new()
{
    bool have_fix = receiver_fix().fix_quality > 0;
    GtkWidget* menu = gtk_menu_new();
    for (const MenuRow& row : menu_rows) {
        GtkWidget* item = row.text ? gtk_menu_item_new_with_label(_(row.text)) : gtk_separator_menu_item_new();
        if (row.command == tray_correct_now)
            gtk_widget_set_sensitive(item, have_fix);
        if (row.text)
            g_signal_connect(item, "activate", G_CALLBACK(on_menu_item_activate), GINT_TO_POINTER(row.command));
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    return menu;
}

void tray_on_command(int command)
{
    // Quit has begun: the icon is about to go, and a help viewer started now would stay.
    if (!main_window)
        return;
    switch (command) {
    case tray_settings:
        request_show(false);
        break;
    case tray_correct_now:
        correct_time_request.store(1);
        break;
    case tray_help:
        help_show();
        break;
    case tray_about:
        request_show(true);
        break;
    case tray_quit:
        // The menu is still being taken down: the window goes once it is.
        g_idle_add(quit_on_gui_thread, nullptr);
        break;
    default:
        break;
    }
}
