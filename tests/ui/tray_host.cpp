// trayer as the test notification area; pointer clicks through xdotool.
#include "tests/ui/tray_host.h"

#include "platform/process.h"
#include "tests/support/test_env.h"

#include <X11/Xlib.h>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

namespace {

bool tray_selection_owned()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
    bool owned = XGetSelectionOwner(display, XInternAtom(display, name.c_str(), False)) != 0;
    XCloseDisplay(display);
    return owned;
}

}  // namespace

TrayHost::TrayHost()
{
    pid_ = spawn_test_child({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                             "32", "--SetDockType", "true", "--transparent", "false"});
    if (pid_ <= 0) {
        problem_ = "trayer could not be started (install it: scripts/deps.sh)";
        return;
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(ready_ = tray_selection_owned()) && std::chrono::steady_clock::now() < end) {
        if (process_wait(pid_, 0) != -2) {
            problem_ = "trayer ended at once";
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ready_)
        problem_ = "trayer took no tray selection";
}

TrayHost::~TrayHost()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    if (process_wait(pid_, 3000) == -2) {
        kill(pid_, SIGKILL);
        process_wait(pid_);
    }
}

void pointer_click(int x, int y, int button, int count)
{
    process_run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "--repeat",
                 std::to_string(count), "--delay", "40", std::to_string(button)});
}
