// uninstall: removes Satclock from the machine, after asking in a window, or
// unattended with --unattended.
#include "platform/process.h"
#include "uninstall/unattended.h"
#include "uninstall/uninstall_texts.h"
#include "uninstall/uninstall_window.h"

#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>

namespace {

constexpr char kUsage[] = "Use: uninstall [--unattended]\n";

}  // namespace

int main(int argc, char** argv)
{
    bool unattended = false;
    bool elevated = false;  // the copy that the elevation command started
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unattended") == 0)
            unattended = true;
        else if (std::strncmp(argv[i], "admin_20", 8) == 0)
            elevated = true;
        else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    std::string program = process_self_path();
    select_catalogue();
    if (unattended)
        return run_unattended_uninstall(program, elevated);
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs("uninstall: cannot open the display (use --unattended)\n", stderr);
        return kExitIncomplete;
    }
    create_uninstall_window(program, elevated);
    gtk_main();
    return 0;
}
