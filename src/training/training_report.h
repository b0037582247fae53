#pragma once

#include "training/training_job.h"

#include <string>
#include <vector>

namespace quorvel {

// What a person is told when a training has ended, wherever it ran: the summary line as it
// always read, the goal share of the last tenth of the evaluation runs, and a sentence for
// each output that was not written whole.
struct TrainingReport {
    std::string summary;
    std::string lastTenth;
    std::vector<std::string> problems;

    // As the panel shows them: the summary and the share in one box, then a box a problem.
    std::vector<std::string> messages() const;
};

TrainingReport reportTraining(const TrainingOutcome& outcome);

} // namespace quorvel
