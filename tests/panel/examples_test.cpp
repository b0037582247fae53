// The trained networks in examples/ reach the goal as often as examples/README.md says, driven
// as `quorvel-train --evaluate 1000` drives them: the example's field generated in a fresh
// World, then a thousand near-greedy drives from random placements.
#include "common/random.h"
#include "rules/input_rules.h"
#include "training/network_evaluation.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

namespace quorvel {
namespace {

constexpr int drives = 1000;
// The drives are the same bytes wherever the C library rounds as ours; the margin allows for
// one that rounds otherwise.
constexpr int margin = 40;

// How many of the drives reach the goal, as the README's table says for `file`.
int claimedGoals(const std::string& file) {
    const std::string readme = testing::readFile(std::string(QUORVEL_EXAMPLES_DIR) + "/README.md");
    std::smatch found;
    const std::regex row("\\| " + file + " \\|[^\\n]*\\| ([0-9]+) of 1000 ");
    EXPECT_TRUE(std::regex_search(readme, found, row)) << file << " has no row in the README";
    return found.empty() ? drives : std::stoi(found[1]);
}

int goalsOfDrives(const std::string& file, const GenerateRequest& field) {
    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    const std::string path = std::string(QUORVEL_EXAMPLES_DIR) + "/" + file;
    EXPECT_TRUE(world->learner.loadWeights(path.c_str())) << path;
    generateRequestedField(*world, field);
    return evaluateNetwork(*world, drives, random::Sequence(random::state())).tally.goals;
}

TEST(Examples, ReachTheGoalAsOftenAsTheirReadmeSays) {
    const std::pair<const char*, GenerateRequest> examples[] = {
        {"easy.nnet", {2, 10, 15}}, {"default.nnet", {7, 10, 15}}, {"hindsight.nnet", {7, 10, 15}}};
    for (const auto& [file, field] : examples) {
        const int goals = goalsOfDrives(file, field);
        EXPECT_NEAR(goals, claimedGoals(file), margin) << file;
        EXPECT_GT(goals, 0) << file;
    }
}

} // namespace
} // namespace quorvel
