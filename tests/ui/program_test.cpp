// The real satclock program under Xvfb, driven from outside through the X
// server: Quit through its menu, the help viewer at Quit, a second copy, the
// tray icon and the start hidden in the tray.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/clock.h"
#include "platform/process.h"
#include "src/ui/x11_windows.h"
#include "tests/support/test_env.h"
#include "tests/support/x11_drive.h"
#include "tests/ui/tray_host.h"
#include "tests/ui/ui_test_support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Xvfb refuses connections while it resets after its last client left.
        for (int attempt = 0; attempt < 100 && !(display_ = XOpenDisplay(nullptr)); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_NE(nullptr, display_) << "no X display: run the GUI tests under xvfb-run";
        setenv("XDG_RUNTIME_DIR", sandbox_.dir().c_str(), 1);
        setenv("FAKE_VIEWER_LOG", sandbox_.path("viewer.log").c_str(), 1);
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
        setenv("SATCLOCK_HELP_VIEWER", (build_dir() + "/tests/fake_viewer").c_str(), 1);
        // A GTK program keeps its caches to the end: no leak report at exit.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        // The intro window would hold the start-up until it is closed.
        ASSERT_EQ(0, mkdir(sandbox_.path("appdata/satclock").c_str(), 0755));
        settings("screen_no_show=\"TRUE\"\r\n");
    }

    // Appends lines to the settings file.
    void settings(const std::string& lines)
    {
        std::ofstream(sandbox_.path("appdata/satclock/satclock.ini"), std::ios::app) << lines;
    }

    void TearDown() override
    {
        for (pid_t pid : started_)
            if (process_wait(pid, 0) == -2) {
                kill(pid, SIGTERM);
                if (process_wait(pid, 2000) == -2) {
                    kill(pid, SIGKILL);
                    process_wait(pid);
                }
            }
        if (display_)
            XCloseDisplay(display_);
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
    }

    // Starts build/bin/satclock (or another program) with its output in <sandbox>/<name>.out.
    pid_t start(const std::string& name, const std::string& program = build_dir() + "/bin/satclock")
    {
        std::string out = sandbox_.path(name + ".out");
        pid_t pid = spawn_test_child({"sh", "-c", "exec \"$0\" >\"$1\" 2>&1", program, out});
        if (pid > 0)
            started_.push_back(pid);
        return pid;
    }

    std::string output(const std::string& name) { return read_file(sandbox_.path(name + ".out")); }

    // A simulated receiver on COM3, named in the settings file.
    void start_receiver_on_com3()
    {
        pid_t receiver = spawn_test_child({build_dir() + "/bin/satclock-gpssim", "--port", "3", "--port-dir",
                                           sandbox_.path("ports")});
        ASSERT_GT(receiver, 0);
        started_.push_back(receiver);
        ASSERT_TRUE(wait_until([&] { return access(sandbox_.path("ports/COM3").c_str(), F_OK) == 0; }));
        settings("com_port=\"3\"\r\nbaudrate=\"4800\"\r\n");
    }

    // The main window of a process, or 0.
    Window main_window_of(pid_t pid) { return x11_satclock_window(display_, pid); }

    bool viewable(Window window) { return x11_viewable(display_, window); }

    Window wait_shown(pid_t pid)
    {
        Window window = 0;
        return wait_until([&] { return viewable(window = main_window_of(pid)); }) ? window : 0;
    }

    void key(Window window, KeySym symbol, unsigned modifiers = 0) { x11_send_key(display_, window, symbol, modifiers); }

    size_t viewer_starts() { return count_lines("start "); }

    size_t count_lines(const std::string& prefix)
    {
        std::string log = read_file(sandbox_.path("viewer.log"));
        size_t count = 0;
        for (size_t at = 0; (at = log.find(prefix, at)) != std::string::npos; at += prefix.size())
            ++count;
        return count;
    }

    pid_t viewer_pid()
    {
        std::string log = read_file(sandbox_.path("viewer.log"));
        return static_cast<pid_t>(std::stol(log.substr(log.find("start ") + 6)));
    }

    TestSandbox sandbox_;
    Display* display_ = nullptr;
    std::vector<pid_t> started_;
};

