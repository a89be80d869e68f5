// Capture files replayed by the simulator (format in --help).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CaptureLine {
    int64_t at_ns;     // first byte, relative to the replay's start
    std::string text;  // with its CR LF
};

// Reads a capture. False (and a message in error) when it cannot be read.
bool read_capture(const std::string& path, std::vector<CaptureLine>& lines, std::string& error);

// The sentence type of a line ("GGA" for "$GPGGA,..."), or "raw".
std::string sentence_type(const std::string& text);
