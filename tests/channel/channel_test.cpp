// The command channel in one process: block layout and take-and-clear, the
// names in their folder, what a sender opens, the signals and their bound,
// the acknowledgement, and the failures a sender must survive.
#include "common/smem.h"
#include "platform/channel_file.h"
#include "platform/channel_folder.h"
#include "tests/support/test_env.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t mode_of(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

int open_descriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The service's ends, made as clockkeeper makes them, in the sandbox's folder.
class Channel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(smem_create_own_memory(), 1);
        service_ = open_own_command_event();
        ASSERT_GE(service_, 0);
    }
    ~Channel() override
    {
        smem_close_memory();
        close_own_command_event(service_);
    }
    TestSandbox sandbox;
    int service_ = -1;
};

TEST(ChannelBytes, LittleEndianFieldsAtTheirOffsets)
{
    unsigned char bytes[kTimeCommandSize];
    time_command_encode(TimeCommand{2, 0x0102030405060708LL, -2}, bytes);
    const unsigned char expected[kTimeCommandSize] = {2, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1,
                                                      0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
    TimeCommand back = time_command_decode(expected);
    EXPECT_EQ(back.command, 2);
    EXPECT_EQ(back.cur_ft, 0x0102030405060708LL);
    EXPECT_EQ(back.new_ft, -2);
    const unsigned char negative[kTimeCommandSize] = {0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(time_command_decode(negative).command, -1);

    unsigned char ack[kAckSize];
    acknowledgement_encode(Acknowledgement{0x01020304, kAckSetFailed}, ack);
    const unsigned char ack_expected[kAckSize] = {4, 3, 2, 1, kAckSetFailed, 0, 0, 0};
    EXPECT_EQ(std::memcmp(ack, ack_expected, kAckSize), 0);
    EXPECT_EQ(acknowledgement_decode(ack_expected).sequence, 0x01020304u);
}

TEST_F(Channel, NamesLiveInTheFolderAfterThePrefix)
{
    std::string dir = sandbox.path("channel");
    EXPECT_EQ(channel_share_path(), dir + "/" + sandbox.channel_prefix() + "setclockkeeper_share");
    EXPECT_EQ(channel_event_path(), dir + "/" + sandbox.channel_prefix() + "setclockkeeper_event");
    setenv("SATCLOCK_CHANNEL_PREFIX", "../", 1);
    EXPECT_EQ(channel_share_path(), "") << "a name outside the folder";
    setenv("SATCLOCK_CHANNEL_PREFIX", sandbox.channel_prefix().c_str(), 1);
    unsetenv("SATCLOCK_CHANNEL_DIR");
    EXPECT_EQ(channel_dir(), "/run/satclock");
    setenv("SATCLOCK_CHANNEL_DIR", dir.c_str(), 1);
}

TEST_F(Channel, NothingOpenMeansNothingWrittenOrRead)
{
    smem_close_memory();
    EXPECT_EQ(smem_write_command(kCommandSetTime, 1, 2), 0);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), 0);
}

TEST_F(Channel, ReadTakesTheCommandOnceWhateverItsValue)
{
    for (int32_t command : {kCommandSetTime, kCommandShiftTime, 3, -1, INT32_MAX, INT32_MIN}) {
        ASSERT_EQ(smem_write_command(command, int64_t{1000} + command, -7), 1);
        int64_t cur_ft = 0;
        int64_t new_ft = 0;
        EXPECT_EQ(smem_read_command(&cur_ft, &new_ft), command);
        EXPECT_EQ(cur_ft, int64_t{1000} + command);
        EXPECT_EQ(new_ft, -7);
        EXPECT_EQ(smem_read_command(&cur_ft, &new_ft), kCommandEmpty) << "slot not cleared";
    }
    ASSERT_EQ(smem_write_command(kCommandSetTime, 5, 6), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), kCommandSetTime) << "outputs are optional";
}

TEST_F(Channel, NamesAreOpenToAllAndTheBlockTailNeverTouched)
{
    // Made again under a tight umask: the modes must not follow it.
    mode_t old_mask = umask(077);
    ASSERT_EQ(smem_create_own_memory(), 1);
    close_own_command_event(service_);
    service_ = open_own_command_event();
    umask(old_mask);
    ASSERT_GE(service_, 0);
    EXPECT_EQ(mode_of(channel_share_path()), S_IFREG | 0666);
    EXPECT_EQ(mode_of(channel_event_path()), S_IFSOCK | 0666);
    // A second descriptor, as the other program has it.
    int fd = platform_channel_file_open(channel_share_path(), geteuid());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(platform_channel_file_size(fd), 256);
    unsigned char block[kSharedBlockSize];
    ASSERT_EQ(platform_channel_file_read(fd, 0, block, sizeof block), ssize_t(sizeof block));
    for (size_t i = 0; i < kSharedBlockSize; ++i)
        ASSERT_EQ(block[i], 0) << i;
    std::memset(block + kTimeCommandSize, 0xa5, kSharedBlockSize - kTimeCommandSize);
    ASSERT_EQ(platform_channel_file_write(fd, 0, block, sizeof block), ssize_t(sizeof block));
    ASSERT_EQ(smem_write_command(kCommandSetTime, 0x1122334455667788LL, 42, 0x01020304), 1);
    TakenCommand taken{};
    EXPECT_EQ(smem_take_command(&taken), 1);
    EXPECT_EQ(taken.sequence, 0x01020304u);
    ASSERT_EQ(platform_channel_file_read(fd, 0, block, sizeof block), ssize_t(sizeof block));
    EXPECT_EQ(get_le32(block), 0u) << "slot not cleared";
    EXPECT_EQ(get_le32(block + kSequenceOffset), 0x01020304u);
    // Beyond the command and its sequence nothing is ever written.
    for (size_t i = kTimeCommandSize; i < kSharedBlockSize; ++i) {
        if (i < kSequenceOffset || i >= kSequencedCommandSize) {
            ASSERT_EQ(block[i], 0xa5) << i;
        }
    }
    platform_channel_file_close(fd);
}

