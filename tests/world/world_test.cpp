#include "world/world.h"

#include "common/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace quorvel {
namespace {

std::unique_ptr<World> makeWorld() {
    random::restart();
    return std::make_unique<World>(10, 10, 0, 0, 0);
}

// A square obstacle record with corners (x0, y0) and (x1, y1), in use at index 0.
void placeSquare(World& w, double x0, double y0, double x1, double y1) {
    w.obstacleCount = 1;
    Obstacle& o = w.obstacles[0];
    o.resize(4);
    o.vertices = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    o.valid = true;
    o.updateBox();
}

TEST(WorldConstruction, StartsAsTheProgramExpects) {
    auto w = makeWorld();
    EXPECT_EQ(w->front, (Vec2{5, 0}));
    EXPECT_EQ(w->rear, (Vec2{-5, 0}));
    EXPECT_NEAR(w->turnRadius[1], 9.7121, 5e-5);
    EXPECT_EQ(w->goal, (Vec2{25, 25}));
    EXPECT_EQ(w->goalRadius, 6);
    EXPECT_EQ(w->obstacleCount, 0);
    for (const Obstacle& o : w->obstacles) {
        EXPECT_EQ(o.vertexCount, 0);
        EXPECT_FALSE(o.valid);
    }
    EXPECT_EQ(w->trailColour.r, 1);
    EXPECT_EQ(w->trailColour.g, 1);
    EXPECT_EQ(w->trailColour.b, 0);
    EXPECT_EQ(w->learner.network.hidden1.weights[0][0], 1 - 2.0 * 41 / 32767);
    // The network's 536 draws are the only ones.
    random::restart();
    for (int i = 0; i < 536; ++i) {
        random::draw();
    }
    const auto expected = random::state();
    makeWorld();
    EXPECT_EQ(random::state(), expected);
}

TEST(WorldPlacement, KeepsGoalAndRobotApartWithinTheArena) {
    auto w = makeWorld();
    for (int i = 0; i < 2000; ++i) {
        w->trailCount = 5;
        w->placeRobotAndGoal();
        ASSERT_EQ(w->trailCount, 0);
        const Vec2 centre = 0.5 * (w->front + w->rear);
        ASSERT_GE(std::fabs(w->goal.x - centre.x), 21 - 1e-9);
        ASSERT_GE(std::fabs(w->goal.y - centre.y), 21 - 1e-9);
        ASSERT_LE(std::fabs(w->goal.x), 75);
        ASSERT_LE(std::fabs(w->goal.y), 75);
        ASSERT_LE(std::fabs(centre.x), 75 + 1e-9);
        const double angle = std::atan2(w->heading.y, w->heading.x);
        ASSERT_GE(angle, -1e-12);
        ASSERT_LE(angle, std::numbers::pi + 1e-12);
        for (int r = 0; r < w->sensor.rayCount; ++r) {
            ASSERT_EQ(w->sensor.ranges[r], 30);
        }
    }
}

// On an obstacle means touching it or lying wholly inside it; the goal's disc touches an
// outline nearer than its radius (strictly), and the nearest point of an edge is on the edge.
TEST(WorldPlacement, OnAnObstacleMeansTouchingOrInside) {
    auto w = makeWorld();
    w->obstacleCount = 1;
    Obstacle& o = w->obstacles[0];
    o.resize(4);
    o.vertices = {{-30, -30}, {30, -30}, {30, 30}, {-30, 30}};
    o.valid = true;
    o.updateBox();
    const std::pair<Vec2, bool> robots[] = {{{0, 0}, true},  // wholly inside, clear of every edge
                                            {{26, 0}, true}, // its front cap over the edge
                                            {{41.1, 0}, false}, // its front cap 0.1 clear
                                            {{0, 40}, false}};
    for (const auto& [centre, on] : robots) {
        w->placeAt(centre.x, centre.y, 0);
        EXPECT_EQ(w->robotOnObstacle(), on) << centre.x << "," << centre.y;
    }
    const Vec2* v = o.vertices.data();
    const std::pair<Vec2, bool> goals[] = {
        {{0, 0}, true},       // inside
        {{35.9, 0}, true},    // 5.9 from the edge
        {{36, 0}, false},     // exactly its radius: clear
        {{34, 34}, true},     // 5.66 from the corner
        {{35, 35}, false},    // 7.07 from the corner
        {{35.5, 60}, false}}; // 5.5 from the edge's line, but 30.5 from its end
    for (const auto& [centre, on] : goals) {
        w->goal = centre;
        EXPECT_EQ(w->goalOnObstacle(), on) << centre.x << "," << centre.y;
        EXPECT_EQ(discTouchesPolygon(centre, 6, v, 4), on) << centre.x << "," << centre.y;
    }
    EXPECT_TRUE(pointInPolygon({29.9, -29.9}, v, 4));
    EXPECT_FALSE(pointInPolygon({30.1, 0}, v, 4));
}

TEST(WorldPlacement, DrawsInOrderAndRedrawsTheGoalOverASmallerSpan) {
    auto w = makeWorld();
    // Find a state where the first goal draw is too close to the robot.
    for (std::uint32_t s = 1;; ++s) {
        random::setState(s);
        const double gx = random::centred(150), gy = random::centred(150);
        const double rx = random::centred(150), ry = random::centred(150);
        if (std::fabs(gx - rx) < 21 || std::fabs(gy - ry) < 21) {
            random::setState(s);
            w->placeRobotAndGoal();
            const Vec2 centre = 0.5 * (w->front + w->rear);
            EXPECT_NEAR(centre.x, rx, 1e-9);
            EXPECT_NEAR(centre.y, ry, 1e-9);
            EXPECT_LE(std::fabs(w->goal.x), 25);
            EXPECT_LE(std::fabs(w->goal.y), 25);
            break;
        }
    }
    // A placement whose first draws are far enough apart takes exactly five draws.
    for (std::uint32_t s = 1;; ++s) {
        random::setState(s);
        const double gx = random::centred(150), gy = random::centred(150);
        const double rx = random::centred(150), ry = random::centred(150);
        if (std::fabs(gx - rx) < 21 || std::fabs(gy - ry) < 21) {
            continue;
        }
        const double heading = random::unit(std::numbers::pi);
        const auto after = random::state();
        random::setState(s);
        w->placeRobotAndGoal();
        EXPECT_EQ(w->goal, (Vec2{gx, gy}));
        EXPECT_EQ(random::state(), after);
        EXPECT_NEAR(std::atan2(w->heading.y, w->heading.x), heading, 1e-12);
        break;
    }
}

TEST(WorldObstacles, GenerationResizesAllRecordsAndKeepsClearOfRobotAndGoal) {
    auto w = makeWorld();
    for (int trial = 0; trial < 50; ++trial) {
        w->placeRobotAndGoal();
        ASSERT_TRUE(w->generateObstacleField(7, 3 + trial % 8, {-50, -50}, {50, 50}, 15));
        ASSERT_EQ(w->obstacleCount, 7);
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(w->obstacles[k].vertexCount, 3 + trial % 8);
            ASSERT_EQ(w->obstacles[k].valid, k < 7) << k;
        }
        const BoundingBox goal = w->goalBox();
        for (int k = 0; k < 7; ++k) {
            // Every vertex lies within 1.5 radii of a centre whose square is clear of both
            // boxes, so no vertex lies inside them.
            for (const Vec2& v : w->obstacles[k].vertices) {
                ASSERT_FALSE(v.x > w->box.minX && v.x < w->box.maxX && v.y > w->box.minY &&
                             v.y < w->box.maxY);
                ASSERT_FALSE(v.x > goal.minX && v.x < goal.maxX && v.y > goal.minY &&
                             v.y < goal.maxY);
            }
        }
    }
}

