// GUI test helpers: GTK initialised once per test program (skipped when only
// listing), the main window built as the program builds it, and the guards
// that fail a test on stray input: a Quit nobody chose, a key left held.
#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"

#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/info_page.h"
#include "src/ui/main_window.h"
#include "src/ui/modules.h"
#include "src/ui/pixtex.h"
#include "src/ui/resources.h"
#include "src/ui/settings_notice.h"
#include "tests/support/gtk_display.h"
#include "tests/support/test_env.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gdk/gdkx.h>
#include <libintl.h>
#include <sstream>

namespace {

// What delivered the event being handled, and where the pointer is.
std::string current_event_text()
{
    std::ostringstream text;
    if (GdkEvent* event = gtk_get_current_event()) {
        text << "event type " << event->type << ", send_event " << int(event->any.send_event) << ", window 0x"
             << std::hex << (event->any.window ? GDK_WINDOW_XID(event->any.window) : 0) << std::dec;
        if (event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE)
            text << ", key " << (gdk_keyval_name(event->key.keyval) ?: "?") << " state 0x" << std::hex
                 << event->key.state << std::dec;
        if (event->type == GDK_BUTTON_PRESS || event->type == GDK_BUTTON_RELEASE)
            text << ", button " << event->button.button << " at root " << event->button.x_root << ","
                 << event->button.y_root;
        gdk_event_free(event);
    } else {
        text << "no event (a direct call)";
    }
    gint x = 0, y = 0;
    GdkModifierType mask{};
    gdk_display_get_pointer(gdk_display_get_default(), nullptr, &x, &y, &mask);
    text << "; pointer at " << x << "," << y << " mask 0x" << std::hex << mask;
    return text.str();
}

// No in-process test chooses Quit: any activation of a Quit item (the
// window's menu, its Ctrl+Q, the tray menu) is stray input and fails the
// running test with what delivered it.
gboolean on_menu_item_activation(GSignalInvocationHint*, guint, const GValue* values, gpointer)
{
    auto* item = GTK_WIDGET(g_value_get_object(&values[0]));
    std::string text = menu_item_text(item);
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    if (text == dgettext("satclock", "Quit"))
        ADD_FAILURE() << "a Quit nobody asked for: " << current_event_text();
    return TRUE;
}

// Keys and mouse buttons held down in the X server, by name. They outlive the
// test that pressed them: a held key repeats into every later test's windows.
std::string held_input()
{
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    char keys[32] = {};
    XQueryKeymap(display, keys);
    std::string held;
    for (int code = 8; code < 256; ++code)
        if (keys[code / 8] & (1 << (code % 8)))
            held += std::string(" ") + (XKeysymToString(XkbKeycodeToKeysym(display, KeyCode(code), 0, 0)) ?: "?");
    Window root = 0, child = 0;
    int x = 0, y = 0, window_x = 0, window_y = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &window_x, &window_y, &mask);
    for (unsigned button = 1; button <= 5; ++button)
        if (mask & (Button1Mask << (button - 1)))
            held += " button" + std::to_string(button);
    return held;
}

void guard_against_stray_quit()
{
    g_type_class_unref(g_type_class_ref(GTK_TYPE_MENU_ITEM));
    g_signal_add_emission_hook(g_signal_lookup("activate", GTK_TYPE_MENU_ITEM), 0, on_menu_item_activation,
                               nullptr, nullptr);
}

class GtkEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        // Never a real browser: help requests go to the stand-in viewer.
        setenv("SATCLOCK_HELP_VIEWER", (build_dir() + "/tests/fake_viewer").c_str(), 1);
        // A failed environment would only mark the tests skipped: end the run as failed.
        if (!open_gtk_display()) {
            const char* display = std::getenv("DISPLAY");
            std::fprintf(stderr, "cannot open the X display %s: run the GUI tests under xvfb-run\n",
                         display ? display : "(unset)");
            std::exit(1);
        }
        res_register_bundle();
        guard_against_stray_quit();
        if (std::string held = held_input(); !held.empty()) {
            std::fprintf(stderr, "held down in the X server before this test began (an earlier test left them):%s\n",
                         held.c_str());
            std::exit(1);
        }
    }

    void TearDown() override
    {
        std::string held = held_input();
        EXPECT_TRUE(held.empty()) << "held down in the X server after the test:" << held;
    }
};

const auto* gtk_environment = testing::AddGlobalTestEnvironment(new GtkEnvironment);

GtkWidget* menu_bar()
{
    GtkWidget* outer = gtk_bin_get_child(GTK_BIN(main_window));
    GList* children = gtk_container_get_children(GTK_CONTAINER(outer));
    GtkWidget* bar = GTK_WIDGET(children->data);
    g_list_free(children);
    return bar;
}

}  // namespace

