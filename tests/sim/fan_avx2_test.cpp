// Placing and casting four rays at a time against the written forms, bit for bit.
#include "sim/fan_avx2.h"

#include "common/random.h"
#include "common/vector_units.h"
#include "sim/obstacle.h"
#include "sim/range_sensor.h"
#include "sim/robot_body.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quorvel {
namespace {

std::vector<std::uint64_t> bitsOf(const std::vector<double>& values) {
    std::vector<std::uint64_t> bits(values.size());
    std::memcpy(bits.data(), values.data(), sizeof(double) * values.size());
    return bits;
}

// The readings of the fan after casting every outline, by cast and by castFan.
void expectSameReadings(const RangeSensor& fan, const std::vector<std::vector<Vec2>>& outlines,
                        const char* what) {
    RangeSensor written = fan;
    RangeSensor lanes = fan;
    std::vector<avx2::Outline> all;
    for (const auto& outline : outlines) {
        written.cast(outline.data(), static_cast<int>(outline.size()));
        avx2::Outline o{outline.data(), static_cast<int>(outline.size()), {}};
        o.box = {outline[0].x, outline[0].y, outline[0].x, outline[0].y};
        for (const Vec2& v : outline) {
            o.box = {std::min(o.box.minX, v.x), std::min(o.box.minY, v.y),
                     std::max(o.box.maxX, v.x), std::max(o.box.maxY, v.y)};
        }
        all.push_back(o);
    }
    avx2::castFan(lanes, all.data(), static_cast<int>(all.size()));
    EXPECT_EQ(bitsOf(lanes.ranges), bitsOf(written.ranges)) << what;
}

class FanInLanes : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!vectorUnitsUsable()) {
            GTEST_SKIP() << "no AVX2 and FMA";
        }
        body.configure(10, 10, 0, 0, 0, 0.4);
    }
    RobotBody body;
};

TEST_F(FanInLanes, RandomFieldsAndPoses) {
    random::setState(99);
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<std::vector<Vec2>> outlines;
        const int count = 1 + trial % 8;
        for (int k = 0; k < count; ++k) {
            Obstacle o;
            o.resize(3 + (trial + k) % 8);
            o.generate({-50, -50}, {50, 50}, 5 + (trial % 5) * 5, nullptr, nullptr);
            outlines.push_back(o.vertices);
        }
        body.placeAt(random::centred(140), random::centred(140), random::unit(6.3));
        // Some readings already shortened, as by an earlier obstacle.
        body.sensor.ranges[trial % 22] = random::unit(30);
        expectSameReadings(body.sensor, outlines, "random field");
    }
}

// Fans of 22 rays (four at a time, and two left over), 6, 5 and 3 rays, at random poses.
TEST_F(FanInLanes, PlacedRaysEqualTheWrittenForm) {
    random::setState(7);
    for (const int rays : {22, 6, 5, 3}) {
        RangeSensor lanes;
        lanes.layout(10, 10, 0.3, (rays + 1) / 2);
        lanes.rayCount = rays;
        for (int trial = 0; trial < 300; ++trial) {
            const double a = random::unit(6.3);
            const Vec2 o{random::centred(140), random::centred(140)};
            const Vec2 h{std::cos(a), std::sin(a)};
            RangeSensor written = lanes;
            written.placeInOrder(o, h, {-h.y, h.x});
            avx2::placeFan(lanes, o, h, {-h.y, h.x});
            for (int i = 0; i < rays; ++i) {
                const Vec2 got[2] = {lanes.worldOrigins[i], lanes.worldDirections[i]};
                const Vec2 want[2] = {written.worldOrigins[i], written.worldDirections[i]};
                ASSERT_EQ(std::memcmp(got, want, sizeof got), 0) << rays << " rays, ray " << i;
            }
        }
    }
}

TEST_F(FanInLanes, OutlinesOnTheRaysLines) {
    // Ray 5 runs from (10, 0) along +x, ray 16 from (-10, 0) along -x, exactly.
    const std::vector<std::vector<Vec2>> cases[] = {
        {{{20, -5}, {30, -5}, {30, 5}, {20, 5}}},     // a square ahead
        {{{12, 0}, {7, 0}}},                          // an edge along the ray
        {{{8, 0}, {10, 3}, {12, 0.5}}},               // a vertex on the line
        {{{10, -5}, {10, 5}}},                        // crossing at the origin
        {{{10, 0}, {12, 3}, {14, 0.5}}},              // a vertex at the origin
        {{{-20, -5}, {-12, -5}, {-12, 5}, {-20, 5}}}, // behind ray 5, ahead of 16
        {{{-5, -5}, {4, -5}, {4, 5}, {-5, 5}}},       // around the body
        {{{40, 0}, {40, 0}, {45, 2}}},                // a repeated vertex beyond 30
        {{{15, 0}}},                                  // one vertex
        {{{20, -5}, {30, -5}, {30, 5}, {20, 5}}, {{25, -1}, {26, 1}, {24, 1}}},
    };
    for (const auto& outlines : cases) {
        expectSameReadings(body.sensor, outlines, "constructed");
    }
}

} // namespace
} // namespace quorvel
