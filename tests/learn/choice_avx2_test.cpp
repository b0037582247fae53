// The choice without pow against the choice with it.
#include "learn/choice_avx2.h"

#include "common/vector_units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorvel {
namespace {

// The choice as written, with the C library's pow.
int chooseWithPow(const double* ratings, double floor, double exponent, int draw) {
    double cumulative[6];
    double sum = 0;
    for (int i = 0; i < 6; ++i) {
        const double weight = std::pow(ratings[i], exponent) + floor;
        sum = i == 0 ? weight : sum + weight;
        cumulative[i] = sum;
    }
    const double r = (draw / 32767.0) * cumulative[5];
    for (int i = 0; i < 6; ++i) {
        if (r < cumulative[i]) {
            return i;
        }
    }
    return -2;
}

struct Random {
    std::uint64_t state;
    double unit() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    }
    // Ratings of every size in range: uniform, or spread evenly over the powers of two.
    double rating() {
        return unit() < 0.5 ? avx2::lowestRating + (1 - avx2::lowestRating) * unit()
                            : std::exp2(-20 * unit());
    }
    // A floor and an exponent: the annealed schedule's, and others in range.
    struct Schedule {
        double floor, exponent;
    };
    Schedule schedule(int trial) {
        const double t = unit();
        return {trial % 3 == 0 ? 0 : t,
                trial % 2 == 0 ? 20 - 19 * t : avx2::highestExponent * unit()};
    }
};

class ChoiceWithoutPow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!vectorUnitsUsable()) {
            GTEST_SKIP() << "no AVX2 and FMA";
        }
    }
};

TEST_F(ChoiceWithoutPow, PowersStayWellWithinTheirBound) {
    Random r{3};
    double worst = 0;
    for (int trial = 0; trial < 200000; ++trial) {
        double x[6];
        for (double& v : x) {
            v = r.rating();
        }
        x[trial % 6] = trial % 12 < 6 ? 1 : avx2::lowestRating; // the ends of the range
        const double e = trial % 7 == 0 ? avx2::highestExponent : avx2::highestExponent * r.unit();
        double powers[6];
        avx2::approximatePowers(x, e, powers);
        for (int i = 0; i < 6; ++i) {
            const double exact = std::pow(x[i], e);
            worst = std::max(worst, std::fabs(powers[i] - exact) / exact);
        }
    }
    // The analysis says 1.6e-6; the choice relies on 1e-5.
    EXPECT_LT(worst, 2e-6);
}

TEST_F(ChoiceWithoutPow, DecidesAsPowDoesOrLeavesItToPow) {
    Random r{5};
    int undecided = 0;
    int decided = 0;
    for (int trial = 0; trial < 5000; ++trial) {
        double ratings[6];
        for (double& v : ratings) {
            v = r.rating();
        }
        const auto [floor, exponent] = r.schedule(trial);
        for (int draw = trial % 7; draw <= 32767; draw += 97) {
            const int fast = avx2::chooseWithoutPow(ratings, floor, exponent, draw, 32767);
            if (fast < 0) {
                ++undecided;
                continue;
            }
            ++decided;
            ASSERT_EQ(fast, chooseWithPow(ratings, floor, exponent, draw)) << trial << " " << draw;
        }
    }
    EXPECT_LT(undecided, decided / 100);

    // A draw whose point falls on a cumulative weight, to rounding, is left to pow.
    for (int trial = 0; trial < 1000; ++trial) {
        const int draw = 1 + trial * 31;
        const double q = draw / 32767.0;
        const int k = trial % 5;
        double ratings[6];
        for (double& v : ratings) {
            v = 0.2 + 0.3 * r.unit();
        }
        // With exponent 1 and no floor the weights are the ratings: pick rating k so that
        // ratings 0..k make up q of the total.
        double before = 0;
        double after = 0;
        for (int i = 0; i < 6; ++i) {
            (i < k ? before : after) += i == k ? 0 : ratings[i];
        }
        ratings[k] = (q * (before + after) - before) / (1 - q);
        if (!(ratings[k] >= avx2::lowestRating && ratings[k] <= 1)) {
            continue;
        }
        EXPECT_EQ(avx2::chooseWithoutPow(ratings, 0, 1, draw, 32767), -1) << trial;
    }

    // Outside the ranges the bound was shown for: pow decides.
    const double fine[6] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
    double tiny[6] = {0.5, 0.5, 0.5, 1e-9, 0.5, 0.5};
    double notANumber[6] = {0.5, 0.5, std::nan(""), 0.5, 0.5, 0.5};
    EXPECT_EQ(avx2::chooseWithoutPow(tiny, 0.1, 2, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithoutPow(notANumber, 0.1, 2, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithoutPow(fine, 0.1, 51, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithoutPow(fine, -0.1, 2, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithoutPow(fine, 0.1, 2, 100, 32767), 0);
}

// Ratings known to a bound: a choice made is the one every set of ratings within it gives.
TEST_F(ChoiceWithoutPow, WithinABoundDecidesForEveryRatingsInItOrLeavesIt) {
    Random r{9};
    int decided = 0;
    int undecided = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        double ratings[6];
        for (double& v : ratings) {
            v = trial % 2 == 0 ? 0.05 + 0.95 * r.unit() : r.rating();
        }
        // Mostly the sizes training sees, now and then far wider.
        const double bound =
            trial % 4 == 0 ? 0 : std::exp2(trial % 8 == 1 ? -10 : -17 - 8 * r.unit());
        // Counted where ratings and bound are as training's are.
        const bool usual = trial % 2 == 0 && trial % 8 != 1;
        const auto [floor, exponent] = r.schedule(trial);
        for (int draw = trial % 11; draw <= 32767; draw += 331) {
            const int chosen = avx2::chooseWithin(ratings, bound, floor, exponent, draw, 32767);
            (chosen < 0 ? undecided : decided) += usual;
            if (chosen < 0) {
                continue;
            }
            // The ratings at the bound's ends in every mix the cumulative weights care about:
            // all low, all high, and low up to each action and high after it, or the reverse.
            for (int mix = 0; mix < 14; ++mix) {
                const int k = (mix - 2) % 6;
                double moved[6];
                for (int i = 0; i < 6; ++i) {
                    const bool up = mix < 2 ? mix == 1 : mix < 8 ? i <= k : i > k;
                    moved[i] = std::min(1.0, ratings[i] + (up ? bound : -bound));
                }
                ASSERT_EQ(chosen, chooseWithPow(moved, floor, exponent, draw))
                    << trial << " " << draw << " " << mix;
            }
        }
    }
    EXPECT_LT(undecided, decided / 20);

    // A bound too wide to decide anything, one that is not a number, and ratings it could take
    // below the range: left undecided.
    const double fine[6] = {0.5, 0.4, 0.3, 0.5, 0.2, 0.5};
    EXPECT_GE(avx2::chooseWithin(fine, 1e-6, 0.1, 20, 100, 32767), 0);
    EXPECT_EQ(avx2::chooseWithin(fine, 0.01, 0.1, 20, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithin(fine, std::nan(""), 0.1, 20, 100, 32767), -1);
    EXPECT_EQ(avx2::chooseWithin(fine, HUGE_VAL, 0.1, 20, 100, 32767), -1);
    const double low[6] = {0.5, 0.5, 0.5, 2 * avx2::lowestRating, 0.5, 0.5};
    EXPECT_EQ(avx2::chooseWithin(low, 1.5 * avx2::lowestRating, 0.1, 1, 100, 32767), -1);
}

} // namespace
} // namespace quorvel
