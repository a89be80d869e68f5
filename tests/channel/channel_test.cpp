// The command channel in one process: the command datagram's layout, the
// names in their folder, what travels with a command, the bound per wake, the
// acknowledgement, and the failures a sender must survive.
#include "common/smem.h"
#include "platform/channel_folder.h"
#include "platform/datagram.h"
#include "platform/unix_socket.h"
#include "tests/support/post_command.h"
#include "tests/support/test_env.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat stat_of(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

int open_descriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The service's end, made as clockkeeper makes it, in the sandbox's folder.
class Channel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(platform_channel_folder_make(channel_dir()), 0);
        service_ = open_own_command_event(false, 0);
        ASSERT_GE(service_, 0);
    }
    ~Channel() override { close_own_command_event(service_); }
    TestSandbox sandbox;
    int service_ = -1;
};

TEST(ChannelBytes, LittleEndianFieldsAtTheirOffsets)
{
    unsigned char bytes[kSequencedCommandSize];
    command_datagram_encode(TakenCommand{2, 0x0102030405060708LL, -2, 0x0a0b0c0d}, bytes);
    const unsigned char expected[kSequencedCommandSize] = {2, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1,
                                                           0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                                           0, 0, 0, 0, 0x0d, 0x0c, 0x0b, 0x0a};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
    TakenCommand back{};
    ASSERT_TRUE(command_datagram_decode(expected, sizeof expected, &back));
    command_datagram_encode(back, bytes);
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0) << "decoded to other fields";
    ASSERT_TRUE(command_datagram_decode(expected, kTimeCommandSize, &back)) << "a command without its sequence";
    EXPECT_EQ(back.sequence, 0u);
    EXPECT_FALSE(command_datagram_decode(expected, kTimeCommandSize - 1, &back)) << "too short for a command";
    const unsigned char negative[kTimeCommandSize] = {0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(time_command_decode(negative).command, -1);

    unsigned char ack[kAckSize];
    acknowledgement_encode(Acknowledgement{0x01020304, kAckNotPermitted}, ack);
    const unsigned char ack_expected[kAckSize] = {4, 3, 2, 1, kAckNotPermitted, 0, 0, 0};
    EXPECT_EQ(std::memcmp(ack, ack_expected, kAckSize), 0);
    EXPECT_EQ(acknowledgement_decode(ack_expected).sequence, 0x01020304u);
}

TEST_F(Channel, NamesLiveInTheFolderAfterThePrefixAndOthersFailWithoutHarm)
{
    std::string dir = sandbox.path("channel");
    EXPECT_EQ(channel_event_path(), dir + "/" + sandbox.channel_prefix() + "setclockkeeper_event");
    setenv("SATCLOCK_CHANNEL_PREFIX", "../", 1);
    EXPECT_EQ(channel_event_path(), "") << "a name outside the folder";
    setenv("SATCLOCK_CHANNEL_PREFIX", sandbox.channel_prefix().c_str(), 1);
    unsetenv("SATCLOCK_CHANNEL_DIR");
    EXPECT_EQ(channel_dir(), "/run/satclock");
    setenv("SATCLOCK_CHANNEL_DIR", dir.c_str(), 1);
    unsetenv("SATCLOCK_GROUP");
    EXPECT_EQ(channel_group_name(), "satclock");
    // A name that cannot be had fails without harm.
    setenv("SATCLOCK_CHANNEL_PREFIX", "no/such/", 1);
    EXPECT_EQ(open_command_event(), nullptr);
    EXPECT_LT(open_own_command_event(false, 0), 0);
    EXPECT_EQ(post_time_command(kCommandSetTime, 1, 2), 0);
    EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 1, 2, 50), PostOutcome::no_channel);
    setenv("SATCLOCK_CHANNEL_PREFIX", sandbox.channel_prefix().c_str(), 1);
}

TEST_F(Channel, SocketIsTheGroupsOrOpenToAllWhateverTheUmask)
{
    mode_t old_mask = umask(077);
    struct Case {
        bool grouped;
        mode_t mode;
    } cases[] = {{true, S_IFSOCK | 0660}, {false, S_IFSOCK | 0666}};
    for (const Case& c : cases) {
        close_own_command_event(service_);
        service_ = open_own_command_event(c.grouped, getegid());
        ASSERT_GE(service_, 0);
        EXPECT_EQ(stat_of(channel_event_path()).st_mode, c.mode);
        EXPECT_EQ(stat_of(channel_event_path()).st_gid, getegid());
    }
    umask(old_mask);
}

