// The tray icon in a real notification area (trayer on the test display): its
// picture following the fix, its pop-up menu driven with the mouse, and the
// intro window with its check box.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "src/correction/analiz.h"
#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/info_page.h"
#include "src/ui/intro.h"
#include "src/ui/main_window.h"
#include "src/ui/resources.h"
#include "src/ui/tray.h"
#include "src/ui/x11_windows.h"
#include "tests/support/test_env.h"
#include "tests/ui/tray_host.h"
#include "tests/ui/ui_test_support.h"

#include <cstring>
#include <gdk/gdkx.h>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kGga[] = "$GPGGA,123519.000,4807.038,N,01131.000,E,%d,08,0.9,545.4,M,46.9,M,,\r\n";

void receive_gga(int quality)
{
    gchar* line = g_strdup_printf(kGga, quality);
    gps_fix_decode_line(line);
    g_free(line);
}

// Same size and pixels.
bool same_picture(GdkPixbuf* shown, const char* picture_name)
{
    GdkPixbuf* expected = res_load_pixbuf(picture_name);
    bool same = shown && expected && gdk_pixbuf_get_width(shown) == gdk_pixbuf_get_width(expected) &&
                gdk_pixbuf_get_height(shown) == gdk_pixbuf_get_height(expected) &&
                gdk_pixbuf_get_rowstride(shown) == gdk_pixbuf_get_rowstride(expected) &&
                std::memcmp(gdk_pixbuf_get_pixels(shown), gdk_pixbuf_get_pixels(expected),
                            size_t(gdk_pixbuf_get_rowstride(shown)) * size_t(gdk_pixbuf_get_height(shown))) == 0;
    if (expected)
        g_object_unref(expected);
    return same;
}

// The pop-up menu on the screen, or null.
GtkWidget* shown_popup_menu()
{
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* at = windows; at && !found; at = at->next) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(at->data));
        if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(child))
            found = child;
    }
    g_list_free(windows);
    return found;
}

std::string item_text(GtkWidget* item)
{
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    return label && GTK_IS_LABEL(label) ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

class TrayTest : public testing::Test {
protected:
    // One notification area and one icon for the suite: trayer moves an icon
    // that comes or goes, and the geometry settles only after that.
    static void SetUpTestSuite()
    {
        host_ = new TrayHost;
        if (!host_->ready() || tray_icon_add() != 1)
            return;
        g_signal_connect(tray_status_icon, "size-changed", G_CALLBACK(+[](GtkStatusIcon*, gint, gpointer) -> gboolean {
                             sized_ = true;
                             return FALSE;
                         }),
                         nullptr);
        if (!pump_until([] { return tray_icon_embedded() && sized_; }, 10000))
            return;
        pump_for(300);
    }

    static void TearDownTestSuite()
    {
        tray_icon_remove();
        delete host_;
        host_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(host_->ready()) << host_->problem();
        ASSERT_TRUE(tray_icon_embedded() && sized_) << "the icon was not taken into the notification area";
        gps_fix_clear();
        correct_time_request.store(0);
        show_main_request.store(0);
        show_about_request.store(0);
        settings_init_path();
        build_main_window();
    }

    void TearDown() override
    {
        if (GtkWidget* menu = shown_popup_menu())
            gtk_menu_shell_cancel(GTK_MENU_SHELL(menu));
        destroy_main_window();
        gps_fix_clear();
        correct_time_request.store(0);
    }

    static GdkRectangle icon_area()
    {
        GdkRectangle area{};
        gtk_status_icon_get_geometry(tray_status_icon, nullptr, &area, nullptr);
        return area;
    }

    void click_icon(int button, int count = 1)
    {
        GdkRectangle area = icon_area();
        gdk_flush();  // a grab let go of must reach the server before xdotool waits on it
        pointer_click(area.x + area.width / 2, area.y + area.height / 2, button, count);
    }

    // Right-clicks the icon and returns the menu's items, separator included.
    std::vector<GtkWidget*> open_menu()
    {
        click_icon(3);
        std::vector<GtkWidget*> items;
        if (!pump_until([] { return shown_popup_menu() != nullptr; }, 5000))
            return items;
        GList* children = gtk_container_get_children(GTK_CONTAINER(shown_popup_menu()));
        for (GList* at = children; at; at = at->next)
            items.push_back(GTK_WIDGET(at->data));
        g_list_free(children);
        return items;
    }

    void choose(const char* text)
    {
        for (GtkWidget* item : open_menu()) {
            if (item_text(item) != text)
                continue;
            gint x = 0, y = 0;
            gdk_window_get_origin(item->window, &x, &y);
            gdk_flush();
            pointer_click(x + item->allocation.x + item->allocation.width / 2,
                          y + item->allocation.y + item->allocation.height / 2, 1);
            EXPECT_TRUE(pump_until([] { return shown_popup_menu() == nullptr; })) << "the menu stayed open";
            pump_for(20);
            return;
        }
        ADD_FAILURE() << "no menu item " << text;
    }

    // The close box: with the icon in the notification area it hides the window.
    void hide_window()
    {
        x11_send_delete(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), GDK_WINDOW_XID(main_window->window));
        EXPECT_TRUE(pump_until([] { return !gtk_widget_get_mapped(main_window); }));
    }

    // One run of the 50 ms tick, then the X server's answer to what it did.
    bool shown_after_one_tick()
    {
        info_refresh_tick(nullptr);
        return gtk_widget_get_visible(main_window) &&
               pump_until([] { return main_window->window && gdk_window_is_viewable(main_window->window); });
    }

    int page() const { return gtk_notebook_get_current_page(GTK_NOTEBOOK(main_notebook)); }

    static TrayHost* host_;
    static bool sized_;
    TestSandbox sandbox;
};