TEST_F(ProgramTest, QuitThroughTheOptionsMenuStopsTheReaderAndEndsWithStatusZero)
{
    ASSERT_NO_FATAL_FAILURE(start_receiver_on_com3());

    pid_t pid = start("first");
    ASSERT_GT(pid, 0);
    Window window = wait_shown(pid);
    ASSERT_NE(0u, window) << output("first");
    ASSERT_TRUE(wait_until([&] { return output("first").find("start thread read_com_thread_func") != std::string::npos; }));
    key(window, XK_o, Mod1Mask);
    key(window, XK_Up);  // from the first item round to the last one, Quit
    key(window, XK_Return);
    EXPECT_EQ(0, process_wait(pid, 10000)) << output("first");
    std::string out = output("first");
    EXPECT_NE(std::string::npos, out.find("curdir=" + build_dir() + "/bin\n\n")) << out;
    size_t quit = out.find("menuitem quit\n");
    size_t reader_gone = out.find("exit read_com_thread_func");
    size_t stopped = out.find("run stop thread_com_read 2\n");
    size_t bye = out.find("bye!\n");
    ASSERT_NE(std::string::npos, quit) << out;
    ASSERT_NE(std::string::npos, bye) << out;
    EXPECT_LT(quit, reader_gone) << out;
    EXPECT_LT(reader_gone, stopped) << out;
    EXPECT_LT(stopped, bye) << out;
    EXPECT_EQ(std::string::npos, out.find("no open com=")) << out;
}

// The reader reading, the analysis thread waiting for a pulse and the 1PPS
// watcher publishing edges without pause when Quit is chosen: the process
// ends with status 0 all the same, and soon.
TEST_F(ProgramTest, QuitWhileEveryThreadIsBusyEndsWithStatusZero)
{
    ASSERT_NO_FATAL_FAILURE(start_receiver_on_com3());
    settings("use_pps=\"TRUE\"\r\nuse_cts=\"TRUE\"\r\n");
    pid_t pid = start("busy", build_dir() + "/tests/quit_while_busy");
    ASSERT_TRUE(wait_until([&] { return output("busy").find("quit at ") != std::string::npos; }, 30000))
        << output("busy");
    int status = process_wait(pid, 10000);
    int64_t ended_ns = platform_monotonic_ns();
    std::string out = output("busy");
    ASSERT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("bye!\n")) << out;
    long long quit_ns = std::atoll(out.c_str() + out.find("quit at ") + 8);
    RecordProperty("quit_to_exit_ms", std::to_string((ended_ns - quit_ns) / 1000000));
    std::printf("Quit to exit: %lld ms\n", (ended_ns - quit_ns) / 1000000);
}

// Quit with a viewer that ignores the request to close and the settings
// writer held up past Quit's bound: the Quit handler returns, the main loop
// beats on while the viewer is killed and the waits run out, and the program
// says what it left and ends with status 0.
TEST_F(ProgramTest, QuitLeavesTheGtkThreadFreeWhileItWaits)
{
    ASSERT_NO_FATAL_FAILURE(start_receiver_on_com3());
    setenv("FAKE_VIEWER_IGNORE_CLOSE", "1", 1);
    pid_t pid = start("watched", build_dir() + "/tests/quit_watched");
    ASSERT_GT(pid, 0);
    ASSERT_EQ(0, process_wait(pid, 30000)) << output("watched");
    std::string out = output("watched");
    size_t returned = out.find("quit returned\n");
    size_t left = out.find("settings: changes still unwritten at the end\n");
    ASSERT_NE(std::string::npos, returned) << out;
    EXPECT_LT(out.find("quit\n"), returned) << out;
    EXPECT_LT(out.find("beat\n", returned), left) << out;
    EXPECT_LT(left, out.find("bye!\n")) << out;
    EXPECT_TRUE(wait_until([&] { return kill(viewer_pid(), 0) != 0; })) << "viewer left running";
    EXPECT_EQ(1u, count_lines("close ")) << "asked to close first";
}

