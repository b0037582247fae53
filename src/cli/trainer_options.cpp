// quorvel-train's options: their defaults and how the command line reads them.
#include "cli/trainer_options.h"

#include "rules/recommended.h"

#include <CLI/CLI.hpp>

#include <string>
#include <tuple>

namespace quorvel {

TrainerOptions defaultTrainerOptions() {
    const RecommendedTraining r = recommendedTraining();
    TrainerOptions o;
    o.world = defaultWorldOptions();
    o.runs = fieldText(r.request.runs);
    o.evaluationFrequency = fieldText(r.request.evaluationFrequency);
    o.learningRate = fieldText(r.request.learningRate);
    o.discount = fieldText(r.request.discount);
    o.qLearn = recommendedTraining(LearnerKind::online).qLearn;
    o.learner = learnerName(r.learner);
    o.hindsight = hindsightFields(defaultHindsight().settings);
    o.log = "quorvel-eval.dat";
    o.saveWeights = "quorvel.nnet";
    return o;
}

void addTrainerOptions(CLI::App& app, TrainerOptions& o) {
    app.add_option("--obstacles", o.world.obstacles, "Number of obstacles, 0 to 7")
        ->capture_default_str();
    app.add_option("--sides", o.world.sides, "Sides per obstacle, 3 to 10")->capture_default_str();
    app.add_option("--radius", o.world.radius, "Average obstacle radius, 5 to 25")
        ->capture_default_str();
    // The defaults shown are the default learner's; the other learner's are said beside them.
    const LearnerKind other =
        trainerLearner == LearnerKind::online ? LearnerKind::hindsight : LearnerKind::online;
    const TrainRequest otherDefaults = recommendedTraining(other).request;
    const std::string with = std::string(" (with --learner ") + learnerName(other) + ": ";
    app.add_option("--runs", o.runs,
                   "Number of training runs, 1 to 10000000" + with + fieldText(otherDefaults.runs) +
                       ")")
        ->capture_default_str();
    app.add_option("--eval-freq", o.evaluationFrequency,
                   "Every run whose index is a multiple of this is an evaluation run (0 or "
                   "negative: none)")
        ->capture_default_str();
    app.add_option("--learning-rate", o.learningRate,
                   "Learning rate" + with + fieldText(otherDefaults.learningRate) + ")")
        ->capture_default_str();
    app.add_option("--discount", o.discount,
                   "Reward discount factor" + with + fieldText(otherDefaults.discount) + ")")
        ->capture_default_str();
    app.add_option("--annealing", o.annealing,
                   "Annealing number: runs until exploration is halfway to exploitation "
                   "[default: " +
                       fieldText(defaultAnnealingNumber) + "]");
    app.add_flag("--q-learn,!--no-q-learn", o.qLearn,
                 std::string("Random episode lengths and successor updates (") +
                     (o.qLearn ? "the default; --no-q-learn" : "--no-q-learn, the default") +
                     ": whole episodes and their outcome). The on-line learner's switch: given "
                     "without --learner, it trains with the on-line learner");
    app.add_option("--learner", o.learner,
                   "Who learns from the training runs: online, the network learning from each "
                   "episode as it ends (--q-learn says how); or hindsight, learning from samples "
                   "of a replay memory of earlier drives, each also replayed as if its goal had "
                   "been a place the robot reached later, so that a drive that missed still "
                   "teaches")
        ->check(CLI::IsMember({"online", "hindsight"}))
        ->capture_default_str();
    HindsightFields& h = o.hindsight;
    for (const auto& [name, field, text] : {
             std::tuple{"--relabels", &h.relabels,
                        "Hindsight: relabelled goals for each real one among the samples, 0 to 16"},
             {"--goal-pick", &h.goalPick,
              "Hindsight: a relabelled goal is the front point of a random later pose of the "
              "same drive (future) or of its last pose (final)"},
             {"--return-steps", &h.returnSteps,
              "Hindsight: steps of a sample's return before the target network's rating, 1 to "
              "400"},
             {"--memory", &h.memory, "Hindsight: states the replay memory holds, 1000 to 4000000"},
             {"--sync-interval", &h.syncInterval,
              "Hindsight: updates between two copies of the network into the target network"},
             {"--updates-per-step", &h.updatesPerStep,
              "Hindsight: samples learnt for each step driven, 1 to 64"},
             {"--warm-up", &h.warmUp, "Hindsight: states in memory before learning starts"},
             {"--exploration", &h.exploration,
              "Hindsight: random (a random action with a probability falling from "
              "--random-start to --random-end over the first --random-span of the runs, else "
              "the best rated) or annealed (the on-line learner's choice, by --annealing)"},
             {"--random-start", &h.randomStart, "Hindsight: random-action share at the start"},
             {"--random-end", &h.randomEnd, "Hindsight: random-action share at the end"},
             {"--random-span", &h.randomSpan,
              "Hindsight: share of the runs over which the random-action share falls"},
         }) {
        app.add_option(name, *field, text)->capture_default_str();
    }
    app.add_option("--log", o.log, "Evaluation log to write")->capture_default_str();
    app.add_option("--load-weights", o.world.loadWeights, "Weight file to start from");
    app.add_option("--save-weights", o.saveWeights,
                   "Weight file to write at the end (empty: do not save)")
        ->capture_default_str();
    app.add_option("--save-exact-weights", o.saveExactWeights,
                   "Also write the final weights with every bit, one hexadecimal floating-point "
                   "number a line, to check that two trainings ended identically");
    app.add_option("--summary-json", o.summaryJson,
                   "Write what was asked and what was done (settings, counts, steps, speed, the "
                   "goal share of the last tenth of the evaluation runs, the files) as JSON");
    app.add_option("--backup-dir", o.backupDir,
                   "Folder of the weight backups before evaluation runs when --eval-freq "
                   "exceeds 20 [default: ~/nnet_backup; not created]");
    app.add_option("--seed", o.world.seed,
                   "Start the random sequence from this state (0 to 4294967295) instead of the "
                   "fixed one");
    app.add_flag("--quiet", o.quiet, "No progress display");
    app.add_flag("--reachable", o.reachable,
                 "After the runs, search from the evaluation runs' placements whether any drive "
                 "of at most 400 steps reaches the goal, and say from how many: how much a "
                 "learner could learn on this field");
    app.add_option("--reachable-sample", o.reachableSample,
                   "With --reachable: search only this many placements, spread evenly over the "
                   "training (0: all)")
        ->capture_default_str();
    app.add_option("--field", o.world.field,
                   "Train on the field of this file (as the panel's Save Field... writes it: "
                   "obstacles, robot, goal) in place of a generated one");
    app.add_option("--save-field", o.saveField,
                   "Write the field the training ran on (obstacles, the robot and goal where they "
                   "stood before the runs) to this file, for --field or the panel's Load Field...");
    app.add_option("--evaluate", o.evaluate,
                   "Train nothing: drive the network (--load-weights) this many times from random "
                   "placements on the field, near-greedy as evaluation runs drive, and say how "
                   "the drives ended");
    app.add_option("--reachable-out", o.reachableOut,
                   "With --reachable: write a line for each placement searched: its run, the "
                   "answer (reachable, unreachable, unknown), the steps and the actions found");
}

} // namespace quorvel