TrayHost* TrayTest::host_ = nullptr;
bool TrayTest::sized_ = false;

TEST_F(TrayTest, IconShowsTheFixStateAndRepeatsNothing)
{
    struct Case {
        int gga_quality;  // -1: nothing decoded
        const char* picture;
    } const cases[] = {{-1, "tray_nodata.png"}, {1, "tray_fix.png"}, {0, "tray_nofix.png"}, {-1, "tray_nodata.png"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        gps_fix_clear();
        if (c.gga_quality >= 0)
            receive_gga(c.gga_quality);
        gps_info_tick(nullptr);
        GdkPixbuf* shown = gtk_status_icon_get_pixbuf(tray_status_icon);
        EXPECT_TRUE(same_picture(shown, c.picture));
        gps_info_tick(nullptr);
        EXPECT_EQ(shown, gtk_status_icon_get_pixbuf(tray_status_icon)) << "the same state loaded again";
    }
    // An unknown state changes nothing shown, yet the next known state is drawn.
    GdkPixbuf* before = gtk_status_icon_get_pixbuf(tray_status_icon);
    EXPECT_EQ(0, tray_icon_set_state(7));
    EXPECT_EQ(before, gtk_status_icon_get_pixbuf(tray_status_icon));
    EXPECT_EQ(1, tray_icon_set_state(tray_no_data));
    EXPECT_NE(before, gtk_status_icon_get_pixbuf(tray_status_icon));
    EXPECT_TRUE(same_picture(gtk_status_icon_get_pixbuf(tray_status_icon), "tray_nodata.png"));
}

TEST_F(TrayTest, MenuItemsAndTheCorrectionGreyedWithoutAFix)
{
    std::vector<GtkWidget*> items = open_menu();
    ASSERT_EQ(6u, items.size());
    const char* const texts[] = {"Settings", "Correct PC Clock Now", "Help", "About program", "", "Quit"};
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(texts[i], item_text(items[i])) << i;
    EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(items[4]));
    EXPECT_FALSE(gtk_widget_is_sensitive(items[1])) << "no fix yet";
    EXPECT_TRUE(gtk_widget_is_sensitive(items[0]));
    gtk_menu_shell_cancel(GTK_MENU_SHELL(shown_popup_menu()));
    ASSERT_TRUE(pump_until([] { return shown_popup_menu() == nullptr; }));

    receive_gga(1);
    choose("Correct PC Clock Now");
    EXPECT_EQ(1, correct_time_request.load());
}

TEST_F(TrayTest, SettingsAndDoubleClickShowTheHiddenWindowOnItsPage)
{
    gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), 1);
    hide_window();
    choose("Settings");
    EXPECT_TRUE(shown_after_one_tick());
    EXPECT_EQ(1, page());

    hide_window();
    click_icon(1, 2);
    pump_for(50);
    EXPECT_TRUE(shown_after_one_tick());
    EXPECT_EQ(1, page());
}

