// idle_cpu: the cost of waiting. satclock runs with its window hidden (closed
// as by the user) while the simulated receiver sends GGA and RMC once a second
// at 4800 baud; clockkeeper runs as "debug" with no command coming. Over the
// measured span it prints each program's CPU time as a share of one core and
// its wake-ups per second: the context switches of all its threads, from
// /proc/<pid>/task/*/status. Everything runs in a sandbox of its own (clock
// file, channel prefix, port and settings folders). Needs an X display
// (xvfb-run) and trayer, started here as the desktop's notification area.
//
// One run per way the receiver's bytes reach the port (the simulator's
// --delivery): byte at a time, a 16550's FIFO, USB packets. The last line
// holds the USB figures.
//
// With --headless it measures `satclock --headless` instead: no display, no
// tray, one run.
//
//   idle_cpu [SECONDS] [--delivery byte|fifo|usb]   (default 60 s each, all three)
//   idle_cpu [SECONDS] --headless [--delivery ...]  (default usb)
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "src/ui/x11_windows.h"
#include "platform/process.h"
#include "tests/support/x11_drive.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPort = 7;
constexpr int kSettleSeconds = 4;

struct ThreadSample {
    std::string name;
    long switches = 0;
    double cpu_seconds = 0;
};

struct Sample {
    double cpu_seconds = 0;
    long switches = 0;
    std::map<int, ThreadSample> threads;  // by thread id
};

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long status_field(const std::string& status, const std::string& key)
{
    size_t at = status.find("\n" + key + ":");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + key.size() + 2);
}

// utime + stime from a stat file of a process or a thread, in seconds.
double cpu_seconds_of(const std::string& stat_path)
{
    std::string stat = read_text(stat_path);
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atol(field.c_str());
        if (i == 15)
            stime = std::atol(field.c_str());
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// The CPU time of the whole process (dead threads included), and the
// context switches and CPU time of the threads alive now.
Sample sample_of(pid_t pid)
{
    Sample sample;
    sample.cpu_seconds = cpu_seconds_of("/proc/" + std::to_string(pid) + "/stat");
    std::error_code ignored;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
        std::string status = read_text(task.path().string() + "/status");
        ThreadSample thread;
        thread.switches = status_field(status, "voluntary_ctxt_switches") +
                          status_field(status, "nonvoluntary_ctxt_switches");
        thread.cpu_seconds = cpu_seconds_of(task.path().string() + "/stat");
        thread.name = read_text(task.path().string() + "/comm");
        while (!thread.name.empty() && thread.name.back() == '\n')
            thread.name.pop_back();
        sample.switches += thread.switches;
        sample.threads[std::atoi(task.path().filename().c_str())] = thread;
    }
    return sample;
}

struct Figures {
    double cpu_pct = 0, wakeups_per_s = 0;
};

struct RunFigures {
    Figures satclock, keeper;
};

Figures report(const char* program, const Sample& before, const Sample& after, double seconds)
{
    Figures figures{100.0 * (after.cpu_seconds - before.cpu_seconds) / seconds,
                    double(after.switches - before.switches) / seconds};
    std::printf("%s: %.3f %% of a core, %.1f wake-ups/s\n", program, figures.cpu_pct, figures.wakeups_per_s);
    for (const auto& [tid, thread] : after.threads) {
        auto old = before.threads.find(tid);
        bool known = old != before.threads.end();
        std::printf("  thread %d %-16s %.3f %% of a core, %.1f wake-ups/s\n", tid, thread.name.c_str(),
                    100.0 * (thread.cpu_seconds - (known ? old->second.cpu_seconds : 0)) / seconds,
                    double(thread.switches - (known ? old->second.switches : 0)) / seconds);
    }
    return figures;
}

// Closes the window as the user does: satclock hides it and runs on (once
// the notification area has taken its icon in; until then Close minimizes,
// so it is asked again).
bool hide_main_window(pid_t pid)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    Window window = 0;
    bool shown =
        bench_wait_until(15000, [&] { return x11_viewable(display, window = x11_satclock_window(display, pid)); });
    bool hidden = false;
    for (int tries = 0; shown && !hidden && tries < 15; ++tries) {
        x11_send_delete(display, window);
        XFlush(display);
        hidden = bench_wait_until(1000, [&] { return !x11_viewable(display, window); });
    }
    XCloseDisplay(display);
    return hidden;
}

// A notification area on the display (trayer), as a desktop has one: without
// it Close would only minimize the window.
pid_t start_tray_host()
{
    pid_t pid = process_spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                               "32", "--SetDockType", "true", "--transparent", "false"});
    Display* display = XOpenDisplay(nullptr);
    if (pid > 0 && display) {
        Atom selection = XInternAtom(display, ("_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display))).c_str(),
                                     False);
        bench_wait_until(10000, [&] { return XGetSelectionOwner(display, selection) != 0; });
    }
    if (display)
        XCloseDisplay(display);
    return pid;
}

