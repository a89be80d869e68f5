// The version text that the installer and the uninstaller show in their
// titles and register, the same as the desktop program's.
#pragma once

inline constexpr char program_version[] = "1.2.1";