TEST_F(ProgramTest, ViewerStillOpenAtQuitIsClosedOrKilled)
{
    for (bool ignores_close : {false, true}) {
        if (ignores_close)
            setenv("FAKE_VIEWER_IGNORE_CLOSE", "1", 1);
        std::string name = ignores_close ? "stubborn" : "polite";
        size_t before = viewer_starts();
        pid_t pid = start(name);
        Window window = wait_shown(pid);
        ASSERT_NE(0u, window) << output(name);
        key(window, XK_F1);
        ASSERT_TRUE(wait_until([&] { return viewer_starts() > before; })) << output(name);
        pid_t viewer = viewer_pid();
        if (ignores_close) {
            std::string log = read_file(sandbox_.path("viewer.log"));
            viewer = static_cast<pid_t>(std::stol(log.substr(log.rfind("start ") + 6)));
        }
        key(window, XK_q, ControlMask);
        EXPECT_EQ(0, process_wait(pid, 10000)) << output(name);
        EXPECT_TRUE(wait_until([&] { return kill(viewer, 0) != 0; }, 2000)) << name << " viewer left running";
        EXPECT_EQ(ignores_close ? 2u : 1u, count_lines("close ")) << "asked to close first";
    }
}

TEST_F(ProgramTest, SecondCopyShowsTheFirstOnesWindowAndEnds)
{
    TrayHost host;
    ASSERT_TRUE(host.ready()) << host.problem();
    pid_t first = start("first");
    Window window = wait_shown(first);
    ASSERT_NE(0u, window) << output("first");
    // The close box: hidden, still running, once the tray has taken the icon in
    // (before, Close minimizes).
    ASSERT_TRUE(wait_until([&] {
        x11_send_delete(display_, window);
        return !viewable(window);
    }));

    pid_t second = start("second");
    EXPECT_EQ(0, process_wait(second, 10000)) << output("second");
    EXPECT_TRUE(wait_until([&] { return viewable(window); })) << output("first");
    EXPECT_EQ(0u, main_window_of(second));
    EXPECT_EQ(std::string::npos, output("second").find("curdir=")) << "the second copy stops before its start-up";

    key(window, XK_q, ControlMask);
    EXPECT_EQ(0, process_wait(first, 10000)) << output("first");
}

// A copy without a window holds the receiver's port as the desktop program
// does: a desktop copy started beside it names it as the port's holder, and
// `satclock --status` reads both, the JSON being the reading copy's.
TEST_F(ProgramTest, StatusReadsTheHeadlessCopyAndTheDesktopCopyBesideIt)
{
    ASSERT_NO_FATAL_FAILURE(start_receiver_on_com3());
    std::string status;
    pid_t headless = spawn_test_child({"/bin/sh", "-c", "exec \"$0\" --headless 2>\"$1\"", build_dir() + "/bin/satclock",
                                 sandbox_.path("headless.out")});
    ASSERT_GT(headless, 0);
    started_.push_back(headless);
    ASSERT_TRUE(wait_until([&] {
        return process_run_capture({build_dir() + "/bin/satclock", "--status", "--json"}, &status) == 0;
    })) << status << output("headless");
    pid_t desktop = start("desktop");
    ASSERT_NE(0u, wait_shown(desktop)) << output("desktop");
    std::string holder = "in use by satclock (process " + std::to_string(headless) + ")";
    std::string text;
    EXPECT_TRUE(wait_until([&] {
        process_run_capture({build_dir() + "/bin/satclock", "--status"}, &text);
        return text.find("(desktop), process " + std::to_string(desktop)) != std::string::npos &&
               text.find(holder) != std::string::npos;
    })) << text;
    EXPECT_EQ(0, process_run_capture({build_dir() + "/bin/satclock", "--status", "--json"}, &status)) << status;
    EXPECT_NE(std::string::npos, status.find("\"mode\":\"headless\"")) << status;
    kill(headless, SIGTERM);
    EXPECT_EQ(0, process_wait(headless, 2000)) << output("headless");
    // The desktop copy alone: it takes the port at its next try and reads it.
    EXPECT_TRUE(wait_until([&] {
        return process_run_capture({build_dir() + "/bin/satclock", "--status", "--json"}, &status) == 0 &&
               status.find("\"mode\":\"desktop\"") != std::string::npos;
    })) << status;
}

TEST_F(ProgramTest, AfterTheFirstCopyEndsANewOneRuns)
{
    pid_t first = start("first");
    Window window = wait_shown(first);
    ASSERT_NE(0u, window);
    key(window, XK_q, ControlMask);
    ASSERT_EQ(0, process_wait(first, 10000));
    pid_t next = start("next");
    Window next_window = wait_shown(next);
    ASSERT_NE(0u, next_window) << output("next");
    key(next_window, XK_q, ControlMask);
    EXPECT_EQ(0, process_wait(next, 10000)) << output("next");
}

