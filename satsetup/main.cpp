// satsetup: the Satclock installer, as a wizard or unattended.
#include "common/program_options.h"
#include "common/user_admin.h"
#include "platform/env.h"
#include "satsetup/unattended.h"
#include "satsetup/wizard.h"

#include <cstdio>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    // An elevated copy trusts its command line and a fixed environment only.
    adopt_elevated_environment(&argc, argv);
    if (answer_help_or_version(argc, argv, "satsetup", kSetupUsage))
        return 0;
    // What root installs is for every user to read and run, whatever umask the caller had.
    if (is_user_admin())
        umask(022);
    if (argument_is(argc, argv, 1, "--unattended"))
        return unattended_main(argc, argv);
    return wizard_main(argc, argv);
}
