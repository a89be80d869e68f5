// quit_time: how long Quit holds the desktop program. The real satclock runs
// under the caller's X display in a sandbox of its own (clock file, channel,
// port, settings and runtime folders), reading a simulated receiver, with its
// help viewer open (the tests' stand-in viewer, which with --stubborn ignores
// the request to close, as a hung viewer would) and a setting just changed
// through the GPS info page, so that its write is still pending. Each
// round measures from the Quit key stroke to the main window's going and to
// the end of the process, as its parent sees them (1 ms steps).
//
// --locked holds the settings folder's lock meanwhile, as another writer of
// the settings would, so that the write first waits 500 ms for it.
//
//   quit_time [ROUNDS] [--stubborn] [--locked]   (default 5 rounds)
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "platform/env.h"
#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/process.h"
#include "platform/time_units.h"
#include "tests/support/x11_drive.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPort = 7;
// The setting the rounds change: "Automatically synchronize with the GPS
// receiver", on at the start, the first widget after the notebook's tabs.
constexpr char kChangedLine[] = "auto_update=\"FALSE\"";

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string help_viewer(const std::string& bin)
{
    std::string named = env_value("SATCLOCK_HELP_VIEWER");
    return !named.empty() ? named : bin + "/../tests/fake_viewer";
}

void sandbox_environment(const std::string& dir, const std::string& viewer, bool stubborn)
{
    bench_sandbox_environment(dir, "quittime" + std::to_string(getpid()) + "_");
    for (const char* sub : {"appdata/satclock", "config", "runtime", "channel"})
        fs::create_directories(dir + "/" + sub);
    std::ofstream(dir + "/appdata/satclock/satclock.ini")
        << "com_port=\"" << kPort << "\"\r\nbaudrate=\"4800\"\r\nauto_update=\"TRUE\"\r\nscreen_no_show=\"TRUE\"\r\n"
        << "turn_to_tray=\"FALSE\"\r\n";
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
    setenv("SATCLOCK_HELP_VIEWER", viewer.c_str(), 1);
    setenv("FAKE_VIEWER_LOG", (dir + "/viewer.log").c_str(), 1);
    if (stubborn)
        setenv("FAKE_VIEWER_IGNORE_CLOSE", "1", 1);
    else
        unsetenv("FAKE_VIEWER_IGNORE_CLOSE");
}

struct Options {
    int rounds = 5;
    bool stubborn = false;  // the viewer ignores the request to close
    bool locked = false;    // the settings folder's lock is held by another
};

struct Round {
    bool ok = false;
    double quit_ms = 0;    // from the Quit key stroke to the end of the process
    double hide_ms = 0;    // to the main window no longer viewable
    bool written = false;  // the changed setting reached the file
};

double ms_since(int64_t start_ns) { return double(platform_monotonic_ns() - start_ns) / double(kNsPerMs); }

