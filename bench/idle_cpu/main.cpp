// idle_cpu: the cost of waiting. satclock runs with its window hidden (closed
// as by the user) while the simulated receiver sends GGA and RMC once a second
// at 4800 baud; clockkeeper runs as "debug" with no command coming. Over the
// measured span it prints each program's CPU time as a share of one core and
// its wake-ups per second: the context switches of all its threads, from
// /proc/<pid>/task/*/status. Everything runs in a sandbox of its own (clock
// file, channel prefix, port and settings folders). Needs an X display
// (xvfb-run).
//
//   idle_cpu [SECONDS]   (default 60)
#include "platform/process.h"
#include "src/ui/x11_windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

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

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (process_wait(pid, 3000) == -2) {
        kill(pid, SIGKILL);
        process_wait(pid);
    }
}

bool wait_for(int timeout_ms, auto done)
{
    for (int waited = 0; waited < timeout_ms; waited += 50) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// The main window of satclock, or 0.
Window main_window_of(Display* display, pid_t pid)
{
    for (Window window : x11_windows_of_pid(display, pid)) {
        char* name = nullptr;
        // "Satclock 1.2.1": the tray icon's own window is titled "Satclock".
        bool match = XFetchName(display, window, &name) && name && std::string(name).rfind("Satclock ", 0) == 0;
        if (name)
            XFree(name);
        if (match)
            return window;
    }
    return 0;
}

bool viewable(Display* display, Window window)
{
    XWindowAttributes attributes{};
    return window && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// Closes the window as the user does: satclock hides it and runs on.
bool hide_main_window(pid_t pid)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    Window window = 0;
    bool shown = wait_for(15000, [&] { return viewable(display, window = main_window_of(display, pid)); });
    if (shown) {
        x11_send_delete(display, window);
        XFlush(display);
    }
    bool hidden = shown && wait_for(5000, [&] { return !viewable(display, window); });
    XCloseDisplay(display);
    return hidden;
}

void sandbox_environment(const std::string& dir)
{
    for (const char* sub : {"ports", "appdata/satclock", "config", "runtime"})
        fs::create_directories(dir + "/" + sub);
    std::ofstream(dir + "/appdata/satclock/satclock.ini")
        << "com_port=\"" << kPort << "\"\r\nbaudrate=\"4800\"\r\nauto_update=\"FALSE\"\r\nscreen_no_show=\"TRUE\"\r\n";
    setenv("SATCLOCK_CLOCK_FILE", (dir + "/clock").c_str(), 1);
    setenv("SATCLOCK_CHANNEL_PREFIX", ("idlecpu" + std::to_string(getpid()) + "_").c_str(), 1);
    setenv("SATCLOCK_CHANNEL_DIR", (dir + "/channel").c_str(), 1);
    setenv("SATCLOCK_PORT_DIR", (dir + "/ports").c_str(), 1);
    setenv("SATCLOCK_COMMON_APPDATA", (dir + "/appdata").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0 || !std::getenv("DISPLAY")) {
        std::fprintf(stderr, "usage: idle_cpu [SECONDS] (needs an X display: xvfb-run)\n");
        return 2;
    }
    std::string bin = fs::path(process_self_path()).parent_path().string();
    std::string dir = (fs::temp_directory_path() / ("idle_cpu." + std::to_string(getpid()))).string();
    sandbox_environment(dir);

    pid_t receiver = process_spawn({bin + "/satclock-gpssim", "--port", std::to_string(kPort), "--port-dir",
                                    dir + "/ports", "--baud", "4800", "--log", dir + "/gpssim.log"});
    bool linked = wait_for(5000, [&] { return fs::exists(dir + "/ports/COM" + std::to_string(kPort)); });
    pid_t keeper = process_spawn({"sh", "-c", "exec \"$0\" debug >\"$1\" 2>&1", bin + "/clockkeeper",
                                  dir + "/clockkeeper.out"});
    pid_t satclock = process_spawn({"sh", "-c", "exec \"$0\" >\"$1\" 2>&1", bin + "/satclock", dir + "/satclock.out"});
    int status = 0;
    if (!linked || keeper <= 0 || satclock <= 0 || !hide_main_window(satclock)) {
        std::fprintf(stderr, "idle_cpu: could not start the receiver, clockkeeper or satclock (see %s)\n",
                     dir.c_str());
        status = 1;
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
        Sample satclock_before = sample_of(satclock), keeper_before = sample_of(keeper);
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        Sample satclock_after = sample_of(satclock), keeper_after = sample_of(keeper);
        double span = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Figures s = report("satclock", satclock_before, satclock_after, span);
        Figures k = report("clockkeeper", keeper_before, keeper_after, span);
        std::printf("satclock_cpu_pct=%.3f clockkeeper_cpu_pct=%.3f satclock_wakeups_per_s=%.1f "
                    "clockkeeper_wakeups_per_s=%.2f\n",
                    s.cpu_pct, k.cpu_pct, s.wakeups_per_s, k.wakeups_per_s);
    }
    stop(satclock);
    stop(keeper);
    stop(receiver);
    if (status == 0) {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    return status;
}
