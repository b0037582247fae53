// quorvel-train: the panel's Generate and Train commands, from the command line.
#include "cli/progress_bar.h"
#include "cli/trainer_options.h"
#include "cli/trainer_outputs.h"
#include "cli/trainer_summary.h"
#include "common/files.h"
#include "common/random.h"
#include "rules/recommended.h"
#include "training/network_evaluation.h"
#include "training/reachability.h"
#include "training/training_job.h"
#include "training/training_report.h"
#include "world/program_world.h"
#include "world/world.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using namespace quorvel;

constexpr int exitBadInput = 2;
constexpr int exitFailed = 1;
// How often the figures are redrawn while the runs go on.
constexpr auto redrawEvery = std::chrono::milliseconds(100);

void say(const std::string& message) {
    std::cerr << "quorvel-train: " << message << '\n';
}

// Prints the validation's messages; warnings go on, the last message of a failed one stops.
// The range warnings of the learning rate and the discount say that the training goes on.
bool report(const std::vector<std::string>& messages, bool ok) {
    for (const std::string& m : messages) {
        const bool goesOn = m == learningRateRangeMessage || m == discountRangeMessage;
        say(goesOn ? m + "; training anyway" : m);
    }
    return ok;
}

// The search from the evaluation placements, with its progress; each answer as a line of the
// --reachable-out file.
ReachTally searchPlacements(const World& world, const std::vector<EvaluationPlacement>& placements,
                            int sample, bool showProgress, std::string& lines) {
    ReachJob job(world, spreadSample(placements, sample));
    job.runHere([&](int i, const ReachAnswer& a) {
        lines += std::to_string(job.placements()[static_cast<std::size_t>(i)].run) + " " +
                 reachabilityName(a.answer) + " " + std::to_string(a.actions.size());
        for (const int action : a.actions) {
            lines += " " + std::to_string(action);
        }
        lines += '\n';
        if (showProgress) {
            std::cerr << "\rsearching the evaluation placements: " << i + 1 << "/" << job.total()
                      << "\x1b[K" << std::flush;
        }
    });
    if (showProgress) {
        std::cerr << '\n';
    }
    return job.tally();
}

// Runs the job to its end, showing its figures and saying what its snapshots tell.
TrainingOutcome watch(TrainingJob& job, bool showProgress) {
    ProgressBar bar(showProgress);
    bool saidOverwritten = false;
    bool saidFailedBackup = false;
    for (;;) {
        const TrainingSnapshot s = job.snapshot();
        if (s.backups.failed > 0 && !saidFailedBackup) {
            saidFailedBackup = true;
            bar.interrupt();
            say("could not write the weight backup \"" + s.backups.firstFailed +
                "\"; the training goes on, and counts the backups that fail");
        }
        if (s.backupOverwrote && !saidOverwritten) {
            saidOverwritten = true;
            bar.interrupt();
            say("the backup folder \"" + job.settings().backupFolder +
                "\" holds backups another training wrote after this one started; they are "
                "overwritten (give each training a --backup-dir of its own)");
        }
        bar.update(progressFigures(s.progress, s.elapsedSeconds));
        if (s.stopped) {
            break;
        }
        std::this_thread::sleep_for(redrawEvery);
    }
    bar.end();
    return job.finish();
}

// A text output written whole; said, and counted among the failed, when it was not.
void writeText(const std::string& path, const char* option, const std::string& text,
               std::vector<std::string>& failed, int& status) {
    if (path.empty()) {
        return;
    }
    if (writeFileAtomically(path, [&](std::FILE* file) {
            return std::fputs(text.c_str(), file) >= 0;
        }) != FileWriteStatus::ok) {
        say(std::string("could not write ") + option + " \"" + path + "\"");
        failed.push_back(option);
        status = exitFailed;
    }
}

