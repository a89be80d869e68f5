// The main window driven through the X server: accelerators, menus, tabs,
// the Close button and the close box.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "src/ui/app.h"
#include "src/ui/main_window.h"
#include "src/ui/pixtex.h"
#include "src/ui/x11_windows.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

namespace {

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override { build_main_window(); }
    void TearDown() override { destroy_main_window(); }

    int page() const { return gtk_notebook_get_current_page(GTK_NOTEBOOK(main_notebook)); }

    bool shown() const { return main_window && gtk_widget_get_visible(main_window); }

    void click_tab(int page_number)
    {
        GtkNotebook* notebook = GTK_NOTEBOOK(main_notebook);
        GtkWidget* tab = gtk_notebook_get_tab_label(notebook, gtk_notebook_get_nth_page(notebook, page_number));
        GtkAllocation tab_area = tab->allocation;
        GtkAllocation book_area = main_notebook->allocation;
        click_window(notebook->event_window, tab_area.x - book_area.x + tab_area.width / 2,
                     tab_area.y - book_area.y + tab_area.height / 2);
    }

    void click_labelled_button(const char* label_text)
    {
        for (GtkWidget* button : find_widgets(main_window, GTK_TYPE_BUTTON)) {
            std::vector<GtkWidget*> pixtex = find_widgets(button, MYGTK_TYPE_PIXTEX);
            if (pixtex.empty() ||
                std::string(gtk_label_get_text(GTK_LABEL(MYGTK_PIXTEX(pixtex[0])->label))) != label_text)
                continue;
            click_button(button);
            return;
        }
        ADD_FAILURE() << "no button " << label_text;
    }

    TestSandbox sandbox;
};

TEST_F(MainWindowTest, ControlDigitsSwitchToTheirPages)
{
    struct Case {
        guint key;
        int page;
    } const cases[] = {{GDK_2, 1}, {GDK_3, 2}, {GDK_4, 3}, {GDK_1, 0}, {GDK_3, 2}};
    for (const Case& c : cases) {
        press_key(c.key, GDK_CONTROL_MASK);
        EXPECT_EQ(c.page, page()) << "Control+" << gdk_keyval_name(c.key);
        EXPECT_EQ(c.page, menu_current_page);
    }
}

TEST_F(MainWindowTest, HelpAboutShowsAboutWhileAnotherRadioItemStaysActive)
{
    press_key(GDK_2, GDK_CONTROL_MASK);
    ASSERT_EQ(1, page());
    GtkWidget* help_about = menu_items(1).at(1);
    gtk_menu_item_activate(GTK_MENU_ITEM(help_about));
    pump_for(20);
    EXPECT_EQ(3, page());
    EXPECT_EQ(1, menu_current_page);
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(menu_items(0).at(1))));
}

TEST_F(MainWindowTest, TabClickDoesNotMoveTheMenuPage)
{
    press_key(GDK_1, GDK_CONTROL_MASK);
    ASSERT_EQ(0, page());
    click_tab(3);
    ASSERT_EQ(3, page());
    EXPECT_EQ(0, menu_current_page);
    // "GPS info" is still the active radio item and the page the menu remembers.
    press_key(GDK_1, GDK_CONTROL_MASK);
    EXPECT_EQ(3, page());
    press_key(GDK_2, GDK_CONTROL_MASK);
    EXPECT_EQ(1, page());
}

// With no notification area to bring it back, Close and the close box
// minimize the window (a window manager is asked to iconify it) and keep the page.
TEST_F(MainWindowTest, CloseMinimizesWithoutANotificationArea)
{
    press_key(GDK_3, GDK_CONTROL_MASK);
    Window window = GDK_WINDOW_XID(main_window->window);
    WindowManagerRequests requests;
    click_labelled_button("Close");
    EXPECT_TRUE(pump_until([&] { return requests.iconify_requests(window) == 1; }));
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    x11_send_delete(display, window);
    EXPECT_TRUE(pump_until([&] { return requests.iconify_requests(window) == 1; }));
    EXPECT_TRUE(shown());
    EXPECT_EQ(2, page());
}

TEST_F(MainWindowTest, MenuTextsAndAcceleratorLabels)
{
    struct Expected {
        int menu;
        size_t index;
        const char* text;
        const char* accel;
    } const cases[] = {
        {0, 0, " GPS info  ", "Ctrl+1"}, {0, 1, " GPS Configuration  ", "Ctrl+2"},
        {0, 2, " Preferences  ", "Ctrl+3"}, {0, 3, " About  ", "Ctrl+4"},
        {0, 5, " Quit  ", "Ctrl+Q"}, {1, 0, " Contents  ", "F1"},
        {1, 1, " About  ", "Ctrl+4"}, {1, 2, " Satclock Homepage  ", "      "},
    };
    for (const Expected& e : cases) {
        GtkWidget* item = menu_items(e.menu).at(e.index);
        EXPECT_EQ(e.text, menu_item_text(item));
        std::vector<GtkWidget*> labels = find_widgets(item, GTK_TYPE_LABEL);
        ASSERT_EQ(2u, labels.size()) << e.text;
        EXPECT_STREQ(e.accel, gtk_label_get_text(GTK_LABEL(labels.back())));
    }
    EXPECT_EQ(6u, menu_items(0).size());
    EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(menu_items(0).at(4)));
    EXPECT_EQ(3u, menu_items(1).size());
}

TEST_F(MainWindowTest, RadioItemsFormOneGroupWithTheFirstActive)
{
    std::vector<GtkWidget*> items = menu_items(0);
    GSList* group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(items[0]));
    EXPECT_EQ(4u, g_slist_length(group));
    EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(items[0])));
    EXPECT_FALSE(GTK_IS_RADIO_MENU_ITEM(items[5]));
    EXPECT_EQ(-1, menu_current_page);
}

TEST_F(MainWindowTest, NotebookTabsAndPacking)
{
    GtkNotebook* notebook = GTK_NOTEBOOK(main_notebook);
    ASSERT_EQ(4, gtk_notebook_get_n_pages(notebook));
    EXPECT_FALSE(gtk_notebook_get_show_border(notebook));
    const char* const texts[] = {"GPS info", "GPS Configuration", "Preferences", "About"};
    for (int i = 0; i < 4; ++i) {
        GtkWidget* child = gtk_notebook_get_nth_page(notebook, i);
        GtkWidget* tab = gtk_notebook_get_tab_label(notebook, child);
        ASSERT_TRUE(MYGTK_IS_PIXTEX(tab));
        EXPECT_STREQ(texts[i], gtk_label_get_text(GTK_LABEL(MYGTK_PIXTEX(tab)->label)));
        gboolean expand = TRUE, fill = TRUE;
        GtkPackType pack = GTK_PACK_END;
        gtk_notebook_query_tab_label_packing(notebook, child, &expand, &fill, &pack);
        if (i < 2) {
            EXPECT_FALSE(expand) << i;
            EXPECT_FALSE(fill) << i;
        }
        EXPECT_EQ(GTK_PACK_START, pack) << i;
    }
}

TEST_F(MainWindowTest, TitleCarriesTheVersion)
{
    EXPECT_STREQ("Satclock 1.2.1", gtk_window_get_title(GTK_WINDOW(main_window)));
}

TEST_F(MainWindowTest, EveryStateFitsA1024x768ScreenWithNothingCut)
{
    for (const std::string& problem : window_fit_problems())
        ADD_FAILURE() << problem;
}

}  // namespace
