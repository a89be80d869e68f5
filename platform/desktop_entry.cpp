// The desktop-entry writer.
#include "platform/desktop_entry.h"

#include "platform/files.h"

#include <cstdio>
#include <cstring>

namespace {

// Characters that make the format quote an Exec argument.
constexpr char kExecReserved[] = " \t\n\"'\\><~|&;$*?#()`";

void add(std::string* text, const char* key, const std::string& value)
{
    if (!value.empty())
        *text += std::string(key) + "=" + value + "\n";
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string desktop_string_value(const std::string& value)
{
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string desktop_exec_value(const std::string& program)
{
    bool quoted = program.empty() || program.find_first_of(kExecReserved) != std::string::npos;
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
        out += desktop_string_value(std::string(1, c));
    }
    return quoted ? out + "\"" : out;
}

std::string desktop_entry_text(const DesktopEntry& entry)
{
    bool application = entry.type == DesktopEntry::Type::application;
    std::string text = "[Desktop Entry]\nVersion=1.0\n";
    text += application ? "Type=Application\n" : "Type=Link\n";
    add(&text, "Name", desktop_string_value(entry.name));
    for (const auto& [locale, name] : entry.localized_names)
        add(&text, ("Name[" + locale + "]").c_str(), desktop_string_value(name));
    add(&text, "Comment", desktop_string_value(entry.comment));
    if (application) {
        add(&text, "Exec", desktop_exec_value(entry.program));
        add(&text, "Path", desktop_string_value(entry.working_dir));
    } else {
        add(&text, "URL", desktop_string_value(entry.url));
    }
    add(&text, "Icon", desktop_string_value(entry.icon));
    if (application)
        text += "Terminal=false\n";
    if (entry.in_menu)
        text += "Categories=Utility;\n";
    if (entry.autostart)
        text += "X-GNOME-Autostart-enabled=true\n";
    for (const auto& [key, value] : entry.extra)
        add(&text, key.c_str(), desktop_string_value(value));
    return text;
}

DesktopEntry autostart_entry(const std::string& name, const std::string& program)
{
    DesktopEntry entry;
    entry.name = name;
    entry.program = program;
    entry.autostart = true;
    return entry;
}

bool autostart_entry_write(const std::string& file, const std::string& name, const std::string& program)
{
    std::string text = desktop_entry_text(autostart_entry(name, program));
    std::string old;
    if (file_read_whole(file, &old) == 0 && old == text)
        return true;
    std::string why;
    if (!make_folders(folder_of(file), 0755, &why)) {
        std::fprintf(stderr, "autostart: %s\n", why.c_str());
        return false;
    }
    int error = file_write_new(file, text, 0644);
    if (error != 0)
        std::fprintf(stderr, "autostart: cannot write %s: %s\n", file.c_str(), std::strerror(error));
    return error == 0;
}

bool autostart_entry_remove(const std::string& file) { return path_exists(file) && file_remove(file); }
