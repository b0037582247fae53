#include "sim/robot_body.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel {
namespace {

// Front (5, 0), rear (-5, 0), width 10.
RobotBody startUpBody() {
    RobotBody body;
    body.configure(10, 10, 0, 0, 0, 0.4);
    return body;
}

bool edgeTouches(const RobotBody& body, Vec2 a, Vec2 b) {
    const Vec2 d = b - a;
    const double len = length(d);
    return body.edgeTouches(a, d / len, len);
}

TEST(TouchesDisc, ReachIsStrictAtCapsAndAlongTheSide) {
    const RobotBody body = startUpBody();
    EXPECT_TRUE(body.touchesDisc({15.9, 0}, 6));
    EXPECT_FALSE(body.touchesDisc({16, 0}, 6));
    EXPECT_TRUE(body.touchesDisc({-15.9, 0}, 6));
    EXPECT_FALSE(body.touchesDisc({-16, 0}, 6));
    EXPECT_TRUE(body.touchesDisc({0, 10.9}, 6));
    EXPECT_FALSE(body.touchesDisc({0, 11}, 6));
    EXPECT_FALSE(body.touchesDisc({0, -11}, 6));
    // Beyond the front point the distance is to the point, not to the band.
    EXPECT_FALSE(body.touchesDisc({12, 8.5}, 6));
}

TEST(PointInEndDiscs, CirclesCountButTheFlatSideDoesNot) {
    const RobotBody body = startUpBody();
    EXPECT_TRUE(body.pointInEndDiscs({-5, 5}));
    EXPECT_TRUE(body.pointInEndDiscs({-10, 0}));
    EXPECT_TRUE(body.pointInEndDiscs({10, 0}));
    EXPECT_FALSE(body.pointInEndDiscs({0, 5.1}));
    EXPECT_FALSE(body.pointInEndDiscs({0, 1})); // inside the band, outside both discs
    EXPECT_FALSE(body.pointInEndDiscs({10.01, 0}));
}

TEST(EdgeTouches, CapTestsAreStrict) {
    const RobotBody body = startUpBody();
    EXPECT_TRUE(edgeTouches(body, {9.9, -20}, {9.9, 20}));
    EXPECT_FALSE(edgeTouches(body, {10, -20}, {10, 20}));
    EXPECT_FALSE(edgeTouches(body, {20, -20}, {20, 20}));
    EXPECT_TRUE(edgeTouches(body, {-9.9, 20}, {-9.9, -20}));
    EXPECT_FALSE(edgeTouches(body, {-10, 20}, {-10, -20}));
}

TEST(EdgeTouches, MiddleBandCatchesEdgesEnteringTheFlatSides) {
    const RobotBody body = startUpBody();
    // Neither vertex within 5 of an end point, no cap test holds; the clipped part ends
    // 4.1 from the axis.
    EXPECT_TRUE(edgeTouches(body, {-8, 6}, {1.5, 4.1}));
    EXPECT_TRUE(edgeTouches(body, {1.5, 4.1}, {-8, 6}));
    EXPECT_FALSE(edgeTouches(body, {-8, 6}, {1.5, 5.1}));
    // Running back past the rear line beside the body: its end is pulled forward to the rear
    // line, 5.17 from the axis, and it stays clear (the rear cap misses it by 0.1).
    EXPECT_FALSE(edgeTouches(body, {-3, 5.5}, {-12, 4}));
    EXPECT_FALSE(edgeTouches(body, {-3, -5.5}, {-12, -4}));
    // Crossing the whole body from one side to the other.
    EXPECT_TRUE(edgeTouches(body, {0, 20}, {0, -20}));
    EXPECT_TRUE(edgeTouches(body, {-3, 20}, {2, -20}));
    // Parallel to the axis, just inside and just outside the band.
    EXPECT_TRUE(edgeTouches(body, {-20, 4.9}, {20, 4.9}));
    EXPECT_FALSE(edgeTouches(body, {-20, 5}, {20, 5}));
    EXPECT_FALSE(edgeTouches(body, {-20, -5}, {20, -5}));
}

TEST(EdgeTouches, EdgesThatNeverReachTheBandAreClear) {
    const RobotBody body = startUpBody();
    // Wholly behind the rear line, beside the axis and pointing at the rear point: sliding
    // its start along its line to the rear line would land on the axis.
    EXPECT_FALSE(edgeTouches(body, {-40, 35}, {-15, 10}));
    EXPECT_FALSE(edgeTouches(body, {-40, -35}, {-15, -10}));
    // Wholly ahead of the front line and pointing back at the front point.
    EXPECT_FALSE(edgeTouches(body, {40, 35}, {15, 10}));
    EXPECT_FALSE(edgeTouches(body, {40, -35}, {15, -10}));
    // The same lines drawn on into the body do touch.
    EXPECT_TRUE(edgeTouches(body, {-40, 35}, {0, -5}));
    EXPECT_TRUE(edgeTouches(body, {40, 35}, {0, -5}));
}

TEST(TouchesPolygon, VerticesFirstThenEdgesIncludingTheClosingOne) {
    const RobotBody body = startUpBody();
    const std::vector<Vec2> vertexInDisc{{9, 1}, {30, 30}, {30, 31}};
    EXPECT_TRUE(body.touchesPolygon(vertexInDisc.data(), 3));
    // Only the closing edge (last vertex back to the first) crosses the body.
    const std::vector<Vec2> closing{{0, -20}, {40, -20}, {40, 20}, {0, 20}};
    EXPECT_TRUE(body.touchesPolygon(closing.data(), 4));
    const std::vector<Vec2> clear{{20, -20}, {40, -20}, {40, 20}, {20, 20}};
    EXPECT_FALSE(body.touchesPolygon(clear.data(), 4));
}

TEST(TouchesPolygon, ZeroLengthEdgesAreSkipped) {
    const RobotBody body = startUpBody();
    const std::vector<Vec2> repeated{{20, 20}, {20, 20}, {30, 20}, {30, 30}};
    EXPECT_FALSE(body.touchesPolygon(repeated.data(), 4));
    const std::vector<Vec2> crossing{{0, 20}, {0, 20}, {0, -20}, {40, -20}};
    EXPECT_TRUE(body.touchesPolygon(crossing.data(), 4));
}

TEST(TouchesPolygon, BodyWhollyInsideAPolygonIsClear) {
    const RobotBody body = startUpBody();
    const std::vector<Vec2> big{{-50, -50}, {50, -50}, {50, 50}, {-50, 50}};
    EXPECT_FALSE(body.touchesPolygon(big.data(), 4));
}

} // namespace
} // namespace quorvel
