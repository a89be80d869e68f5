// XDG autostart entries: formatting, writing by rename, removal.
#include "platform/autostart.h"

#include "platform/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Characters that make the desktop-entry format quote an Exec argument.
constexpr char exec_reserved[] = " \t\n\"'\\><~|&;$*?#()`";

bool needs_quotes(const std::string& program)
{
    return program.empty() || program.find_first_of(exec_reserved) != std::string::npos;
}

std::string existing_bytes(const std::string& file)
{
    FileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    std::string bytes;
    if (fd.get() < 0 || !file_read_all(fd.get(), bytes))
        return {};
    return bytes;
}

}  // namespace

std::string autostart_exec_value(const std::string& program)
{
    bool quoted = needs_quotes(program);
    std::string out = quoted ? "\"" : "";
    for (char c : program) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        // Inside quotes '"', '`', '$' and '\' take a backslash; the string
        // escape of the format then doubles every backslash once more.
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += "\\\\";
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    if (quoted)
        out += '"';
    return out;
}

std::string autostart_entry_text(const std::string& name, const std::string& program)
{
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + autostart_exec_value(program) +
           "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}

bool autostart_entry_write(const std::string& file, const std::string& name, const std::string& program)
{
    std::string bytes = autostart_entry_text(name, program);
    if (existing_bytes(file) == bytes)
        return true;
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string temp = file + ".XXXXXX";
    FileDescriptor fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        std::fprintf(stderr, "autostart: cannot write in %s: %s\n", folder.c_str(), std::strerror(errno));
        return false;
    }
    bool written = fchmod(fd.get(), 0644) == 0 && file_write_all_at(fd.get(), bytes, 0) &&
                   fsync(fd.get()) == 0 && fd.close() && rename(temp.c_str(), file.c_str()) == 0;
    if (!written) {
        std::fprintf(stderr, "autostart: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
        unlink(temp.c_str());
    }
    return written;
}

bool autostart_entry_remove(const std::string& file)
{
    return unlink(file.c_str()) == 0;
}
