// The single steps of an installation: folders, the list, child processes,
// desktop entries, the uninstall entry, the autostart entry and the settings.
#include "satsetup/install_steps.h"

#include "common/install_text.h"
#include "common/registrations.h"
#include "common/shell_folder.h"
#include "platform/file_access.h"
#include "platform/hidden_process.h"
#include "platform/process.h"
#include "satsetup/install_state.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <glib.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kPublisher[] = "Quillmarsh (c)";
constexpr char kMakerHomePage[] = "https://quillmarsh.example.org/";
constexpr char kMakerDownloadPage[] = "https://quillmarsh.example.org/download/";
constexpr char kProductPage[] = "https://satclock.example.org/";
constexpr const char* kSettingsNames[] = {"satclock.ini", "satclock-inst.ini"};

std::atomic<pid_t> extraction_process{-1};

bool exists(const std::string& path)
{
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

bool is_dir(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string env_value(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A new file in place of whatever was there: a link planted at the name is
// replaced, never followed (the installer runs as root in folders that
// ordinary users may write, such as their desktop).
bool write_new_file(const std::string& path, const std::string& bytes, mode_t mode)
{
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        return false;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ok = fchmod(fd, mode) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok)
        unlink(path.c_str());
    return ok;
}

// A desktop entry's string value: backslash and line ends escaped.
std::string entry_string(const std::string& value)
{
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            continue;
        else
            out += c;
    }
    return out;
}

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string without_suffix(const std::string& name, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return name.size() > n && name.ends_with(suffix) ? name.substr(0, name.size() - n) : name;
}

std::string program_icon()
{
    return install_dir + "share/icons/hicolor/48x48/apps/satclock.png";
}

bool is_program(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111);
}

std::string url_of(const std::string& target)
{
    if (target.find("://") != std::string::npos)
        return target;
    gchar* uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : target;
    g_free(uri);
    return text;
}

// The user who started the installer when it runs elevated for them.
bool invoking_user(uid_t* uid, gid_t* gid, std::string* home)
{
    for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
        std::string text = env_value(variable);
        if (text.empty())
            continue;
        char* end = nullptr;
        unsigned long number = std::strtoul(text.c_str(), &end, 10);
        if (*end)
            continue;
        struct passwd entry{};
        struct passwd* found = nullptr;
        char scratch[4096];
        if (getpwuid_r(uid_t(number), &entry, scratch, sizeof scratch, &found) != 0 || !found)
            return false;
        *uid = found->pw_uid;
        *gid = found->pw_gid;
        *home = found->pw_dir ? found->pw_dir : "";
        return !home->empty();
    }
    return false;
}

