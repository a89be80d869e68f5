// The environment: reading a variable, and the fixed environment of a copy
// that runs as root for an ordinary user (pkexec, sudo).
#pragma once

#include <string>
#include <vector>

// The variable's value, empty when it is unset.
std::string env_value(const char* name);

// Whether this process runs as root for an ordinary user: effective user 0,
// and PKEXEC_UID (else SUDO_UID), set by the elevation tool, names another
// user than root.
bool running_for_ordinary_user();

// Words "--env=NAME=VALUE" carrying this process's display, X authority and
// language variables, to be put right after the program in an elevated
// command: pkexec keeps none of the first two without an action allowing it.
std::vector<std::string> elevated_environment_words();

// At the start of a program that may be an elevated copy: takes the leading
// "--env=" words out of argv (only the display, X authority and language
// variables count). When the process runs as root for an ordinary user, its
// environment becomes a fixed one: PATH, HOME, USER and LOGNAME of root, the
// elevation tool's user id variable, and those variables (from the words, or
// as the elevation tool kept them); everything else, the test seams
// included, is dropped. Otherwise the environment stays as it is.
void adopt_elevated_environment(int* argc, char** argv);

// The same reset without words (a program started with its command word only).
void reset_elevated_environment();
