// The single steps of an installation: folders, the uninstall list, child
// processes, the settings files' access, and the checks of the destination.
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
// meanwhile by end_extraction_process. Its standard error goes to *errors when
// given. Its exit status, 128 + signal when it was killed, 127 when it could
// not be started.
int run_hidden_and_wait(const std::vector<std::string>& argv, std::string* errors = nullptr);
// Ends the child that run_hidden_and_wait is waiting for, if any.
void end_extraction_process();

// Read and write access for every ordinary user (the "users" group) to the
// file; nothing when it does not exist.
bool grant_users_access(const std::string& path);

// Why the destination cannot take an installation that root runs from at
// every boot, or empty: it must be an absolute path without control
// characters whose every folder only root may change (the test that
// `clockkeeper install` makes of its own path). The data folder is held to
// the same test.
std::string destination_refusal(const std::string& destination);
