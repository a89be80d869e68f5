// Environment variables, and the fixed environment of an elevated copy.
#include "platform/env.h"

#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace {

// What an elevated copy takes from the user who started it.
constexpr const char* kCarried[] = {"DISPLAY", "XAUTHORITY", "LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"};
constexpr std::string_view kWord = "--env=";
constexpr char kRootPath[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

bool carried(std::string_view name)
{
    for (const char* known : kCarried)
        if (name == known)
            return true;
    return false;
}

// The elevation tool's variable naming the user it runs for, or nullptr.
const char* invoker_variable()
{
    for (const char* name : {"PKEXEC_UID", "SUDO_UID"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return name;
    }
    return nullptr;
}

using Values = std::vector<std::pair<std::string, std::string>>;

void set_value(Values* values, const std::string& name, const std::string& value)
{
    for (auto& [known, old] : *values)
        if (known == name) {
            old = value;
            return;
        }
    values->emplace_back(name, value);
}

Values carried_values()
{
    Values values;
    for (const char* name : kCarried)
        if (const char* value = std::getenv(name); value && *value)
            values.emplace_back(name, value);
    return values;
}

void reset_to(const Values& values)
{
    if (!running_for_ordinary_user()) {
        for (const auto& [name, value] : values)
            setenv(name.c_str(), value.c_str(), 1);
        return;
    }
    const char* id_name = invoker_variable();
    std::string id_value = std::getenv(id_name);
    clearenv();
    setenv("PATH", kRootPath, 1);
    setenv("HOME", "/root", 1);
    setenv("USER", "root", 1);
    setenv("LOGNAME", "root", 1);
    setenv(id_name, id_value.c_str(), 1);
    for (const auto& [name, value] : values)
        setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace

std::string env_value(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool running_for_ordinary_user()
{
    const char* name = geteuid() == 0 ? invoker_variable() : nullptr;
    if (!name)
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long uid = std::strtoul(std::getenv(name), &end, 10);
    // A value that is no user id is not trusted to mean root.
    return errno != 0 || *end != '\0' || uid != 0;
}

std::vector<std::string> elevated_environment_words()
{
    std::vector<std::string> words;
    for (const auto& [name, value] : carried_values())
        if (!has_control_characters(value))
            words.push_back(std::string(kWord) + name + "=" + value);
    return words;
}

void adopt_elevated_environment(int* argc, char** argv)
{
    Values values = carried_values();
    int first = 1;
    for (; first < *argc && std::string_view(argv[first]).starts_with(kWord); ++first) {
        std::string_view word = std::string_view(argv[first]).substr(kWord.size());
        size_t equals = word.find('=');
        if (equals == std::string_view::npos || !carried(word.substr(0, equals)) || has_control_characters(word))
            continue;
        set_value(&values, std::string(word.substr(0, equals)), std::string(word.substr(equals + 1)));
    }
    int taken = first - 1;
    for (int i = 1; i + taken <= *argc; ++i)
        argv[i] = argv[i + taken];
    *argc -= taken;
    reset_to(values);
}

void reset_elevated_environment() { reset_to(carried_values()); }
