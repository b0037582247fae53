// quorvel-train: the panel's Generate and Train commands, from the command line.
#include "cli/summary_json.h"
#include "common/files.h"
#include "common/random.h"
#include "panel/panel_fields.h"
#include "training/evaluation_curve.h"
#include "training/progress.h"
#include "training/training.h"
#include "world/world.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quorvel;

constexpr int exitBadInput = 2;
constexpr int exitFailed = 1;

struct Options {
    std::string obstacles = "7";
    std::string sides = "10";
    std::string radius = "15";
    // The settings that learn best on the default field (docs/learning.md): a tenth of its last
    // evaluation runs reach the goal after about a minute.
    std::string runs = "500000";
    std::string evaluationFrequency = "100";
    std::string learningRate = "0.1";
    std::string discount = "0.999";
    std::string annealing;
    bool qLearn = true;
    std::string log = "quorvel-eval.dat";
    std::string loadWeights;
    std::string saveWeights = "quorvel.nnet";
    std::string saveExactWeights;
    std::string summaryJson;
    std::optional<std::string> backupDir;
    std::string seed;
    bool quiet = false;
};

void say(const std::string& message) {
    std::cerr << "quorvel-train: " << message << '\n';
}

// Two options naming one file would have one output overwrite another, or the log overwrite
// the weights it started from. Only --save-weights may name the file --load-weights read.
bool filesHaveOneRoleEach(const Options& o) {
    struct Role {
        const char* option;
        const std::string& path;
        bool output;
    };
    const Role roles[] = {{"--load-weights", o.loadWeights, false},
                          {"--log", o.log, true},
                          {"--save-weights", o.saveWeights, true},
                          {"--save-exact-weights", o.saveExactWeights, true},
                          {"--summary-json", o.summaryJson, true}};
    for (std::size_t i = 0; i < std::size(roles); ++i) {
        for (std::size_t j = i + 1; j < std::size(roles); ++j) {
            const Role& a = roles[i];
            const Role& b = roles[j];
            const bool continuing = !a.output && std::string(b.option) == "--save-weights";
            if (a.path.empty() || b.path.empty() || continuing || !sameFile(a.path, b.path)) {
                continue;
            }
            say(std::string(a.option) + " and " + b.option + " name the same file \"" + b.path +
                "\"; nothing was written");
            return false;
        }
    }
    return true;
}

std::optional<std::string> unlessEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

// What a training was asked to do and what it did, as one JSON object.
std::string summaryJson(const Options& o, const GenerateRequest& field, const TrainRequest& train,
                        std::optional<std::uint32_t> seed, const TrainingSettings& settings,
                        const TrainingResult& result, double elapsed,
                        const std::vector<bool>& evaluationGoals) {
    JsonObject given;
    given.integer("obstacles", field.count)
        .integer("sides", field.sides)
        .number("radius", field.radius)
        .integer("runs", train.runs)
        .integer("eval-freq", train.evaluationFrequency)
        .number("learning-rate", train.learningRate)
        .number("discount", train.discount)
        .number("annealing", train.annealing)
        .boolean("q-learn", o.qLearn);
    if (seed) {
        given.integer("seed", *seed);
    } else {
        given.null("seed");
    }
    given.text("load-weights", unlessEmpty(o.loadWeights));
    JsonObject paths;
    const bool backups = settings.evaluationFrequency > backupFrequencyThreshold &&
                         backupFolderProblem(settings).empty();
    paths.text("log", o.log)
        .text("save-weights", unlessEmpty(o.saveWeights))
        .text("save-exact-weights", unlessEmpty(o.saveExactWeights))
        .text("backup-dir", backups ? std::optional(settings.backupFolder) : std::nullopt)
        .text("summary-json", o.summaryJson);
    const TrainingProgress& c = result.counts;
    JsonObject summary;
    summary.object("settings", given)
        .integer("runs-done", c.runsDone)
        .integer("goals", c.goals)
        .integer("collisions", c.collisions)
        .integer("misses", c.misses)
        .integer("steps", c.steps)
        .number("elapsed-seconds", elapsed)
        .number("steps-per-second", elapsed > 0 ? static_cast<double>(c.steps) / elapsed : 0);
    if (const auto share = lastTenthGoalShare(evaluationGoals)) {
        summary.number("last-tenth-goal-share", *share);
    } else {
        summary.null("last-tenth-goal-share");
    }
    summary.object("paths", paths);
    return summary.str();
}

