#pragma once

#include "common/bounding_box.h"
#include "common/random.h"
#include "common/step_limit.h"
#include "common/vec2.h"
#include "learn/q_learner.h"
#include "sim/obstacle.h"
#include "sim/robot_body.h"

namespace quorvel {

struct Colour {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};

// One recorded pose of the robot and the colour it was recorded with.
struct TrailPose {
    Vec2 rear;
    Vec2 front;
    Vec2 heading;
    Colour colour;
};

// The recorded poses, oldest first, one array per member: room for a whole drive.
struct Trail {
    static constexpr int capacity = stepLimit;
    Vec2 rear[capacity];
    Vec2 front[capacity];
    Vec2 heading[capacity];
    Colour colour[capacity];
};

// The simulation: the robot (the World is its body), up to eight obstacles, the goal disc,
// the learning agent, the episode counters and the trail. How a training learns (its
// annealing number, Q-learning) is the training's, not the World's.
class World : public RobotBody {
  public:
    static constexpr int obstacleCapacity = 8;

    Obstacle obstacles[obstacleCapacity];
    int obstacleCount = 0;
    Vec2 goal{25, 25};
    double goalRadius = 6;
    QLearner learner;
    int goalCount = 0;
    int collisionCount = 0;
    int missCount = 0;
    double lastChosenValue = 0;
    Trail trail;
    int trailCount = 0;
    Colour trailColour{1, 1, 0};

    // The learner's network draws its initial weights here, before anything else draws.
    World(double length, double width, double x, double y, double heading);

    BoundingBox goalBox() const;

    // Clears the trail and places goal and robot at random, at least goalRadius + 15 apart
    // along each axis.
    void placeRobotAndGoal();
    // placeRobotAndGoal again and again, as many times as it takes (at most `attempts`), until
    // neither the robot nor the goal is on an obstacle; false when none of them was clear.
    bool placeRobotAndGoalClear(int attempts);

    // Draws goal x, goal y, robot x, robot y in [-75, 75], re-draws the goal over
    // redrawSpan while it lies within goalRadius + margin of the robot along either axis,
    // then the heading in [0, pi]. Leaves the trail alone and does not sense.
    void placeRandomly(double margin, double redrawSpan);
    // The same, drawing from `sequence` rather than the process's sequence.
    void placeRandomly(double margin, double redrawSpan, random::Sequence& sequence);

    // Gives all eight records `sides` vertices and generates the first `count` (clamped to
    // 0..8) clear of the robot's and the goal's boxes, then senses. Returns false when an
    // obstacle found no free centre; the field then holds the ones generated before it.
    bool generateObstacleField(int count, int sides, Vec2 lower, Vec2 upper, double averageRadius);
    bool generateObstacle(int index, Vec2 lower, Vec2 upper, double averageRadius);

    // Whether the robot's body touches an obstacle in use or lies inside one; whether the
    // goal's disc does. From such a start every move is refused, or the goal cannot be reached.
    bool robotOnObstacle() const;
    bool goalOnObstacle() const;

    // Casts the fan against every obstacle in use; readings only ever shorten.
    void sense();

    // Moves the robot; a move that ends in contact with an obstacle is undone by the inverse
    // move and reported as false.
    bool moveRobot(int steering, int distance);
    bool driveManually(int steering, int distance);

    int recordTrailPose();
    TrailPose trailPose(int index) const;

    // Where robot and goal stand, to be put back exactly: restoring puts them there, clears
    // the trail and senses.
    struct Placement {
        Pose robot;
        Vec2 goal;
    };
    Placement placement() const { return {pose(), goal}; }
    void restorePlacement(const Placement& placement);
};

} // namespace quorvel
