// Message language from the locale environment.
#include "common/locale_language.h"

#include "platform/env.h"

#include <array>

namespace {

// The languages whose users get Russian texts.
constexpr std::array<std::string_view, 7> kRussianSpeaking = {"ru", "uk", "be", "lt", "kk", "ky", "uz"};

}  // namespace

std::string locale_message_code()
{
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value = env_value(name);
        if (!value.empty())
            return value.substr(0, value.find_first_of(":_.@"));
    }
    return {};
}

std::string locale_primary_language()
{
    std::string code = locale_message_code();
    if (code == "C" || code == "POSIX")
        return {};
    return code;
}

bool language_is_russian_speaking(std::string_view code)
{
    for (std::string_view russian : kRussianSpeaking)
        if (code == russian)
            return true;
    return false;
}

bool locale_is_russian_speaking()
{
    return language_is_russian_speaking(locale_primary_language());
}
