// Random datagrams through the service's side of the channel: send each on a
// sender's socket, take it as the worker does, apply the command it holds to
// the sandbox clock, and check that it arrived whole and that the clock was
// either left alone or set inside its span.
#include "clockkeeper/clock_commands.h"
#include "clockkeeper/service.h"
#include "common/smem.h"
#include "platform/channel_folder.h"
#include "platform/clock.h"
#include "platform/datagram.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int service_fd = -1;           // the service's socket
CommandEvent* sender = nullptr;  // a sender connected to it
std::string clock_file;
std::string channel_folder;

// Never the machine's clock: a sandbox clock in the temp folder unless one is given.
void ensure_sandbox()
{
    if (!platform_clock_is_sandbox()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/satclock-fuzz-clock." + std::to_string(getpid());
        setenv("SATCLOCK_CLOCK_FILE", path.c_str(), 1);
    }
    if (!std::getenv("SATCLOCK_CHANNEL_PREFIX"))
        setenv("SATCLOCK_CHANNEL_PREFIX", ("scfuzz" + std::to_string(getpid()) + "_").c_str(), 1);
    if (!std::getenv("SATCLOCK_CHANNEL_DIR")) {
        const char* tmp = std::getenv("TMPDIR");
        channel_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/satclock-fuzz-channel." + std::to_string(getpid());
        setenv("SATCLOCK_CHANNEL_DIR", channel_folder.c_str(), 1);
    }
    clock_file = std::getenv("SATCLOCK_CLOCK_FILE");
}

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

std::string read_clock_file()
{
    FILE* file = std::fopen(clock_file.c_str(), "r");
    if (!file)
        return {};
    char line[64] = {};
    size_t n = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    return std::string(line, n);
}

// The socket, and a channel folder of our own, outlive the process otherwise.
void remove_channel()
{
    platform_channel_name_clear(channel_folder.empty() ? channel_event_path() : channel_folder);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensure_sandbox();
    std::atexit(remove_channel);
    service_log_set_quiet(true);
    check(platform_channel_folder_make(channel_dir()) == 0);
    service_fd = open_own_command_event(false, 0);
    sender = open_command_event();
    check(service_fd >= 0 && sender);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size = size < 64 ? size : 64;
    check(platform_datagram_send(sender->fd, data, size) == 0);
    std::vector<ReceivedCommand> batch;
    check(take_commands(service_fd, &batch) == 1);
    const ReceivedCommand& got = batch[0];
    check(got.sender.credentials && got.sender.uid == geteuid());
    check(got.is_command == (size >= kTimeCommandSize));
    if (!got.is_command)
        return 0;
    TimeCommand sent = time_command_decode(data);
    check(got.command.command == sent.command && got.command.cur_ft == sent.cur_ft && got.command.new_ft == sent.new_ft);
    check(got.command.sequence == (size >= kSequencedCommandSize ? get_le32(data + kSequenceOffset) : 0));
    int32_t command = got.command.command;
    if (command != kCommandSetTime && command != kCommandShiftTime)
        return 0;
    int64_t cur_ft = sent.cur_ft;
    int64_t new_ft = sent.new_ft;

    std::string before = read_clock_file();
    int64_t target = 0;
    int applied = command == kCommandSetTime ? apply_set_command(cur_ft, new_ft, &target)
                                             : apply_shift_command(cur_ft, new_ft, &target);
    if (applied <= 0) {
        check(read_clock_file() == before);
        return 0;
    }
    check(target >= kSettableFirstFt && target < kSettableEndFt);
    int64_t now = platform_clock_read_ft();
    check(now >= truncate_to_ms(target) && now - truncate_to_ms(target) < 10000000LL * 60);
    return 0;
}
