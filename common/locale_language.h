// The user's message language, as the primary language of the thread locale.
#pragma once

#include <string>
#include <string_view>

// The code before any ':', '_', '.' or '@' of the first of LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG that is set and not empty ("ru" from "ru_RU.UTF-8" or
// "ru:en", "C" from "C.UTF-8"); empty when none is.
std::string locale_message_code();

// locale_message_code(), but empty for the C and POSIX locales.
std::string locale_primary_language();

// True for the languages whose users get Russian texts: ru, uk, be, lt, kk, ky, uz.
bool language_is_russian_speaking(std::string_view code);

// language_is_russian_speaking() of the locale's primary language.
bool locale_is_russian_speaking();
