#pragma once

#include "common/bounding_box.h"
#include "common/vec2.h"
#include "sim/range_sensor.h"

#include <cmath>

namespace quorvel {

// The simulated car: a capsule (every point within width/2 of the segment rear..front) that
// drives straight or along circular arcs from a table of signed turning radii, and carries
// the range sensor fan. Every change of pose places the fan again and resets its readings.
class RobotBody {
  public:
    static constexpr int turnTableSize = 30;
    static constexpr int maxSteering = turnTableSize - 1;

    Vec2 front;
    Vec2 rear;
    double width = 0.0;
    double length = 0.0;
    Vec2 heading;
    Vec2 normal;
    BoundingBox box;
    double turnRadius[turnTableSize] = {};
    RangeSensor sensor;
    double maxRange = 30.0;

    // A placeholder body of length and width 1 with a fan of 11 rays per side, 0.3 rad apart.
    RobotBody();

    void configure(double length, double width, double x, double y, double angle,
                   double steeringStep);
    void setShapeAndPose(double length, double width, double x, double y, double angle);
    void placeAt(double x, double y, double angle);
    // Puts the body's centre at `centre`, its axis along the unit vector `axis` (the new
    // heading), keeping its shape; the fan is placed and reset as after a move, and nothing is
    // allocated.
    void placeCentreAt(Vec2 centre, Vec2 axis);
    void buildTurnTable(double step);
    void updateFrame();
    void updateBox();

    // The point in the body's frame about the front point: x ahead, y to the left.
    Vec2 toRobotFrame(Vec2 point) const;

    // Drives straight (steer 0) or along the arc of turnRadius[|steer|]; a negative distance
    // backs up. |steer| must not exceed maxSteering.
    void move(int steer, double distance);
    void rotateAboutCentre(double sinPhi, double cosPhi, double offset);

    void getPose(Vec2& rearOut, Vec2& frontOut, Vec2& headingOut) const;

    // The pose with every bit, to be put back exactly: the fan is placed and reset as after a
    // move, and nothing is allocated.
    struct Pose {
        Vec2 front, rear, heading, normal;
    };
    Pose pose() const { return {front, rear, heading, normal}; }
    void setPose(const Pose& pose);

    // touchesDisc of a body of this shape standing at `at`, without moving this one; the
    // point in the frame of a body standing at `at`. Defined here, so that the hindsight
    // learner's samples, which take them several times each, have them inline.
    bool touchesDiscAt(const Pose& at, Vec2 centre, double radius) const {
        const double reach = radius + width / 2;
        const Vec2 q = centre - at.rear;
        const double t = dot(q, at.heading);
        if (t < 0) {
            return quorvel::length(centre - at.rear) < reach;
        }
        if (t > length) {
            return quorvel::length(centre - at.front) < reach;
        }
        return std::fabs(dot(q, at.normal)) < reach;
    }
    static Vec2 toFrameOf(const Pose& at, Vec2 point) {
        const Vec2 q = point - at.front;
        return {dot(q, at.heading), dot(q, at.normal)};
    }

    // Collision tests: true when the shapes touch.
    bool touchesDisc(Vec2 centre, double radius) const;
    bool pointInEndDiscs(Vec2 point) const;
    bool edgeTouches(Vec2 start, Vec2 direction, double edgeLength) const;
    bool touchesPolygon(const Vec2* vertices, int vertexCount) const;
};

} // namespace quorvel
