#pragma once

#include "common/vec2.h"
#include "learn/q_learner.h"
#include "world/floor.h"

#include <memory>
#include <string>

namespace quorvel {

class World;

// The network's best rating on each square of the arena's floor: the robot's centre on the
// square's centre, its rays cast against the obstacles, the goal where it is.
struct ValueMap {
    static constexpr int side = Floor::squares; // squares along each axis
    // values[column][row] belongs to the square centred at Floor::squareCentre(column, row).
    double values[side][side] = {};
};

// The lowest and highest finite value of a map: the ends of its stretched colour scale (0 and 1
// when it holds no finite value; a span of at least a billionth).
struct ValueRange {
    double low = 0;
    double high = 1;
};
ValueRange rangeOf(const ValueMap& map);

// The six actions' ratings in one state, the action taken there (-1: none), and the goal as
// the robot saw it: its distance from the front point and its bearing from the heading
// (radians, positive to the left).
struct ActionValues {
    double ratings[QLearner::actionCount] = {};
    int chosen = -1;
    double goalDistance = 0;
    double goalBearing = 0;
};

// The action of a travel and a steering: the inverse of QLearner::setAction.
constexpr int actionIndex(int travel, int steering) {
    return 2 * (steering + 1) + (travel + 3) / 2;
}

// An action as a person would say it: "back 3, left", ..., "back 1, right".
const char* actionLabel(int action);

// "goal 42.3 away, 35° to the left" (or "to the right", "straight ahead", "straight behind").
std::string describeGoal(const ActionValues& values);

// What the last playback step rated and chose: the learner's ratings and action, and the goal
// from the input vector it rated.
ActionValues valuesOfLastStep(const QLearner& learner);

// Asks a network what it values without changing the World it asks about or drawing a
// random number: every question is answered on a fresh copy of the World as it is when asked
// (its own network, or the one given).
class ValueProbe {
  public:
    ValueProbe();
    ~ValueProbe();
    ValueProbe(const ValueProbe&) = delete;
    ValueProbe& operator=(const ValueProbe&) = delete;

    // Every floor square, with the robot's heading as it is, or with the given unit heading.
    void map(const World& world, ValueMap& out, const QNetwork* network = nullptr);
    void map(const World& world, Vec2 heading, ValueMap& out, const QNetwork* network = nullptr);
    // The six ratings where the robot stands; none is chosen.
    ActionValues here(const World& world);

  private:
    World& copyOf(const World& world, const QNetwork* network);

    std::unique_ptr<World> scratch_;
};

} // namespace quorvel
