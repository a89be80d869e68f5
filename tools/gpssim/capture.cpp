// Reading capture files: timed lines ("@<ms> text") and raw NMEA lines.
#include "capture.h"

#include <cstdlib>
#include <fstream>

namespace {

void strip_line_end(std::string& line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
}

// "@1250 $GPGGA,..." gives 1250 ms and the text after the blank.
bool split_timed(const std::string& line, int64_t& ms, std::string& text)
{
    size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return false;
    char* end = nullptr;
    long long value = std::strtoll(line.c_str() + 1, &end, 10);
    if (end != line.c_str() + blank || value < 0)
        return false;
    ms = value;
    text = line.substr(blank + 1);
    return true;
}

}  // namespace

std::string sentence_type(const std::string& text)
{
    if (text.size() >= 6 && text[0] == '$')
        return text.substr(3, 3);
    return "raw";
}

bool read_capture(const std::string& path, std::vector<CaptureLine>& lines, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int64_t second = -1;
    for (int number = 1; std::getline(in, line); ++number) {
        strip_line_end(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '@') {
            int64_t ms = 0;
            std::string text;
            if (!split_timed(line, ms, text)) {
                error = path + ":" + std::to_string(number) + ": bad timed line";
                return false;
            }
            lines.push_back({ms * 1000000, text + "\r\n"});
            continue;
        }
        bool new_second = second < 0 || sentence_type(line) == "GGA";
        if (new_second)
            ++second;
        // The other lines of a second share its start and so follow on the line.
        lines.push_back({second * 1000000000, line + "\r\n"});
    }
    return true;
}
