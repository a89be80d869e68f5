// satsetup --unattended: the installation without a window, for administrators.
#pragma once

// argv[1] is "--unattended". Exit codes: 0 installed, 1 the installation
// failed (its text on standard error, its rollback done), 2 a usage error.
int unattended_main(int argc, char** argv);
