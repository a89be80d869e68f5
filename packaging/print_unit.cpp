// satclock-print-unit: writes the service's unit file for a clockkeeper at a
// given path, the same text `clockkeeper install` writes, so the package
// carries exactly the unit the service registers for itself.
#include "clockkeeper/service_install.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: satclock-print-unit PROGRAM_PATH UNIT_FILE\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    // The packaged unit speaks the default language: the machine's locale at
    // build time says nothing about the machines that install the package.
    std::string text = service_unit_text(argv[1], false);
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok)
        std::perror(argv[2]);
    return ok ? 0 : 1;
}