// Watches the window and the process every millisecond from the Quit on.
void time_the_end(Display* display, Window window, pid_t satclock, Round& round)
{
    int64_t clicked = platform_monotonic_ns();
    x11_send_key(display, window, XK_q, ControlMask);
    bool hidden = false;
    int status = -2;
    while (status == -2 && ms_since(clicked) < 30000) {
        if (!hidden && !x11_viewable(display, window)) {
            hidden = true;
            round.hide_ms = ms_since(clicked);
        }
        status = process_wait(satclock, 0);
        if (status == -2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    round.quit_ms = ms_since(clicked);
    round.ok = status == 0;
}

// Help, then the first check box of the GPS info page (Tab from the
// notebook's tabs, which hold the focus at the start, and space), then Quit.
Round quit_once(Display* display, pid_t satclock, const std::string& dir)
{
    Round round;
    Window window = 0;
    if (!bench_wait_until(15000, [&] { return x11_viewable(display, window = x11_satclock_window(display, satclock)); }))
        return round;
    x11_send_key(display, window, XK_F1);
    if (!bench_wait_until(10000, [&] { return read_text(dir + "/viewer.log").find("start ") != std::string::npos; }))
        return round;
    for (KeySym key : {XK_Tab, XK_space})
        x11_send_key(display, window, key);
    time_the_end(display, window, satclock, round);
    round.written = read_text(dir + "/appdata/satclock/satclock.ini").find(kChangedLine) != std::string::npos;
    return round;
}

Round run_round(const std::string& bin, const std::string& viewer, const Options& options, int index)
{
    std::string dir = bench_temp_folder("quit_time");
    if (dir.empty())
        return Round{};
    sandbox_environment(dir, viewer, options.stubborn);
    // Another writer of the settings holds their folder: each write waits for it first.
    std::optional<FolderLock> held;
    if (options.locked)
        held.emplace(dir + "/appdata/satclock/satclock.ini", 0);
    pid_t receiver = process_spawn({"sh", "-c", "exec \"$0\" \"$@\" >/dev/null", bin + "/satclock-gpssim", "--port", std::to_string(kPort), "--port-dir",
                                    dir + "/ports", "--baud", "4800"});
    bool linked = bench_wait_until(5000, [&] { return fs::exists(dir + "/ports/COM" + std::to_string(kPort)); });
    pid_t satclock = process_spawn({"sh", "-c", "exec \"$0\" >\"$1\" 2>&1", bin + "/satclock", dir + "/satclock.out"});
    Display* display = XOpenDisplay(nullptr);
    Round round;
    if (linked && satclock > 0 && display)
        round = quit_once(display, satclock, dir);
    if (display)
        XCloseDisplay(display);
    std::string out = read_text(dir + "/satclock.out");
    std::string log = read_text(dir + "/viewer.log");
    size_t at = log.find("start ");
    bench_stop_child(satclock, SIGTERM, 3000);
    bench_stop_child(receiver, SIGTERM, 3000);
    if (at != std::string::npos)
        kill(pid_t(std::atol(log.c_str() + at + 6)), SIGKILL);
    if (!round.ok) {
        std::fprintf(stderr, "quit_time: round %d failed; satclock said:\n%s", index, out.c_str());
        return round;
    }
    std::printf("round %d: %.1f ms from Quit to the end (window gone after %.1f ms), the setting %s%s\n", index,
                round.quit_ms, round.hide_ms, round.written ? "written" : "not written",
                out.find("quit: the reader has not ended") != std::string::npos ? ", the reader left running" : "");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return round;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: quit_time [ROUNDS] [--stubborn] [--locked]\n"
    "       quit_time --help | --version\n"
    "Time from the Quit of satclock (help viewer open, a setting just changed) to\n"
    "the end of its process, ROUNDS times (default 5); --stubborn: the viewer\n"
    "ignores the request to close; --locked: another writer holds the settings\n"
    "folder's lock. Needs an X display (xvfb-run).\n"
    "Its last line is one key=value line of the figures.\n";

namespace {

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stubborn") == 0)
            options.stubborn = true;
        else if (std::strcmp(argv[i], "--locked") == 0)
            options.locked = true;
        else
            options.rounds = std::atoi(argv[i]);
    }
    return options.rounds > 0;
}


}  // namespace

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "quit_time", kUsage))
        return 0;
    Options options;
    if (!parse(argc, argv, options) || env_value("DISPLAY").empty()) {
        std::fprintf(stderr, "usage: quit_time [ROUNDS] [--stubborn] [--locked] (the window needs an X display: "
                             "xvfb-run)\n");
        return 2;
    }
    // The window is looked at while it goes: a request about a window gone is no failure.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    std::string bin = bench_bin_dir();
    std::string viewer = help_viewer(bin);
    std::vector<int64_t> times_ns, hides_ns;
    int written = 0, failed = 0;
    for (int i = 1; i <= options.rounds; ++i) {
        Round round = run_round(bin, viewer, options, i);
        if (!round.ok) {
            ++failed;
            continue;
        }
        times_ns.push_back(int64_t(round.quit_ms * double(kNsPerMs)));
        hides_ns.push_back(int64_t(round.hide_ms * double(kNsPerMs)));
        written += round.written ? 1 : 0;
    }
    BenchFigures quit = figures_ms(times_ns), hide = figures_ms(hides_ns);
    std::printf("p50_ms=%.1f max_ms=%.1f hide_p50_ms=%.1f hide_max_ms=%.1f rounds=%zu written=%d failed=%d\n",
                quit.p50, quit.max, hide.p50, hide.max, times_ns.size(), written, failed);
    return failed == 0 ? 0 : 1;
}
