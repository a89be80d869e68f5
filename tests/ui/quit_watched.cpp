// satclock's own start-up with its Quit chosen while the help viewer is open
// and the settings writer is held up: the test holds the settings folder's
// lock, so each of four changes made just before the Quit first waits 500 ms
// for it. From the Quit on, a heartbeat on the GTK main loop prints "beat";
// "quit returned" follows the Quit item's activation. The Quit test runs it
// as a child and reads the order of its lines.
#include "platform/env.h"
#include "platform/file_replace.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "tests/ui/ui_test_support.h"

#include <cstdio>

namespace {

bool quitting = false;

gboolean heartbeat(gpointer)
{
    if (quitting)
        std::printf("beat\n");
    return G_SOURCE_CONTINUE;
}

bool viewer_shown() { return read_file(env_value("FAKE_VIEWER_LOG")).find("start ") != std::string::npos; }

gboolean quit_once_help_is_open(gpointer)
{
    static bool asked = false;
    if (!main_window || !gtk_widget_get_mapped(main_window))
        return G_SOURCE_CONTINUE;
    if (!asked) {
        asked = true;
        gtk_menu_item_activate(GTK_MENU_ITEM(menu_items(1).front()));  // Help > Contents
    }
    if (!viewer_shown())
        return G_SOURCE_CONTINUE;
    static FolderLock held_to_the_end(settings_path(), 0);
    for (const char* key : {settings_keys::above_all, settings_keys::turn_to_tray, settings_keys::notify_corrections,
                            settings_keys::show_feets})
        settings_post_bool(key, false);
    quitting = true;
    std::printf("quit\n");
    gtk_menu_item_activate(GTK_MENU_ITEM(menu_items(0).back()));
    std::printf("quit returned\n");
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv)
{
    g_timeout_add(10, heartbeat, nullptr);
    g_timeout_add(10, quit_once_help_is_open, nullptr);
    return app_main(argc, argv);
}