void build_main_window()
{
    app_set_working_directory();
    app_choose_language();
    menu_current_page = -1;
    app_create_main_window();
    // The test process goes on whatever reaches the window: its Quit item
    // and its destruction do not end it.
    g_signal_handlers_disconnect_by_func(main_window, reinterpret_cast<gpointer>(app_quit), nullptr);
    g_signal_connect(main_window, "destroy", G_CALLBACK(gtk_widget_destroyed), &main_window);
    g_signal_handlers_block_matched(menu_items(0).back(), G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                    reinterpret_cast<gpointer>(menu_activate), nullptr);
    gtk_widget_show(main_window);
    if (!pump_until([] { return main_window->window && gdk_window_is_viewable(main_window->window); }))
        ADD_FAILURE() << "the main window was never shown";
    pump_for(50);
}

void build_main_window_with_settings(const std::string& folder, const std::vector<std::string>& lines)
{
    // A change an earlier window posted must not land in the new file.
    if (!settings_flush(10000))
        ADD_FAILURE() << "the settings writer did not finish the earlier window's changes";
    g_mkdir_with_parents(folder.c_str(), 0700);
    std::ofstream file(folder + "/satclock.ini", std::ios::binary);
    for (const std::string& line : lines)
        file << line << "\r\n";
    file.close();
    settings_start();  // as the start-up: the path, and what is wrong with the file
    build_main_window();
}

void destroy_main_window()
{
    if (!main_window)
        return;
    gtk_widget_destroy(main_window);
    main_window = nullptr;
    main_notebook = nullptr;
    pump_for(20);
}

// The simulated events make a round trip through the X server: wait until
// they are back in our queue, then handle everything queued.
void drain_x_events()
{
    for (int round = 0; round < 3; ++round) {
        gdk_flush();
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
    }
    pump_for(20);
}

void press_key(guint keyval, GdkModifierType modifiers)
{
    gdk_test_simulate_key(main_window->window, -1, -1, keyval, modifiers, GDK_KEY_PRESS);
    gdk_test_simulate_key(main_window->window, -1, -1, keyval, modifiers, GDK_KEY_RELEASE);
    drain_x_events();
}

void click_window(GdkWindow* window, int x, int y)
{
    gdk_test_simulate_button(window, x, y, 1, GdkModifierType(0), GDK_BUTTON_PRESS);
    gdk_test_simulate_button(window, x, y, 1, GdkModifierType(0), GDK_BUTTON_RELEASE);
    drain_x_events();
}

// The simulated click goes where the pointer lands on the screen: a widget
// a page's scroller holds out of sight is first scrolled into it.
void scroll_into_view(GtkWidget* widget)
{
    GtkWidget* scroller = gtk_widget_get_ancestor(widget, GTK_TYPE_SCROLLED_WINDOW);
    GtkWidget* content = scroller ? gtk_bin_get_child(GTK_BIN(scroller)) : nullptr;
    int x = 0, y = 0;
    if (!content || !gtk_widget_translate_coordinates(widget, content, 0, 0, &x, &y))
        return;
    GtkScrolledWindow* window = GTK_SCROLLED_WINDOW(scroller);
    gtk_adjustment_clamp_page(gtk_scrolled_window_get_hadjustment(window), x, x + widget->allocation.width);
    gtk_adjustment_clamp_page(gtk_scrolled_window_get_vadjustment(window), y, y + widget->allocation.height);
    while (gtk_events_pending())
        gtk_main_iteration();
    gdk_window_process_all_updates();
}

void click_button(GtkWidget* button)
{
    scroll_into_view(button);
    // GtkButton clicks only while it believes the pointer is inside it.
    gtk_button_enter(GTK_BUTTON(button));
    click_window(GTK_BUTTON(button)->event_window, button->allocation.width / 2,
                 button->allocation.height / 2);
}

std::vector<GtkWidget*> menu_items(int menu_index)
{
    GList* tops = gtk_container_get_children(GTK_CONTAINER(menu_bar()));
    GtkWidget* top = GTK_WIDGET(g_list_nth_data(tops, menu_index));
    g_list_free(tops);
    GtkWidget* menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(top));
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    std::vector<GtkWidget*> out;
    for (GList* at = items; at; at = at->next)
        out.push_back(GTK_WIDGET(at->data));
    g_list_free(items);
    return out;
}

std::string menu_item_text(GtkWidget* item)
{
    std::vector<GtkWidget*> pixtexes = find_widgets(item, MYGTK_TYPE_PIXTEX);
    if (!pixtexes.empty())
        return gtk_label_get_text(GTK_LABEL(MYGTK_PIXTEX(pixtexes.front())->label));
    std::vector<GtkWidget*> labels = find_widgets(item, GTK_TYPE_LABEL);
    return labels.empty() ? std::string() : gtk_label_get_text(GTK_LABEL(labels.front()));
}

std::vector<GtkWidget*> find_widgets(GtkWidget* root, GType type)
{
    std::vector<GtkWidget*> out;
    std::vector<GtkWidget*> stack{root};
    while (!stack.empty()) {
        GtkWidget* widget = stack.back();
        stack.pop_back();
        if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type))
            out.push_back(widget);
        if (!GTK_IS_CONTAINER(widget))
            continue;
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        std::vector<GtkWidget*> in_order;
        for (GList* at = children; at; at = at->next)
            in_order.push_back(GTK_WIDGET(at->data));
        g_list_free(children);
        // Depth first, in container order.
        for (auto it = in_order.rbegin(); it != in_order.rend(); ++it)
            stack.push_back(*it);
    }
    return out;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

