// Language choice and caption of the uninstaller.
#include "uninstall/uninstall_texts.h"

#include "common/install_text.h"
#include "common/locale_language.h"

#include <clocale>

void select_catalogue()
{
    select_text_catalogue(locale_is_russian_speaking());
    std::setlocale(LC_ALL, "");
}

const char* uninstall_version() { return SATCLOCK_VERSION; }

std::string uninstall_caption()
{
    return std::string(translate_text("Uninstall Satclock")) + " " + uninstall_version();
}
