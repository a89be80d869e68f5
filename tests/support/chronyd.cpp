// A real chronyd on a private configuration, and chronyc's answers.
#include "tests/support/chronyd.h"

#include "platform/process.h"
#include "tests/support/test_env.h"

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

std::string chrony_root() { return source_dir() + "/build-deps/chrony"; }

Chronyd::Chronyd(const std::string& dir) : dir_(dir) { mkdir(dir.c_str(), 0700); }

Chronyd::~Chronyd()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        process_wait(pid_);
    }
}

bool Chronyd::start(const std::string& lines)
{
    const passwd* account = getpwuid(geteuid());
    std::ofstream(dir_ + "/chrony.conf") << "user " << (account ? account->pw_name : "root") << "\npidfile " << dir_
                                         << "/chronyd.pid\ndriftfile " << dir_ << "/chrony.drift\nbindcmdaddress "
                                         << socket() << "\ncmdport 0\n"
                                         << lines;
    pid_ = process_spawn({"/bin/sh", "-c", "exec \"$0\" -x -d -f \"$1\" 2>>\"$2\"", chrony_root() + "/usr/sbin/chronyd",
                          dir_ + "/chrony.conf", dir_ + "/chronyd.log"});
    return pid_ > 0 && wait_until([this] { return access(socket().c_str(), F_OK) == 0; }, 10000);
}

std::string Chronyd::ask(const char* what) const
{
    std::string out;
    process_run_capture({chrony_root() + "/usr/bin/chronyc", "-h", socket(), "-c", "-n", what}, &out);
    return out;
}

std::string Chronyd::log() const
{
    std::ifstream in(dir_ + "/chronyd.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> chrony_csv_fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');)
        fields.push_back(cell);
    return fields;
}

std::vector<std::string> chrony_source_fields(const std::string& csv, const std::string& name)
{
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields = chrony_csv_fields(line);
        if (fields.size() >= 10 && fields[2] == name)
            return fields;
    }
    return {};
}

bool chrony_source_at_offset(const std::string& csv, const std::string& name, int64_t offset_ns, int64_t tolerance_ns)
{
    std::vector<std::string> fields = chrony_source_fields(csv, name);
    return !fields.empty() && fields[5] != "0" &&
           std::llabs(std::llround(std::strtod(fields[8].c_str(), nullptr) * 1e9) - offset_ns) <= tolerance_ns;
}
