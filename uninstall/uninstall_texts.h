// The uninstaller's language and the texts it shows.
#pragma once

#include <string>

// Russian texts when the user's message language is one of the Russian-
// speaking set (ru, uk, be, lt, kk, ky, uz), else English; then the locale
// of the formatting functions is set to the user's default.
void select_catalogue();

// "Uninstall Satclock 1.2.1" in the selected language: window title and
// message caption.
std::string uninstall_caption();

// The running-program prompt of the window, the failure of the unattended mode.
inline constexpr char kRunningCopyText[] =
    "There is a running copy of Satclock.\n\rPlease close all instances of it now, then click OK to "
    "continue, or Cancel to exit.";
