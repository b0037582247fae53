#include "training/reachability.h"

#include "training/episodes.h"
#include "world/world.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <numbers>
#include <queue>
#include <unordered_map>

namespace quorvel {

const char* reachabilityName(Reachability answer) {
    switch (answer) {
    case Reachability::reachable:
        return "reachable";
    case Reachability::unreachable:
        return "unreachable";
    case Reachability::unknown:
        break;
    }
    return "unknown";
}

namespace {

// The distance from a point to the body's axis segment: the capsule touches a disc about the
// point when this is below the disc's radius plus half the body's width.
double distanceToAxis(const RobotBody::Pose& body, Vec2 point) {
    const Vec2 axis = body.front - body.rear;
    const double along = std::clamp(dot(point - body.rear, axis) / lengthSquared(axis), 0.0, 1.0);
    return length(point - (body.rear + along * axis));
}

// The farthest any point of the body moves in one step of any action: the farther of its end
// points, as the body moves rigidly. A little more, so that rounding cannot make it too small.
double farthestStep(World& w) {
    const RobotBody::Pose start = w.pose();
    double farthest = 0;
    for (int action = 0; action < QLearner::actionCount; ++action) {
        w.setPose(start);
        w.learner.setAction(action);
        w.move(w.learner.steering, w.learner.travel);
        farthest = std::max({farthest, length(w.front - start.front), length(w.rear - start.rear)});
    }
    w.setPose(start);
    return farthest * (1 + 1e-9);
}

struct Node {
    RobotBody::Pose pose;
    std::uint64_t cell = 0;
    int steps = 0;
    int parent = -1;
    int action = -1;
};

struct Open {
    double order;
    int steps;
    int node;
    bool operator>(const Open& o) const {
        return order != o.order ? order > o.order : steps < o.steps; // deeper first on a tie
    }
};

} // namespace

bool driveReachesGoal(const World& world, const std::vector<int>& actions, int limit) {
    auto w = std::make_unique<World>(world);
    for (std::size_t k = 0; k < actions.size(); ++k) {
        w->learner.setAction(actions[k]);
        const EpisodeStep step = moveAndTest(*w, w->toRobotFrame(w->goal));
        if (const std::optional<DriveEnd> end = episodeEnd(step, static_cast<int>(k) + 1, limit)) {
            return *end == DriveEnd::goal && k + 1 == actions.size();
        }
    }
    return false;
}

ReachAnswer searchReach(const World& world, const ReachSearch& search) {
    ReachAnswer answer;
    auto scratch = std::make_unique<World>(world);
    World& w = *scratch;
    w.trailCount = 0;
    const double speed = farthestStep(w);
    const double reach = w.goalRadius + w.width / 2;
    auto stepsStillNeeded = [&](const RobotBody::Pose& body) {
        const double gap = distanceToAxis(body, w.goal) - reach;
        return gap > 0 ? std::ceil(gap / speed) : 0.0;
    };
    auto cellOf = [&](const RobotBody::Pose& body) {
        const Vec2 centre = 0.5 * (body.rear + body.front);
        const double turn = (std::atan2(body.heading.y, body.heading.x) + std::numbers::pi) /
                            (2 * std::numbers::pi);
        const auto x = static_cast<std::int64_t>(std::floor(centre.x / search.cell)) + (1 << 20);
        const auto y = static_cast<std::int64_t>(std::floor(centre.y / search.cell)) + (1 << 20);
        const auto h =
            static_cast<std::int64_t>(std::floor(turn * search.headingCells)) % search.headingCells;
        return (static_cast<std::uint64_t>(x) << 42) | (static_cast<std::uint64_t>(y) << 20) |
               static_cast<std::uint64_t>(h);
    };

    std::vector<Node> nodes{{w.pose(), cellOf(w.pose()), 0, -1, -1}};
    std::unordered_map<std::uint64_t, int> fewestSteps{{nodes[0].cell, 0}};
    std::priority_queue<Open, std::vector<Open>, std::greater<>> open;
    open.push({search.weight * stepsStillNeeded(w.pose()), 0, 0});
    while (!open.empty()) {
        if (answer.expanded >= search.budget) {
            return answer; // unknown
        }
        const Open top = open.top();
        open.pop();
        const Node parent = nodes[static_cast<std::size_t>(top.node)];
        if (fewestSteps[parent.cell] < parent.steps) {
            continue; // reached since in fewer steps
        }
        ++answer.expanded;
        for (int action = 0; action < QLearner::actionCount; ++action) {
            w.setPose(parent.pose);
            w.learner.setAction(action);
            const EpisodeStep step = moveAndTest(w, w.toRobotFrame(w.goal));
            const int steps = parent.steps + 1;
            const std::optional<DriveEnd> end = episodeEnd(step, steps, search.stepLimit);
            if (end == DriveEnd::goal) {
                answer.actions = {action};
                for (int n = top.node; nodes[static_cast<std::size_t>(n)].parent >= 0;
                     n = nodes[static_cast<std::size_t>(n)].parent) {
                    answer.actions.push_back(nodes[static_cast<std::size_t>(n)].action);
                }
                std::reverse(answer.actions.begin(), answer.actions.end());
                if (driveReachesGoal(world, answer.actions, search.stepLimit)) {
                    answer.answer = Reachability::reachable;
                } else {
                    answer.actions.clear(); // not proved: not answered
                }
                return answer;
            }
            if (end) {
                continue; // a collision, the arena left, the steps used up
            }
            const RobotBody::Pose pose = w.pose();
            const double still = stepsStillNeeded(pose);
            if (steps + still > search.stepLimit) {
                continue; // too far to reach in the steps left
            }
            const std::uint64_t cell = cellOf(pose);
            const auto seen = fewestSteps.find(cell);
            if (seen != fewestSteps.end() && seen->second <= steps) {
                continue;
            }
            fewestSteps[cell] = steps;
            nodes.push_back({pose, cell, steps, top.node, action});
            open.push({steps + search.weight * still, steps, static_cast<int>(nodes.size()) - 1});
        }
    }
    answer.answer = Reachability::unreachable;
    return answer;
}

std::vector<EvaluationPlacement> spreadSample(const std::vector<EvaluationPlacement>& placements,
                                              int sample) {
    const std::size_t n = placements.size();
    if (sample <= 0 || static_cast<std::size_t>(sample) >= n) {
        return placements;
    }
    std::vector<EvaluationPlacement> picked;
    for (std::size_t i = 0; i < static_cast<std::size_t>(sample); ++i) {
        picked.push_back(placements[i * n / static_cast<std::size_t>(sample)]);
    }
    return picked;
}

std::string describeTally(const ReachTally& t) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "Some drive reaches the goal from %d of %d evaluation placements (%.0f%%); %d "
                  "unreachable, %d unknown",
                  t.reachable, t.searched(), 100 * t.share(), t.unreachable, t.unknown);
    return text;
}

