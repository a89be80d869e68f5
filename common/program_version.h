// The version text of the package: the desktop program's titles and About
// page, and what the installer and the uninstaller show and register.
#pragma once

inline constexpr char program_version[] = "1.2.1";
