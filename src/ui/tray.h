// The notification-area (tray) icon: its picture follows the receiver's state,
// its pop-up menu opens the window, corrects the clock, opens the help or the
// About page, or quits. Work on the main window goes through the two request
// flags, carried out by the main loop as soon as it is idle. The picture and
// the tooltip follow the receiver's changes (tray_follow_receiver), whether the
// window is shown or not.
#pragma once

#include <atomic>
#include <gtk/gtk.h>

// Requests polled by tray_poll_requests: show the main window, and show it on
// the About page. Set to 1 by the tray, cleared by the poll.
extern std::atomic<int> show_main_request;
extern std::atomic<int> show_about_request;

// The icon; null when none was added (or it was removed).
extern GtkStatusIcon* tray_status_icon;
// The state the icon was last asked to show; -1 at start.
extern int tray_icon_state;

// Icon states: nothing usable received, the receiver reports no fix, a valid fix.
enum TrayState { tray_no_data = 1, tray_no_fix = 2, tray_fix = 3 };

// Command ids of the pop-up menu, in the menu's order (a separator before Quit).
enum TrayCommand { tray_settings = 0, tray_correct_now = 1, tray_help = 2, tray_about = 3, tray_quit = 4 };

// Puts the icon (state 1 picture, tooltip "Satclock") into the notification
// area. 1 when the icon exists, 0 when its picture is missing (no icon).
int tray_icon_add();

// Takes the icon away. 1 when there was one.
int tray_icon_remove();

// Shows the picture of a state. 1 when the state is shown already (nothing is
// touched) or the picture was changed; 0 for an unknown state, which is
// recorded all the same, or when there is no icon or picture.
int tray_icon_set_state(int state);
// The icon's tooltip: "Satclock", with the hint as a second line when one is
// given (null: none). Touches the icon only when the text changes.
void tray_icon_set_hint(const char* hint);

// Carries out a pending show request on the main window (and the About page).
void tray_poll_requests();

// The picture and tooltip of the receiver's state now.
void tray_follow_receiver();
// From now on the receiver's changes (receiver_view.h) bring the tray up to
// date on the GUI thread, one refresh at a time.
void tray_follow_receiver_changes();

// Whether a notification area has taken the icon in.
bool tray_icon_embedded();

// With "Hide to system tray after start up": leaves the main window hidden
// while a notification area takes the icon in; when none has within a few
// seconds, says so on standard error and shows the window.
void tray_keep_hidden_or_show();

// The pop-up menu as built at each right click: items carry their command id.
GtkWidget* tray_menu_new();

// What a chosen menu item does.
void tray_on_command(int command);
