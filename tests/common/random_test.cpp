#include "common/random.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    // Over a long run the draws reach both ends of 0..32767.
    int lowest = random::maxDraw, highest = 0;
    for (int i = 0; i < 1000000; ++i) {
        const int r = random::draw();
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, random::maxDraw);
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

} // namespace
} // namespace quorvel
