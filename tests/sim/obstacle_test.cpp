#include "sim/obstacle.h"

#include "common/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace quorvel {
namespace {

TEST(Obstacle, ResizeKeepsOrClearsTheOutline) {
    Obstacle o;
    EXPECT_EQ(o.vertexCount, 0);
    EXPECT_FALSE(o.valid);
    o.resize(5);
    random::restart();
    ASSERT_TRUE(o.generate({-50, -50}, {50, 50}, 10, nullptr, nullptr));
    const Vec2 first = o.vertices[0];
    o.resize(5);
    EXPECT_TRUE(o.valid);
    EXPECT_EQ(o.vertices[0], first);
    o.resize(6);
    EXPECT_FALSE(o.valid);
    EXPECT_EQ(o.vertexCount, 6);
    EXPECT_EQ(o.vertices.size(), 6u);
}

TEST(Obstacle, UpdateBoxWithoutVerticesKeepsTheBox) {
    Obstacle o;
    o.box = {1, 2, 3, 4};
    o.updateBox();
    EXPECT_EQ(o.box.maxY, 4);
}

TEST(ObstacleGenerate, DrawsCentrePhaseAndDistancesInOrder) {
    Obstacle o;
    o.resize(4);
    random::restart();
    ASSERT_TRUE(o.generate({-50, -50}, {50, 50}, 10, nullptr, nullptr));
    // The first draws of the sequence: 41, 18467 (centre), 6334 (phase), then one per vertex.
    const double cx = -50 + 41 / 32767.0 * 100;
    const double cy = -50 + 18467 / 32767.0 * 100;
    const double phase = 6334 / 32767.0 * 2 * std::numbers::pi;
    const int distanceDraws[] = {26500, 19169, 15724, 11478};
    for (int i = 0; i < 4; ++i) {
        const double r = (distanceDraws[i] / 32767.0 + 0.5) * 10;
        const double angle = phase + i * (2 * std::numbers::pi / 4);
        EXPECT_EQ(o.vertices[i].x, cx + r * std::cos(angle)) << i;
        EXPECT_EQ(o.vertices[i].y, cy + r * std::sin(angle)) << i;
    }
    EXPECT_EQ(random::draw(), 29358); // nothing more was drawn
    EXPECT_TRUE(o.valid);
}

TEST(ObstacleGenerate, RedrawsTheCentreUntilItsSquareIsClear) {
    random::restart();
    const BoundingBox robot{-10, -5, 10, 5};
    const BoundingBox goal{19, 19, 31, 31};
    const double radius = 15;
    const double a = 1.5 * radius;
    int redrawn = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Obstacle o;
        o.resize(3 + trial % 8);
        const auto before = random::state();
        ASSERT_TRUE(o.generate({-50, -50}, {50, 50}, radius, &robot, &goal));
        const auto after = random::state();

        // Replay the draws: centres until one is clear, the phase, one per vertex.
        random::setState(before);
        double cx = 0, cy = 0;
        auto overlaps = [&](const BoundingBox& b) {
            return cx + a > b.minX && cy + a > b.minY && cx - a < b.maxX && cy - a < b.maxY;
        };
        int centres = 0;
        do {
            cx = -50 + random::unit(1) * 100;
            cy = -50 + random::unit(1) * 100;
            ++centres;
        } while (overlaps(robot) || overlaps(goal));
        redrawn += centres > 1;
        random::draw();
        for (int i = 0; i < o.vertexCount; ++i) {
            random::draw();
        }
        ASSERT_EQ(random::state(), after);
        for (const Vec2& v : o.vertices) {
            const double d = length(v - Vec2{cx, cy});
            ASSERT_GE(d, 0.5 * radius - 1e-9);
            ASSERT_LE(d, 1.5 * radius + 1e-9);
            ASSERT_GE(v.x, o.box.minX);
            ASSERT_LE(v.y, o.box.maxY);
        }
    }
    EXPECT_GT(redrawn, 0);
}

TEST(ObstacleGenerate, TouchingAKeepOutBoxIsAccepted) {
    // A keep-out box whose edge lies exactly on the first centre's square.
    random::restart();
    const double cx = -50 + 41 / 32767.0 * 100;
    const double cy = -50 + 18467 / 32767.0 * 100;
    const BoundingBox touching{cx + 15, cy - 1, cx + 20, cy + 1};
    Obstacle o;
    o.resize(3);
    ASSERT_TRUE(o.generate({-50, -50}, {50, 50}, 10, &touching, nullptr));
    EXPECT_EQ(random::draw(), 11478); // centre (2), phase (1), three vertices: no re-draw
}

TEST(ObstacleGenerate, GivesUpWhenNoCentreIsFree) {
    const BoundingBox everything{-1000, -1000, 1000, 1000};
    Obstacle o;
    o.resize(5);
    random::restart();
    EXPECT_FALSE(o.generate({-50, -50}, {50, 50}, 10, &everything, nullptr));
    EXPECT_FALSE(o.valid);
}

} // namespace
} // namespace quorvel
