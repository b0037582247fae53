#include "sim/robot_body.h"

#include "common/same_bits.h"
#include "common/vector_units.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

namespace quorvel {

namespace {
constexpr int placeholderRaysPerSide = 11;
constexpr double placeholderSpacing = 0.3;
constexpr double placeholderSteeringStep = 0.09;
constexpr double resetRange = 30.0;
} // namespace

RobotBody::RobotBody() {
    width = 1;
    front = {0, 1};
    rear = {0, 0};
    length = 1;
    sensor.layout(1, 1, placeholderSpacing, placeholderRaysPerSide);
    sensor.resetRanges(resetRange);
    maxRange = resetRange;
    updateFrame();
    buildTurnTable(placeholderSteeringStep);
    updateBox();
}

void RobotBody::configure(double newLength, double newWidth, double x, double y, double angle,
                          double steeringStep) {
    setShapeAndPose(newLength, newWidth, x, y, angle);
    buildTurnTable(steeringStep);
}

void RobotBody::setShapeAndPose(double newLength, double newWidth, double x, double y,
                                double angle) {
    assert(newLength > 0 && "a body needs a positive length");
    const Vec2 centre{x, y};
    const Vec2 e = (newLength / 2) * Vec2{std::cos(angle), std::sin(angle)};
    rear = centre - e;
    front = centre + e;
    // The fan is laid out for the body's shape: anew only when that changes (placing a body
    // of the same shape again, as every run does, keeps its fan's every bit).
    const bool reshaped = !sameBits(newLength, length) || !sameBits(newWidth, width);
    width = newWidth;
    length = newLength;
    if (reshaped || literalBuild) {
        sensor.layout(newLength, newWidth, sensor.spacing, sensor.rayCount / 2);
    }
    sensor.resetRanges(resetRange);
    maxRange = resetRange;
    updateFrame();
    updateBox();
}

void RobotBody::placeAt(double x, double y, double angle) {
    setShapeAndPose(length, width, x, y, angle);
}

void RobotBody::placeCentreAt(Vec2 centre, Vec2 axis) {
    const Vec2 e = (length / 2) * axis;
    rear = centre - e;
    front = centre + e;
    updateFrame();
    updateBox();
    sensor.resetRanges(maxRange);
}

void RobotBody::buildTurnTable(double step) {
    for (int i = 0; i < turnTableSize; ++i) {
        turnRadius[i] = length / std::tan((i + 1) * step);
    }
}

void RobotBody::updateFrame() {
    const Vec2 d = front - rear;
    const double reciprocal = 1 / std::sqrt(d.x * d.x + d.y * d.y);
    heading = d * reciprocal;
    normal = {-heading.y, heading.x};
    sensor.place(rear, heading, normal);
}

void RobotBody::updateBox() {
    const double halfWidth = width / 2;
    box.minX = std::min(front.x, rear.x) - halfWidth;
    box.maxX = std::max(front.x, rear.x) + halfWidth;
    box.minY = std::min(front.y, rear.y) - halfWidth;
    box.maxY = std::max(front.y, rear.y) + halfWidth;
}

Vec2 RobotBody::toRobotFrame(Vec2 point) const {
    return toFrameOf(pose(), point);
}

void RobotBody::move(int steer, double distance) {
    if (steer == 0) {
        front = front + distance * heading;
        rear = rear + distance * heading;
    } else {
        assert(std::abs(steer) <= maxSteering && "steering magnitude beyond the turning table");
        // Release builds hold the index inside the table rather than read past it.
        const int magnitude = std::min(std::abs(steer), maxSteering);
        const double radius = turnRadius[magnitude];
        const double theta = distance / radius;
        if (steer > 0) {
            rotateAboutCentre(-std::sin(theta), std::cos(theta), radius);
        } else {
            rotateAboutCentre(std::sin(theta), std::cos(theta), -radius);
        }
    }
    updateBox();
    sensor.place(rear, heading, normal);
    sensor.resetRanges(maxRange);
}

void RobotBody::rotateAboutCentre(double sinPhi, double cosPhi, double offset) {
    const Vec2 turnedNormal{cosPhi * normal.x - sinPhi * normal.y,
                            sinPhi * normal.x + cosPhi * normal.y};
    const Vec2 turnedHeading{turnedNormal.y, -turnedNormal.x};
    const Vec2 turnedRear = rear + offset * (turnedNormal - normal);
    const Vec2 turnedFront = turnedRear + length * turnedHeading;
    normal = turnedNormal;
    heading = turnedHeading;
    rear = turnedRear;
    front = turnedFront;
}

void RobotBody::setPose(const Pose& p) {
    front = p.front;
    rear = p.rear;
    heading = p.heading;
    normal = p.normal;
    updateBox();
    sensor.place(rear, heading, normal);
    sensor.resetRanges(maxRange);
}

void RobotBody::getPose(Vec2& rearOut, Vec2& frontOut, Vec2& headingOut) const {
    rearOut = rear;
    frontOut = front;
    headingOut = heading;
}

} // namespace quorvel
