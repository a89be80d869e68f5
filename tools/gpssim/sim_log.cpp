// JSON-lines log of the simulator, flushed line by line so that readers (tests,
// benchmarks) see each event as it happens.
#include "sim_log.h"

#include "common/json_text.h"

bool SimLog::open(const std::string& path)
{
    if (path.empty())
        return true;
    if (path == "-") {
        file_ = stdout;
        return true;
    }
    file_ = std::fopen(path.c_str(), "a");
    owned_ = file_ != nullptr;
    return file_ != nullptr;
}

SimLog::~SimLog()
{
    if (owned_)
        std::fclose(file_);
}

SimLog& SimLog::begin(const char* event)
{
    line_ = "{\"event\":" + json_string(event, true);
    return *this;
}

SimLog& SimLog::field(const char* name, int64_t value)
{
    line_ += ",\"" + std::string(name) + "\":" + std::to_string(value);
    return *this;
}

SimLog& SimLog::field(const char* name, const std::string& value)
{
    line_ += ",\"" + std::string(name) + "\":" + json_string(value, true);
    return *this;
}

void SimLog::end()
{
    if (!file_)
        return;
    line_ += "}\n";
    std::fputs(line_.c_str(), file_);
    std::fflush(file_);
}
