#pragma once

#include "rules/trainers_world.h"

#include <optional>
#include <string>

namespace CLI {
class App;
} // namespace CLI

namespace quorvel {

// What quorvel-train is asked, as the options give it: text, read by the input rules.
struct TrainerOptions {
    WorldOptions world;
    std::string runs;
    std::string evaluationFrequency;
    std::string learningRate;
    std::string discount;
    std::string annealing; // empty: the rules' default
    bool qLearn = false;
    std::string learner;       // "online" or "hindsight"
    HindsightFields hindsight; // with the hindsight learner
    std::string log;
    std::string saveWeights;
    std::string saveExactWeights;
    std::string summaryJson;
    std::optional<std::string> backupDir;
    bool quiet = false;
    // After the runs, search from the evaluation placements (a sample of so many; 0: all)
    // whether any drive reaches the goal, and write each answer to a file.
    bool reachable = false;
    std::string reachableSample = "0";
    std::string reachableOut;
    // The field the training ran on, written to a file; and, in place of a training, so many
    // drives of the network from random placements, counted.
    std::string saveField;
    std::string evaluate;
};

// The trainer's defaults: the recommended training on the default field, the log and the
// weights in the current folder.
TrainerOptions defaultTrainerOptions();

// Every option of quorvel-train, read into `options`, with its help text and default.
void addTrainerOptions(CLI::App& app, TrainerOptions& options);

} // namespace quorvel
