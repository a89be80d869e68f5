// The self-deleting script: program file, then its emptied folder, then itself.
#include "uninstall/self_delete.h"

#include "platform/process_after_exit.h"

namespace {

// A deleting run ends after this many tries a second apart: a file that
// cannot be deleted by then will not be, and the script must not spin for ever.
constexpr int kDeleteTries = 60;

std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string self_delete_script_text(const std::string& program, const std::string& script)
{
    const std::string p = shell_quoted(program);
    const std::string b = shell_quoted(script);
    std::string text = "#!/bin/sh\n";
    // Standard input is a pipe that the uninstaller holds open: end-of-file
    // here means it has ended and its program file is free.
    text += "read -r _\n";
    text += "try=0\n";
    text += "until rm -f -- " + p + " && [ ! -e " + p + " ]; do\n";
    text += "  try=$((try + 1)); [ $try -ge " + std::to_string(kDeleteTries) + " ] && break; sleep 1\n";
    text += "done\n";
    text += "rmdir -- " + shell_quoted(folder_of(program)) + "\n";
    text += "rm -f -- " + b + "\n";
    return text;
}

bool write_self_delete_batch(const std::string& program)
{
    return process_start_script_after_exit("delself_satsetup.", [&](const std::string& script) {
        return self_delete_script_text(program, script);
    });
}