// The program in a notification area (trayer), and on a desktop without one.
class TrayProgramTest : public ProgramTest {
protected:
    // The tray icon of a process: its window carries the title "Satclock".
    Window icon_of(pid_t pid) { return shown_window_titled(pid, "Satclock"); }

    Window shown_window_titled(pid_t pid, const std::string& title)
    {
        for (Window window : x11_windows_of_pid(display_, pid)) {
            char* name = nullptr;
            bool match = XFetchName(display_, window, &name) && name && std::string(name) == title;
            if (name)
                XFree(name);
            if (match && viewable(window))
                return window;
        }
        return 0;
    }

    // The pop-up menu on the screen: a viewable override-redirect window taller
    // than the icon's tooltip. Its root position and size, or false.
    bool popup_menu(XWindowAttributes* menu)
    {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        bool found = false;
        if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
            return false;
        for (unsigned i = 0; i < count && !found; ++i)
            found = XGetWindowAttributes(display_, children[i], menu) && menu->override_redirect &&
                    menu->map_state == IsViewable && menu->height >= 80;
        if (children)
            XFree(children);
        return found;
    }

    // Right-clicks the icon and clicks the menu's last item, Quit. The icon's
    // place settles only after the tray host has sized it, so a click that
    // found no icon yet is repeated.
    void quit_through_the_tray_menu(Window icon)
    {
        XWindowAttributes menu{};
        bool shown = false;
        for (int attempt = 0; attempt < 5 && !shown; ++attempt) {
            right_click(icon);
            shown = wait_until([&] { return popup_menu(&menu); }, 2000);
        }
        ASSERT_TRUE(shown) << "no menu popped up";
        pointer_click(menu.x + menu.width / 2, menu.y + menu.height - 12, 1);
    }

    void right_click(Window window)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, window, &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        pointer_click(x + attributes.width / 2, y + attributes.height / 2, 3);
    }
};

TEST_F(TrayProgramTest, HiddenAtStartAndQuitFromTheTrayEndsWithStatusZero)
{
    TrayHost host;
    ASSERT_TRUE(host.ready()) << host.problem();
    settings("turn_to_tray=\"TRUE\"\r\n");
    pid_t pid = start("tray");
    Window icon = 0;
    ASSERT_TRUE(wait_until([&] { return (icon = icon_of(pid)) != 0; })) << output("tray");
    EXPECT_FALSE(viewable(main_window_of(pid)));

    quit_through_the_tray_menu(icon);
    EXPECT_EQ(0, process_wait(pid, 10000)) << output("tray");
    std::string out = output("tray");
    EXPECT_NE(std::string::npos, out.find("bye!\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("is ignored")) << "the window stayed in the tray: " << out;
}

TEST_F(TrayProgramTest, QuitFromTheTrayWhileTheIntroWindowIsOpenEndsAtOnce)
{
    TrayHost host;
    ASSERT_TRUE(host.ready()) << host.problem();
    std::ofstream(sandbox_.path("appdata/satclock/satclock.ini")) << "screen_no_show=\"FALSE\"\r\n";
    pid_t pid = start("intro");
    Window icon = 0;
    ASSERT_TRUE(wait_until([&] { return (icon = icon_of(pid)) != 0 && shown_window_titled(pid, "Satclock 1.2.1"); }))
        << output("intro");  // the intro window: the main window waits for it to close
    quit_through_the_tray_menu(icon);
    EXPECT_EQ(0, process_wait(pid, 10000)) << output("intro");
}

TEST_F(TrayProgramTest, WithoutANotificationAreaHideToTrayIsIgnoredAndTheWindowShown)
{
    settings("turn_to_tray=\"TRUE\"\r\n");
    pid_t pid = start("no-tray");
    Window window = wait_shown(pid);
    ASSERT_NE(0u, window) << output("no-tray");
    EXPECT_NE(std::string::npos, output("no-tray").find("\"Hide to system tray after start up\" is ignored"))
        << output("no-tray");
    key(window, XK_q, ControlMask);
    EXPECT_EQ(0, process_wait(pid, 10000)) << output("no-tray");
}

}  // namespace
