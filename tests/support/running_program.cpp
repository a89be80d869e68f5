// A copy of sleep under another name, running until the test ends.
#include "tests/support/running_program.h"

#include "platform/process.h"

#include <csignal>
#include <filesystem>

RunningProgram::RunningProgram(const TestSandbox& sandbox, const std::string& name)
{
    std::string folder = sandbox.path("running");
    std::filesystem::create_directories(folder);
    std::string program = folder + "/" + name;
    std::filesystem::copy_file("/bin/sleep", program, std::filesystem::copy_options::overwrite_existing);
    pid_ = process_spawn({program, "600"});
    std::string exe = "/proc/" + std::to_string(pid_) + "/exe";
    started_ = pid_ > 0 && wait_until([&] {
        std::error_code error;
        return std::filesystem::read_symlink(exe, error) == program;
    });
}

RunningProgram::~RunningProgram()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGKILL);
    process_wait(pid_);
}
