// The satclock program: the desktop window that sets the PC clock from a GPS
// receiver; with --headless the same without a window, with --status what a
// running copy sees.
#include "src/headless/headless.h"
#include "src/headless/status_command.h"
#include "src/ui/app.h"
#include "src/ui/resources.h"

#include <cstring>

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--headless") == 0)
        return headless_main();
    if (argc >= 2 && std::strcmp(argv[1], "--chrony-lines") == 0)
        return chrony_lines_main();
    if (argc >= 2 && std::strcmp(argv[1], "--status") == 0)
        return status_command_main(argc >= 3 && std::strcmp(argv[2], "--json") == 0);
    res_register_bundle();
    return app_main(argc, argv);
}