TEST(WorldObstacles, GenerationSensesTheNewField) {
    auto w = makeWorld();
    int shortened = 0;
    for (int trial = 0; trial < 20; ++trial) {
        w->placeRobotAndGoal();
        w->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 25);
        RangeSensor direct = w->sensor;
        direct.resetRanges(30);
        for (int k = 0; k < w->obstacleCount; ++k) {
            direct.cast(w->obstacles[k].vertices.data(), w->obstacles[k].vertexCount);
        }
        ASSERT_EQ(w->sensor.ranges, direct.ranges) << trial;
        shortened += std::count_if(direct.ranges.begin(), direct.ranges.end(),
                                   [](double r) { return r < 30; });
    }
    EXPECT_GT(shortened, 20); // the fields were near enough to be seen
}

TEST(WorldObstacles, CountZeroStillPreparesTheRecordsAndCountsAreClamped) {
    auto w = makeWorld();
    w->generateObstacleField(3, 5, {-50, -50}, {50, 50}, 10);
    w->generateObstacleField(0, 6, {-50, -50}, {50, 50}, 10);
    EXPECT_EQ(w->obstacleCount, 0);
    for (const Obstacle& o : w->obstacles) {
        EXPECT_EQ(o.vertexCount, 6);
        EXPECT_FALSE(o.valid);
    }
    w->generateObstacleField(12, 4, {-50, -50}, {50, 50}, 5);
    EXPECT_EQ(w->obstacleCount, 8);
    w->generateObstacleField(-3, 4, {-50, -50}, {50, 50}, 5);
    EXPECT_EQ(w->obstacleCount, 0);
    EXPECT_FALSE(w->generateObstacle(0, {-50, -50}, {50, 50}, 5));
    EXPECT_FALSE(w->generateObstacle(-1, {-50, -50}, {50, 50}, 5));
}

