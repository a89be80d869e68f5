// The elevation prefix and the environment carried through pkexec.
#include "common/elevated_command.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace {

bool passed_through(const char* entry)
{
    static const char* const kNames[] = {"DISPLAY=", "XAUTHORITY=", "LANGUAGE=", "LC_ALL=", "LC_MESSAGES=",
                                         "LANG=", "TMPDIR=", "XDG_CONFIG_HOME=", "SATCLOCK_"};
    for (const char* name : kNames)
        if (std::strncmp(entry, name, std::strlen(name)) == 0)
            return true;
    return false;
}

}  // namespace

std::vector<std::string> elevation_prefix()
{
    std::vector<std::string> prefix;
    const char* words_text = std::getenv("SATCLOCK_ELEVATE");
    std::istringstream words((words_text && *words_text) ? words_text : "pkexec");
    for (std::string word; words >> word;)
        prefix.push_back(word);
    return prefix;
}

std::vector<std::string> elevated_command(const std::vector<std::string>& argv)
{
    std::vector<std::string> command = elevation_prefix();
    command.push_back("/usr/bin/env");
    for (char** entry = environ; *entry; ++entry)
        if (passed_through(*entry))
            command.push_back(*entry);
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}