bool copy_file_bytes(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb+");
    if (!in)
        return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    bool ok = out != nullptr;
    char chunk[8192];
    size_t n = 0;
    while (ok && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        ok = std::fwrite(chunk, 1, n, out) == n;
    ok = ok && !std::ferror(in);
    if (out)
        ok = std::fclose(out) == 0 && ok;
    std::fclose(in);
    return ok;
}

bool opens_for_update(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb+");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

std::string read_whole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// An entry that root places in a user's own folder (their desktop) belongs
// to that user, who may then edit or delete it.
void give_to_folder_owner(const std::string& path)
{
    struct stat folder{};
    std::string parent = path.substr(0, path.find_last_of('/'));
    if (geteuid() != 0 || parent.empty() || stat(parent.c_str(), &folder) != 0 || folder.st_uid == 0)
        return;
    if (lchown(path.c_str(), folder.st_uid, folder.st_gid) != 0)
        std::perror("satsetup: desktop entry owner");
}

// The Russian partner of a key, whatever the selected language.
const char* russian_text(const char* english)
{
    for (const TextPair& pair : russian_text_table())
        if (std::strcmp(pair.english, english) == 0)
            return pair.russian;
    return english;
}

}  // namespace

std::string add_trailing_slash(const std::string& text)
{
    if (text.empty() || text.back() == '/' || text.back() == '\\')
        return text;
    return text + "/";
}

bool make_dir_path(const std::string& path)
{
    if (path.empty())
        return false;
    if (mkdir(path.c_str(), 0755) == 0 || is_dir(path))
        return is_dir(path);
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    mkdir(path.c_str(), 0755);
    return is_dir(path);
}

void append_uninstall_entry(const std::string& text)
{
    std::string list = install_dir + "uninstall.txt";
    if (!exists(list))
        return;
    std::FILE* file = std::fopen(list.c_str(), "a");
    if (!file)
        return;
    std::fprintf(file, "%s\n", text.c_str());
    std::fclose(file);
}

int run_hidden_and_wait(const std::vector<std::string>& argv)
{
    pid_t pid = process_spawn_hidden(argv);
    if (pid < 0)
        return 127;
    extraction_process.store(pid);
    int status = process_wait(pid);
    extraction_process.store(-1);
    return status;
}

void end_extraction_process() { process_end(extraction_process.load()); }

bool grant_users_access(const std::string& path)
{
    if (!exists(path))
        return false;
    return file_grant_users_rw(path);
}

std::string desktop_exec_argument(const std::string& argument)
{
    bool plain = argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos;
    std::string quoted;
    if (plain) {
        quoted = argument;
    } else {
        quoted = "\"";
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
            if (c == '%')
                quoted += '%';
        }
        quoted += "\"";
    }
    return entry_string(quoted);
}

bool create_shortcut(const std::string& link_file, const std::string& target, const std::string& working_dir,
                     const std::string& description)
{
    std::string name = without_suffix(base_name(link_file), ".desktop");
    std::string text = "[Desktop Entry]\nVersion=1.0\n";
    if (is_program(target)) {
        text += "Type=Application\nName=" + entry_string(name) + "\n";
        text += "Comment=" + entry_string(description) + "\n";
        text += "Exec=" + desktop_exec_argument(target) + "\n";
        text += "Path=" + entry_string(working_dir) + "\n";
        text += "Icon=" + entry_string(program_icon()) + "\nTerminal=false\nCategories=Utility;\n";
    } else {
        text += "Type=Link\nName=" + entry_string(name) + "\n";
        text += "Comment=" + entry_string(description) + "\n";
        text += "URL=" + entry_string(url_of(target)) + "\nIcon=text-html\n";
    }
    // File managers start a desktop's entries only when they are executable.
    bool ok = write_new_file(link_file, text, 0755);
    if (ok)
        give_to_folder_owner(link_file);
    append_uninstall_entry(link_file);
    return ok;
}

void write_registry_entries()
{
    std::string entry = uninstall_entry_path();
    std::string program = install_dir + "bin/satclock";
    std::string uninstaller = install_dir + "uninstall";
    std::string text = "[Desktop Entry]\nVersion=1.0\nType=Application\nName=Uninstall Satclock\n";
    text += std::string("Name[ru]=") + russian_text("Uninstall Satclock") + "\n";
    text += "Exec=" + desktop_exec_argument(uninstaller) + "\n";
    text += "Icon=" + entry_string(program_icon()) + "\nTerminal=false\nCategories=Utility;\n";
    text += std::string("X-Satclock-DisplayName=Satclock ") + program_version + "\n";
    text += "X-Satclock-DisplayIcon=" + entry_string(program) + "\n";
    text += "X-Satclock-UninstallString=" + entry_string(uninstaller) + "\n";
    text += std::string("X-Satclock-DisplayVersion=") + program_version + "\n";
    text += std::string("X-Satclock-Publisher=") + kPublisher + "\n";
    text += std::string("X-Satclock-URLInfoAbout=") + kMakerHomePage + "\n";
    text += std::string("X-Satclock-URLUpdateInfo=") + kMakerDownloadPage + "\n";
    text += std::string("X-Satclock-HelpLink=") + kProductPage + "\n";
    if (!write_new_file(entry, text, 0644))
        return;
    registry_entries_written = true;

    // A program of the same name that is not our link stays.
    std::string link = program_link_path();
    struct stat st{};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return;
    std::string temp = link + ".new";
    unlink(temp.c_str());
    if (symlink(program.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0)
        unlink(temp.c_str());
}

void delete_registry_entries()
{
    std::string entry = uninstall_entry_path();
    std::string uninstaller = "X-Satclock-UninstallString=" + entry_string(install_dir + "uninstall") + "\n";
    if (read_whole(entry).find(uninstaller) != std::string::npos)
        unlink(entry.c_str());
    std::string link = program_link_path();
    char target[PATH_MAX];
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)) == install_dir + "bin/satclock")
        unlink(link.c_str());
}

