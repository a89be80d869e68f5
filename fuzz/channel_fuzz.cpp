// Random 256-byte blocks through the service's side of the channel: take the
// command, apply it to the sandbox clock, and check that the slot is cleared,
// the tail untouched and the clock either left alone or set inside its span.
#include "clockkeeper/clock_commands.h"
#include "clockkeeper/service.h"
#include "common/smem.h"
#include "platform/channel_file.h"
#include "platform/channel_folder.h"
#include "platform/clock.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

int raw_fd = -1;  // a second descriptor of the block, as a hostile sender has it
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

// The block, and a channel folder of our own, outlive the process otherwise.
void remove_channel()
{
    platform_channel_name_clear(channel_folder.empty() ? channel_share_path() : channel_folder);
}

void read_block(unsigned char* bytes)
{
    check(platform_channel_file_read(raw_fd, 0, bytes, kSharedBlockSize) == ssize_t(kSharedBlockSize));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensure_sandbox();
    std::atexit(remove_channel);
    service_log_set_quiet(true);
    check(platform_channel_folder_make(channel_dir()) == 0);
    check(smem_create_own_memory() == 1);
    raw_fd = platform_channel_file_open(channel_share_path(), geteuid());
    check(raw_fd >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char block[kSharedBlockSize] = {};
    std::memcpy(block, data, size < kSharedBlockSize ? size : kSharedBlockSize);
    check(platform_channel_file_write(raw_fd, 0, block, kSharedBlockSize) == ssize_t(kSharedBlockSize));
    TimeCommand sent = time_command_decode(block);

    int64_t cur_ft = 0;
    int64_t new_ft = 0;
    int32_t command = smem_read_command(&cur_ft, &new_ft);
    check(command == sent.command);
    unsigned char after[kSharedBlockSize];
    read_block(after);
    check(after[0] == 0 && after[1] == 0 && after[2] == 0 && after[3] == 0);
    check(std::memcmp(after + 4, block + 4, kSharedBlockSize - 4) == 0);
    if (command != kCommandSetTime && command != kCommandShiftTime)
        return 0;
    check(cur_ft == sent.cur_ft && new_ft == sent.new_ft);

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
