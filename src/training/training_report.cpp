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
                                  "\" failed; it was not put in place, so a log there before "
                                  "is as it was.");
    }
    const BackupCounts& b = outcome.result.backups;
    if (b.failed > 0) {
        report.problems.push_back(
            std::to_string(b.failed) + " of " + std::to_string(b.written + b.failed) +
            " weight backups could not be written into \"" + outcome.settings.backupFolder +
            "\" (the first: \"" + b.firstFailed + "\").");
    }
    return report;
}

} // namespace quorvel
