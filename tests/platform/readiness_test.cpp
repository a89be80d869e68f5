// Waiting for descriptors: which ones turned readable, one bit each in their
// order, and none when nothing came within the wait.
#include <gtest/gtest.h>

#include "platform/readiness.h"
#include "platform/wake_descriptor.h"

TEST(Readiness, EachReadableDescriptorHasItsBit)
{
    WakeDescriptor first, second;
    ASSERT_EQ(0, first.open());
    ASSERT_EQ(0, second.open());
    const int fds[] = {first.fd(), second.fd()};
    EXPECT_EQ(0, wait_readable(fds, 0)) << "nothing readable yet";
    second.set();
    EXPECT_EQ(2, wait_readable(fds, -1));
    first.set();
    EXPECT_EQ(3, wait_readable(fds, -1));
    second.clear();
    EXPECT_EQ(1, wait_readable(fds, -1));
}
