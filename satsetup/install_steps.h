// The single steps of an installation and of the finish actions.
#pragma once

#include <string>
#include <vector>

// Appends "/" unless text is empty or ends in "/" or "\".
std::string add_trailing_slash(const std::string& text);

// Creates the folder, and its missing parents from the shortest on; true when
// the folder exists afterwards.
bool make_dir_path(const std::string& path);

// Appends text and LF to install_dir + "uninstall.txt" when that file exists.
void append_uninstall_entry(const std::string& text);

// Runs argv with no terminal output and waits for it; the child can be ended
// meanwhile by end_extraction_process. Its exit status, 128 + signal when it
// was killed, 127 when it could not be started.
int run_hidden_and_wait(const std::vector<std::string>& argv);
// Ends the child that run_hidden_and_wait is waiting for, if any.
void end_extraction_process();

// Read and write access for every ordinary user (the "users" group) to the
// file; nothing when it does not exist.
bool grant_users_access(const std::string& path);

// A desktop entry: an application (target is a program: Exec=, Path= the
// working folder) or a link (target is a URL or a file: URL=). Then
// append_uninstall_entry(link_file). False when the entry could not be written.
bool create_shortcut(const std::string& link_file, const std::string& target, const std::string& working_dir,
                     const std::string& description);

// The uninstall entry in Common Programs and the program's link in the
// command folder (SATCLOCK_BIN_LINK_DIR, else /usr/local/bin).
void write_registry_entries();
// Deletes both again when they are this installation's.
void delete_registry_entries();

// The start-with-the-session entry of the user who started the installer:
// $XDG_CONFIG_HOME/autostart/satclock.desktop, or the .config/autostart of the
// user named by PKEXEC_UID or SUDO_UID. True when it was written.
bool set_autorun_value(const std::string& program_path);
std::string autorun_entry_path();

// "satclock.ini" and "satclock-inst.ini" of folder (with its trailing slash)
// to and from their ".bak" copies.
bool backup_settings(const std::string& folder);
bool restore_settings(const std::string& folder);
void drop_settings_backups(const std::string& folder);

// Marks the first auto_run or action_run line (never the first line of the
// file) as "TRUE", in place and of the same width.
void patch_autorun_line(const std::string& path);

// The desktop entry's quoting of one Exec argument.
std::string desktop_exec_argument(const std::string& argument);