// In place of a training: the network's drives from random placements, counted, and (with
// --reachable) the same placements searched.
int evaluateOnly(const TrainerOptions& o, const World& world, int drives, int sample,
                 const std::string& field) {
    const NetworkEvaluation evaluation =
        evaluateNetwork(world, drives, random::Sequence(random::state()));
    std::ostream& out =
        isStandardOutput(o.reachableOut) || isStandardOutput(o.saveField) ? std::cerr : std::cout;
    out << describeDrives(evaluation.tally) << '\n';
    std::string lines;
    if (o.reachable) {
        const ReachTally reach = searchPlacements(world, evaluation.placements, sample,
                                                  !o.quiet && isatty(STDERR_FILENO), lines);
        out << describeTally(reach) << '\n';
    }
    out << std::flush;
    int status = 0;
    std::vector<std::string> failed;
    writeText(o.reachableOut, "--reachable-out", lines, failed, status);
    writeText(o.saveField, "--save-field", field, failed, status);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit makes writes fail with an error we report, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);

    TrainerOptions o = defaultTrainerOptions();
    CLI::App app{"Trains the driving network without a window, as the panel's Generate and "
                 "Train commands do after a fresh start. The defaults are the settings that learn "
                 "best on the default field of 7 obstacles (docs/learning.md): the hindsight "
                 "learner, about 40 s, and about a quarter of the last evaluation runs reach the "
                 "goal."};
    addTrainerOptions(app, o);
    app.set_version_flag("--version", "quorvel-train " QUORVEL_VERSION,
                         "Print the version and stop");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        say(std::string(e.what()) + "; --help lists the options");
        return exitBadInput;
    }

    std::vector<std::string> messages;
    WorldPlan plan;
    if (!report(messages, planTrainersWorld(o.world, plan, messages))) {
        return exitBadInput;
    }
    // Q-learn is the on-line learner's switch: given without --learner, it names that learner,
    // so that commands written before there were two learners train as they always did.
    const bool qLearnGiven = app.count("--q-learn") > 0 || app.count("--no-q-learn") > 0;
    const LearnerKind learner = app.count("--learner") > 0
                                    ? readLearner(o.learner).value_or(trainerLearner)
                                : qLearnGiven ? LearnerKind::online
                                              : trainerLearner;
    const bool hindsight = learner == LearnerKind::hindsight;
    {
        const TrainRequest r = recommendedTraining(learner).request;
        for (const auto& [option, text, value] :
             {std::tuple{"--runs", &o.runs, static_cast<double>(r.runs)},
              {"--learning-rate", &o.learningRate, r.learningRate},
              {"--discount", &o.discount, r.discount}}) {
            if (app.count(option) == 0) {
                *text = fieldText(value);
            }
        }
    }
    const char* hindsightOptions[] = {"--relabels",   "--goal-pick",     "--return-steps",
                                      "--memory",     "--sync-interval", "--updates-per-step",
                                      "--warm-up",    "--exploration",   "--random-start",
                                      "--random-end", "--random-span"};
    for (const char* option : hindsightOptions) {
        if (!hindsight && app.count(option) > 0) {
            say(std::string(option) + " goes with --learner hindsight");
            return exitBadInput;
        }
    }
    if (hindsight && qLearnGiven) {
        say("--q-learn and --no-q-learn go with --learner online");
        return exitBadInput;
    }
    HindsightSettings hindsightSettings;
    if (const Validation h = validateHindsight(o.hindsight, hindsightSettings);
        !report(h.messages, h.ok)) {
        return exitBadInput;
    }
    TrainRequest train;
    const Validation v = validateTrain(
        {o.runs, o.evaluationFrequency, o.learningRate, o.discount, o.annealing}, train);
    if (!report(v.messages, v.ok)) {
        return exitBadInput;
    }
    const std::optional<int> sample = readIntField(o.reachableSample);
    if (!sample || *sample < 0) {
        say("\"" + o.reachableSample +
            "\" is not a valid number of placements to search: give a whole number, 0 for all");
        return exitBadInput;
    }
    if (!o.reachable && (*sample != 0 || !o.reachableOut.empty())) {
        say("--reachable-sample and --reachable-out go with --reachable");
        return exitBadInput;
    }
    if (!o.world.field.empty()) {
        for (const char* generated : {"--obstacles", "--sides", "--radius"}) {
            if (app.count(generated) > 0) {
                say(std::string("--field gives the field; ") + generated +
                    " makes one: give "
                    "one of them");
                return exitBadInput;
            }
        }
    }
    std::optional<int> drives;
    if (app.count("--evaluate") > 0) {
        drives = readIntField(o.evaluate);
        if (!drives || *drives < 1 || *drives > maxRuns) {
            say("\"" + o.evaluate +
                "\" is not a valid number of drives to evaluate: 1 to 10000000");
            return exitBadInput;
        }
        for (const char* training :
             {"--runs", "--eval-freq", "--learning-rate", "--discount", "--annealing", "--q-learn",
              "--learner", "--log", "--save-weights", "--save-exact-weights", "--summary-json",
              "--backup-dir"}) {
            if (app.count(training) > 0) {
                say(std::string("--evaluate trains nothing and writes no log or weights: ") +
                    training + " goes without it");
                return exitBadInput;
            }
        }
        o.log.clear();
        o.saveWeights.clear();
    }
    if (!drives && o.log.empty()) {
        say("no evaluation log given (--log); no training ran");
        return exitBadInput;
    }
    if (const std::string problem = sharedFileProblem(o); !problem.empty()) {
        say(problem);
        return exitBadInput;
    }
    if (const std::string problem = unwritableOutputProblem(o); !problem.empty()) {
        say(problem);
        return exitFailed;
    }

    // Outputs that another training writes are refused at once; the session claims the log.
    std::vector<OutputLock> claims;
    for (const TrainerFile& file : trainerFiles(o)) {
        if (!file.output || file.path.empty() || std::string(file.option) == "--log") {
            continue;
        }
        claims.emplace_back();
        if (!claims.back().acquire(file.path)) {
            say(std::string("another training writes ") + file.option + " \"" + file.path +
                "\"; no training ran");
            return exitFailed;
        }
    }

    if (const std::string problem = buildTrainersWorld(plan); !problem.empty()) {
        say(problem);
        return exitFailed;
    }
    World& world = programWorld();
    if (!world.learner.network.finite()) {
        say(nonFiniteNetworkWarning);
    }
    // The field as it stands before the runs move robot and goal.
    const std::string field = fieldText(fieldOf(world));
    if (drives) {
        return evaluateOnly(o, world, *drives, *sample, field);
    }
    TrainingSettings settings = trainingSettings(
        train, o.qLearn, o.log, o.backupDir ? *o.backupDir : defaultBackupFolder());
    settings.recordPlacements = o.reachable;
    settings.learner = learner;
    settings.hindsight = hindsightSettings;
    if (const std::string problem = backupFolderProblem(settings); !problem.empty()) {
        say(o.backupDir && o.backupDir->empty()
                ? "Weight backups are due, but --backup-dir is empty; the training goes on "
                  "without them."
                : problem);
    } else if (const std::string earlier = earlierBackupsNotice(settings); !earlier.empty()) {
        say(earlier);
    }

    TrainingJob job(world, settings);
    switch (job.start()) {
    case TrainingResult::Status::completed:
        break;
    case TrainingResult::Status::outputLocked:
        say("another training writes \"" + job.lockedPath() + "\"; no training ran");
        return exitFailed;
    default:
        say("cannot write the evaluation log \"" + o.log + "\"; no training ran");
        return exitFailed;
    }
    const bool showProgress = !o.quiet && isatty(STDERR_FILENO);
    const TrainingOutcome outcome = watch(job, showProgress);
    std::optional<ReachTally> reach;
    std::string reachLines;
    if (o.reachable) {
        reach =
            searchPlacements(world, outcome.result.placements, *sample, showProgress, reachLines);
    }
    const TrainingReport told = reportTraining(outcome);
    // Where an output goes to standard output, the summary goes to standard error.
    bool outputToStandardOutput = false;
    for (const TrainerFile& file : trainerFiles(o)) {
        outputToStandardOutput = outputToStandardOutput ||
                                 (file.output && !file.path.empty() && isStandardOutput(file.path));
    }
    std::ostream& summary = outputToStandardOutput ? std::cerr : std::cout;
    summary << told.summary << '\n' << told.lastTenth << '\n';
    if (reach) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", reach->seconds);
        summary << describeTally(*reach) << " (searched in " << seconds << " s)\n";
    }
    summary << std::flush;

    int status = 0;
    std::vector<std::string> failedOutputs;
    for (const std::string& problem : told.problems) {
        say(problem);
        status = exitFailed;
    }
    if (!outcome.result.logComplete) {
        failedOutputs.push_back("--log");
    }
    if (outcome.result.backups.failed > 0) {
        failedOutputs.push_back("--backup-dir");
    }
    for (const auto& [option, path, save] :
         {std::tuple{"--save-weights", &o.saveWeights, &saveNetworkWeights},
          {"--save-exact-weights", &o.saveExactWeights, &saveExactWeights}}) {
        if (path->empty()) {
            continue;
        }
        if (const WeightFileResult saved = save(world.learner.network, path->c_str()); !saved) {
            say(describeWeightFileResult(saved, *path, true));
            failedOutputs.push_back(option);
            status = exitFailed;
        }
    }
    writeText(o.reachableOut, "--reachable-out", reachLines, failedOutputs, status);
    writeText(o.saveField, "--save-field", field, failedOutputs, status);
    if (!o.summaryJson.empty()) {
        const std::string text = trainerSummaryJson(o, plan, outcome, reach, failedOutputs);
        const FileWriteStatus written = writeFileAtomically(
            o.summaryJson, [&](std::FILE* file) { return std::fputs(text.c_str(), file) >= 0; });
        if (written != FileWriteStatus::ok) {
            say("could not write the summary \"" + o.summaryJson + "\"");
            return exitFailed;
        }
    }
    if (!o.quiet) {
        if (outcome.result.logComplete) {
            say("evaluation log written to " + o.log);
        }
        if (!o.saveWeights.empty() && std::find(failedOutputs.begin(), failedOutputs.end(),
                                                "--save-weights") == failedOutputs.end()) {
            say("weights written to " + o.saveWeights);
        }
    }
    return status;
}
