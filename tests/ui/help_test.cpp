// The help viewer with a stand-in viewer program: one viewer at a time, raised
// when asked again, replaced when closed, closed or killed at shutdown.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/process.h"
#include "src/ui/app.h"
#include "src/ui/help.h"
#include "src/ui/main_window.h"
#include "src/ui/pixtex.h"
#include "src/ui/x11_windows.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <X11/Xlib.h>
#include <csignal>
#include <gdk/gdkkeysyms.h>
#include <sstream>
#include <unistd.h>

namespace {

// One "start"/"close" line per event of the stand-in viewer.
std::vector<std::string> log_lines(const std::string& path, const std::string& kind)
{
    std::vector<std::string> lines;
    std::istringstream in(read_file(path));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(kind + " ", 0) == 0)
            lines.push_back(line);
    return lines;
}

pid_t pid_of(const std::string& line)
{
    return static_cast<pid_t>(std::stol(line.substr(line.find(' ') + 1)));
}

bool process_gone(pid_t pid)
{
    return kill(pid, 0) != 0;
}

class HelpTest : public testing::Test {
protected:
    void SetUp() override
    {
        log_ = sandbox_.path("viewer.log");
        setenv("FAKE_VIEWER_LOG", log_.c_str(), 1);
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
        build_main_window();
    }

    void TearDown() override
    {
        help_close();
        destroy_main_window();
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
    }

    bool wait_starts(size_t count)
    {
        return pump_until([&] { return log_lines(log_, "start").size() >= count; });
    }

    TestSandbox sandbox_;
    std::string log_;
};

// Watches the root window for the _NET_ACTIVE_WINDOW requests a window manager would get.
class ActivationWatch {
public:
    ActivationWatch() : display_(XOpenDisplay(nullptr))
    {
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~ActivationWatch() { XCloseDisplay(display_); }

    bool saw_activation_of_pid(pid_t pid)
    {
        Atom active = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
        std::vector<Window> windows = x11_windows_of_pid(display_, pid);
        return pump_until([&] {
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == ClientMessage && event.xclient.message_type == active)
                    for (Window window : windows)
                        if (window == event.xclient.window)
                            return true;
            }
            return false;
        });
    }

    Display* display() { return display_; }

private:
    Display* display_;
};

TEST_F(HelpTest, F1StartsTheViewerOnTheEnglishHelpFile)
{
    press_key(GDK_F1, GdkModifierType(0));
    ASSERT_TRUE(wait_starts(1));
    std::string line = log_lines(log_, "start").at(0);
    EXPECT_NE(std::string::npos, line.find("/share/help/en/satclock.html")) << line;
    EXPECT_EQ('/', line.at(line.rfind(' ') + 1)) << "the viewer gets an absolute path: " << line;
}

TEST_F(HelpTest, HelpButtonStartsTheViewer)
{
    for (GtkWidget* button : find_widgets(main_window, GTK_TYPE_BUTTON)) {
        std::vector<GtkWidget*> pixtex = find_widgets(button, MYGTK_TYPE_PIXTEX);
        if (!pixtex.empty() && std::string(gtk_widget_get_name(pixtex[0])) == "Help")
            click_button(button);
    }
    EXPECT_TRUE(wait_starts(1));
}

TEST_F(HelpTest, AskedTwiceStartsOneViewerAndRaisesIt)
{
    ActivationWatch watch;
    help_show();
    ASSERT_TRUE(wait_starts(1));
    pid_t viewer = pid_of(log_lines(log_, "start").at(0));
    help_show();
    EXPECT_TRUE(watch.saw_activation_of_pid(viewer));
    pump_for(200);
    EXPECT_EQ(1u, log_lines(log_, "start").size());
}

TEST_F(HelpTest, ViewerClosedByTheUserIsReplacedAtTheNextRequest)
{
    help_show();
    ASSERT_TRUE(wait_starts(1));
    pid_t first = pid_of(log_lines(log_, "start").at(0));
    ASSERT_EQ(1, process_close(first, 2000));
    help_show();
    ASSERT_TRUE(wait_starts(2));
    EXPECT_NE(first, pid_of(log_lines(log_, "start").at(1)));
}

TEST_F(HelpTest, ShutdownClosesAViewerThatAgrees)
{
    help_show();
    ASSERT_TRUE(wait_starts(1));
    pid_t viewer = pid_of(log_lines(log_, "start").at(0));
    help_close();
    EXPECT_TRUE(process_gone(viewer));
    EXPECT_EQ(1u, log_lines(log_, "close").size());
}

TEST_F(HelpTest, ShutdownKillsAViewerThatIgnoresTheRequest)
{
    setenv("FAKE_VIEWER_IGNORE_CLOSE", "1", 1);
    help_show();
    ASSERT_TRUE(wait_starts(1));
    pid_t viewer = pid_of(log_lines(log_, "start").at(0));
    help_close();
    EXPECT_TRUE(process_gone(viewer));
    EXPECT_EQ(1u, log_lines(log_, "close").size()) << "it was asked first";
}

TEST_F(HelpTest, ShutdownLeavesAGeneralBrowserRunning)
{
    // The stand-in viewer found as x-www-browser: the user's browser, maybe
    // with other windows and work of the user in it.
    std::string viewer = getenv("SATCLOCK_HELP_VIEWER");
    std::string path_dir = sandbox_.path("bin");
    ASSERT_EQ(symlink(viewer.c_str(), (path_dir + "/x-www-browser").c_str()), 0);
    std::string old_path = getenv("PATH");
    setenv("PATH", (path_dir + ":" + old_path).c_str(), 1);
    unsetenv("SATCLOCK_HELP_VIEWER");
    help_show();
    setenv("SATCLOCK_HELP_VIEWER", viewer.c_str(), 1);
    setenv("PATH", old_path.c_str(), 1);
    ASSERT_TRUE(wait_starts(1));
    pid_t browser = pid_of(log_lines(log_, "start").at(0));
    help_close();
    EXPECT_FALSE(process_gone(browser));
    EXPECT_EQ(0u, log_lines(log_, "close").size());
    EXPECT_EQ(1, process_close(browser, 2000));
}

TEST_F(HelpTest, ProcessCloseResults)
{
    struct Case {
        bool ignores_close;
        int expected;
    } const cases[] = {{false, 1}, {true, 2}};
    for (const Case& c : cases) {
        if (c.ignores_close)
            setenv("FAKE_VIEWER_IGNORE_CLOSE", "1", 1);
        size_t before = log_lines(log_, "start").size();
        pid_t pid = process_spawn({build_dir() + "/tests/fake_viewer"});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(wait_starts(before + 1));
        EXPECT_EQ(c.expected, process_close(pid, 200)) << "ignores close: " << c.ignores_close;
        EXPECT_TRUE(process_gone(pid));
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
    }
    EXPECT_EQ(0, process_close(999999, 200)) << "no such process";
}

}  // namespace
