// satsetup: the Satclock installer, as a wizard or unattended.
#include "satsetup/unattended.h"
#include "satsetup/wizard.h"

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--unattended") == 0)
        return unattended_main(argc, argv);
    return wizard_main(argc, argv);
}
