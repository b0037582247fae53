#include "world/world.h"

#include "common/random.h"
#include "learn/vector_exp.h"
#include "sim/fan_avx2.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvel {

namespace {
constexpr double steeringStep = 0.4;
constexpr double placementSpan = 150;
constexpr double manualPlacementMargin = 15;
constexpr double manualRedrawSpan = 50;
// Rounding in the crossing computation is far below this; an obstacle whose box is farther
// than the longest reading plus this from every ray origin cannot shorten any reading.
constexpr double sensingMargin = 1.0;
} // namespace

World::World(double length, double width, double x, double y, double headingAngle) {
    configure(length, width, x, y, headingAngle, steeringStep);
}

BoundingBox World::goalBox() const {
    return {goal.x - goalRadius, goal.y - goalRadius, goal.x + goalRadius, goal.y + goalRadius};
}

void World::placeRobotAndGoal() {
    trailCount = 0;
    placeRandomly(manualPlacementMargin, manualRedrawSpan);
}

bool World::placeRobotAndGoalClear(int attempts) {
    for (int i = 0; i < attempts; ++i) {
        placeRobotAndGoal();
        if (!robotOnObstacle() && !goalOnObstacle()) {
            return true;
        }
    }
    return false;
}

namespace {

// Goal x, goal y, robot x, robot y in [-75, 75]; the goal again over redrawSpan while it lies
// within goalRadius + margin of the robot along either axis; then the heading in [0, pi]; each
// draw taken from `draw`.
template <typename Draw> void placeWith(World& w, double margin, double redrawSpan, Draw&& draw) {
    double goalX = random::toCentred(draw(), placementSpan);
    double goalY = random::toCentred(draw(), placementSpan);
    const double robotX = random::toCentred(draw(), placementSpan);
    const double robotY = random::toCentred(draw(), placementSpan);
    const double separation = w.goalRadius + margin;
    while (std::fabs(goalY - robotY) < separation || std::fabs(goalX - robotX) < separation) {
        goalX = random::toCentred(draw(), redrawSpan);
        goalY = random::toCentred(draw(), redrawSpan);
    }
    const double angle = random::toUnit(draw(), std::numbers::pi);
    w.goal = {goalX, goalY};
    w.placeAt(robotX, robotY, angle);
}

} // namespace

void World::placeRandomly(double margin, double redrawSpan) {
    placeWith(*this, margin, redrawSpan, [] { return random::draw(); });
}

void World::placeRandomly(double margin, double redrawSpan, random::Sequence& sequence) {
    placeWith(*this, margin, redrawSpan, [&sequence] { return sequence.draw(); });
}

bool World::generateObstacleField(int count, int sides, Vec2 lower, Vec2 upper,
                                  double averageRadius) {
    obstacleCount = std::clamp(count, 0, obstacleCapacity);
    for (Obstacle& obstacle : obstacles) {
        obstacle.resize(sides);
    }
    bool complete = true;
    for (int index = 0; index < obstacleCount; ++index) {
        if (!generateObstacle(index, lower, upper, averageRadius)) {
            obstacleCount = index;
            complete = false;
            break;
        }
    }
    sense();
    return complete;
}

bool World::generateObstacle(int index, Vec2 lower, Vec2 upper, double averageRadius) {
    if (index < 0 || index >= obstacleCount) {
        return false;
    }
    const BoundingBox goalKeepOut = goalBox();
    return obstacles[index].generate(lower, upper, averageRadius, &box, &goalKeepOut);
}

bool World::robotOnObstacle() const {
    for (int k = 0; k < obstacleCount; ++k) {
        const Obstacle& o = obstacles[k];
        if (!boxesApart(box, o.box) && (touchesPolygon(o.vertices.data(), o.vertexCount) ||
                                        pointInPolygon(rear, o.vertices.data(), o.vertexCount))) {
            return true;
        }
    }
    return false;
}

bool World::goalOnObstacle() const {
    for (int k = 0; k < obstacleCount; ++k) {
        const Obstacle& o = obstacles[k];
        if (!boxesApart(goalBox(), o.box) &&
            discTouchesPolygon(goal, goalRadius, o.vertices.data(), o.vertexCount)) {
            return true;
        }
    }
    return false;
}

void World::sense() {
    if constexpr (literalBuild) {
        for (int k = 0; k < obstacleCount; ++k) {
            sensor.cast(obstacles[k].vertices.data(), obstacles[k].vertexCount);
        }
        return;
    }
    double longest = 0;
    for (int i = 0; i < sensor.rayCount; ++i) {
        longest = std::max(longest, sensor.ranges[i]);
    }
    const double reach = longest + sensingMargin;
    const BoundingBox inReach{box.minX - reach, box.minY - reach, box.maxX + reach,
                              box.maxY + reach};
    if (activeMathPath().vectorUnits) {
        avx2::Outline near[obstacleCapacity];
        int count = 0;
        for (int k = 0; k < obstacleCount; ++k) {
            const Obstacle& obstacle = obstacles[k];
            if (!boxesApart(inReach, obstacle.box)) {
                near[count++] = {obstacle.vertices.data(), obstacle.vertexCount, obstacle.box};
            }
        }
        avx2::castFan(sensor, near, count);
        return;
    }
    for (int k = 0; k < obstacleCount; ++k) {
        const Obstacle& obstacle = obstacles[k];
        if (boxesApart(inReach, obstacle.box)) {
            continue;
        }
        sensor.castWithin(obstacle.vertices.data(), obstacle.vertexCount, obstacle.box);
    }
}

bool World::moveRobot(int steering, int distance) {
    move(steering, distance);
    for (int k = 0; k < obstacleCount; ++k) {
        const Obstacle& obstacle = obstacles[k];
        if (boxesApart(box, obstacle.box)) {
            continue;
        }
        if (touchesPolygon(obstacle.vertices.data(), obstacle.vertexCount)) {
            move(steering, -distance);
            return false;
        }
    }
    return true;
}

bool World::driveManually(int steering, int distance) {
    const bool moved = moveRobot(steering, distance);
    trailCount = 0;
    sense();
    return moved;
}

int World::recordTrailPose() {
    if (trailCount >= Trail::capacity) {
        return trailCount;
    }
    getPose(trail.rear[trailCount], trail.front[trailCount], trail.heading[trailCount]);
    trail.colour[trailCount] = trailColour;
    return ++trailCount;
}

void World::restorePlacement(const Placement& p) {
    setPose(p.robot);
    goal = p.goal;
    trailCount = 0;
    sense();
}

TrailPose World::trailPose(int index) const {
    return {trail.rear[index], trail.front[index], trail.heading[index], trail.colour[index]};
}

} // namespace quorvel
