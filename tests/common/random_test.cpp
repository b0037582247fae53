#include "common/random.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(Random, DrawsThePlatformSequenceFromAFixedStart) {
    random::restart();
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected) {
        EXPECT_EQ(random::draw(), value);
    }
    random::restart();
    EXPECT_EQ(random::draw(), 41);
}

TEST(Random, StateCanBeReadAndSet) {
    random::restart();
    random::draw();
    const auto saved = random::state();
    const int next = random::draw();
    random::setState(saved);
    EXPECT_EQ(random::draw(), next);
}

TEST(Random, ConversionsSpanTheirRanges) {
    EXPECT_EQ(random::toUnit(0, 150), 0.0);
    EXPECT_EQ(random::toUnit(32767, 150), 150.0);
    EXPECT_EQ(random::toCentred(0, 150), -75.0);
    EXPECT_EQ(random::toCentred(32767, 150), 75.0);
    random::restart();
    EXPECT_EQ(random::centred(150), (41 / 32767.0 - 0.5) * 150);
    EXPECT_EQ(random::unit(2), 18467 / 32767.0 * 2);
}

TEST(Random, DrawsStayInRange) {
    random::restart();
    for (int i = 0; i < 100000; ++i) {
        const int r = random::draw();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

} // namespace
} // namespace quorvel
