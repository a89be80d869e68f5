// The command words of clockkeeper and their exit codes.
#include "clockkeeper/command_line.h"

#include "clockkeeper/service.h"
#include "common/program_options.h"
#include "clockkeeper/service_install.h"
#include "platform/env.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kUsage[] =
    "Use: clockkeeper install|remove|debug\n"
    "Exit code: 1 when the work is done, 0 when it failed or the word is unknown.\n";

// 1 success, 0 failure, whether the work is done here or by an elevated copy
// (whose result is printed as well).
int run_command(const char* word, bool (*work)(), const char* ok_text, const char* false_text)
{
    // The copy that pkexec started for an ordinary user trusts its command
    // word and a fixed environment only.
    reset_elevated_environment();
    int copy_status = 0;
    if (run_elevated(word, &copy_status)) {
        std::fputs(copy_status == 1 ? ok_text : false_text, stdout);
        std::fflush(stdout);
        return copy_status == 1 ? 1 : 0;
    }
    return work() ? 1 : 0;
}

int run_debug()
{
    if (!start_service_threads()) {
        service_log("[main] the channel cannot be opened: debug run ends");
        return 0;
    }
    // Nothing sets the stop event in this mode: the process runs until it is
    // ended from outside (Ctrl+C, SIGTERM).
    service_stop_event.wait();
    return 0;
}

}  // namespace

int clockkeeper_main(int argc, char** argv)
{
    // The usage line of an unknown word stays as it is; --help also names itself.
    std::string help = std::string(kUsage) + "     clockkeeper --help | --version\n";
    if (answer_help_or_version(argc, argv, "clockkeeper", help.c_str()))
        return 0;
    if (argc < 2) {
        service_log("[main] before load service");
        if (!run_service_dispatcher())
            service_log("[main] can't load service");
        service_log("[main] exit service ok");
        // systemd's convention here: a start that failed is a failure status,
        // which Restart=on-failure answers.
        return service_main_error.load() == 0 ? 0 : 1;
    }
    const char* word = argv[1];
    if (std::strcmp(word, "install") == 0)
        return run_command("install", install_service, "install by admin ok", "install by admin false");
    if (std::strcmp(word, "remove") == 0)
        return run_command("remove", remove_service, "remove by admin ok", "remove by admin false");
    if (std::strcmp(word, "debug") == 0)
        return run_debug();
    std::fputs(kUsage, stderr);
    return 0;
}
