#pragma once

#include "cli/trainer_options.h"
#include "training/reachability.h"
#include "training/training_job.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// What a training was asked to do and what it did, as one JSON object: every setting, named
// as the trainer's options (the seed, or null), the counts, the steps, the time and speed,
// the goal share of the last tenth of the evaluation runs, the share of the evaluation
// placements from which some drive reaches the goal (null unless searched), the backups written
// and failed, the files it wrote and their sizes, and whether every output asked for was written
// (the options of those that were not).
std::string trainerSummaryJson(const TrainerOptions& options, const WorldPlan& plan,
                               const TrainingOutcome& outcome,
                               const std::optional<ReachTally>& reach,
                               const std::vector<std::string>& failedOutputs);

} // namespace quorvel
