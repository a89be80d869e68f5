// The simulator's machine-readable log: one JSON object a line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class SimLog {
public:
    bool open(const std::string& path);  // "" = no log, "-" = standard output
    ~SimLog();

    // Starts an event line; add fields, then end().
    SimLog& begin(const char* event);
    SimLog& field(const char* name, int64_t value);
    SimLog& field(const char* name, const std::string& value);
    void end();

private:
    FILE* file_ = nullptr;
    bool owned_ = false;
    std::string line_;
};
