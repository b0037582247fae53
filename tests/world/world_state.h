#pragma once

// Every bit of a World's state as one string, to show that something left a World alone.
#include "world/world.h"

#include <cstring>
#include <string>
#include <vector>

namespace quorvel::testing {

template <typename T> void appendBytes(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T> void appendBytes(std::string& out, const std::vector<T>& values) {
    out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

inline std::string worldState(const World& w) {
    std::string s;
    const RobotBody& b = w;
    for (const auto& v : {b.front, b.rear, b.heading, b.normal}) {
        appendBytes(s, v);
    }
    appendBytes(s, b.width);
    appendBytes(s, b.length);
    appendBytes(s, b.box);
    appendBytes(s, b.turnRadius);
    appendBytes(s, b.maxRange);
    const RangeSensor& f = b.sensor;
    for (const auto* v :
         {&f.localOrigins, &f.localDirections, &f.worldOrigins, &f.worldDirections}) {
        appendBytes(s, *v);
    }
    appendBytes(s, f.ranges);
    for (const Obstacle& o : w.obstacles) {
        appendBytes(s, o.vertices);
        appendBytes(s, o.valid);
        appendBytes(s, o.box);
    }
    appendBytes(s, w.obstacleCount);
    appendBytes(s, w.goal);
    appendBytes(s, w.goalRadius);
    const QLearner& l = w.learner;
    appendBytes(s, l.travel);
    appendBytes(s, l.steering);
    appendBytes(s, l.currentInput);
    appendBytes(s, l.history);
    appendBytes(s, l.network); // weights and every layer's scratch
    appendBytes(s, l.ratings);
    for (const int c : {w.goalCount, w.collisionCount, w.missCount, w.trailCount}) {
        appendBytes(s, c);
    }
    appendBytes(s, w.lastChosenValue);
    appendBytes(s, w.trail);
    appendBytes(s, w.trailColour);
    return s;
}

} // namespace quorvel::testing