TEST(WorldObstacles, AFieldWithNoFreeCentreStopsWhereItGotStuck) {
    auto w = makeWorld();
    w->configure(10, 10, 0, 0, 0, 0.4);
    // A body box covering the whole area leaves no centre free.
    w->box = {-1000, -1000, 1000, 1000};
    EXPECT_FALSE(w->generateObstacleField(3, 5, {-50, -50}, {50, 50}, 10));
    EXPECT_EQ(w->obstacleCount, 0);
}

TEST(WorldSense, WithoutObstaclesEveryRayReadsTheMaximum) {
    auto w = makeWorld();
    w->sense();
    for (int r = 0; r < 22; ++r) {
        EXPECT_EQ(w->sensor.ranges[r], 30);
    }
    EXPECT_TRUE(w->moveRobot(0, 3));
}

TEST(WorldSense, SkippingFarObstaclesChangesNoReading) {
    auto w = makeWorld();
    w->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
    random::setState(99);
    for (int i = 0; i < 20000; ++i) {
        // Random poses, many of them on, inside or beside an obstacle.
        if (i % 4 == 0) {
            w->placeRandomly(5, 150);
        } else {
            const Obstacle& o = w->obstacles[i % w->obstacleCount];
            const Vec2 v = o.vertices[i % o.vertexCount];
            w->placeAt(v.x + random::centred(30), v.y + random::centred(30), random::unit(7));
        }
        w->sense();
        RangeSensor literal = w->sensor;
        literal.resetRanges(30);
        for (int k = 0; k < w->obstacleCount; ++k) {
            literal.cast(w->obstacles[k].vertices.data(), w->obstacles[k].vertexCount);
        }
        ASSERT_EQ(literal.ranges, w->sensor.ranges) << i;
    }
}

TEST(WorldSense, SkippingCoversRaysAlongAnEdgeAndFromInside) {
    auto w = makeWorld();
    // The fan's forward ray runs exactly along the bottom edge of a square ahead, and the
    // robot's rear rays start inside another.
    placeSquare(*w, 20, 0, 30, 10);
    w->obstacleCount = 2;
    Obstacle& inside = w->obstacles[1];
    inside.resize(4);
    inside.vertices = {{-12, -3}, {-8, -3}, {-8, 3}, {-12, 3}};
    inside.valid = true;
    inside.updateBox();
    w->sense();
    EXPECT_EQ(w->sensor.ranges[5], 10);
    RangeSensor literal = w->sensor;
    literal.resetRanges(30);
    for (int k = 0; k < 2; ++k) {
        literal.cast(w->obstacles[k].vertices.data(), 4);
    }
    EXPECT_EQ(literal.ranges, w->sensor.ranges);
    EXPECT_DOUBLE_EQ(w->sensor.ranges[16], 2); // from (-10, 0) back to the edge at x = -12
}

