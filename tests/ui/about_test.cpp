// The About page in the real main window: its text, the translator's credit
// and GTK version rules, and the links driven with the mouse and the keyboard.
// Links go to a stand-in xdg-open that logs them (no desktop application is
// registered in the test environment).
#include <gtest/gtest.h>

#include "src/ui/about_page.h"
#include "src/ui/app.h"
#include "src/ui/main_window.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <cstdlib>
#include <fstream>
#include <gdk/gdkkeysyms.h>
#include <sys/stat.h>

namespace {

struct Point {
    int x;
    int y;
};

// Button 3 pops up the text view's own menu: take it down again.
void close_context_menu()
{
    GList* windows = gtk_window_list_toplevels();
    for (GList* at = windows; at; at = at->next) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(at->data));
        if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(child))
            gtk_menu_shell_cancel(GTK_MENU_SHELL(child));
    }
    g_list_free(windows);
    pump_for(30);
}

class AboutPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char* path = std::getenv("PATH");
        old_path_ = path ? path : "/usr/bin:/bin";
        std::ofstream(sandbox.path("bin/xdg-open")) << "#!/bin/sh\necho \"$@\" >> '" << log_ << "'\n";
        chmod(sandbox.path("bin/xdg-open").c_str(), 0755);
        setenv("PATH", (sandbox.path("bin") + ":" + old_path_).c_str(), 1);
        build_main_window();
        press_key(GDK_4, GDK_CONTROL_MASK);
        ASSERT_TRUE(pump_until([] { return about_text_view && gdk_window_is_viewable(text_window()); }));
    }

    void TearDown() override
    {
        destroy_main_window();
        setenv("PATH", old_path_.c_str(), 1);
    }

    static GdkWindow* text_window() { return gtk_text_view_get_window(view(), GTK_TEXT_WINDOW_TEXT); }
    static GtkTextView* view() { return GTK_TEXT_VIEW(about_text_view); }
    static GtkTextBuffer* buffer() { return gtk_text_view_get_buffer(view()); }

    static std::string text()
    {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(buffer(), &start, &end);
        gchar* all = gtk_text_buffer_get_text(buffer(), &start, &end, FALSE);
        std::string out = all;
        g_free(all);
        return out;
    }

    // A text position two characters into the first run of these characters.
    static GtkTextIter iter_in(const char* what)
    {
        GtkTextIter start, match;
        gtk_text_buffer_get_start_iter(buffer(), &start);
        EXPECT_TRUE(gtk_text_iter_forward_search(&start, what, GtkTextSearchFlags(0), &match, nullptr, nullptr))
            << what;
        gtk_text_iter_forward_chars(&match, 2);
        return match;
    }

    // The middle of that character in the text window.
    static Point point_in(const char* what)
    {
        GtkTextIter at = iter_in(what);
        GdkRectangle area;
        gtk_text_view_get_iter_location(view(), &at, &area);
        Point point{};
        gtk_text_view_buffer_to_window_coords(view(), GTK_TEXT_WINDOW_TEXT, area.x + area.width / 2,
                                              area.y + area.height / 2, &point.x, &point.y);
        return point;
    }

    static void button(Point point, guint number, GdkEventType type)
    {
        gdk_test_simulate_button(text_window(), point.x, point.y, number, GdkModifierType(0), type);
        gdk_flush();
        pump_for(30);
    }

    static void click(Point point, guint number)
    {
        button(point, number, GDK_BUTTON_PRESS);
        button(point, number, GDK_BUTTON_RELEASE);
    }

    static void move_pointer(Point point)
    {
        gint x = 0, y = 0;
        gdk_window_get_origin(text_window(), &x, &y);
        gdk_display_warp_pointer(gdk_display_get_default(), gdk_screen_get_default(), x + point.x, y + point.y);
        gdk_flush();
        pump_for(50);
    }

    static GdkCursorType pointer_shape()
    {
        GdkCursor* cursor = gdk_window_get_cursor(text_window());
        return cursor ? gdk_cursor_get_cursor_type(cursor) : GdkCursorType(-1);
    }

    std::string opened() { return read_file(log_); }

    TestSandbox sandbox;
    std::string log_ = sandbox.path("opened.log");
    std::string old_path_;
};

