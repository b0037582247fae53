#include "learn/q_learner.h"

#include "common/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace quorvel {
namespace {

std::unique_ptr<QLearner> makeLearner() {
    random::restart();
    return std::make_unique<QLearner>();
}

void setRatings(QLearner& l, std::initializer_list<double> values) {
    int i = 0;
    for (double v : values) {
        l.ratings[i++] = v;
    }
}

// Sets the random state so that the next draw is d.
void nextDrawIs(int d) {
    for (std::uint32_t s = 0;; ++s) {
        random::setState(s);
        if (random::draw() == d) {
            random::setState(s);
            return;
        }
    }
}

TEST(QLearnerEncode, RangesAndGoal) {
    auto l = makeLearner();
    double ranges[22];
    for (int i = 0; i < 22; ++i) {
        ranges[i] = i == 3 ? 0 : 30;
    }
    l->encodeRanges(7, ranges);
    EXPECT_EQ(l->history[7][3], 1);
    EXPECT_EQ(l->history[7][0], 1 / 31.0);
    l->encodeGoal(7, 0, 0);
    EXPECT_EQ(l->history[7][22], 1);
    EXPECT_EQ(l->history[7][23], 0);
    l->encodeGoal(7, 3, 4);
    EXPECT_EQ(l->history[7][22], 1 / 26.0);
    l->encodeGoal(7, 0, 5);
    EXPECT_DOUBLE_EQ(l->history[7][23], std::numbers::pi / 2);
    l->encodeGoal(7, -5, 0);
    EXPECT_DOUBLE_EQ(std::fabs(l->history[7][23]), std::numbers::pi);
}

TEST(QLearnerEncode, NegativeStepUsesTheCurrentInputOnly) {
    auto l = makeLearner();
    l->encodeGoal(-1, 3, 4);
    EXPECT_EQ(l->currentInput[22], 1 / 26.0);
    for (const auto& slot : l->history) {
        ASSERT_EQ(slot[22], 0);
    }
}

TEST(QLearnerActions, DecodeAndOneHot) {
    auto l = makeLearner();
    const int travel[] = {-3, -1, -3, -1, -3, -1};
    const int steering[] = {-1, -1, 0, 0, 1, 1};
    for (int a = 0; a < 6; ++a) {
        l->setAction(a);
        EXPECT_EQ(l->travel, travel[a]);
        EXPECT_EQ(l->steering, steering[a]);
        l->recordAction(2, a);
        for (int e = 24; e < 29; ++e) {
            const bool set = e == 24 + a % 2 || e == 26 + a / 2;
            EXPECT_EQ(l->history[2][e], set ? 1 : 0) << a << " " << e;
        }
    }
}

TEST(QLearnerRate, RatesEverySixActionsAndLeavesActionFive) {
    auto l = makeLearner();
    double ranges[22];
    for (int i = 0; i < 22; ++i) {
        ranges[i] = 3 + i;
    }
    l->encodeRanges(4, ranges);
    l->encodeGoal(4, 12, -7);
    l->rateActions(4);
    double copy[29];
    for (int a = 0; a < 6; ++a) {
        std::copy(l->history[4], l->history[4] + 29, copy);
        setActionEntries(copy, a);
        EXPECT_EQ(l->ratings[a], l->network.evaluate(copy)) << a;
    }
    EXPECT_EQ(l->history[4][25], 1);
    EXPECT_EQ(l->history[4][28], 1);
    EXPECT_EQ(l->history[4][24] + l->history[4][26] + l->history[4][27], 0);
}

TEST(QLearnerGreedy, TiesGoToTheLowestIndexAndNaNNeverWins) {
    auto l = makeLearner();
    setRatings(*l, {0.3, 0.3, 0.3, 0.3, 0.3, 0.3});
    EXPECT_EQ(l->greedyAction(), 0);
    setRatings(*l, {0.1, 0.2, 0.9, 0.3, 0.9, 0.5});
    EXPECT_EQ(l->greedyAction(), 2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    setRatings(*l, {0.1, nan, 0.2, nan, 0.05, 0.15});
    EXPECT_EQ(l->greedyAction(), 2);
}

TEST(QLearnerChoose, DrawsAgainstTheCumulativeSums) {
    auto l = makeLearner();
    setRatings(*l, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    nextDrawIs(16384); // r = 16384 / 32767 * 2.1, about 1.05
    EXPECT_EQ(l->chooseAction(0, 1), 4);
    nextDrawIs(0);
    EXPECT_EQ(l->chooseAction(0, 1), 0);
    // Floor 1: sums 1.1, 2.3, 3.6, 5.0, 6.5, 8.1; 8000 / 32767 * 8.1 is about 1.98.
    nextDrawIs(8000);
    EXPECT_EQ(l->chooseAction(1, 1), 1);
    // Floor 0.5 and exponent 2: weights rating^2 + 0.5, sums 0.51, 1.05, 1.64, 2.30, 3.05,
    // 3.91. The draws land at 0.397 and 0.519; (rating + floor)^exponent, rating^floor +
    // exponent, no floor or the floor added once would choose otherwise.
    nextDrawIs(3328);
    EXPECT_EQ(l->chooseAction(0.5, 2), 0);
    nextDrawIs(4352);
    EXPECT_EQ(l->chooseAction(0.5, 2), 1);
    // The largest draw is not below the total: the greedy action.
    nextDrawIs(32767);
    EXPECT_EQ(l->chooseAction(0, 1), 5);
    // An action of weight 0 is never chosen, even where the draw equals its sum.
    setRatings(*l, {0, 0.5, 0.2, 0.1, 0.4, 0});
    nextDrawIs(0);
    EXPECT_EQ(l->chooseAction(0, 1), 1);
    nextDrawIs(32767);
    EXPECT_EQ(l->chooseAction(0, 1), 1); // the greedy action, not the empty last one
    // A rating that is not a number makes every sum NaN: the greedy action.
    setRatings(*l, {0.1, std::numeric_limits<double>::quiet_NaN(), 0.3, 0.8, 0.5, 0.6});
    nextDrawIs(100);
    EXPECT_EQ(l->chooseAction(0, 20), 3);
}

TEST(QLearnerChoose, DrawsExactlyOnce) {
    auto l = makeLearner();
    setRatings(*l, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    random::restart();
    l->chooseAction(0, 20);
    EXPECT_EQ(random::draw(), 18467);
}

} // namespace
} // namespace quorvel
