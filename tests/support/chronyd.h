// A real chronyd for tests: Debian's package unpacked by scripts/deps.sh
// into build-deps/chrony (never installed), run in the foreground (-d)
// without ever touching the clock (-x), on a folder of its own (mode 0700,
// which chronyd asks of its command socket's folder) with a private
// configuration: its command socket, pid and drift files there, our account
// as its user (a build machine has no _chrony account).
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

std::string chrony_root();

class Chronyd {
public:
    explicit Chronyd(const std::string& dir);
    ~Chronyd();
    Chronyd(const Chronyd&) = delete;
    Chronyd& operator=(const Chronyd&) = delete;

    // Starts it with these lines after the fixed ones, and waits for its
    // command socket.
    bool start(const std::string& lines);
    // `chronyc -c -n <what>` against it ("sources", "tracking").
    std::string ask(const char* what) const;
    std::string log() const;

private:
    std::string socket() const { return dir_ + "/chronyd.sock"; }

    std::string dir_;
    pid_t pid_ = -1;
};

// The fields of one line of chronyc's -c output.
std::vector<std::string> chrony_csv_fields(const std::string& line);
// The line of `chronyc -c sources` whose name is `name`, split; empty when none.
std::vector<std::string> chrony_source_fields(const std::string& csv, const std::string& name);
// Whether the line of `name` in `chronyc -c sources` shows it reached, with
// the PC clock offset_ns ahead of it (the measured offset), give or take tolerance_ns.
bool chrony_source_at_offset(const std::string& csv, const std::string& name, int64_t offset_ns, int64_t tolerance_ns);
