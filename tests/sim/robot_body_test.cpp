#include "sim/robot_body.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace quorvel {
namespace {

RobotBody startUpBody() {
    RobotBody body;
    body.configure(10, 10, 0, 0, 0, 0.4);
    return body;
}

void expectAllRangesAt(const RobotBody& body, double value) {
    for (int i = 0; i < body.sensor.rayCount; ++i) {
        ASSERT_EQ(body.sensor.ranges[i], value) << "ray " << i;
    }
}

TEST(RobotBody, StartUpPoseBoxAndTurningTable) {
    const RobotBody body = startUpBody();
    EXPECT_EQ(body.front, (Vec2{5, 0}));
    EXPECT_EQ(body.rear, (Vec2{-5, 0}));
    EXPECT_EQ(body.heading, (Vec2{1, 0}));
    EXPECT_EQ(body.normal, (Vec2{-0.0, 1}));
    EXPECT_EQ(body.box.minX, -10);
    EXPECT_EQ(body.box.minY, -5);
    EXPECT_EQ(body.box.maxX, 10);
    EXPECT_EQ(body.box.maxY, 5);
    const double table[] = {23.6522, 9.7121, 3.8878, -0.2921, -4.5766, -10.9169};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(body.turnRadius[i], table[i], 5e-5) << "entry " << i;
    }
    expectAllRangesAt(body, 30);
    EXPECT_EQ(body.maxRange, 30);
}

TEST(RobotBody, PlaceholderBeforeConfiguration) {
    const RobotBody body;
    EXPECT_EQ(body.length, 1);
    EXPECT_EQ(body.width, 1);
    EXPECT_EQ(body.sensor.rayCount, 22);
    EXPECT_EQ(body.sensor.spacing, 0.3);
    EXPECT_NEAR(body.turnRadius[0], 1 / std::tan(0.09), 1e-12);
}

TEST(RobotBodyMove, StraightMoveKeepsTheHeading) {
    RobotBody body = startUpBody();
    body.move(0, 2);
    EXPECT_EQ(body.front, (Vec2{7, 0}));
    EXPECT_EQ(body.rear, (Vec2{-3, 0}));
    EXPECT_EQ(body.heading, (Vec2{1, 0}));
    EXPECT_EQ(body.box.minX, -8);
}

TEST(RobotBodyMove, ArcDirectionConventions) {
    RobotBody right = startUpBody();
    right.move(1, 2);
    EXPECT_LT(right.heading.y, 0); // clockwise
    RobotBody left = startUpBody();
    left.move(-1, 2);
    EXPECT_GT(left.heading.y, 0); // counter-clockwise
    RobotBody backing = startUpBody();
    backing.move(1, -2);
    EXPECT_GT(backing.heading.y, 0);
    // The rear point travels the distance along a circle of the table's radius.
    const double radius = right.turnRadius[1];
    const double chord = length(right.rear - Vec2{-5, 0});
    EXPECT_NEAR(chord, 2 * radius * std::sin(2 / radius / 2), 1e-12);
    EXPECT_NEAR(right.rear.y, -radius * (1 - std::cos(2 / radius)), 1e-12);
}

TEST(RobotBodyMove, NegativeRadiusTurnsTheOtherWayAndStaysNearItsPivot) {
    RobotBody body = startUpBody();
    body.move(3, 2);
    const double radius = body.turnRadius[3];
    ASSERT_LT(radius, 0);
    const double angle = std::atan2(body.heading.y, body.heading.x);
    const double turned = 2 / -radius; // about 6.85 rad counter-clockwise
    EXPECT_NEAR(std::remainder(angle - turned, 2 * M_PI), 0, 1e-9);
    EXPECT_LT(length(body.rear - Vec2{-5, 0}), 0.59);
}

TEST(RobotBodyMove, EveryMoveIsUndoneByItsInverse) {
    for (int steer = -5; steer <= 5; ++steer) {
        for (double distance : {2.0, -2.0, 3.0, -1.0}) {
            RobotBody body;
            body.configure(10, 10, 12.5, -7, 1.1, 0.4);
            const RobotBody before = body;
            body.move(steer, distance);
            body.move(steer, -distance);
            EXPECT_NEAR(body.front.x, before.front.x, 1e-9) << steer << " " << distance;
            EXPECT_NEAR(body.front.y, before.front.y, 1e-9) << steer << " " << distance;
            EXPECT_NEAR(body.rear.x, before.rear.x, 1e-9) << steer << " " << distance;
            EXPECT_NEAR(body.rear.y, before.rear.y, 1e-9) << steer << " " << distance;
            EXPECT_NEAR(body.heading.x, before.heading.x, 1e-12);
            EXPECT_NEAR(body.heading.y, before.heading.y, 1e-12);
            EXPECT_NEAR(body.normal.x, before.normal.x, 1e-12);
            EXPECT_NEAR(body.normal.y, before.normal.y, 1e-12);
        }
    }
}

