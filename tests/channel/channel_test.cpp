// The command channel: block layout, take-and-clear, the auto-reset event,
// object creation and rights, and the failures a sender must survive.
#include "common/smem.h"
#include "platform/named_event.h"
#include "platform/shm.h"
#include "tests/support/test_env.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Channel : public ::testing::Test {
protected:
    ~Channel() override
    {
        smem_close_memory();
        platform_shm_unlink(channel_share_name());
        platform_named_event_unlink(channel_event_name());
    }
    TestSandbox sandbox;
};

TEST(TimeCommandBytes, LittleEndianFieldsAtTheirOffsets)
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
}

TEST_F(Channel, NamesCarryThePrefixAfterTheSlash)
{
    EXPECT_EQ(channel_share_name(), "/" + sandbox.channel_prefix() + "setclockkeeper_share");
    EXPECT_EQ(channel_event_name(), "/" + sandbox.channel_prefix() + "setclockkeeper_event");
}

TEST_F(Channel, NothingMappedMeansNothingWrittenOrRead)
{
    smem_close_memory();
    EXPECT_EQ(smem_write_command(kCommandSetTime, 1, 2), 0);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), 0);
}

TEST_F(Channel, ReadTakesTheCommandOnceWhateverItsValue)
{
    ASSERT_EQ(smem_create_memory(), 1);
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

TEST_F(Channel, BlockIsZeroedOpenToAllAndItsTailNeverTouched)
{
    mode_t old_mask = umask(077);
    ASSERT_EQ(smem_create_memory(), 1);
    NamedEvent* event = open_command_event();
    umask(old_mask);
    ASSERT_NE(event, nullptr);
    close_command_event(event);

    struct stat st {};
    ASSERT_EQ(stat(("/dev/shm" + channel_share_name()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(st.st_size, off_t(kSharedBlockSize));
    ASSERT_EQ(stat(("/dev/shm/sem." + channel_event_name().substr(1)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    // A second view of the same block, as the other program has it.
    int fd = platform_shm_open(channel_share_name(), kSharedBlockSize);
    ASSERT_GE(fd, 0);
    unsigned char* view = platform_shm_map(fd, kSharedBlockSize);
    ASSERT_NE(view, nullptr);
    for (size_t i = 0; i < kSharedBlockSize; ++i)
        ASSERT_EQ(view[i], 0) << i;
    std::memset(view + kTimeCommandSize, 0xa5, kSharedBlockSize - kTimeCommandSize);
    ASSERT_EQ(smem_write_command(kCommandSetTime, 0x1122334455667788LL, 42, 0x01020304), 1);
    unsigned char expected[kTimeCommandSize];
    time_command_encode(TimeCommand{kCommandSetTime, 0x1122334455667788LL, 42}, expected);
    EXPECT_EQ(std::memcmp(view, expected, kTimeCommandSize), 0);
    const unsigned char sequence[4] = {4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(view + kSequenceOffset, sequence, 4), 0);
    TakenCommand taken{};
    EXPECT_EQ(smem_take_command(&taken), 1);
    EXPECT_EQ(taken.sequence, 0x01020304u);
    EXPECT_EQ(view[0], 0);
    ASSERT_EQ(smem_write_ack(0x01020304, kAckRefused), 1);
    const unsigned char ack[8] = {4, 3, 2, 1, kAckRefused, 0, 0, 0};
    EXPECT_EQ(std::memcmp(view + kAckOffset, ack, 8), 0);
    // Beyond the sequence and the acknowledgement nothing is ever written.
    for (size_t i = kTimeCommandSize; i < kSharedBlockSize; ++i) {
        if ((i < kSequenceOffset || i >= kSequenceOffset + 4) && (i < kAckOffset || i >= kAckedBlockSize)) {
            ASSERT_EQ(view[i], 0xa5) << i;
        }
    }
    platform_shm_unmap(view, kSharedBlockSize);
    platform_shm_close(fd);
}

TEST_F(Channel, ShrunkenBlockIsGrownBackInsteadOfFaulting)
{
    int fd = shm_open(channel_share_name().c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(smem_create_memory(), 1);
    ASSERT_EQ(smem_write_command(kCommandShiftTime, 1, 2), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), kCommandShiftTime);
}

TEST_F(Channel, SignalsBeforeAWaitCountOnce)
{
    NamedEvent* sender = open_command_event();
    NamedEvent* receiver = open_command_event();
    ASSERT_NE(sender, nullptr);
    ASSERT_NE(receiver, nullptr);
    EXPECT_EQ(platform_named_event_wait(receiver, 0), 0) << "created signalled";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(signal_command_event(sender), 0);
    EXPECT_EQ(platform_named_event_wait(receiver, 1000), 1);
    EXPECT_EQ(platform_named_event_wait(receiver, 20), 0) << "a second wake from the same signals";
    close_command_event(sender);
    close_command_event(receiver);
}

TEST_F(Channel, PostingWritesSignalsAndLeavesNothingMapped)
{
    NamedEvent* service = open_command_event();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(post_time_command(kCommandSetTime, 100, 200), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), 0) << "the sender kept its view";
    EXPECT_EQ(platform_named_event_wait(service, 1000), 1);
    ASSERT_EQ(smem_create_memory(), 1);
    int64_t cur_ft = 0;
    int64_t new_ft = 0;
    EXPECT_EQ(smem_read_command(&cur_ft, &new_ft), kCommandSetTime);
    EXPECT_EQ(cur_ft, 100);
    EXPECT_EQ(new_ft, 200);
    close_command_event(service);
}

TEST_F(Channel, UnusableNamesFailWithoutHarm)
{
    setenv("SATCLOCK_CHANNEL_PREFIX", "no/such/", 1);
    EXPECT_EQ(smem_create_memory(), -1);
    EXPECT_EQ(open_command_event(), nullptr);
    EXPECT_EQ(post_time_command(kCommandSetTime, 1, 2), 0);
    EXPECT_EQ(smem_write_command(kCommandSetTime, 1, 2), 0);
    setenv("SATCLOCK_CHANNEL_PREFIX", sandbox.channel_prefix().c_str(), 1);
}

}  // namespace
