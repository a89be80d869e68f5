// A sandbox for installations: the folder seams of TestSandbox, the systemctl
// stub with its state folder, an empty process folder (the machine's own
// programs never count as running) and a private temp folder.
#pragma once

#include "tests/support/test_env.h"

#include <string>
#include <vector>

class InstallerSandbox : public TestSandbox {
public:
    InstallerSandbox();
    std::string install_dir() const { return path("inst/Satclock/"); }
    std::string data_dir() const { return path("appdata/satclock/"); }
    std::string unit_file() const { return path("systemd/clockkeeper_satclock.service"); }
    std::string stub_state(const std::string& what) const;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::vector<std::string> lines_of(const std::string& text);
// A file under tests/ of the source tree.
std::string tests_file(const std::string& name);
// The group:users entry of the file's access list ("" when there is none).
std::string users_acl_entry(const std::string& path);
