// The simulator's end of the line: a pty master, its slave kept open and raw,
// and the COM<n> link in the port folder that points at the slave.
#pragma once

#include <string>

class PtyPort {
public:
    ~PtyPort();
    // False with a message in error when the pty or the link cannot be made.
    bool open(const std::string& port_dir, int port, bool replace, std::string& error);
    void remove_link();

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    const std::string& link_path() const { return link_path_; }

private:
    int master_ = -1;
    int slave_ = -1;  // keeps the slave's settings and stops hangups while no program has it open
    std::string slave_path_;
    std::string link_path_;
};
