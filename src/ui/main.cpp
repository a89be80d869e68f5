// The satclock program: the desktop window that sets the PC clock from a GPS receiver.
#include "common/program_options.h"
#include "src/ui/app.h"
#include "src/ui/resources.h"

namespace {

constexpr char kUsage[] =
    "Usage: satclock [GTK options]\n"
    "       satclock --help | --version\n"
    "Satclock's window: the GPS receiver's time, fix and position, and the PC clock\n"
    "set from it by the time service clockkeeper, on demand or on a schedule. Its\n"
    "settings are in /var/lib/satclock/satclock.ini; it starts in the tray when\n"
    "told so on its Preferences page.\n";

}  // namespace

int main(int argc, char** argv)
{
    // Before anything starts: an answer here never opens the port or sets the clock.
    if (answer_help_or_version(argc, argv, "satclock", kUsage))
        return 0;
    res_register_bundle();
    return app_main(argc, argv);
}
