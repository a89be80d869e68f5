// The unattended mode: the wizard's choices from the command line, the same
// installation and finish actions, status lines on standard output.
#include "satsetup/unattended.h"

#include "common/install_text.h"
#include "common/locale_language.h"
#include "common/process_list.h"
#include "common/user_admin.h"
#include "platform/interrupt_watch.h"
#include "platform/user_accounts.h"
#include "satsetup/elevation.h"
#include "satsetup/install_registrations.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/installation.h"
#include "satsetup/settings_backup.h"
#include "satsetup/wizard.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {


struct Options {
    std::string dir = "/opt/Satclock";
    int language = -1;
    bool menu = true;
    bool desktop_icon = true;
    bool autorun = true;
    bool keep_settings = true;
    bool launch = false;
    std::string allow_user;  // --allow-user: the account added to the channel's group
    std::string handover;
    std::vector<std::string> args;  // as given, for the elevated copy
};

bool parse(int argc, char** argv, Options* options)
{
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--dir" && !value.empty()) {
            options->dir = value;
            ++i;
        } else if (arg == "--language" && (value == "en" || value == "ru")) {
            options->language = value == "ru" ? 1 : 0;
            ++i;
        } else if (arg == "--allow-user" && !value.empty()) {
            options->allow_user = value;
            ++i;
        } else if (arg == "--handover" && !value.empty()) {
            options->handover = value;
            ++i;
            continue;
        } else if (arg == "--no-menu") {
            options->menu = false;
        } else if (arg == "--no-desktop-icon") {
            options->desktop_icon = false;
        } else if (arg == "--no-autorun") {
            options->autorun = false;
        } else if (arg == "--keep-settings") {
            // The default since settings survive an update; still taken from older scripts.
            options->keep_settings = true;
        } else if (arg == "--reset-settings") {
            options->keep_settings = false;
        } else if (arg == "--launch") {
            options->launch = true;
        } else {
            return false;
        }
        options->args.push_back(arg);
        if (arg == "--dir" || arg == "--language" || arg == "--allow-user")
            options->args.push_back(value);
    }
    return true;
}

void print_status(const char* text)
{
    std::printf("%s\n", shown_text(text).c_str());
    std::fflush(stdout);
}

int fail(const char* text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", shown_text(text).c_str());
    return 1;
}

int install(const Options& options)
{
    form_install_paths(options.dir);
    // Nothing is written for a destination that others could change.
    if (std::string why = destination_refusal(install_dir); !why.empty())
        return fail((std::string(install_result_text(kDestinationRefused)) + "\n" + why).c_str());
    if (std::string notice = earlier_installation_notice(install_dir); !notice.empty())
        print_status(notice.c_str());
    settings_backed_up = backup_settings(data_dir);
    create_desktop_icon = options.desktop_icon;
    create_menu_folder = options.menu;
    clock_user = options.allow_user;
    handover_file = options.handover;
    print_status(translate_text("Copying new files..."));
    int result = kNoRun;
    {
        // Ctrl+C, SIGTERM and SIGHUP cancel the installation as the wizard's
        // Cancel does: no further step, the rollback, exit code 1.
        InterruptWatch watch(request_install_cancel);
        result = run_installation(print_status);
    }
    install_result.store(result);
    if (result != kInstalled) {
        rollback_installation();
        return fail(install_failure_text(result).c_str());
    }
    FinishChoices choices;
    choices.keep_previous_settings = options.keep_settings;
    choices.run_at_startup = options.autorun;
    choices.launch_now = options.launch;
    apply_finish_options(options.dir, choices);
    return 0;
}

}  // namespace

int unattended_main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fputs(kSetupUsage, stderr);
        return 2;
    }
    if (!options.allow_user.empty() && !account_named(options.allow_user)) {
        std::fprintf(stderr, "satsetup: --allow-user %s: no such account\n", options.allow_user.c_str());
        return 2;
    }
    select_text_catalogue(options.language == -1 ? locale_is_russian_speaking() : options.language == 1);
    if (!is_user_admin() && options.handover.empty()) {
        std::vector<std::string> args = {"--unattended"};
        args.insert(args.end(), options.args.begin(), options.args.end());
        int exit_code = 1;
        if (run_elevated_unattended(args, &exit_code) == ElevatedRun::finished)
            return exit_code;
    }
    if (is_program_running())
        return fail(translate_text("Setup has detected that Satclock is currently running.\n\rPlease close all "
                                   "instances of it now, then click OK to continue, or Cancel to exit."));
    return install(options);
}
