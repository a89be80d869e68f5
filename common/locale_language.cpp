// Message language from the locale environment.
#include "common/locale_language.h"

#include <cstdlib>
#include <string_view>

namespace {

std::string language_of(std::string_view value)
{
    size_t end = value.find_first_of(":_.@");
    std::string code(value.substr(0, end));
    if (code == "C" || code == "POSIX")
        return {};
    return code;
}

}  // namespace

std::string locale_primary_language()
{
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return language_of(value);
    }
    return {};
}

bool locale_is_russian_speaking()
{
    std::string code = locale_primary_language();
    for (const char* russian : {"ru", "uk", "be", "lt", "kk", "ky", "uz"})
        if (code == russian)
            return true;
    return false;
}