TEST_F(TrayTest, AboutProgramShowsTheWindowOnTheAboutPage)
{
    gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), 0);
    hide_window();
    choose("About program");
    EXPECT_TRUE(shown_after_one_tick());
    EXPECT_EQ(3, page());
    EXPECT_EQ(0, show_about_request.load());
}

// The intro window runs its own main loop: the test acts from inside it.
class IntroTest : public testing::Test {
protected:
    void SetUp() override { g_mkdir_with_parents(sandbox.path("appdata/satclock").c_str(), 0755); }

    // Shows the intro window and, once it is up, clicks the check box the
    // given number of times and then OK. False when no window came up.
    bool run_intro(int box_clicks)
    {
        struct Plan {
            int box_clicks;
            bool shown;
        } plan{box_clicks, false};
        guint timer = g_timeout_add(
            100,
            [](gpointer data) -> gboolean {
                auto* plan = static_cast<Plan*>(data);
                if (!intro_dialog || !intro_dialog->window || !gdk_window_is_viewable(intro_dialog->window))
                    return TRUE;
                plan->shown = true;
                GtkWidget* box = find_widgets(intro_dialog, GTK_TYPE_CHECK_BUTTON).at(0);
                // Clicked through the buttons' own signal: a synthetic pointer
                // click is lost when the shared display's pointer moves meanwhile.
                for (int i = 0; i < plan->box_clicks; ++i)
                    gtk_button_clicked(GTK_BUTTON(box));
                for (GtkWidget* button : find_widgets(intro_dialog, GTK_TYPE_BUTTON))
                    if (button != box && std::string(gtk_button_get_label(GTK_BUTTON(button))) == GTK_STOCK_OK) {
                        gtk_button_clicked(GTK_BUTTON(button));
                        break;
                    }
                return FALSE;
            },
            &plan);
        settings_init_path();
        intro_dialog_show();
        if (!plan.shown)
            g_source_remove(timer);
        return plan.shown;
    }

    TestSandbox sandbox;
};

TEST_F(IntroTest, NeverShowAgainIsRememberedAcrossStarts)
{
    ASSERT_TRUE(run_intro(2)) << "ticked and unticked: shown again next time";
    ASSERT_TRUE(run_intro(1));
    EXPECT_EQ(nullptr, intro_dialog);
    ASSERT_TRUE(settings_flush(10000));
    EXPECT_NE(std::string::npos,
              read_file(sandbox.path("appdata/satclock/satclock.ini")).find("screen_no_show=\"TRUE\""));
    EXPECT_FALSE(run_intro(0)) << "the next start shows no intro window";
}

TEST_F(IntroTest, TextsAndOkLeftOfHelpWithTheFocus)
{
    g_timeout_add(
        100,
        [](gpointer) -> gboolean {
            if (!intro_dialog || !gtk_widget_get_mapped(intro_dialog))
                return TRUE;
            std::string texts;
            for (GtkWidget* label : find_widgets(intro_dialog, GTK_TYPE_LABEL))
                texts += std::string(gtk_label_get_text(GTK_LABEL(label))) + "|";
            EXPECT_NE(std::string::npos, texts.find("You can access settings, correct the PC clock or quit Satclock "
                                                    "by right-clicking on the taskbar icon."));
            EXPECT_NE(std::string::npos, texts.find("Below are the examples of Satclock in the tray bar.|"));
            EXPECT_NE(std::string::npos, texts.find("Never show this dialog again|"));
            std::vector<GtkWidget*> buttons;
            for (GtkWidget* button : find_widgets(intro_dialog, GTK_TYPE_BUTTON))
                if (!GTK_IS_CHECK_BUTTON(button))
                    buttons.push_back(button);
            EXPECT_EQ(2u, buttons.size());
            EXPECT_LT(buttons.at(0)->allocation.x, buttons.at(1)->allocation.x);
            EXPECT_STREQ(GTK_STOCK_OK, gtk_button_get_label(GTK_BUTTON(buttons.at(0)))) << "OK left of Help";
            EXPECT_EQ(buttons.at(0), gtk_window_get_focus(GTK_WINDOW(intro_dialog)));
            EXPECT_STREQ("Satclock 1.2.1", gtk_window_get_title(GTK_WINDOW(intro_dialog)));
            gtk_widget_destroy(intro_dialog);
            return FALSE;
        },
        nullptr);
    settings_init_path();
    intro_dialog_show();
    EXPECT_EQ(nullptr, intro_dialog);
}

}  // namespace
