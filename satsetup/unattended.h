// satsetup --unattended: the installation without a window, for administrators.
#pragma once

// What `satsetup --help` prints, and a usage error of the unattended mode.
inline constexpr char kSetupUsage[] =
    "Usage: satsetup                 the setup wizard\n"
    "       satsetup --unattended [--dir DIR] [--language en|ru] [--no-menu]\n"
    "                [--no-desktop-icon] [--no-autorun] [--reset-settings] [--launch]\n"
    "                [--allow-user USER]\n"
    "       satsetup --help | --version\n"
    "Installs Satclock. Without a window (--unattended): into DIR (default\n"
    "/opt/Satclock, a folder only root may change), in the given language (default:\n"
    "the locale's), with a menu folder, a desktop icon and start at login unless told\n"
    "otherwise. The settings of an earlier installation are kept (gaining the\n"
    "defaults of settings new in this version) unless --reset-settings is given;\n"
    "--launch starts Satclock afterwards; --allow-user adds USER to the group\n"
    "satclock (made when missing), whose members may set the clock. Exit code 0\n"
    "installed, 1 failed (the reason\n"
    "on standard error, what was placed removed again), 2 a usage error. Run by an\n"
    "ordinary user, Setup asks for the administrator's password through pkexec.\n";

// argv[1] is "--unattended". Exit codes: 0 installed, 1 the installation
// failed (its text on standard error, its rollback done), 2 a usage error.
int unattended_main(int argc, char** argv);
