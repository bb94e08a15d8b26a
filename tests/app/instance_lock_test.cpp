// One server per configuration folder, whichever file of it is named and
// whether or not the file exists yet.
#include "app/InstanceLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

using quelvor::app::InstanceLock;

TEST(InstanceLock, OneHolderPerConfigurationFolder)
{
    char name[] = "/tmp/quelvor-lock-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(name);
    const std::string config = (dir / "ConfigQuelvorLeite.ini").string();
    {
        std::optional<InstanceLock> first(std::in_place, config);
        EXPECT_TRUE(first->held());
        EXPECT_EQ(first->problem(), "");

        const InstanceLock second(config);
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(second.takenByOther());
        // The same folder through another spelling of the path.
        const InstanceLock third((dir / "." / "ConfigQuelvorLeite.ini").string());
        EXPECT_TRUE(third.takenByOther());

        first.reset();
        const InstanceLock after(config);
        EXPECT_TRUE(after.held());
    }
    const InstanceLock missing((dir / "gone" / "ConfigQuelvorLeite.ini").string());
    EXPECT_FALSE(missing.held());
    EXPECT_FALSE(missing.takenByOther());
    EXPECT_NE(missing.problem(), "");
    std::filesystem::remove_all(dir);
}
