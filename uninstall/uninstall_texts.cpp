// Language choice and caption of the uninstaller.
#include "uninstall/uninstall_texts.h"

#include "common/install_text.h"
#include "common/locale_language.h"
#include "common/program_version.h"

#include <clocale>

void select_catalogue()
{
    select_text_catalogue(locale_is_russian_speaking());
    std::setlocale(LC_ALL, "");
}

std::string uninstall_caption()
{
    return std::string(translate_text("Uninstall Satclock")) + " " + program_version;
}