TEST(WorldMove, RefusesAndUndoesAMoveIntoAnObstacle) {
    auto w = makeWorld();
    placeSquare(*w, 11, -5, 20, 5); // 1 ahead of the front cap
    const Vec2 front = w->front, rear = w->rear;
    EXPECT_FALSE(w->moveRobot(0, 2));
    EXPECT_NEAR(w->front.x, front.x, 1e-12);
    EXPECT_NEAR(w->rear.x, rear.x, 1e-12);
    EXPECT_EQ(w->goalCount + w->collisionCount + w->missCount, 0);
    EXPECT_TRUE(w->moveRobot(0, -2));
    EXPECT_TRUE(w->moveRobot(-1, -3));
}

TEST(WorldMove, ARefusedTurnIsUndoneAlongTheSameArc) {
    auto w = makeWorld();
    placeSquare(*w, 10.5, -20, 20, 20); // half a unit ahead of the front cap
    for (const int steering : {-2, -1, 1, 2}) {
        w->placeAt(0, 0, 0);
        const RobotBody before = *w;
        ASSERT_FALSE(w->moveRobot(steering, 2)) << steering;
        for (const auto& [now, then] : {std::pair{w->front, before.front},
                                        {w->rear, before.rear},
                                        {w->heading, before.heading},
                                        {w->normal, before.normal}}) {
            EXPECT_NEAR(now.x, then.x, 1e-12) << steering;
            EXPECT_NEAR(now.y, then.y, 1e-12) << steering;
        }
        EXPECT_NEAR(w->box.maxX, before.box.maxX, 1e-12) << steering;
    }
}

TEST(WorldMove, BoxesThatOnlyTouchGoOnToTheExactTest) {
    auto w = makeWorld();
    // After moving 2 forwards the body's box reaches x = 12: an obstacle whose box starts
    // there touches it, and the exact test decides (a vertex at (12, 0) is in the front disc).
    w->obstacleCount = 1;
    Obstacle& o = w->obstacles[0];
    o.resize(3);
    o.vertices = {{12, 0}, {20, -3}, {20, 3}};
    o.valid = true;
    o.updateBox();
    EXPECT_FALSE(w->moveRobot(0, 2));
    // The same along y: the box spans y from -5 to 5, and a vertex at the very top (and then
    // the very bottom) of the front disc touches.
    o.vertices = {{7, 5}, {10, 12}, {4, 12}};
    o.updateBox();
    EXPECT_FALSE(w->moveRobot(0, 2));
    o.vertices = {{7, -5}, {4, -12}, {10, -12}};
    o.updateBox();
    EXPECT_FALSE(w->moveRobot(0, 2));
}

TEST(WorldDrive, ClearsTheTrailAndSensesEvenWhenRefused) {
    auto w = makeWorld();
    placeSquare(*w, 11, -5, 20, 5);
    w->trailCount = 9;
    EXPECT_FALSE(w->driveManually(0, 2));
    EXPECT_EQ(w->trailCount, 0);
    EXPECT_DOUBLE_EQ(w->sensor.ranges[5], 1); // sensed again after the undo
}

TEST(WorldTrail, RecordsUpToFourHundredPosesOldestFirst) {
    auto w = makeWorld();
    w->trailColour = {1, 0.25, 0};
    EXPECT_EQ(w->recordTrailPose(), 1);
    const TrailPose first = w->trailPose(0);
    EXPECT_EQ(first.rear, w->rear);
    EXPECT_EQ(first.front, w->front);
    EXPECT_EQ(first.heading, w->heading);
    EXPECT_EQ(first.colour.g, 0.25);
    for (int i = 1; i < 400; ++i) {
        w->move(1, 1);
        ASSERT_EQ(w->recordTrailPose(), i + 1);
    }
    const TrailPose last = w->trailPose(399);
    w->move(1, 1);
    EXPECT_EQ(w->recordTrailPose(), 400);
    EXPECT_EQ(w->trailPose(399).rear, last.rear);
    EXPECT_EQ(w->trailPose(0).rear, first.rear);
}

} // namespace
} // namespace quorvel
