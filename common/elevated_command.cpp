// The elevation prefix and the command line of an elevated copy.
#include "common/elevated_command.h"

#include "platform/env.h"

#include <sstream>

std::vector<std::string> elevation_prefix()
{
    std::vector<std::string> prefix;
    std::string words_text = env_value("SATCLOCK_ELEVATE");
    std::istringstream words(words_text.empty() ? "pkexec" : words_text);
    for (std::string word; words >> word;)
        prefix.push_back(word);
    return prefix;
}

std::vector<std::string> elevated_command(const std::vector<std::string>& argv)
{
    std::vector<std::string> command = elevation_prefix();
    if (argv.empty())
        return command;
    command.push_back(argv[0]);
    for (const std::string& word : elevated_environment_words())
        command.push_back(word);
    command.insert(command.end(), argv.begin() + 1, argv.end());
    return command;
}
