// satclock-print-unit: writes the service's unit file for a clockkeeper at a
// given path, the same text `clockkeeper install` writes, so the package
// carries exactly the unit the service registers for itself; and the polkit
// policy of the tree that holds it, the text the setup wizard writes, so that
// pkexec names what an administrator approves for the package's clockkeeper.
#include "clockkeeper/service_install.h"
#include "common/polkit_policy.h"

#include <cstdio>
#include <string>

namespace {

bool write_file(const char* path, const std::string& text)
{
    std::FILE* out = std::fopen(path, "w");
    bool ok = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = out && std::fclose(out) == 0 && ok;
    if (!ok)
        std::perror(path);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: satclock-print-unit PROGRAM_PATH UNIT_FILE POLICY_FILE\n");
        return 2;
    }
    // The packaged unit speaks the default language: the machine's locale at
    // build time says nothing about the machines that install the package.
    std::string program = argv[1];
    std::string prefix = program.substr(0, program.rfind("bin/clockkeeper"));
    bool ok = write_file(argv[2], service_unit_text(program, false));
    ok = write_file(argv[3], polkit_policy_text(satclock_polkit_actions(prefix, false))) && ok;
    return ok ? 0 : 1;
}