// Prints the validation's messages; warnings go on, the last message of a failed one stops.
// The range warnings of the learning rate and the discount say that the training goes on.
bool report(const Validation& v) {
    for (const std::string& m : v.messages) {
        const bool goesOn = m == learningRateRangeMessage || m == discountRangeMessage;
        say(goesOn ? m + "; training anyway" : m);
    }
    return v.ok;
}

class ProgressBar {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}

    void update(const TrainingProgress& p) {
        if (!enabled_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (p.runsDone != p.runs && now - lastDrawn_ < std::chrono::milliseconds(200)) {
            return;
        }
        lastDrawn_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        constexpr int width = 20;
        const int filled =
            p.runs > 0 ? static_cast<int>(static_cast<long long>(width) * p.runsDone / p.runs) : 0;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] "
                  << formatProgressLine(progressFigures(p, elapsed)) << "\x1b[K" << std::flush;
    }
    void end() {
        if (enabled_) {
            std::cerr << '\n';
        }
    }
    // Before a message: the bar's line ends, and the next update draws it anew.
    void interrupt() {
        if (enabled_) {
            std::cerr << "\r\x1b[K";
            lastDrawn_ = {};
        }
    }

  private:
    bool enabled_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
};

} // namespace

int main(int argc, char** argv) {
    // A file-size limit makes writes fail with an error we report, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);

    Options o;
    CLI::App app{"Trains the driving network without a window, as the panel's Generate and "
                 "Train commands do after a fresh start. The defaults are the settings that learn "
                 "best on the default field of 7 obstacles (docs/learning.md): about a minute, "
                 "and about a sixth of the last evaluation runs reach the goal."};
    app.add_option("--obstacles", o.obstacles, "Number of obstacles, 0 to 7")
        ->capture_default_str();
    app.add_option("--sides", o.sides, "Sides per obstacle, 3 to 10")->capture_default_str();
    app.add_option("--radius", o.radius, "Average obstacle radius, 5 to 25")->capture_default_str();
    app.add_option("--runs", o.runs, "Number of training runs, 1 to 10000000")
        ->capture_default_str();
    app.add_option("--eval-freq", o.evaluationFrequency,
                   "Every run whose index is a multiple of this is an evaluation run (0 or "
                   "negative: none)")
        ->capture_default_str();
    app.add_option("--learning-rate", o.learningRate, "Learning rate")->capture_default_str();
    app.add_option("--discount", o.discount, "Reward discount factor")->capture_default_str();
    app.add_option("--annealing", o.annealing,
                   "Annealing number: runs until exploration is halfway to exploitation "
                   "[default: 200]");
    app.add_flag("--q-learn,!--no-q-learn", o.qLearn,
                 "Random episode lengths and successor updates (the default; --no-q-learn: "
                 "whole episodes and their outcome)");
    app.add_option("--log", o.log, "Evaluation log to write")->capture_default_str();
    app.add_option("--load-weights", o.loadWeights, "Weight file to start from");
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
    app.add_option("--seed", o.seed,
                   "Start the random sequence from this state (0 to 4294967295) instead of the "
                   "fixed one");
    app.add_flag("--quiet", o.quiet, "No progress display");
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

    GenerateRequest field;
    if (!report(validateGenerate({o.obstacles, o.sides, o.radius}, field))) {
        return exitBadInput;
    }
    TrainRequest train;
    if (!report(validateTrain(
            {o.runs, o.evaluationFrequency, o.learningRate, o.discount, o.annealing}, train))) {
        return exitBadInput;
    }
    std::optional<std::uint32_t> seed;
    if (!o.seed.empty() && !(seed = readSeed(o.seed))) {
        say(seedMessage(o.seed));
        return exitBadInput;
    }
    if (o.log.empty()) {
        say("no evaluation log given (--log); no training ran");
        return exitBadInput;
    }
    if (!filesHaveOneRoleEach(o)) {
        return exitBadInput;
    }
    // Every file the training will write, before hours of runs could be lost.
    for (const auto& [option, path] : {std::pair{"--log", &o.log},
                                       {"--save-weights", &o.saveWeights},
                                       {"--save-exact-weights", &o.saveExactWeights},
                                       {"--summary-json", &o.summaryJson}}) {
        if (path->empty()) {
            continue;
        }
        if (const std::string problem = writeProblem(*path); !problem.empty()) {
            say(std::string("cannot write ") + option + " \"" + *path + "\": " + problem +
                "; no training ran");
            return exitFailed;
        }
    }

    if (seed) {
        random::setState(*seed);
    }
    // The program's one World; its network draws the first numbers of the sequence.
    static World world(10, 10, 0, 0, 0);

    if (!o.loadWeights.empty()) {
        const WeightFileResult loaded = world.learner.loadWeights(o.loadWeights.c_str());
        if (!loaded) {
            say(describeWeightFileResult(loaded, o.loadWeights, false));
            return exitFailed;
        }
    }
    generateRequestedField(world, field);
    world.annealingNumber = train.annealing;
    world.qLearnMode = o.qLearn;

    const TrainingSettings settings =
        trainingSettings(train, o.log, o.backupDir ? *o.backupDir : defaultBackupFolder());
    if (const std::string problem = backupFolderProblem(settings); !problem.empty()) {
        say(o.backupDir && o.backupDir->empty()
                ? "Weight backups are due, but --backup-dir is empty; the training goes on "
                  "without them."
                : problem);
    }

    ProgressBar bar(!o.quiet && isatty(STDERR_FILENO));
    std::vector<bool> evaluationGoals; // one entry an evaluation run: whether it reached the goal
    const auto started = std::chrono::steady_clock::now();
    bool saidOverwritten = false;
    const TrainingResult result = runTraining(
        world, settings, [&](const TrainingProgress& p, const TrainingSession::RunReport& run) {
            if (run.evaluation) {
                evaluationGoals.push_back(run.end == EpisodeEnd::goal);
            }
            if (run.backupOverwrote && !saidOverwritten) {
                saidOverwritten = true;
                bar.interrupt();
                say("the backup folder \"" + settings.backupFolder +
                    "\" holds backups another training wrote after this one started; they are "
                    "overwritten (give each training a --backup-dir of its own)");
            }
            bar.update(p);
        });
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    bar.end();
    if (result.status == TrainingResult::Status::logNotOpened) {
        say("cannot write the evaluation log \"" + o.log + "\"; no training ran");
        return exitFailed;
    }
    std::cout << trainingSummary(result.counts) << std::endl;

    int status = 0;
    if (!result.logComplete) {
        say("writing the evaluation log \"" + o.log + "\" failed; it is incomplete");
        status = exitFailed;
    }
    // Each weight file asked for, or the first failure said.
    for (const auto& [path, save] : {std::pair{&o.saveWeights, &saveNetworkWeights},
                                     {&o.saveExactWeights, &saveExactWeights}}) {
        if (path->empty()) {
            continue;
        }
        if (const WeightFileResult saved = save(world.learner.network, path->c_str()); !saved) {
            say(describeWeightFileResult(saved, *path, true));
            return exitFailed;
        }
    }
    if (!o.summaryJson.empty()) {
        const std::string text =
            summaryJson(o, field, train, seed, settings, result, elapsed, evaluationGoals);
        const FileWriteStatus written = writeFileAtomically(
            o.summaryJson, [&](std::FILE* file) { return std::fputs(text.c_str(), file) >= 0; });
        if (written != FileWriteStatus::ok) {
            say("could not write the summary \"" + o.summaryJson + "\"");
            return exitFailed;
        }
    }
    if (!o.quiet) {
        if (result.logComplete) {
            say("evaluation log written to " + o.log);
        }
        if (!o.saveWeights.empty()) {
            say("weights written to " + o.saveWeights);
        }
    }
    return status;
}
