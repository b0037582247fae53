#include "watching/value_probe.h"

#include "common/random.h"
#include "training/episodes.h"
#include "world/floor.h"
#include "world/world.h"
#include "world/world_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace quorvel {
namespace {

std::unique_ptr<World> fieldWorld() {
    random::restart();
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(5, 7, {-50, -50}, {50, 50}, 14);
    w->placeRobotAndGoal();
    return w;
}

// The best rating as a playback step would compute it, on a World posed there.
double ratedAt(const World& world, Vec2 centre, Vec2 heading) {
    World w = world;
    w.placeCentreAt(centre, heading);
    w.sense();
    w.learner.encodeRanges(-1, w.sensor.ranges.data());
    const Vec2 g = w.toRobotFrame(w.goal);
    w.learner.encodeGoal(-1, g.x, g.y);
    w.learner.rateActions(-1);
    double best = w.learner.ratings[0];
    for (double r : w.learner.ratings) {
        best = std::fmax(best, r);
    }
    return best;
}

TEST(ValueMap, SquaresHoldTheBestRatingThereAndTheWorldAndSequenceStayAsTheyWere) {
    auto w = fieldWorld();
    const std::string before = testing::worldState(*w);
    const std::uint32_t state = random::state();
    ValueProbe probe;
    ValueMap map;
    probe.map(*w, map);
    EXPECT_TRUE(testing::worldState(*w) == before);
    EXPECT_EQ(random::state(), state);
    for (const auto& [column, row] : {std::pair{0, 0}, {19, 19}, {10, 3}, {4, 15}, {12, 12}}) {
        const Vec2 c = Floor::squareCentre(column, row);
        EXPECT_EQ(map.values[column][row], ratedAt(*w, c, w->heading)) << column << "," << row;
    }
    EXPECT_EQ(Floor::squareCentre(0, 19).x, -100);
    EXPECT_EQ(Floor::squareCentre(0, 19).y, 90);

    // Another heading gives other values, from the same World.
    const Vec2 north{0, 1};
    ValueMap turned;
    probe.map(*w, north, turned);
    EXPECT_EQ(turned.values[7][8], ratedAt(*w, Floor::squareCentre(7, 8), north));
    EXPECT_NE(turned.values[7][8], map.values[7][8]);
    EXPECT_TRUE(testing::worldState(*w) == before);
    EXPECT_EQ(random::state(), state);

    // Asked again after the World changed, the probe answers for the World as it is now, with
    // the network it is given.
    w->goal = {-40, 60};
    w->placeAt(30, -20, 2.5);
    ValueMap moved;
    probe.map(*w, moved);
    EXPECT_EQ(moved.values[4][15], ratedAt(*w, Floor::squareCentre(4, 15), w->heading));
    EXPECT_NE(moved.values[4][15], map.values[4][15]);
    World other = *w;
    random::setState(12345);
    other.learner.network = QNetwork(); // other weights
    ValueMap given;
    probe.map(*w, given, &other.learner.network);
    EXPECT_EQ(given.values[10][3], ratedAt(other, Floor::squareCentre(10, 3), w->heading));
    EXPECT_NE(given.values[10][3], moved.values[10][3]);
}

TEST(ActionValues, TheStepsRatingsAndChoiceAndTheValuesWhereTheRobotStands) {
    auto w = fieldWorld();
    for (int action = 0; action < QLearner::actionCount; ++action) {
        w->learner.setAction(action);
        EXPECT_EQ(actionIndex(w->learner.travel, w->learner.steering), action);
    }
    EXPECT_STREQ(actionLabel(0), "back 3, left");
    EXPECT_STREQ(actionLabel(3), "back 1, straight");
    EXPECT_STREQ(actionLabel(4), "back 3, right");

    ValueProbe probe;
    const ActionValues here = probe.here(*w);
    const Vec2 g = w->toRobotFrame(w->goal);
    bool reached = false;
    playbackStep(*w, reached);
    const ActionValues step = valuesOfLastStep(w->learner);
    for (int i = 0; i < QLearner::actionCount; ++i) {
        EXPECT_EQ(step.ratings[i], w->learner.ratings[i]);
        EXPECT_EQ(here.ratings[i], step.ratings[i]); // the step rated the state it started in
    }
    EXPECT_EQ(here.chosen, -1);
    EXPECT_EQ(step.chosen, actionIndex(w->learner.travel, w->learner.steering));
    EXPECT_NEAR(step.goalDistance, length(g), 1e-9 * length(g));
    EXPECT_DOUBLE_EQ(here.goalDistance, length(g));
    EXPECT_EQ(here.goalBearing, std::atan2(g.y, g.x));
    EXPECT_EQ(step.goalBearing, std::atan2(g.y, g.x));

    // Where the robot stands now, after the step: a goal straight to its right.
    w->goal = w->front - 20 * w->normal;
    const ActionValues right = probe.here(*w);
    EXPECT_DOUBLE_EQ(right.goalBearing, -std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(right.goalDistance, 20);
    World rated = *w;
    rateWhereItStands(rated);
    for (int i = 0; i < QLearner::actionCount; ++i) {
        EXPECT_EQ(right.ratings[i], rated.learner.ratings[i]);
    }

    ActionValues v;
    v.goalDistance = 42.25;
    v.goalBearing = 35 * std::numbers::pi / 180;
    EXPECT_EQ(describeGoal(v), "goal 42.2 away, 35\u00b0 to the left");
    v.goalBearing = -std::numbers::pi / 2;
    EXPECT_EQ(describeGoal(v), "goal 42.2 away, 90\u00b0 to the right");
    v.goalBearing = 0;
    EXPECT_EQ(describeGoal(v), "goal 42.2 away, straight ahead");
}

} // namespace
} // namespace quorvel