TEST_F(Channel, ACommandTravelsWholeWithItsSendersCredentialsAndAddress)
{
    EXPECT_EQ(smem_peer_present(), 1);
    EXPECT_EQ(post_time_command(kCommandShiftTime, 100, -200), 1);
    std::vector<ReceivedCommand> batch;
    ASSERT_EQ(take_commands(service_, &batch), 1);
    const ReceivedCommand& got = batch[0];
    ASSERT_TRUE(got.is_command);
    EXPECT_EQ(got.command.command, kCommandShiftTime);
    EXPECT_EQ(got.command.cur_ft, 100);
    EXPECT_EQ(got.command.new_ft, -200);
    EXPECT_NE(got.command.sequence, 0u);
    ASSERT_TRUE(got.sender.credentials);
    EXPECT_EQ(got.sender.uid, geteuid());
    EXPECT_EQ(got.sender.gid, getegid());
    EXPECT_TRUE(platform_datagram_abstract_sender(got.sender)) << "the sender's address is the kernel's";
    EXPECT_EQ(take_commands(service_, &batch), 0);
}

TEST_F(Channel, AWakeTakesAtMostItsBoundAndDescriptorsPassedAlongAreClosed)
{
    CommandEvent* sender = open_command_event();
    ASSERT_NE(sender, nullptr);
    EXPECT_EQ(sender->service_uid, geteuid());
    int before = open_descriptors();
    int passed[3] = {0, 1, 2};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof passed)] = {};
    unsigned char bytes[kSequencedCommandSize];
    command_datagram_encode(TakenCommand{kCommandSetTime, 1, 2, 3}, bytes);
    iovec data{bytes, sizeof bytes};
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
        ASSERT_EQ(sendmsg(sender->fd, &message, 0), ssize_t(sizeof bytes));
    // Until the queue is full: a full queue is EAGAIN, never a block.
    int sent = 5;
    while (smem_write_command(sender, TakenCommand{kCommandSetTime, 1, 2, 3}) == 0)
        ++sent;
    std::vector<ReceivedCommand> batch;
    EXPECT_EQ(take_commands(service_, &batch), std::min(sent, kCommandDatagramBound));
    int taken = int(batch.size());
    while (take_commands(service_, &batch) > 0)
        taken += int(batch.size());
    EXPECT_EQ(taken, sent);
    EXPECT_EQ(open_descriptors(), before);
    close_command_event(sender);
}

TEST_F(Channel, OnlyTheServicesAnswerToThisVeryCommandCounts)
{
    for (int outcome = 0; outcome <= int(PostOutcome::busy); ++outcome)
        EXPECT_EQ(post_outcome_counts(PostOutcome(outcome)), outcome == int(PostOutcome::applied)) << outcome;
    // No one answers.
    EXPECT_EQ(post_time_command_acknowledged(kCommandSetTime, 100, 200, 50), PostOutcome::no_ack);

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

TEST_F(Channel, AnswersGoOnlyToAbstractAddressesNeverToAPath)
{
    // A sender bound at a path of its choosing: a link there could lead root's
    // answer into a socket the sender may not write to.
    std::string own = sandbox.path("sender.sock");
    int fd = platform_datagram_bind(own, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(platform_datagram_send_path(channel_event_path(), "x", 1), 0);
    unsigned char bytes[kSequencedCommandSize];
    command_datagram_encode(TakenCommand{kCommandSetTime, 1, 2, 3}, bytes);
    sockaddr_un to;
    socklen_t length = unix_path_address(channel_event_path(), &to);
    ASSERT_EQ(sendto(fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&to), length), ssize_t(sizeof bytes));
    std::vector<ReceivedCommand> batch;
    ASSERT_EQ(take_commands(service_, &batch), 2);
    EXPECT_FALSE(batch[0].is_command) << "one byte is no command";
    for (const ReceivedCommand& got : batch)
        EXPECT_EQ(answer_command(service_, got.sender, Acknowledgement{3, kAckApplied}), EDESTADDRREQ);
    EXPECT_EQ(platform_datagram_wait(fd, -1, 0), kDatagramWaitTimeout) << "an answer reached the path";
    platform_datagram_close(fd);
}

}  // namespace
