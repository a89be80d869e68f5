// The user's message language, as the primary language of the thread locale.
#pragma once

#include <string>

// Two- or three-letter language code of the first of LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG that is set ("ru" from "ru_RU.UTF-8" or "ru:en"); empty
// when none is, or for the C and POSIX locales.
std::string locale_primary_language();

// True for the languages whose users get Russian texts: ru, uk, be, lt, kk, ky, uz.
bool locale_is_russian_speaking();
