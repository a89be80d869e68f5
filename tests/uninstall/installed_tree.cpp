// A laid-out installation for the uninstaller's tests.
#include "tests/uninstall/installed_tree.h"

#include "platform/process.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

void write_file(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

void point_seams_into(const TestSandbox& sandbox)
{
    // Run for an ordinary user, the programs would drop every seam.
    unsetenv("PKEXEC_UID");
    unsetenv("SUDO_UID");
    setenv("SATCLOCK_SYSTEMCTL", (source_dir() + "/tests/service/systemctl-stub").c_str(), 1);
    fs::create_directories(sandbox.path("systemctl"));
    setenv("SATCLOCK_SYSTEMCTL_STATE", sandbox.path("systemctl").c_str(), 1);
    setenv("TMPDIR", sandbox.path("tmp").c_str(), 1);
    fs::create_directories(sandbox.path("proc"));
    setenv("SATCLOCK_PROC_DIR", sandbox.path("proc").c_str(), 1);
    fs::create_directories(sandbox.path("polkit"));
    setenv("SATCLOCK_POLKIT_DIR", sandbox.path("polkit").c_str(), 1);
    // Root installs; Ann and Boris own their homes, which the uninstaller
    // enters as each of them: the sandbox is open for them to pass through.
    write_file(sandbox.path("passwd"), "root:x:0:0:root:" + sandbox.path("home/root") + ":/bin/sh\n" +
                                           "ann:x:1000:1000:Ann:" + sandbox.path("home/ann") + ":/bin/sh\n" +
                                           "boris:x:1001:1001:Boris:" + sandbox.path("home/boris") + ":/bin/sh\n");
    fs::permissions(sandbox.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    for (const char* home : {"home/root", "home/ann", "home/boris"})
        fs::create_directories(sandbox.path(home));
    setenv("SATCLOCK_PASSWD_FILE", sandbox.path("passwd").c_str(), 1);
    // The installing user's own configuration folder.
    setenv("XDG_CONFIG_HOME", sandbox.path("home/ann/.config").c_str(), 1);
}

// The real installer, unattended, with every folder in the sandbox; Ann is
// the installing user (her autostart entry is the installer's), Boris
// disabled his own entry, which hides it.
InstalledTree install_into(const TestSandbox& sandbox)
{
    InstalledTree tree;
    tree.install_dir = sandbox.path("root/opt/Satclock/");
    tree.data_dir = sandbox.path("appdata/satclock/");
    tree.uninstaller = tree.install_dir + "uninstall";
    tree.list = tree.install_dir + "uninstall.txt";
    tree.desktop_entry = sandbox.path("desktop/Satclock.desktop");
    tree.menu_folder = sandbox.path("programs/Satclock");
    tree.uninstall_entry = sandbox.path("programs/satclock-uninstall.desktop");
    tree.program_link = sandbox.path("bin/satclock");
    tree.unit_file = sandbox.path("systemd/clockkeeper_satclock.service");
    tree.autostart_entries = {sandbox.path("home/ann/.config/autostart/satclock.desktop"),
                              sandbox.path("home/boris/.config/autostart/satclock.desktop")};

    std::string out;
    int status = process_run_capture({"env", "ASAN_OPTIONS=detect_leaks=0", build_dir() + "/bin/satsetup",
                                      "--unattended", "--dir", sandbox.path("root/opt/Satclock")},
                                     &out);
    EXPECT_EQ(0, status) << "the installation failed:\n" << out;
    EXPECT_TRUE(exists(tree.autostart_entries[0]));
    write_file(tree.autostart_entries[1], "[Desktop Entry]\nType=Application\nExec=" + tree.install_dir +
                                              "bin/satclock\nHidden=true\n");
    give_home(sandbox, "ann", 1000);
    give_home(sandbox, "boris", 1001);

    std::ifstream list(tree.list);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        tree.listed.push_back(line.starts_with('/') ? line : tree.install_dir + line);
    }
    return tree;
}

void give_home(const TestSandbox& sandbox, const std::string& name, uid_t uid)
{
    std::string home = sandbox.path("home/" + name);
    EXPECT_EQ(0, process_run({"chown", "-R", std::to_string(uid) + ":" + std::to_string(uid), home})) << home;
}

void pretend_satclock_running(const TestSandbox& sandbox, bool running)
{
    std::string process = sandbox.path("proc/4242");
    if (!running) {
        fs::remove_all(process);
        return;
    }
    fs::create_directories(process);
    fs::create_symlink("/opt/Satclock/bin/satclock", process + "/exe");
}

bool exists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

namespace {

// One walk; false when the folder changed under it.
bool walk(const fs::path& base, std::vector<std::string>& files)
{
    files.clear();
    std::error_code error;
    fs::recursive_directory_iterator entry(base, error), end;
    if (error)
        return error == std::errc::no_such_file_or_directory;
    for (; entry != end; entry.increment(error)) {
        if (error)
            return false;
        std::error_code kind;
        bool folder = entry->is_directory(kind);
        if (kind)
            return false;
        if (!folder)
            files.push_back(entry->path().lexically_relative(base).string());
    }
    return !error;
}

}  // namespace

// The files under a folder that may be emptied meanwhile (the uninstaller's
// script removes itself and its folder): walked again until one walk sees
// no change under it (a folder that keeps failing gives its last walk).
std::vector<std::string> files_under(const std::string& folder)
{
    fs::path base(folder);
    if (!base.has_filename())
        base = base.parent_path();
    std::vector<std::string> files;
    for (int walks = 0; walks < 1000 && !walk(base, files); ++walks) {
    }
    std::sort(files.begin(), files.end());
    return files;
}
