// Linked into every test program: with SATCLOCK_TEST_CLOCK_START set, the
// clock of a test that makes no sandbox of its own also starts at that
// moment, in a file of this process alone (tests of one program run side by
// side and would reset each other's clock).
#include "tests/support/clock_start.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <unistd.h>

namespace {

class UnsandboxedClock {
public:
    UnsandboxedClock()
    {
        const char* start = std::getenv("SATCLOCK_TEST_CLOCK_START");
        const char* file = std::getenv("SATCLOCK_CLOCK_FILE");
        if (!start || !*start || !file || !*file)
            return;
        path_ = std::string(file) + "." + std::to_string(getpid());
        try {
            start_sandbox_clock(path_);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            std::_Exit(1);
        }
        setenv("SATCLOCK_CLOCK_FILE", path_.c_str(), 1);
    }
    ~UnsandboxedClock()
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }

private:
    std::string path_;
};

const UnsandboxedClock unsandboxed_clock;

}  // namespace
