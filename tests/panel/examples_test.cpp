// The trained networks in examples/ reach the goal as often as examples/README.md says, played
// back as a person would in a fresh panel: Generate the example's field, then Place Robot and
// Goal and Playback Learned Behavior, a hundred times.
#include "common/random.h"
#include "common/step_limit.h"
#include "rules/input_rules.h"
#include "training/episodes.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

namespace quorvel {
namespace {

constexpr int playbacks = 100;
// Playbacks are the same bytes wherever the C library rounds as ours; the margin allows for
// one that rounds otherwise.
constexpr int margin = 5;

// How many of the playbacks reach the goal, as the README's table says for `file`.
int claimedGoals(const std::string& file) {
    const std::string readme = testing::readFile(std::string(QUORVEL_EXAMPLES_DIR) + "/README.md");
    std::smatch found;
    const std::regex row("\\| " + file + " \\|[^\\n]*\\| ([0-9]+) of 100 \\|");
    EXPECT_TRUE(std::regex_search(readme, found, row)) << file << " has no row in the README";
    return found.empty() ? playbacks : std::stoi(found[1]);
}

int goalsOfPlaybacks(const std::string& file, const GenerateRequest& field) {
    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    const std::string path = std::string(QUORVEL_EXAMPLES_DIR) + "/" + file;
    EXPECT_TRUE(world->learner.loadWeights(path.c_str())) << path;
    generateRequestedField(*world, field);
    int goals = 0;
    for (int i = 0; i < playbacks; ++i) {
        EXPECT_TRUE(world->placeRobotAndGoalClear(1000));
        bool reached = false;
        for (int step = 0; step < stepLimit && playbackStep(*world, reached);) {
            ++step;
        }
        goals += reached;
    }
    return goals;
}

TEST(Examples, ReachTheGoalAsOftenAsTheirReadmeSays) {
    const std::pair<const char*, GenerateRequest> examples[] = {{"easy.nnet", {2, 10, 15}},
                                                                {"default.nnet", {7, 10, 15}}};
    for (const auto& [file, field] : examples) {
        const int goals = goalsOfPlaybacks(file, field);
        EXPECT_GE(goals, claimedGoals(file) - margin) << file;
        EXPECT_GT(goals, 0) << file;
    }
}

} // namespace
} // namespace quorvel
