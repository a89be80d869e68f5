// uninstall: removes Satclock from the machine, after asking in a window, or
// unattended with --unattended.
#include "common/program_options.h"
#include "platform/env.h"
#include "platform/process.h"
#include "uninstall/unattended.h"
#include "uninstall/uninstall_texts.h"
#include "uninstall/uninstall_window.h"

#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>

namespace {

constexpr char kUsage[] =
    "Use: uninstall [--unattended]\n"
    "     uninstall --help | --version\n"
    "Removes Satclock: its time service, the files and folders its installation\n"
    "listed, its menu entries, desktop icon and every user's start at login. The\n"
    "settings in /var/lib/satclock stay. Without --unattended it asks first in a\n"
    "window. Run by an ordinary user, it asks for the administrator's password\n"
    "through pkexec. Exit code 0 removed, 1 not removed completely, 2 a usage error.\n";

}  // namespace

int main(int argc, char** argv)
{
    // An elevated copy trusts its command line and a fixed environment only.
    adopt_elevated_environment(&argc, argv);
    if (answer_help_or_version(argc, argv, "uninstall", kUsage))
        return 0;
    bool unattended = false;
    bool elevated = false;  // the copy that the elevation command started
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unattended") == 0)
            unattended = true;
        else if (std::strncmp(argv[i], "admin_20", 8) == 0)
            elevated = true;
        else {
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
