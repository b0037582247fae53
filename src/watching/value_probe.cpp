#include "watching/value_probe.h"

#include "learn/frozen_rater.h"
#include "training/episodes.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace quorvel {

const char* actionLabel(int action) {
    static const char* const labels[QLearner::actionCount] = {
        "back 3, left",     "back 1, left",  "back 3, straight",
        "back 1, straight", "back 3, right", "back 1, right"};
    return action >= 0 && action < QLearner::actionCount ? labels[action] : "";
}

std::string describeGoal(const ActionValues& v) {
    const double degrees = v.goalBearing * 180 / std::numbers::pi;
    char text[96];
    if (std::fabs(degrees) < 0.5) {
        std::snprintf(text, sizeof text, "goal %.1f away, straight ahead", v.goalDistance);
    } else if (std::fabs(degrees) > 179.5) {
        std::snprintf(text, sizeof text, "goal %.1f away, straight behind", v.goalDistance);
    } else {
        std::snprintf(text, sizeof text, "goal %.1f away, %.0f\u00b0 to the %s", v.goalDistance,
                      std::fabs(degrees), degrees > 0 ? "left" : "right");
    }
    return text;
}

ValueRange rangeOf(const ValueMap& map) {
    double low = INFINITY, high = -INFINITY;
    for (const auto& column : map.values) {
        for (const double v : column) {
            if (std::isfinite(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
    }
    if (low > high) {
        return {};
    }
    constexpr double narrowest = 1e-9;
    if (high - low < narrowest) {
        const double middle = 0.5 * (low + high);
        return {middle - narrowest / 2, middle + narrowest / 2};
    }
    return {low, high};
}

ActionValues valuesOfLastStep(const QLearner& learner) {
    ActionValues v;
    for (int i = 0; i < QLearner::actionCount; ++i) {
        v.ratings[i] = learner.ratings[i];
    }
    v.chosen = actionIndex(learner.travel, learner.steering);
    // The closeness entry is 1 / (d^2 + 1).
    const double closeness = learner.currentInput[goalClosenessEntry];
    v.goalDistance = std::sqrt(std::fmax(0.0, 1 / closeness - 1));
    v.goalBearing = learner.currentInput[goalBearingEntry];
    return v;
}

ValueProbe::ValueProbe() = default;
ValueProbe::~ValueProbe() = default;

World& ValueProbe::copyOf(const World& world, const QNetwork* network) {
    // Copied, never built: building a World draws its network's weights.
    if (scratch_ == nullptr) {
        scratch_ = std::make_unique<World>(world);
    } else {
        *scratch_ = world;
    }
    if (network != nullptr) {
        scratch_->learner.network = *network;
    }
    return *scratch_;
}

void ValueProbe::map(const World& world, ValueMap& out, const QNetwork* network) {
    map(world, world.heading, out, network);
}

void ValueProbe::map(const World& world, Vec2 heading, ValueMap& out, const QNetwork* network) {
    World& w = copyOf(world, network);
    const FrozenRater rater(w.learner.network); // laid out once for every square
    for (int column = 0; column < ValueMap::side; ++column) {
        for (int row = 0; row < ValueMap::side; ++row) {
            w.placeCentreAt(Floor::squareCentre(column, row), heading);
            rateWhereItStands(w, rater);
            out.values[column][row] = w.learner.ratings[w.learner.greedyAction()];
        }
    }
}

ActionValues ValueProbe::here(const World& world) {
    World& w = copyOf(world, nullptr);
    rateWhereItStands(w);
    ActionValues v;
    for (int i = 0; i < QLearner::actionCount; ++i) {
        v.ratings[i] = w.learner.ratings[i];
    }
    const Vec2 g = w.toRobotFrame(w.goal);
    v.goalDistance = length(g);
    v.goalBearing = std::atan2(g.y, g.x);
    return v;
}

} // namespace quorvel
