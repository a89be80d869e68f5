// A laid-out installation for the uninstaller's tests.
#include "tests/uninstall/installed_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

namespace {

void write_file(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void copy_program(const std::string& from, const std::string& to)
{
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

}  // namespace

void point_seams_into(const TestSandbox& sandbox)
{
    setenv("SATCLOCK_SYSTEMCTL", (source_dir() + "/tests/service/systemctl-stub").c_str(), 1);
    fs::create_directories(sandbox.path("systemctl"));
    setenv("SATCLOCK_SYSTEMCTL_STATE", sandbox.path("systemctl").c_str(), 1);
    setenv("TMPDIR", sandbox.path("tmp").c_str(), 1);
    fs::create_directories(sandbox.path("proc"));
    setenv("SATCLOCK_PROC_DIR", sandbox.path("proc").c_str(), 1);
    write_file(sandbox.path("passwd"), "ann:x:1000:1000:Ann:" + sandbox.path("home/ann") +
                                           ":/bin/sh\nboris:x:1001:1001:Boris:" + sandbox.path("home/boris") +
                                           ":/bin/sh\n");
    setenv("SATCLOCK_PASSWD_FILE", sandbox.path("passwd").c_str(), 1);
    // The installing administrator's own configuration folder.
    setenv("XDG_CONFIG_HOME", sandbox.path("config").c_str(), 1);
}

// The package as the installer unpacks it: files in archive order, then the
// folders deepest first, then what the installer appends (absolute paths).
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

    const std::vector<std::string> package = {
        "bin/satclock", "bin/clockkeeper", "uninstall", "share/help/en/satclock.html",
        "share/locale/ru/LC_MESSAGES/satclock.mo", "share/help/en", "share/help", "share/locale/ru/LC_MESSAGES",
        "share/locale/ru", "share/locale", "share", "bin"};
    std::string list;
    for (const std::string& line : package) {
        list += line + "\n";
        tree.listed.push_back(tree.install_dir + line);
    }
    write_file(tree.install_dir + "bin/satclock", "a desktop program\n");
    copy_program(build_dir() + "/bin/clockkeeper", tree.install_dir + "bin/clockkeeper");
    copy_program(build_dir() + "/bin/uninstall", tree.uninstaller);
    write_file(tree.install_dir + "share/help/en/satclock.html", "<html></html>\n");
    write_file(tree.install_dir + "share/locale/ru/LC_MESSAGES/satclock.mo", "catalogue");

    write_file(tree.data_dir + "satclock.ini", "auto_run=\"TRUE\"\n");
    const std::vector<std::string> appended = {
        "uninstall.txt", tree.install_dir, tree.data_dir, tree.desktop_entry, tree.menu_folder,
        tree.menu_folder + "/Satclock.desktop", tree.menu_folder + "/Satclock Help.desktop",
        tree.menu_folder + "/Satclock Home Page.desktop"};
    for (const std::string& line : appended) {
        list += line + "\r\n";
        tree.listed.push_back(line.starts_with('/') ? line : tree.install_dir + line);
        if (line.ends_with(".desktop"))
            write_file(line, "[Desktop Entry]\nType=Application\nName=Satclock\n");
    }
    write_file(tree.list, list);
    write_file(tree.uninstall_entry, "[Desktop Entry]\nType=Application\nName=Uninstall Satclock\n");
    fs::create_directories(sandbox.path("bin"));
    fs::create_symlink(tree.install_dir + "bin/satclock", tree.program_link);

    write_file(tree.unit_file, "[Service]\nExecStart=" + tree.install_dir + "bin/clockkeeper\n");
    write_file(sandbox.path("systemctl/clockkeeper_satclock.service.state"), "active\n");
    write_file(sandbox.path("systemctl/clockkeeper_satclock.service.enabled"), "");

    tree.autostart_entries = {sandbox.path("home/ann/.config/autostart/satclock.desktop"),
                              sandbox.path("home/boris/.config/autostart/satclock.desktop")};
    write_file(tree.autostart_entries[0], "[Desktop Entry]\nType=Application\nExec=" + tree.install_dir +
                                              "bin/satclock\n");
    write_file(tree.autostart_entries[1], "[Desktop Entry]\nType=Application\nExec=" + tree.install_dir +
                                              "bin/satclock\nHidden=true\n");
    return tree;
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

std::vector<std::string> files_under(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        if (!entry.is_directory())
            files.push_back(fs::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

bool wait_until(const std::function<bool()>& done, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
