// The confirmation window, the running-program prompt and the result messages.
#include "uninstall/uninstall_window.h"

#include "common/install_text.h"
#include "common/process_list.h"
#include "common/program_version.h"
#include "common/user_admin.h"
#include "uninstall/elevation.h"
#include "uninstall/uninstall_procedure.h"
#include "uninstall/uninstall_texts.h"

#include <algorithm>

namespace {

constexpr char kNowRemoved[] = "Now Satclock %s will be removed from your computer.";
constexpr char kClickNext[] =
    "Click Next if you wish to completely remove Satclock.\n\n\rClick Cancel if you want to quit Uninstall.";

UninstallWindow widgets;
std::string program_path;  // the uninstaller's own file
bool elevated_copy = false;

// Sizes in the dialog units of the design: a quarter of the font's mean
// character width across, an eighth of its height down.
struct DialogUnits {
    double x = 1.5;
    double y = 1.625;
};

DialogUnits dialog_units(GtkWidget* widget)
{
    PangoContext* context = gtk_widget_get_pango_context(widget);
    PangoFontMetrics* metrics =
        pango_context_get_metrics(context, widget->style->font_desc, pango_context_get_language(context));
    DialogUnits units;
    units.x = pango_font_metrics_get_approximate_char_width(metrics) / double(PANGO_SCALE) / 4.0;
    units.y = (pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
              double(PANGO_SCALE) / 8.0;
    pango_font_metrics_unref(metrics);
    return units;
}

int message_box(const std::string& text, GtkMessageType type, GtkButtonsType buttons, bool topmost)
{
    GtkWindow* parent = widgets.window ? GTK_WINDOW(widgets.window) : nullptr;
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, buttons, "%s", shown_text(text.c_str()).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), uninstall_caption().c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), topmost);
    if (buttons == GTK_BUTTONS_OK_CANCEL)
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response;
}

void close_window()
{
    if (widgets.window)
        gtk_widget_destroy(widgets.window);
}

void set_wait_cursor(bool waiting)
{
    if (!widgets.window || !widgets.window->window)
        return;
    GdkCursor* cursor = waiting ? gdk_cursor_new(GDK_WATCH) : nullptr;
    gdk_window_set_cursor(widgets.window->window, cursor);
    if (cursor)
        gdk_cursor_unref(cursor);
    gdk_flush();
}

