// satclock's start-up, from the process entry to the main loop, and its shutdown.
#include "src/ui/app.h"

#include "common/locale_language.h"
#include "platform/process.h"
#include "src/settings/settings.h"
#include "src/ui/about_page.h"
#include "src/ui/help.h"
#include "src/ui/info_page.h"
#include "src/ui/instance.h"
#include "src/ui/intro.h"
#include "src/ui/main_window.h"
#include "src/ui/modules.h"
#include "src/ui/shutdown.h"
#include "src/ui/status_report.h"
#include "src/ui/tray.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib/gi18n.h>
#include <libintl.h>
#include <string>
#include <unistd.h>

GtkWidget* main_window = nullptr;
GtkTooltips* shared_tooltips = nullptr;
gchar* help_file_path = nullptr;

namespace {

constexpr char text_domain[] = "satclock";
constexpr char locale_dir[] = "../share/locale";
constexpr char help_file_ru[] = "../share/help/ru/satclock.html";
constexpr char help_file_en[] = "../share/help/en/satclock.html";
// Once the windows are gone, Quit waits this long at most, for the help
// viewer, the reader and the settings' last writes together: a USB adapter
// pulled out can hold the close of its port for as long as the driver drains
// output (30 s by default).
constexpr int quit_wait_ms = 1000;

// "./<program> <arguments>" split by shell rules, as the toolkit receives it.
bool toolkit_command_line(int argc, char** argv, int* out_argc, char*** out_argv)
{
    const char* self = argc > 0 && argv[0] ? argv[0] : "satclock";
    gchar* base = g_filename_display_basename(self);
    GString* text = g_string_new(nullptr);
    g_string_printf(text, "./%s", base);
    for (int i = 1; i < argc; ++i) {
        gchar* quoted = g_shell_quote(argv[i]);
        g_string_append_printf(text, " %s", quoted);
        g_free(quoted);
    }
    g_free(base);
    gboolean parsed = g_shell_parse_argv(text->str, out_argc, out_argv, nullptr);
    g_string_free(text, TRUE);
    if (!parsed) {
        *out_argc = 0;
        *out_argv = nullptr;
    }
    return parsed;
}

void show_main_window()
{
    if (!main_window)
        return;
    gtk_widget_show(main_window);
    gtk_window_present(GTK_WINDOW(main_window));
}

// A later copy of the program only brings this one's window forward.
bool another_copy_runs()
{
    if (instance_acquire() != 0)
        return false;
    std::printf("instance: satclock runs already, asking it to show its window\n");
    instance_ask_show(3000);
    return true;
}

// Every window of ours goes at once; the one being destroyed is gone already.
void hide_windows_but(GtkWidget* destroyed)
{
    GList* windows = gtk_window_list_toplevels();
    for (GList* each = windows; each; each = each->next) {
        auto* window = static_cast<GtkWidget*>(each->data);
        if (window != destroyed && gtk_window_get_window_type(GTK_WINDOW(window)) == GTK_WINDOW_TOPLEVEL)
            gtk_widget_hide(window);
    }
    g_list_free(windows);
}

[[noreturn]] void leave()
{
    std::printf("bye!\n");
    tray_icon_remove();
    instance_release();
    // The analysis thread and a port's 1PPS watcher never end, and a reader
    // may still be in a close: destructors of statics must not run under
    // them. Leave at once with everything written out.
    std::fflush(nullptr);
    std::_Exit(0);
}

void toolkit_init(int argc, char** argv)
{
    int tk_argc = 0;
    char** tk_argv = nullptr;
    toolkit_command_line(argc, argv, &tk_argc, &tk_argv);
    gtk_init(&tk_argc, &tk_argv);
    g_strfreev(tk_argv);
}

}  // namespace

gchar* app_message_language()
{
    return g_strdup(locale_message_code().c_str());
}

const char* help_file_for_language(const char* language)
{
    return language && language_is_russian_speaking(language) ? help_file_ru : help_file_en;
}

void app_set_working_directory()
{
    std::string self = process_self_path();
    std::string dir = self.substr(0, self.rfind('/'));
    if (!dir.empty() && chdir(dir.c_str()) != 0)
        std::printf("start-up: cannot enter %s: %s\n", dir.c_str(), std::strerror(errno));
    std::printf("curdir=%s\n\n", dir.c_str());
}

void app_prepare()
{
    app_set_working_directory();
    settings_start();
    app_choose_language();
}

void app_choose_language()
{
    setlocale(LC_ALL, "");
    gchar* language = app_message_language();
    g_free(help_file_path);
    help_file_path = g_strdup(help_file_for_language(language));
    g_free(language);
    bindtextdomain(text_domain, locale_dir);
    bind_textdomain_codeset(text_domain, "UTF-8");
    textdomain(text_domain);
}

GtkWidget* app_create_main_window()
{
    if (!shared_tooltips) {
        shared_tooltips = gtk_tooltips_new();
        g_object_ref_sink(shared_tooltips);
    }
    main_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gchar* title = g_strdup_printf("Satclock %s", program_version);
    gtk_window_set_title(GTK_WINDOW(main_window), title);
    g_free(title);
    g_signal_connect(main_window, "delete_event", G_CALLBACK(main_window_hide_on_delete), nullptr);
    g_signal_connect(main_window, "destroy", G_CALLBACK(app_quit), nullptr);
    create_main_contents();
    return main_window;
}

gboolean main_window_hide_on_delete(GtkWidget* widget, GdkEvent*)
{
    main_window_close(widget);
    return TRUE;
}

void main_window_close(GtkWidget* window)
{
    // Hidden with no notification area to call it back, the window could
    // not be reached: it goes to the task bar instead.
    if (tray_icon_embedded())
        gtk_widget_hide(window);
    else
        gtk_window_iconify(GTK_WINDOW(window));
}

int app_main(int argc, char** argv)
{
    // Diagnostics go to a file or pipe when redirected: keep them in order with the threads'.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (another_copy_runs())
        return 0;
    app_prepare();
    toolkit_init(argc, argv);
    app_create_main_window();
    receiver_start();
    info_timers_follow_window(main_window);
    gtk_window_set_position(GTK_WINDOW(main_window), GTK_WIN_POS_CENTER);
    if (!gtk_widget_get_realized(main_window))
        gtk_widget_realize(main_window);
    tray_icon_add();
    tray_follow_receiver_changes();
    intro_dialog_show();
    if (app_settings.turn_to_tray)
        tray_keep_hidden_or_show();
    else
        gtk_widget_show(main_window);
    if (app_settings.above_all)
        gtk_window_set_keep_above(GTK_WINDOW(main_window), TRUE);
    instance_listen(show_main_window);
    status_report_serve();
    gtk_main();
    return 0;
}

void app_quit(GtkWidget* window)
{
    main_window = nullptr;  // being destroyed: nothing may reach it any more
    hide_windows_but(window);
    stop_info_timers();
    pid_t viewer = help_close_ask();
    shutdown_run({[viewer](int) {
                      help_close_wait(viewer);
                      return true;
                  },
                  [](int timeout_ms) { return receiver_stop(timeout_ms); },
                  [](int timeout_ms) { return settings_flush(timeout_ms); }},
                 quit_wait_ms, [](const std::vector<bool>& ended) {
                     modules_say_what_is_left(ended[1], quit_wait_ms, ended[2]);
                     leave();
                 });
}
