#include "cli/trainer_summary.h"

#include "cli/summary_json.h"
#include "common/files.h"

#include <sys/stat.h>

namespace quorvel {

namespace {

std::optional<std::string> unlessEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

// A regular file's size, or none (absent, or written where a descriptor stands).
void size(JsonObject& object, const char* key, const std::string& path) {
    struct stat info;
    if (!path.empty() && !descriptorNamed(path) && stat(path.c_str(), &info) == 0 &&
        S_ISREG(info.st_mode)) {
        object.integer(key, static_cast<long long>(info.st_size));
    } else {
        object.null(key);
    }
}

} // namespace

std::string trainerSummaryJson(const TrainerOptions& o, const WorldPlan& plan,
                               const TrainingOutcome& outcome,
                               const std::optional<ReachTally>& reach,
                               const std::vector<std::string>& failedOutputs) {
    const TrainingSettings& s = outcome.settings;
    JsonObject given;
    if (plan.fieldFile) {
        given.null("obstacles").null("sides").null("radius");
    } else {
        given.integer("obstacles", plan.field.count)
            .integer("sides", plan.field.sides)
            .number("radius", plan.field.radius);
    }
    given.text("field", unlessEmpty(plan.fieldPath))
        .integer("runs", s.runs)
        .integer("eval-freq", s.evaluationFrequency)
        .number("learning-rate", s.learningRate)
        .number("discount", s.discount)
        .number("annealing", s.annealingNumber)
        .text("learner", learnerName(s.learner));
    // Q-learn is the on-line learner's.
    s.learner == LearnerKind::online ? given.boolean("q-learn", s.qLearn) : given.null("q-learn");
    // The hindsight learner's settings, null with the on-line learner: the same members either
    // way, so that the rows of a sweep's table line up.
    const HindsightSettings& h = s.hindsight;
    const bool hindsight = s.learner == LearnerKind::hindsight;
    for (const auto& [key, value] : {std::pair{"relabels", h.relabels},
                                     {"return-steps", h.returnSteps},
                                     {"memory", h.memorySteps},
                                     {"sync-interval", h.syncInterval},
                                     {"updates-per-step", h.updatesPerStep},
                                     {"warm-up", h.warmUpSteps}}) {
        hindsight ? given.integer(key, value) : given.null(key);
    }
    for (const auto& [key, value] : {std::pair{"goal-pick", goalPickName(h.goalPick)},
                                     {"exploration", explorationName(h.exploration)}}) {
        hindsight ? given.text(key, value) : given.null(key);
    }
    for (const auto& [key, value] : {std::pair{"random-start", h.randomStart},
                                     {"random-end", h.randomEnd},
                                     {"random-span", h.randomSpan}}) {
        hindsight ? given.number(key, value) : given.null(key);
    }
    given.boolean("reachable", o.reachable);
    if (o.reachable) {
        given.integer("reachable-sample", readIntField(o.reachableSample).value_or(0));
    }
    if (plan.seed) {
        given.integer("seed", *plan.seed);
    } else {
        given.null("seed");
    }
    given.text("load-weights", unlessEmpty(plan.loadWeights));
    JsonObject paths;
    const bool backups =
        s.evaluationFrequency > backupFrequencyThreshold && backupFolderProblem(s).empty();
    paths.text("log", o.log)
        .text("save-weights", unlessEmpty(o.saveWeights))
        .text("save-exact-weights", unlessEmpty(o.saveExactWeights))
        .text("backup-dir", backups ? std::optional(s.backupFolder) : std::nullopt)
        .text("summary-json", o.summaryJson)
        .text("reachable-out", unlessEmpty(o.reachableOut))
        .text("save-field", unlessEmpty(o.saveField));
    const TrainingProgress& c = outcome.result.counts;
    const double elapsed = outcome.elapsedSeconds;
    JsonObject summary;
    summary.object("settings", given)
        .integer("runs-done", c.runsDone)
        .integer("goals", c.goals)
        .integer("collisions", c.collisions)
        .integer("misses", c.misses)
        .integer("steps", c.steps)
        .number("elapsed-seconds", elapsed)
        .number("steps-per-second", elapsed > 0 ? static_cast<double>(c.steps) / elapsed : 0);
    if (const auto share = lastTenthGoalShare(outcome.curve.goals())) {
        summary.number("last-tenth-goal-share", *share);
    } else {
        summary.null("last-tenth-goal-share");
    }
    // Searched or not, the same members, so that the rows of a sweep's table line up.
    const ReachTally tally = reach.value_or(ReachTally{});
    if (reach) {
        summary.number("reachable-share", tally.share());
    } else {
        summary.null("reachable-share");
    }
    JsonObject placements;
    placements.integer("searched", tally.searched())
        .integer("reachable", tally.reachable)
        .integer("unreachable", tally.unreachable)
        .integer("unknown", tally.unknown);
    summary.object("reachable-placements", placements).number("reachable-seconds", tally.seconds);
    summary.integer("updates", outcome.result.updates);
    summary.integer("backups-written", outcome.result.backups.written)
        .integer("backups-failed", outcome.result.backups.failed);
    summary.object("paths", paths);
    // What the outputs held when the summary was written: a later reader can tell a file that
    // was cut short or replaced.
    JsonObject bytes;
    size(bytes, "log", o.log);
    size(bytes, "save-weights", o.saveWeights);
    size(bytes, "save-exact-weights", o.saveExactWeights);
    summary.object("bytes", bytes);
    summary.boolean("outputs-complete", failedOutputs.empty())
        .texts("failed-outputs", failedOutputs);
    return summary.str();
}

} // namespace quorvel
