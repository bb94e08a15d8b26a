#include "app/Service.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

// A low soft limit of descriptors would lock handhelds out long before the
// connection cap: the service takes the hard limit.
TEST(Service, RaisesTheDescriptorLimitToTheHardOne)
{
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = std::min<rlim_t>(256, before.rlim_max);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);

    EXPECT_EQ(quelvor::app::raiseDescriptorLimit(), before.rlim_max);
    rlimit after{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_max);
}
