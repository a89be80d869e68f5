// Start-at-login entries of every account.
#pragma once

// Deletes the autostart entry "autostart/satclock.desktop" from the
// configuration folder (".config") of every account's home in the password
// database, as that account and without following a link below the home, and
// from $XDG_CONFIG_HOME when that is set (as the user who started the
// uninstaller); an entry hidden with "Hidden=true" is the same file and goes
// too. Prints the number of home folders on standard output first. An entry
// that cannot be deleted is skipped.
void remove_autorun_values();