TEST_F(Channel, SenderOpensOnlyARegularBlockOfTheFoldersOwner)
{
    std::string block = channel_share_path();
    std::string elsewhere = sandbox.path("elsewhere");
    struct Case {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"a link to another file", [&] { std::filesystem::remove(block); std::filesystem::create_symlink(elsewhere, block); }},
        {"a folder", [&] { std::filesystem::remove(block); std::filesystem::create_directory(block); }},
        {"a file of another account", [&] {
             std::filesystem::remove(block);
             ASSERT_EQ(smem_create_own_memory(), 1);
             if (geteuid() != 0 || lchown(block.c_str(), 65534, 65534) != 0)
                 GTEST_SKIP() << "needs root to give the block to another account";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        smem_close_memory();
        std::filesystem::remove_all(block);
        c.make();
        if (IsSkipped())
            return;
        EXPECT_EQ(smem_create_memory(), -1);
        EXPECT_EQ(smem_write_command(kCommandSetTime, 1, 2), 0);
        EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 1, 2, 100), PostOutcome::no_channel);
    }
}

TEST_F(Channel, SignalsCountOnceAndAFullQueueCountsAsSignalled)
{
    CommandEvent* sender = open_command_event();
    ASSERT_NE(sender, nullptr);
    EXPECT_EQ(sender->service_uid, geteuid());
    // More signals than any queue holds: each one counts as given.
    for (int i = 0; i < 2 * kCommandSignalBound + 10; ++i)
        ASSERT_EQ(signal_command_event(sender), 0) << i;
    CommandSignals signals;
    int taken = take_command_signals(service_, &signals);
    EXPECT_GE(taken, 1);
    EXPECT_LE(taken, kCommandSignalBound);
    ASSERT_EQ(signals.senders.size(), 1u) << "one sender, answered once";
    EXPECT_EQ(signals.uids, std::vector<uid_t>{geteuid()});
    while (take_command_signals(service_, &signals) > 0) {
    }
    EXPECT_EQ(take_command_signals(service_, &signals), 0);
    close_command_event(sender);
}

TEST_F(Channel, DescriptorsPassedAlongWithASignalAreClosed)
{
    CommandEvent* sender = open_command_event();
    ASSERT_NE(sender, nullptr);
    int before = open_descriptors();
    int passed[3] = {0, 1, 2};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof passed)] = {};
    char byte = 1;
    iovec data{&byte, 1};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof passed);
    std::memcpy(CMSG_DATA(c), passed, sizeof passed);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(sendmsg(sender->fd, &message, 0), 1);
    CommandSignals signals;
    EXPECT_EQ(take_command_signals(service_, &signals), 5);
    EXPECT_EQ(open_descriptors(), before);
    close_command_event(sender);
}

TEST_F(Channel, OnlyTheServicesAnswerToThisVeryCommandCounts)
{
    // No one answers: the command is taken back and nothing counts.
    PostOutcome unanswered = post_time_command_acknowledged(kCommandSetTime, 100, 200, 50);
    EXPECT_EQ(unanswered, PostOutcome::no_ack);
    EXPECT_FALSE(post_outcome_counts(unanswered));
    EXPECT_EQ(smem_read_command(nullptr, nullptr), kCommandEmpty) << "the unanswered command stayed";

    // Nobody bound at the name: no service.
    close_own_command_event(service_);
    service_ = -1;
    EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 100, 200, 50), PostOutcome::no_service);
    EXPECT_EQ(smem_peer_present(), 0);
    std::filesystem::remove(channel_event_path());
    EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 100, 200, 50), PostOutcome::no_service);
    std::filesystem::remove_all(sandbox.path("channel"));
    EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 100, 200, 50), PostOutcome::no_service);
}

TEST_F(Channel, PostingWritesSignalsAndLeavesNothingOpen)
{
    EXPECT_EQ(smem_peer_present(), 1);
    EXPECT_EQ(post_time_command(kCommandSetTime, 100, 200), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), 0) << "the sender kept its block open";
    CommandSignals signals;
    EXPECT_EQ(take_command_signals(service_, &signals), 1);
    ASSERT_EQ(smem_create_memory(), 1);
    int64_t cur_ft = 0;
    int64_t new_ft = 0;
    EXPECT_EQ(smem_read_command(&cur_ft, &new_ft), kCommandSetTime);
    EXPECT_EQ(cur_ft, 100);
    EXPECT_EQ(new_ft, 200);
}

TEST_F(Channel, UnusableNamesFailWithoutHarm)
{
    setenv("SATCLOCK_CHANNEL_PREFIX", "no/such/", 1);
    EXPECT_EQ(smem_create_memory(), -1);
    EXPECT_EQ(smem_create_own_memory(), -1);
    EXPECT_EQ(open_command_event(), nullptr);
    EXPECT_LT(open_own_command_event(), 0);
    EXPECT_EQ(post_time_command(kCommandSetTime, 1, 2), 0);
    EXPECT_EQ(smem_write_command(kCommandSetTime, 1, 2), 0);
    setenv("SATCLOCK_CHANNEL_PREFIX", sandbox.channel_prefix().c_str(), 1);
}

}  // namespace
