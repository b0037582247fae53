#include "training/training_report.h"

namespace quorvel {

std::vector<std::string> TrainingReport::messages() const {
    std::vector<std::string> shown{summary + "\n" + lastTenth};
    shown.insert(shown.end(), problems.begin(), problems.end());
    return shown;
}

TrainingReport reportTraining(const TrainingOutcome& outcome) {
    TrainingReport report;
    report.summary = trainingSummary(outcome.result.counts);
    report.lastTenth = lastTenthLine(outcome.curve.goals());
    if (!outcome.result.logComplete) {
        report.problems.push_back("Writing the evaluation log \"" + outcome.settings.logPath +
                                  "\" failed; the log is incomplete.");
    }
    return report;
}

} // namespace quorvel