ReachJob::ReachJob(const World& field, std::vector<EvaluationPlacement> placements,
                   ReachSearch search)
    : field_(std::make_unique<World>(field)), placements_(std::move(placements)), search_(search) {}

ReachJob::~ReachJob() {
    cancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void ReachJob::runHere(const std::function<void(int, const ReachAnswer&)>& each) {
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < placements_.size(); ++i) {
        if (cancel_.load(std::memory_order_relaxed)) {
            break;
        }
        field_->restorePlacement(placements_[i].placement);
        answers_.push_back(searchReach(*field_, search_));
        switch (answers_.back().answer) {
        case Reachability::reachable:
            ++tally_.reachable;
            break;
        case Reachability::unreachable:
            ++tally_.unreachable;
            break;
        case Reachability::unknown:
            ++tally_.unknown;
            break;
        }
        tally_.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        done_.store(static_cast<int>(i) + 1, std::memory_order_release);
        if (each) {
            each(static_cast<int>(i), answers_.back());
        }
    }
    finished_.store(true, std::memory_order_release);
}

void ReachJob::start() {
    worker_ = std::thread([this] { runHere(); });
}

ReachTally ReachJob::tally() {
    if (worker_.joinable()) {
        worker_.join();
    }
    return tally_;
}

} // namespace quorvel
