// The satclock program: the desktop window that sets the PC clock from a GPS
// receiver; with --headless the same without a window, with --status what a
// running copy sees.
#include "common/program_options.h"
#include "src/headless/headless.h"
#include "src/headless/status_command.h"
#include "src/ui/app.h"
#include "src/ui/resources.h"

namespace {

constexpr char kUsage[] =
    "Usage: satclock [GTK options]\n"
    "       satclock --headless\n"
    "       satclock --status [--json]\n"
    "       satclock --chrony-lines\n"
    "       satclock --help | --version\n"
    "Satclock's window: the GPS receiver's time, fix and position, and the PC clock\n"
    "set from it by the time service clockkeeper, on demand or on a schedule. Its\n"
    "settings are in /var/lib/satclock/satclock.ini; it starts in the tray when\n"
    "told so on its Preferences page. --headless runs the same without a window,\n"
    "writing the status line to standard error; --status shows what the running\n"
    "copies see (exit 0 with a fix, 1 without, 2 when none runs); --chrony-lines\n"
    "prints the lines for chrony's configuration.\n";

}  // namespace

int main(int argc, char** argv)
{
    // Before anything starts: an answer here never opens the port or sets the clock.
    if (answer_help_or_version(argc, argv, "satclock", kUsage))
        return 0;
    if (argument_is(argc, argv, 1, "--headless"))
        return headless_main();
    if (argument_is(argc, argv, 1, "--chrony-lines"))
        return chrony_lines_main();
    if (argument_is(argc, argv, 1, "--status"))
        return status_command_main(argument_is(argc, argv, 2, "--json"));
    res_register_bundle();
    return app_main(argc, argv);
}
