// The installation sandbox.
#include "tests/installer/installer_env.h"

#include "platform/process.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

InstallerSandbox::InstallerSandbox()
{
    for (const char* sub : {"systemctl", "proc", "inst", "polkit"})
        std::filesystem::create_directory(path(sub));
    setenv("SATCLOCK_POLKIT_DIR", path("polkit").c_str(), 1);
    setenv("SATCLOCK_SYSTEMCTL", tests_file("service/systemctl-stub").c_str(), 1);
    setenv("SATCLOCK_SYSTEMCTL_STATE", path("systemctl").c_str(), 1);
    setenv("SATCLOCK_PROC_DIR", path("proc").c_str(), 1);
    setenv("TMPDIR", path("tmp").c_str(), 1);
    setenv("HOME", path("config").c_str(), 1);
    unsetenv("SATCLOCK_ELEVATE");
    unsetenv("PKEXEC_UID");
    unsetenv("SUDO_UID");
}

std::string InstallerSandbox::stub_state(const std::string& what) const
{
    return read_file(path("systemctl/") + what);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string tests_file(const std::string& name) { return source_dir() + "/tests/" + name; }

std::string users_acl_entry(const std::string& path)
{
    std::string out;
    process_run_capture({"getfacl", "-c", path}, &out);
    for (const std::string& line : lines_of(out))
        if (line.starts_with("group:users:"))
            return line;
    return {};
}