void sandbox_environment(const std::string& dir)
{
    bench_sandbox_environment(dir, "idlecpu" + std::to_string(getpid()) + "_");
    for (const char* sub : {"appdata/satclock", "config", "runtime"})
        fs::create_directories(dir + "/" + sub);
    std::ofstream(dir + "/appdata/satclock/satclock.ini")
        << "com_port=\"" << kPort << "\"\r\nbaudrate=\"4800\"\r\nauto_update=\"FALSE\"\r\nscreen_no_show=\"TRUE\"\r\n";
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
}

// One measured run with the receiver handing its bytes over as `delivery`
// says; false when a program could not be started (its folder is kept).
bool run_once(const std::string& bin, const std::string& delivery, int seconds, bool headless, RunFigures& figures)
{
    std::string dir = bench_temp_folder("idle_cpu." + delivery);
    if (dir.empty())
        return false;
    sandbox_environment(dir);
    pid_t receiver = process_spawn({bin + "/satclock-gpssim", "--port", std::to_string(kPort), "--port-dir",
                                    dir + "/ports", "--baud", "4800", "--delivery", delivery, "--log",
                                    dir + "/gpssim.log"});
    bool linked = bench_wait_until(5000, [&] { return fs::exists(dir + "/ports/COM" + std::to_string(kPort)); });
    pid_t keeper = process_spawn({"sh", "-c", "exec \"$0\" debug >\"$1\" 2>&1", bin + "/clockkeeper",
                                  dir + "/clockkeeper.out"});
    pid_t satclock = process_spawn({"sh", "-c", "exec \"$0\" $2 >\"$1\" 2>&1", bin + "/satclock",
                                    dir + "/satclock.out", headless ? "--headless" : ""});
    bool started = linked && keeper > 0 && satclock > 0 && (headless || hide_main_window(satclock));
    if (!started) {
        std::fprintf(stderr, "idle_cpu: could not start the receiver, clockkeeper or satclock (see %s)\n",
                     dir.c_str());
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
        Sample satclock_before = sample_of(satclock), keeper_before = sample_of(keeper);
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        Sample satclock_after = sample_of(satclock), keeper_after = sample_of(keeper);
        double span = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("delivery %s:\n", delivery.c_str());
        figures.satclock = report("satclock", satclock_before, satclock_after, span);
        figures.keeper = report("clockkeeper", keeper_before, keeper_after, span);
    }
    bench_stop_child(satclock, SIGTERM, 3000);
    bench_stop_child(keeper, SIGTERM, 3000);
    bench_stop_child(receiver, SIGTERM, 3000);
    if (started) {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    return started;
}

void print_figures(const char* prefix, const RunFigures& f)
{
    std::printf("%ssatclock_cpu_pct=%.3f clockkeeper_cpu_pct=%.3f satclock_wakeups_per_s=%.1f "
                "clockkeeper_wakeups_per_s=%.2f\n",
                prefix, f.satclock.cpu_pct, f.keeper.cpu_pct, f.satclock.wakeups_per_s, f.keeper.wakeups_per_s);
}

// satclock --headless: no display, no tray host.
int run_headless(const std::string& bin, const std::string& delivery, int seconds)
{
    RunFigures figures;
    if (!run_once(bin, delivery, seconds, true, figures))
        return 1;
    std::printf("headless_cpu_pct=%.3f headless_wakeups_per_s=%.1f clockkeeper_cpu_pct=%.3f\n", figures.satclock.cpu_pct,
                figures.satclock.wakeups_per_s, figures.keeper.cpu_pct);
    return 0;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: idle_cpu [SECONDS] [--delivery byte|fifo|usb]\n"
    "       idle_cpu --help | --version\n"
    "CPU share and wake-ups of satclock (window hidden) and clockkeeper debug over\n"
    "SECONDS (default 60); needs an X display (xvfb-run).\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "idle_cpu", kUsage))
        return 0;
    int seconds = 60;
    bool headless = false;
    std::vector<std::string> deliveries = {"byte", "fifo", "usb"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--delivery") == 0 && i + 1 < argc)
            deliveries = {argv[++i]};
        else if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
        else
            seconds = std::atoi(argv[i]);
    }
    if (seconds <= 0 || (!headless && !std::getenv("DISPLAY"))) {
        std::fprintf(stderr, "usage: idle_cpu [SECONDS] [--headless] [--delivery byte|fifo|usb] (the window needs "
                             "an X display: xvfb-run)\n");
        return 2;
    }
    std::string bin = bench_bin_dir();
    if (headless)
        return run_headless(bin, deliveries.size() == 1 ? deliveries.front() : "usb", seconds);
    pid_t tray = start_tray_host();
    if (tray <= 0) {
        std::fprintf(stderr, "idle_cpu: trayer could not be started\n");
        return 1;
    }
    RunFigures figures;
    for (const std::string& delivery : deliveries) {
        if (!run_once(bin, delivery, seconds, false, figures)) {
            bench_stop_child(tray, SIGTERM, 3000);
            return 1;
        }
        std::string prefix = "delivery=" + delivery + " ";
        if (deliveries.size() > 1 && delivery != deliveries.back())
            print_figures(prefix.c_str(), figures);
    }
    bench_stop_child(tray, SIGTERM, 3000);
    print_figures("", figures);
    return 0;
}