std::string autorun_entry_path()
{
    std::string config = env_value("XDG_CONFIG_HOME");
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    if (config.empty() && invoking_user(&uid, &gid, &home))
        config = home + "/.config";
    if (!config.empty())
        return config + "/autostart/satclock.desktop";
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Startup");
    return add_trailing_slash(folder) + "satclock.desktop";
}

bool set_autorun_value(const std::string& program_path)
{
    std::string entry = autorun_entry_path();
    std::string folder = entry.substr(0, entry.find_last_of('/'));
    std::string config = folder.substr(0, folder.find_last_of('/'));
    bool config_existed = is_dir(config);
    bool folder_existed = is_dir(folder);
    if (!make_dir_path(folder))
        return false;
    std::string text = "[Desktop Entry]\nVersion=1.0\nType=Application\nName=Satclock\n";
    text += "Exec=" + desktop_exec_argument(program_path) + "\nTerminal=false\n";
    if (!write_new_file(entry, text, 0644))
        return false;
    // Run elevated for someone else: what was made in their home is theirs.
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    if (geteuid() == 0 && invoking_user(&uid, &gid, &home) && entry.starts_with(home + "/")) {
        if (!config_existed && chown(config.c_str(), uid, gid) != 0)
            std::perror("satsetup: autostart folder owner");
        if (!folder_existed && chown(folder.c_str(), uid, gid) != 0)
            std::perror("satsetup: autostart folder owner");
        if (lchown(entry.c_str(), uid, gid) != 0)
            std::perror("satsetup: autostart entry owner");
    }
    return true;
}

bool backup_settings(const std::string& folder)
{
    bool copied = false;
    for (const char* name : kSettingsNames) {
        std::string path = folder + name;
        if (opens_for_update(path) && copy_file_bytes(path, path + ".bak"))
            copied = true;
    }
    return copied;
}

bool restore_settings(const std::string& folder)
{
    bool restored = false;
    for (const char* name : kSettingsNames) {
        std::string path = folder + name;
        std::string backup = path + ".bak";
        if (!opens_for_update(backup))
            continue;
        if (copy_file_bytes(backup, path)) {
            restored = true;
            // A file created anew must be writable by the desktop program again.
            grant_users_access(path);
        }
        unlink(backup.c_str());
    }
    return restored;
}

void drop_settings_backups(const std::string& folder)
{
    for (const char* name : kSettingsNames)
        unlink((folder + name + ".bak").c_str());
}

void patch_autorun_line(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb+");
    if (!file)
        return;
    std::string bytes;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, n);
    static constexpr std::string_view kActionRun = "action_run";
    static constexpr std::string_view kAutoRun = "auto_run";
    for (size_t i = 0; i + 10 < bytes.size(); ++i) {
        if (bytes[i] != '\n')
            continue;
        std::string_view after = std::string_view(bytes).substr(i + 1);
        const char* line = nullptr;
        if (after.starts_with(kActionRun))
            line = "action_run=\"TRUE\" ";
        else if (after.starts_with(kAutoRun))
            line = "auto_run=\"TRUE\" ";
        if (!line)
            continue;
        if (std::fseek(file, long(i + 1), SEEK_SET) == 0)
            std::fwrite(line, 1, std::strlen(line), file);
        break;
    }
    std::fclose(file);
}