TEST(RobotBodyMove, KeepsTheFrameAndBoxConsistentAndResetsTheFan) {
    RobotBody body = startUpBody();
    body.sensor.resetRanges(3);
    body.move(-2, 3);
    expectAllRangesAt(body, 30);
    EXPECT_NEAR(length(body.heading), 1, 1e-12);
    EXPECT_EQ(body.normal.x, -body.heading.y);
    EXPECT_EQ(body.normal.y, body.heading.x);
    EXPECT_NEAR(length(body.front - body.rear), 10, 1e-9);
    EXPECT_EQ(body.box.minX, std::min(body.front.x, body.rear.x) - 5);
    EXPECT_EQ(body.box.maxY, std::max(body.front.y, body.rear.y) + 5);
    // The fan follows the body: ray 5 leaves the front cap along the heading.
    EXPECT_NEAR(body.sensor.worldOrigins[5].x, body.front.x + 5 * body.heading.x, 1e-12);
    EXPECT_NEAR(body.sensor.worldDirections[5].y, body.heading.y, 1e-12);
}

TEST(RobotBodyFrame, PointsAreMeasuredFromTheFrontPoint) {
    RobotBody body;
    body.configure(10, 10, 3, 4, M_PI / 2, 0.4);
    EXPECT_EQ(body.toRobotFrame(body.front), (Vec2{0, 0}));
    const Vec2 ahead = body.toRobotFrame(body.front + 10 * body.heading);
    EXPECT_NEAR(ahead.x, 10, 1e-12);
    EXPECT_NEAR(ahead.y, 0, 1e-12);
    const Vec2 left = body.toRobotFrame(body.front + 4 * body.normal);
    EXPECT_NEAR(left.y, 4, 1e-12);
    EXPECT_GT(body.toRobotFrame({-10, 9}).y, 0); // facing +y, negative x is to the left
}

TEST(RobotBodyPlace, KeepsShapeFanAndTable) {
    RobotBody body = startUpBody();
    const double radius = body.turnRadius[2];
    body.move(1, 3);
    body.placeAt(-20, 30, 2.0);
    EXPECT_EQ(body.length, 10);
    EXPECT_EQ(body.width, 10);
    EXPECT_EQ(body.sensor.rayCount, 22);
    EXPECT_EQ(body.sensor.spacing, 0.3);
    EXPECT_EQ(body.turnRadius[2], radius);
    EXPECT_NEAR(body.front.x, -20 + 5 * std::cos(2.0), 1e-12);
    expectAllRangesAt(body, 30);
    Vec2 rear, front, heading;
    body.getPose(rear, front, heading);
    EXPECT_EQ(rear, body.rear);
    EXPECT_EQ(front, body.front);
    EXPECT_EQ(heading, body.heading);
}

// Placing again keeps the fan laid out for the body's shape; a new length or a new width
// alone lays it out anew, as a body configured with that shape has it.
TEST(RobotBodyPlace, TheFanFollowsEveryChangeOfShape) {
    RobotBody body = startUpBody();
    const auto expectFanOf = [&body](double length, double width) {
        RobotBody fresh;
        fresh.configure(length, width, 0, 0, 0, 0.4);
        const RangeSensor& a = body.sensor;
        const RangeSensor& b = fresh.sensor;
        ASSERT_EQ(a.rayCount, b.rayCount);
        const auto bytes = sizeof(Vec2) * static_cast<std::size_t>(a.rayCount);
        EXPECT_EQ(std::memcmp(a.localOrigins.data(), b.localOrigins.data(), bytes), 0)
            << length << " by " << width;
        EXPECT_EQ(std::memcmp(a.localDirections.data(), b.localDirections.data(), bytes), 0);
    };
    body.placeAt(3, 4, 1.0);
    expectFanOf(10, 10);
    body.setShapeAndPose(12, 10, 3, 4, 1.0);
    expectFanOf(12, 10);
    body.setShapeAndPose(12, 6, 3, 4, 1.0);
    expectFanOf(12, 6);
    body.placeAt(-7, 2, 0.5);
    expectFanOf(12, 6);
}

#ifndef NDEBUG
TEST(RobotBodyDeathTest, OutOfContractInputsAssertInDebugBuilds) {
    RobotBody body = startUpBody();
    EXPECT_DEATH(body.move(30, 1), "turning table");
    EXPECT_DEATH(body.configure(0, 10, 0, 0, 0, 0.4), "positive length");
}
#endif

} // namespace
} // namespace quorvel
