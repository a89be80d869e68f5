// The status command: asks every running copy on its status socket.
#include "src/headless/status_command.h"

#include "platform/status_socket.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kAnswerWaitMs = 2000;

struct CopyAnswer {
    std::string json;  // the first line
    std::string text;  // the lines after it
    bool reading() const { return json.find("\"reading\":true") != std::string::npos; }
};

std::vector<CopyAnswer> ask_running_copies()
{
    std::vector<CopyAnswer> answers;
    for (pid_t pid : status_socket_pids()) {
        std::string answer;
        if (!status_socket_fetch(pid, &answer, kAnswerWaitMs))
            continue;
        size_t end = answer.find('\n');
        answers.push_back({answer.substr(0, end), end == std::string::npos ? "" : answer.substr(end + 1)});
    }
    return answers;
}

// The copy a monitoring script asks about: the one reading a receiver with a fix, else the first.
const CopyAnswer* chosen_copy(const std::vector<CopyAnswer>& answers)
{
    for (const CopyAnswer& answer : answers)
        if (answer.reading())
            return &answer;
    return answers.empty() ? nullptr : &answers.front();
}

}  // namespace

int status_command_main(bool json)
{
    std::vector<CopyAnswer> answers = ask_running_copies();
    const CopyAnswer* chosen = chosen_copy(answers);
    if (json) {
        std::printf("%s\n", chosen ? chosen->json.c_str() : "{\"running\":false}");
    } else if (answers.empty()) {
        std::printf("Satclock is not running on this machine.\n");
    } else {
        for (const CopyAnswer& answer : answers)
            std::printf("%s%s", &answer == &answers.front() ? "" : "\n", answer.text.c_str());
    }
    if (!chosen)
        return 2;
    return chosen->reading() ? 0 : 1;
}
