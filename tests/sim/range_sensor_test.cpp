#include "sim/range_sensor.h"
#include "sim/robot_body.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quorvel {
namespace {

// The fan of a 10 by 10 body at its start-up pose (rear (-5, 0), heading +x).
RangeSensor startUpFan() {
    RobotBody body;
    body.configure(10, 10, 0, 0, 0, 0.4);
    return body.sensor;
}

// A ray from `origin` along `direction`, alone in a fan of its own.
RangeSensor singleRay(Vec2 origin, Vec2 direction, double range = 30) {
    RangeSensor s;
    s.layout(0, 0, 0, 1);
    s.localOrigins[0] = {0, 0};
    s.localDirections[0] = {1, 0};
    s.place(origin, direction, {-direction.y, direction.x});
    s.resetRanges(range);
    return s;
}

TEST(RangeSensorLayout, RaysFanForwardsFromTheFrontCapAndBackwardsFromTheRear) {
    const RangeSensor s = startUpFan();
    ASSERT_EQ(s.rayCount, 22);
    EXPECT_EQ(s.raysPerSide, 11);
    EXPECT_DOUBLE_EQ(s.worldOrigins[5].x, 10);
    EXPECT_NEAR(s.worldOrigins[5].y, 0, 1e-12);
    EXPECT_NEAR(s.worldDirections[5].x, 1, 1e-12);
    EXPECT_DOUBLE_EQ(s.worldOrigins[16].x, -10);
    EXPECT_NEAR(s.worldDirections[16].x, -1, 1e-12);
    EXPECT_NEAR(s.worldOrigins[0].x, 5 + 5 * std::cos(1.5), 1e-12);
    EXPECT_NEAR(s.worldOrigins[0].y, -5 * std::sin(1.5), 1e-12);
    EXPECT_LT(s.worldDirections[0].y, 0); // ray 0 points to the right
    EXPECT_GT(s.worldDirections[10].y, 0);
    for (int j = 0; j < 11; ++j) {
        // Every origin lies on its cap, and every ray leaves it radially.
        const Vec2 f = s.worldOrigins[j] - Vec2{5, 0};
        EXPECT_NEAR(length(f), 5, 1e-12);
        EXPECT_NEAR(f.x / 5, s.worldDirections[j].x, 1e-12);
        const Vec2 r = s.worldOrigins[11 + j] - Vec2{-5, 0};
        EXPECT_NEAR(length(r), 5, 1e-12);
        EXPECT_NEAR(r.x / 5, s.worldDirections[11 + j].x, 1e-12);
        EXPECT_NEAR(r.y / 5, s.worldDirections[11 + j].y, 1e-12);
        // A rear origin is the front one reflected through the body's centre, the origin.
        EXPECT_NEAR(s.worldOrigins[11 + j].x, -s.worldOrigins[j].x, 1e-12) << j;
        EXPECT_NEAR(s.worldOrigins[11 + j].y, -s.worldOrigins[j].y, 1e-12) << j;
        EXPECT_DOUBLE_EQ(s.localDirections[11 + j].x, -s.localDirections[j].x);
        EXPECT_DOUBLE_EQ(s.localDirections[11 + j].y, -s.localDirections[j].y);
        if (j > 0) {
            const double step = std::atan2(s.localDirections[j].y, s.localDirections[j].x) -
                                std::atan2(s.localDirections[j - 1].y, s.localDirections[j - 1].x);
            EXPECT_NEAR(step, 0.3, 1e-12);
        }
    }
}

TEST(RangeSensorLayout, OneRayPerSidePointsAlongTheHeading) {
    RangeSensor s;
    s.layout(10, 4, 0.3, 1);
    ASSERT_EQ(s.rayCount, 2);
    EXPECT_EQ(s.localDirections[0].x, 1);
    EXPECT_EQ(s.localDirections[0].y, 0);
    EXPECT_EQ(s.localOrigins[0].x, 12);
    EXPECT_EQ(s.localOrigins[1].x, -2);
}

TEST(RangeSensorCast, NearEdgeAheadShortensTheForwardRay) {
    RangeSensor s = startUpFan();
    s.resetRanges(30);
    const std::vector<Vec2> square{{20, -5}, {30, -5}, {30, 5}, {20, 5}};
    s.cast(square.data(), 4);
    EXPECT_DOUBLE_EQ(s.ranges[5], 10);
    EXPECT_EQ(s.ranges[16], 30); // the backward ray sees nothing
}

TEST(RangeSensorCast, CrossingExactlyAtTheReadingIsIgnored) {
    const std::vector<Vec2> wall{{10, -5}, {10, 5}};
    RangeSensor s = singleRay({0, 0}, {1, 0}, 10);
    s.cast(wall.data(), 2);
    EXPECT_EQ(s.ranges[0], 10);
    s.resetRanges(10.5);
    s.cast(wall.data(), 2);
    EXPECT_EQ(s.ranges[0], 10);
}

TEST(RangeSensorCast, EdgeAlongTheRayGivesItsNearerVertexAhead) {
    const std::vector<Vec2> line{{12, 0}, {7, 0}};
    RangeSensor s = singleRay({0, 0}, {1, 0});
    s.cast(line.data(), 2);
    EXPECT_EQ(s.ranges[0], 7);
}

TEST(RangeSensorCast, VertexOnTheLineCountsOnlyAheadOfTheOrigin) {
    // A triangle touching the ray's line at one vertex, where no edge changes sign strictly.
    const std::vector<Vec2> ahead{{8, 0}, {10, 3}, {12, 0.5}};
    RangeSensor s = singleRay({0, 0}, {1, 0});
    s.cast(ahead.data(), 3);
    EXPECT_EQ(s.ranges[0], 8);
    const std::vector<Vec2> behind{{-8, 0}, {-10, 3}, {-12, 0.5}};
    s.resetRanges(30);
    s.cast(behind.data(), 3);
    EXPECT_EQ(s.ranges[0], 30);
}

TEST(RangeSensorCast, CrossingsCountFromTheOriginOnwards) {
    const std::vector<Vec2> square{{-20, -5}, {-10, -5}, {-10, 5}, {-20, 5}};
    RangeSensor s = singleRay({0, 0}, {1, 0});
    s.cast(square.data(), 4);
    EXPECT_EQ(s.ranges[0], 30);
    // An edge crossing the ray's line exactly at its origin, and a vertex lying on it.
    const std::vector<Vec2> throughOrigin{{0, -5}, {0, 5}};
    s.cast(throughOrigin.data(), 2);
    EXPECT_EQ(s.ranges[0], 0);
    const std::vector<Vec2> vertexAtOrigin{{0, 0}, {2, 3}, {4, 0.5}};
    s.resetRanges(30);
    s.cast(vertexAtOrigin.data(), 3);
    EXPECT_EQ(s.ranges[0], 0);
}

TEST(RangeSensorCast, OriginInsideAPolygonReadsTheOutlineAhead) {
    const std::vector<Vec2> square{{-5, -5}, {4, -5}, {4, 5}, {-5, 5}};
    RangeSensor s = singleRay({0, 0}, {1, 0});
    s.cast(square.data(), 4);
    EXPECT_DOUBLE_EQ(s.ranges[0], 4);
}

TEST(RangeSensorCast, ReadingsDoNotDependOnRepetitionOrOrder) {
    const std::vector<Vec2> a{{20, -5}, {30, -5}, {30, 5}, {20, 5}};
    const std::vector<Vec2> b{{5, 8}, {12, 3}, {14, 15}};
    RangeSensor first = startUpFan();
    first.resetRanges(30);
    first.cast(a.data(), 4);
    first.cast(b.data(), 3);
    RangeSensor second = startUpFan();
    second.resetRanges(30);
    second.cast(b.data(), 3);
    second.cast(a.data(), 4);
    second.cast(b.data(), 3);
    EXPECT_EQ(first.ranges, second.ranges);
}

TEST(RangeSensorCast, FewerThanTwoVerticesChangeNothing) {
    const std::vector<Vec2> point{{15, 0}};
    RangeSensor s = singleRay({0, 0}, {1, 0});
    s.cast(point.data(), 1);
    s.cast(nullptr, 0);
    EXPECT_EQ(s.ranges[0], 30);
}

} // namespace
} // namespace quorvel