TEST_F(AboutPageTest, EnglishTextHasLinksAndTheGtkVersionButNoCredit)
{
    gchar* version = about_gtk_version_text(gtk_major_version, gtk_minor_version, gtk_micro_version);
    EXPECT_EQ(std::string("\n\n Home Page: https://satclock.example.org/\n E-mail: satclock@example.org\n\n "
                          "Developed using GTK+ library") +
                  version + "  https://www.gtk.org/\n",
              text());
    g_free(version);
    bool heading = false;
    GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(main_notebook), 3);
    for (GtkWidget* label : find_widgets(page, GTK_TYPE_LABEL))
        heading |= std::string(gtk_label_get_text(GTK_LABEL(label))).rfind("Satclock v.1.2.1  (", 0) == 0;
    EXPECT_TRUE(heading);
}

TEST(AboutTexts, CreditTakesOnlyTheExactKeyAndVersionDropsAZeroMicro)
{
    struct Credit {
        const char* header;
        const char* credit;  // null: none
    } const credits[] = {
        {"Project-Id-Version: x\nLast-Translator: Anna K <anna@example.org>\nLanguage: ru\n", " Anna K <anna@example.org>"},
        {"last-translator: Anna K\n", nullptr},
        {"LAST-TRANSLATOR: Anna K\n", nullptr},
        {"Language: ru\n", nullptr},
        {"", nullptr},
        {"Last-Translator\n", nullptr},
    };
    for (const Credit& c : credits) {
        gchar* credit = about_translator_credit(c.header);
        EXPECT_STREQ(c.credit, credit) << c.header;
        g_free(credit);
    }
    struct Version {
        guint major, minor, micro;
        const char* text;
    } const versions[] = {{2, 24, 0, " v.2.24"}, {2, 24, 32, " v.2.24.32"}};
    for (const Version& v : versions) {
        gchar* text = about_gtk_version_text(v.major, v.minor, v.micro);
        EXPECT_STREQ(v.text, text);
        g_free(text);
    }
}

TEST_F(AboutPageTest, LinkOpensOnAPlainFirstButtonClickOnly)
{
    click(point_in("satclock@example.org"), 3);
    close_context_menu();
    click(point_in("satclock@example.org"), 2);
    // A drag from the plain text onto the link selects text and opens nothing.
    button(point_in("E-mail:"), 1, GDK_BUTTON_PRESS);
    button(point_in("satclock@example.org"), 1, GDK_BUTTON_RELEASE);
    GtkTextIter start, end;
    EXPECT_TRUE(gtk_text_buffer_get_selection_bounds(buffer(), &start, &end)) << "the drag selected nothing";
    click(point_in("Home Page:"), 1);  // no selection any more, and no link here

    click(point_in("satclock@example.org"), 1);
    ASSERT_TRUE(pump_until([this] { return !opened().empty(); }));
    pump_for(200);
    EXPECT_EQ("mailto:satclock@example.org?Subject=Satclock\n", opened());
}

TEST_F(AboutPageTest, ReturnInsideALinkOpensIt)
{
    gtk_widget_grab_focus(about_text_view);
    GtkTextIter plain = iter_in("Developed");
    gtk_text_buffer_place_cursor(buffer(), &plain);
    press_key(GDK_Return, GdkModifierType(0));
    GtkTextIter link = iter_in("https://www.gtk.org/");
    gtk_text_buffer_place_cursor(buffer(), &link);
    press_key(GDK_Return, GdkModifierType(0));
    ASSERT_TRUE(pump_until([this] { return !opened().empty(); }));
    pump_for(200);
    EXPECT_EQ("https://www.gtk.org/\n", opened());
}

TEST_F(AboutPageTest, PointerTurnsToAHandOverALinkAndBack)
{
    move_pointer(point_in("Home Page:"));
    EXPECT_FALSE(about_link_hover);
    move_pointer(point_in("https://satclock.example.org/"));
    EXPECT_TRUE(about_link_hover);
    EXPECT_EQ(GDK_HAND2, pointer_shape());
    move_pointer(point_in("satclock.example.org/"));
    EXPECT_EQ(GDK_HAND2, pointer_shape()) << "along the link";
    move_pointer(point_in("E-mail:"));
    EXPECT_FALSE(about_link_hover);
    EXPECT_EQ(GDK_XTERM, pointer_shape());
}

}  // namespace
