#include "common/vector_units.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quorvel {
namespace {

TEST(VectorUnits, AnEnvironmentSwitchIsOnOnlyWhenItSaysOne) {
    const char* name = "QUORVEL_TEST_SWITCH";
    unsetenv(name);
    EXPECT_FALSE(environmentSays(name));
    for (const char* off : {"0", "", "yes", "10"}) {
        setenv(name, off, 1);
        EXPECT_FALSE(environmentSays(name)) << off;
    }
    setenv(name, "1", 1);
    EXPECT_TRUE(environmentSays(name));
    unsetenv(name);
}

} // namespace
} // namespace quorvel