// Steps 2 to 5 of Next: wait for the desktop program to close, remove, report.
void remove_and_report()
{
    while (is_program_running())
        if (message_box(translate_text(kRunningCopyText), GTK_MESSAGE_INFO, GTK_BUTTONS_OK_CANCEL, true) !=
            GTK_RESPONSE_OK)
            return;
    set_wait_cursor(true);
    UninstallReport report;
    bool processed = run_uninstall(program_path, &report);
    set_wait_cursor(false);
    if (!processed) {
        char* text = report.refusal.empty()
                         ? g_strdup_printf(translate_text("Can not open file %s"), report.list_path.c_str())
                         : g_strdup_printf(translate_text("Nothing was removed: %s."), report.refusal.c_str());
        message_box(text, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, false);
        g_free(text);
    }
    if (processed && report.remaining.empty())
        message_box(translate_text("The program is removed completely!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK, false);
    else
        message_box(translate_text("The program is not removed completely!"), GTK_MESSAGE_WARNING, GTK_BUTTONS_OK,
                    false);
    close_window();
}

// The elevated copy ran (or was refused): 126 the user dismissed the prompt,
// the window comes back; 127 no authority, go on here unelevated.
void on_elevated_copy_ended(GPid pid, gint status, gpointer)
{
    g_spawn_close_pid(pid);
    int code = elevation_exit_code(status);
    if (code == kElevationDeclined && widgets.window)
        gtk_widget_show(widgets.window);
    else if (code == kElevationRefused && widgets.window) {
        gtk_widget_show(widgets.window);
        remove_and_report();
    } else
        close_window();
}

void on_next(GtkButton*, gpointer)
{
    if (!elevated_copy && !is_user_admin() && !program_path.empty()) {
        pid_t pid = start_elevated_copy(program_path, {"admin_20"});
        if (pid > 0) {
            // The copy shows its own window; this one waits, hidden, to learn
            // whether the user accepted.
            gtk_widget_hide(widgets.window);
            g_child_watch_add(pid, on_elevated_copy_ended, nullptr);
            return;
        }
    }
    remove_and_report();
}

gboolean next_at_once(gpointer)
{
    if (widgets.window)
        on_next(nullptr, nullptr);
    return FALSE;
}

void on_cancel(GtkButton*, gpointer) { close_window(); }

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer)
{
    close_window();
    return TRUE;
}

void on_destroy(GtkWidget*, gpointer)
{
    widgets = UninstallWindow{};
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

GtkWidget* wrapped_label(int width)
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    gtk_widget_set_size_request(label, width, -1);
    return label;
}

// The design's layout (237 x 102 units): the icon at 7,7 and text 1001 at
// 37,8 (197 wide), text 1002 at 7,41 (227 wide), Next and Cancel (50 x 14) at
// 48,81 and 138,81. The window grows where a language needs more lines than
// the design's boxes hold.
void build_contents(const DialogUnits& du)
{
    GtkWidget* margins = gtk_alignment_new(0.0f, 0.0f, 1.0f, 1.0f);
    gtk_alignment_set_padding(GTK_ALIGNMENT(margins), guint(7 * du.y), guint(7 * du.y), guint(7 * du.x),
                              guint(3 * du.x));
    gtk_container_add(GTK_CONTAINER(widgets.window), margins);
    GtkWidget* box = gtk_vbox_new(FALSE, int(7 * du.y));
    gtk_container_add(GTK_CONTAINER(margins), box);

    widgets.icon = gtk_image_new_from_stock(GTK_STOCK_DELETE, GTK_ICON_SIZE_DIALOG);
    gtk_misc_set_alignment(GTK_MISC(widgets.icon), 0.0f, 0.0f);
    int icon_width = 0;
    gtk_icon_size_lookup(GTK_ICON_SIZE_DIALOG, &icon_width, nullptr);
    GtkWidget* top = gtk_hbox_new(FALSE, std::max(0, int(30 * du.x) - icon_width));
    widgets.text_1001 = wrapped_label(int(197 * du.x));
    gtk_box_pack_start(GTK_BOX(top), widgets.icon, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(top), widgets.text_1001, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), top, FALSE, FALSE, 0);

    widgets.text_1002 = wrapped_label(int(227 * du.x));
    gtk_box_pack_start(GTK_BOX(box), widgets.text_1002, TRUE, TRUE, 0);

    GtkWidget* buttons = gtk_hbox_new(TRUE, int(40 * du.x));
    widgets.next = gtk_button_new_with_mnemonic("");
    gtk_button_set_image(GTK_BUTTON(widgets.next),
                         gtk_image_new_from_stock(GTK_STOCK_DIALOG_AUTHENTICATION, GTK_ICON_SIZE_BUTTON));
    widgets.cancel = gtk_button_new_with_mnemonic("");
    for (GtkWidget* button : {widgets.next, widgets.cancel}) {
        gtk_widget_set_size_request(button, int(50 * du.x), int(14 * du.y));
        gtk_box_pack_start(GTK_BOX(buttons), button, FALSE, FALSE, 0);
    }
    GtkWidget* centre = gtk_alignment_new(0.5f, 1.0f, 0.0f, 0.0f);
    gtk_container_add(GTK_CONTAINER(centre), buttons);
    gtk_box_pack_end(GTK_BOX(box), centre, FALSE, FALSE, 0);

    GTK_WIDGET_SET_FLAGS(widgets.next, GTK_CAN_DEFAULT);
    gtk_widget_grab_default(widgets.next);
    gtk_widget_grab_focus(widgets.next);
    g_signal_connect(widgets.next, "clicked", G_CALLBACK(on_next), nullptr);
    g_signal_connect(widgets.cancel, "clicked", G_CALLBACK(on_cancel), nullptr);
}

}  // namespace

const UninstallWindow& uninstall_window() { return widgets; }

void apply_uninstall_texts()
{
    if (!widgets.window)
        return;
    gtk_window_set_title(GTK_WINDOW(widgets.window), uninstall_caption().c_str());
    char* now = g_strdup_printf(translate_text(kNowRemoved), program_version);
    gtk_label_set_text(GTK_LABEL(widgets.text_1001), shown_text(now).c_str());
    g_free(now);
    gtk_label_set_text(GTK_LABEL(widgets.text_1002), shown_text(translate_text(kClickNext)).c_str());
    gtk_button_set_label(GTK_BUTTON(widgets.next), mnemonic_text(translate_text("&Next>")).c_str());
    gtk_button_set_label(GTK_BUTTON(widgets.cancel), mnemonic_text(translate_text("C&ancel")).c_str());
}

GtkWidget* create_uninstall_window(const std::string& program, bool elevated)
{
    program_path = program;
    elevated_copy = elevated;
    widgets.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    DialogUnits du = dialog_units(widgets.window);
    gtk_window_set_default_size(GTK_WINDOW(widgets.window), int(237 * du.x), int(102 * du.y));
    gtk_window_set_position(GTK_WINDOW(widgets.window), GTK_WIN_POS_CENTER);
    g_signal_connect(widgets.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(widgets.window, "destroy", G_CALLBACK(on_destroy), nullptr);
    build_contents(du);
    apply_uninstall_texts();
    gtk_widget_show_all(widgets.window);
    gtk_window_present(GTK_WINDOW(widgets.window));
    if (elevated)
        g_idle_add(next_at_once, nullptr);
    return widgets.window;
}
