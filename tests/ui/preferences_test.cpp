// The Preferences page in the real main window: each box writes its setting at
// once; the autostart entry follows the first box; "Window always on top" asks
// the window manager at once.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/desktop_entry.h"
#include "platform/process.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/main_window.h"
#include "src/ui/preferences_page.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <X11/Xlib.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PreferencesTest : public testing::Test {
protected:
    void TearDown() override { destroy_main_window(); }

    // Builds the window on a settings file of these lines and shows the page.
    void build(const std::string& lines = "")
    {
        mkdir(sandbox.path("appdata/satclock").c_str(), 0755);
        if (!lines.empty())
            std::ofstream(sandbox.path("appdata/satclock/satclock.ini")) << lines;
        settings_init_path();
        build_main_window();
        press_key(GDK_3, GDK_CONTROL_MASK);
    }

    GtkWidget* box(const char* text)
    {
        for (GtkWidget* button : find_widgets(main_window, GTK_TYPE_CHECK_BUTTON))
            if (std::string(gtk_button_get_label(GTK_BUTTON(button))) == text)
                return button;
        ADD_FAILURE() << "no check box " << text;
        return nullptr;
    }

    bool ticked(const char* text) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box(text))); }

    std::string settings_file()
    {
        EXPECT_TRUE(settings_flush(10000));  // the page's changes are written off its thread
        return read_file(sandbox.path("appdata/satclock/satclock.ini"));
    }
    std::string entry() { return read_file(sandbox.path("config/autostart/satclock.desktop")); }
    bool entry_exists() { return access(sandbox.path("config/autostart/satclock.desktop").c_str(), F_OK) == 0; }

    TestSandbox sandbox;
};

TEST_F(PreferencesTest, StartWithPcWritesAndRemovesTheAutostartEntry)
{
    build();  // no settings file: the box is ticked and the entry written
    EXPECT_TRUE(ticked("Start this Application with PC"));
    EXPECT_FALSE(ticked("Window always on top")) << "the page's default, unlike the start-up's";
    EXPECT_NE(std::string::npos, entry().find("\nExec=" + process_self_path() + "\n")) << entry();
    // The installer's start-at-login entry, from the same writer.
    EXPECT_EQ(desktop_entry_text(autostart_entry("Satclock", process_self_path())), entry());

    click_button(box("Start this Application with PC"));
    EXPECT_FALSE(entry_exists());
    EXPECT_NE(std::string::npos, settings_file().find("auto_run=\"FALSE\""));

    click_button(box("Start this Application with PC"));
    EXPECT_NE(std::string::npos, entry().find("\nExec=" + process_self_path() + "\n"));
    EXPECT_NE(std::string::npos, settings_file().find("auto_run=\"TRUE\""));
}

TEST_F(PreferencesTest, StartWithTheBoxUntickedRemovesAnOldEntry)
{
    mkdir(sandbox.path("config/autostart").c_str(), 0755);
    std::ofstream(sandbox.path("config/autostart/satclock.desktop")) << "[Desktop Entry]\nExec=/old/place/satclock\n";
    build("auto_run=\"FALSE\"\r\n");
    EXPECT_FALSE(ticked("Start this Application with PC"));
    EXPECT_FALSE(entry_exists());
}

TEST_F(PreferencesTest, HideToTrayIsWrittenAndChangesNothingNow)
{
    build();
    EXPECT_FALSE(ticked("Hide to system tray after start up"));
    click_button(box("Hide to system tray after start up"));
    EXPECT_NE(std::string::npos, settings_file().find("turn_to_tray=\"TRUE\""));
    pump_for(50);
    EXPECT_TRUE(gtk_widget_get_visible(main_window)) << "it takes effect at the next start";
}

TEST_F(PreferencesTest, AlwaysOnTopIsAppliedAndReleasedAtOnce)
{
    build("above_all=\"FALSE\"\r\n");
    Window window = GDK_WINDOW_XID(main_window->window);
    WindowManagerRequests requests;
    requests.above_changes(window);

    click_button(box("Window always on top"));
    gdk_flush();
    EXPECT_EQ((std::vector<long>{0, 1}), requests.above_changes(window)) << "off, then on";
    EXPECT_NE(std::string::npos, settings_file().find("above_all=\"TRUE\""));

    click_button(box("Window always on top"));
    gdk_flush();
    EXPECT_EQ((std::vector<long>{0}), requests.above_changes(window));
    EXPECT_NE(std::string::npos, settings_file().find("above_all=\"FALSE\""));
}

}  // namespace