LogCapture::LogCapture()
{
    id_ = g_log_set_handler(nullptr, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL), handler, this);
}

LogCapture::~LogCapture()
{
    g_log_remove_handler(nullptr, id_);
}

void LogCapture::handler(const gchar*, GLogLevelFlags, const gchar* message, gpointer self)
{
    static_cast<LogCapture*>(self)->messages_.push_back(message);
}

WindowManagerRequests::WindowManagerRequests() : display_(XOpenDisplay(nullptr))
{
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
    state_ = XInternAtom(display_, "_NET_WM_STATE", False);
    above_ = XInternAtom(display_, "_NET_WM_STATE_ABOVE", False);
    change_state_ = XInternAtom(display_, "WM_CHANGE_STATE", False);
}

WindowManagerRequests::~WindowManagerRequests() { XCloseDisplay(display_); }

std::vector<std::vector<long>> WindowManagerRequests::messages(unsigned long window, unsigned long type)
{
    std::vector<std::vector<long>> found;
    XSync(display_, False);
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        const XClientMessageEvent& message = event.xclient;
        if (event.type == ClientMessage && message.message_type == type && message.window == window)
            found.push_back({message.data.l[0], message.data.l[1], message.data.l[2]});
    }
    return found;
}

std::vector<long> WindowManagerRequests::above_changes(unsigned long window)
{
    std::vector<long> changes;
    for (const std::vector<long>& data : messages(window, state_))
        if (Atom(data[1]) == above_ || Atom(data[2]) == above_)
            changes.push_back(data[0]);
    return changes;
}

int WindowManagerRequests::iconify_requests(unsigned long window)
{
    int count = 0;
    for (const std::vector<long>& data : messages(window, change_state_))
        count += data[0] == IconicState;
    return count;
}

namespace {

// What the window asks for, given it at once as its size (no window manager here).
bool window_at_its_request(GtkRequisition* asked)
{
    gtk_widget_queue_resize(main_window);
    gtk_widget_size_request(main_window, asked);
    gtk_window_resize(GTK_WINDOW(main_window), asked->width, asked->height);
    return pump_until([&] {
        return main_window->allocation.width == asked->width && main_window->allocation.height == asked->height;
    });
}

// A label whose text needs more room than it was given (a wrapped label
// given less height than its lines take), or, outside a scrolled page, below
// the window's edge; and a window larger than the screen.
void add_fit_problems(const std::string& state, std::vector<std::string>* problems)
{
    GtkRequisition asked{};
    if (!window_at_its_request(&asked))
        return problems->push_back(state + ": the window never took its size");
    if (asked.width > 1024 || asked.height > 768 - 48)
        problems->push_back(state + ": " + std::to_string(asked.width) + "x" + std::to_string(asked.height) +
                            " does not fit 1024x768");
    for (GtkWidget* label : find_widgets(main_window, GTK_TYPE_LABEL)) {
        if (!gtk_widget_is_drawable(label) || gtk_label_get_ellipsize(GTK_LABEL(label)) != PANGO_ELLIPSIZE_NONE)
            continue;
        int width = 0, height = 0, xpad = 0, ypad = 0;
        pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), &width, &height);
        gtk_misc_get_padding(GTK_MISC(label), &xpad, &ypad);
        const GtkAllocation& at = label->allocation;
        bool below = !gtk_widget_get_ancestor(label, GTK_TYPE_VIEWPORT) && at.y + at.height > asked.height;
        if (width + 2 * xpad > at.width || height + 2 * ypad > at.height || below)
            problems->push_back(state + ": \"" + gtk_label_get_text(GTK_LABEL(label)) + "\" is cut or off the window");
    }
}

void show_longest_lines()
{
    const char* const cause = "Cannot open COM12 (/dev/serial/by-id/usb-u-blox_AG_-_www.u-blox.com_u-blox_7_-_GPS_GNSS_"
                              "Receiver-if00): permission denied. Join its group dialout: sudo usermod -aG dialout "
                              "$USER, then log out and in again.";
    std::string causes = std::string(cause) + "\n" + cause + "\n" + cause;
    for (GtkWidget* label : {info_widgets.status, info_widgets.result, info_widgets.offset, info_widgets.question_text})
        gtk_label_set_text(GTK_LABEL(label), causes.c_str());
    for (GtkWidget* widget : {info_widgets.status, info_widgets.result, info_widgets.offset, info_widgets.question})
        gtk_widget_show(widget);
    GtkWidget* notice = settings_notice_label();
    gtk_label_set_text(GTK_LABEL(notice), cause);
    gtk_widget_show(gtk_widget_get_parent(notice));
}

}  // namespace

std::vector<std::string> window_fit_problems()
{
    std::vector<std::string> problems;
    const char* const pages[] = {"GPS info", "GPS configuration", "Preferences", "About"};
    for (int page = 0; page < 4; ++page) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), page);
        add_fit_problems(pages[page], &problems);
    }
    gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), 0);
    show_longest_lines();
    add_fit_problems("GPS info, question, status lines, notice", &problems);
    return problems;
}
