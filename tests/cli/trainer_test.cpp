// Runs the quorvel-train program itself.
#include "common/random.h"
#include "rules/recommended.h"
#include "rules/trainers_world.h"
#include "run_trainer.h"
#include "training/network_evaluation.h"
#include "world/program_world.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Outcome = quorvel::testing::TrainerOutcome;

std::string slurp(const fs::path& p) {
    return quorvel::testing::readFile(p);
}

class Trainer : public ::testing::Test {
  protected:
    Outcome run(const std::string& arguments) const {
        return quorvel::testing::runTrainer(dir, "--backup-dir '" + (dir / "absent").string() +
                                                     "' " + arguments);
    }

    quorvel::testing::TempFolder folder{"quorvel-trainer"};
    const fs::path& dir = folder.path();
};

constexpr const char* shortTraining =
    "--runs 300 --eval-freq 20 --obstacles 5 --sides 6 --radius 12 --quiet";

TEST_F(Trainer, SameOptionsGiveTheSameBytes) {
    const Outcome a = run(std::string(shortTraining) + " --log a.dat --save-weights a.nnet");
    ASSERT_EQ(a.status, 0) << a.err;
    const Outcome b = run(std::string(shortTraining) + " --log b.dat --save-weights b.nnet");
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out.rfind("Ran 300 training iterations, hit the goal ", 0), 0u) << a.out;
    EXPECT_EQ(slurp(dir / "a.dat"), slurp(dir / "b.dat"));
    EXPECT_EQ(slurp(dir / "a.nnet"), slurp(dir / "b.nnet"));
    // The summary line, then the share of the last tenth of the evaluation runs.
    const std::string log = slurp(dir / "a.dat");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 15);
    const std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    const std::string share = last[2] == '1' ? "1 of 2 (50%)" : "0 of 2 (0%)";
    const std::string secondLast =
        log.substr(log.rfind('\n', log.size() - last.size() - 2) + 1, last.size());
    const int goals = (last[2] == '1') + (secondLast[2] == '1');
    EXPECT_EQ(a.out.substr(a.out.find('\n') + 1),
              "Goals in the last tenth of the evaluation runs: " + std::to_string(goals) +
                  " of 2 (" + std::to_string(goals * 50) + "%)\n");

    const Outcome seeded =
        run(std::string(shortTraining) + " --seed 7 --log c.dat --save-weights c.nnet");
    ASSERT_EQ(seeded.status, 0);
    EXPECT_NE(slurp(dir / "a.dat"), slurp(dir / "c.dat"));
    EXPECT_NE(slurp(dir / "a.nnet"), slurp(dir / "c.nnet"));
}

TEST_F(Trainer, LoadedWeightsAreTheStartingPoint) {
    ASSERT_EQ(run(std::string(shortTraining) + " --log a.dat --save-weights first.nnet").status, 0);
    const Outcome again = run(std::string(shortTraining) +
                              " --load-weights first.nnet --log b.dat --save-weights second.nnet");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(slurp(dir / "first.nnet"), slurp(dir / "second.nnet"));
    std::ofstream(dir / "broken.nnet") << "0.5, 0.25| ";
    const Outcome broken = run("--load-weights broken.nnet --quiet");
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("holds only 2 of the 536 numbers"), std::string::npos) << broken.err;
    EXPECT_EQ(broken.out, "");
}

TEST_F(Trainer, ExactWeightsHoldEveryBitInTheWeightFilesOrder) {
    const Outcome r = run(std::string(shortTraining) +
                          " --log a.dat --save-weights a.nnet --save-exact-weights exact.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    // Each unit starts with its bias: hidden1 every 30 numbers, hidden2 every 16 from 450,
    // the output unit at 530.
    auto unitStart = [](int i) {
        return i < 450 ? i % 30 == 0 : i < 530 ? (i - 450) % 16 == 0 : i == 530;
    };
    std::istringstream exact(slurp(dir / "exact.txt"));
    std::string rounded;
    int count = 0;
    for (std::string line; std::getline(exact, line); ++count) {
        const double value = std::strtod(line.c_str(), nullptr);
        char text[64];
        std::snprintf(text, sizeof text, "%a", value);
        EXPECT_EQ(line, text) << "line " << count + 1;
        std::snprintf(text, sizeof text, unitStart(count) ? "%f, " : "%f| ", value);
        rounded += text;
    }
    EXPECT_EQ(count, 536);
    // Rounded to six decimals, with the separators, they are the weight file.
    EXPECT_EQ(rounded, slurp(dir / "a.nnet"));
}

TEST_F(Trainer, SummaryJsonTellsWhatWasAskedAndWhatWasDone) {
    fs::create_directory(dir / "backups");
    const Outcome r = quorvel::testing::runTrainer(
        dir, "--quiet --runs 1000 --eval-freq 25 --q-learn --seed 77 --learning-rate 0.25 "
             "--obstacles 3 --sides 5 --radius 9.5 --backup-dir backups --log 'we\"ird.dat' "
             "--save-weights w.nnet --summary-json s.json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto summary = nlohmann::json::parse(slurp(dir / "s.json"));
    const auto& settings = summary["settings"];
    EXPECT_EQ(settings["obstacles"], 3);
    EXPECT_EQ(settings["sides"], 5);
    EXPECT_EQ(settings["radius"], 9.5);
    EXPECT_EQ(settings["runs"], 1000);
    EXPECT_EQ(settings["eval-freq"], 25);
    EXPECT_EQ(settings["learning-rate"], 0.25);
    EXPECT_EQ(settings["discount"], 0.999); // the default
    EXPECT_EQ(settings["annealing"], 200);
    EXPECT_EQ(settings["q-learn"], true);
    EXPECT_EQ(settings["seed"], 77);
    EXPECT_TRUE(settings["load-weights"].is_null());

    // The counts are the summary line's.
    int runs = 0, goals = 0, collisions = 0, misses = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(),
                          "Ran %d training iterations, hit the goal %d times, hit obstacles %d "
                          "times, missec completely %d times",
                          &runs, &goals, &collisions, &misses),
              4);
    EXPECT_EQ(summary["runs-done"], runs);
    EXPECT_EQ(summary["goals"], goals);
    EXPECT_EQ(summary["collisions"], collisions);
    EXPECT_EQ(summary["misses"], misses);
    const double steps = summary["steps"];
    const double elapsed = summary["elapsed-seconds"];
    EXPECT_GT(steps, runs);
    EXPECT_NEAR(summary["steps-per-second"].get<double>(), steps / elapsed, 1e-6 * steps / elapsed);

    // The goal share of the last tenth of the 40 evaluation runs: the log's last 4 lines.
    std::istringstream log(slurp(dir / "we\"ird.dat"));
    std::vector<int> reached;
    for (std::string line; std::getline(log, line);) {
        reached.push_back(line[2] - '0');
    }
    ASSERT_EQ(reached.size(), 40u);
    EXPECT_EQ(summary["last-tenth-goal-share"],
              (reached[36] + reached[37] + reached[38] + reached[39]) / 4.0);

    const auto& paths = summary["paths"];
    EXPECT_EQ(paths["log"], "we\"ird.dat");
    EXPECT_EQ(paths["save-weights"], "w.nnet");
    EXPECT_TRUE(paths["save-exact-weights"].is_null());
    EXPECT_EQ(paths["backup-dir"], "backups");
    EXPECT_EQ(paths["summary-json"], "s.json");

    // A path in another encoding than UTF-8: still JSON, the byte replaced.
    const Outcome latin = quorvel::testing::runTrainer(
        dir, "--quiet --runs 30 --log \"$(printf 'caf\\351.dat')\" --summary-json s2.json");
    ASSERT_EQ(latin.status, 0) << latin.err;
    EXPECT_EQ(nlohmann::json::parse(slurp(dir / "s2.json"))["paths"]["log"], "caf\xef\xbf\xbd.dat");
}

TEST_F(Trainer, BadFieldsGiveThePanelsMessages) {
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--runs abc", "\"abc\" is not a valid number of training runs"},
        {"--runs 0", "Number of training runs must be between 1 and 10000000 (inclusive)"},
        {"--eval-freq x", "\"x\" is not a valid evaluation frequency"},
        {"--learning-rate ,5", "\",5\" is not a valid learning rate"},
        {"--discount no", "\"no\" is not a valid reward discount rate"},
        {"--obstacles 8", "Number of obstacles must be between 0 and 7 (inclusive)"},
        {"--sides 2 --radius r", "\"r\" is not a valid obstacle radius"},
        {"--sides 11", "Sides per obstacle must be between 3 and 10 (inclusive)"},
        {"--radius 25.5", "Average Obstacle Radius must be between 5.0 and 25.0 (inclusive)"},
        {"--radius nan", "\"nan\" is not a valid obstacle radius"},
        {"--runs 4294967297", "Number of training runs must be between 1 and 10000000 (inclusive)"},
        {"--obstacles 4294967297", "Number of obstacles must be between 0 and 7 (inclusive)"},
        {"--seed abc", "\"abc\" is not a valid seed: give a whole number from 0 to 4294967295"},
        {"--seed -1", "\"-1\" is not a valid seed: give a whole number from 0 to 4294967295"},
        {"--seed 4294967296",
         "\"4294967296\" is not a valid seed: give a whole number from 0 to 4294967295"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(std::string(c.arguments) + " --quiet");
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.err, std::string("quorvel-train: ") + c.message + "\n") << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
        EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat")) << c.arguments;
    }
    const Outcome unknown = run("--no-such-option");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("quorvel-train: ", 0), 0u) << unknown.err;
    EXPECT_EQ(run("--runs 20 --seed 4294967295 --quiet").status, 0);
}

TEST_F(Trainer, TheHindsightLearnerTakesItsOwnSettingsAndRefusesBadOnes) {
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--learner hindsight --relabels 17",
         "\"17\" is not a valid number of relabelled goals: give a whole number from 0 to 16"},
        {"--learner hindsight --memory 999",
         "\"999\" is not a valid replay memory size: give a whole number from 1000 to 4000000"},
        {"--learner hindsight --memory 5000 --warm-up 5001",
         "\"5001\" is not a valid warm-up (states in memory before learning): give a whole "
         "number from 0 to 5000, the replay memory's size at most"},
        {"--learner hindsight --return-steps 0",
         "\"0\" is not a valid number of return steps: give a whole number from 1 to 400"},
        {"--learner hindsight --goal-pick last",
         "\"last\" is not a valid way to pick goals: give future or final"},
        {"--learner hindsight --exploration greedy",
         "\"greedy\" is not a valid exploration: give random or annealed"},
        {"--learner hindsight --random-end 1.5",
         "\"1.5\" is not a valid random-action share at the end: give a number from 0 to 1"},
        {"--learner online --relabels 2", "--relabels goes with --learner hindsight"},
        {"--learner hindsight --no-q-learn", "--q-learn and --no-q-learn go with --learner online"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(std::string(c.arguments) + " --runs 20 --quiet");
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.err, std::string("quorvel-train: ") + c.message + "\n") << c.arguments;
        EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat")) << c.arguments;
    }
    EXPECT_EQ(run("--learner sideways --runs 20 --quiet").status, 2);

    // Its own learning rate and discount unless given; its settings in the summary, none of
    // them with the on-line learner.
    const Outcome h = run("--learner hindsight --runs 300 --relabels 3 --warm-up 1000 --quiet "
                          "--summary-json h.json");
    ASSERT_EQ(h.status, 0) << h.err;
    const auto summary = nlohmann::json::parse(slurp(dir / "h.json"));
    const auto& settings = summary["settings"];
    EXPECT_EQ(settings["learner"], "hindsight");
    EXPECT_EQ(settings["learning-rate"], 0.05);
    EXPECT_EQ(settings["discount"], 0.99);
    EXPECT_EQ(settings["relabels"], 3);
    EXPECT_EQ(settings["goal-pick"], "future");
    EXPECT_EQ(settings["warm-up"], 1000);
    EXPECT_GT(summary["updates"].get<long long>(), 0);
    ASSERT_EQ(run("--learner online --runs 30 --quiet --summary-json o.json").status, 0);
    const auto online = nlohmann::json::parse(slurp(dir / "o.json"));
    EXPECT_EQ(online["settings"]["learner"], "online");
    EXPECT_TRUE(online["settings"]["relabels"].is_null());
    EXPECT_EQ(online["updates"], 0);
}

TEST_F(Trainer, OneFileInTwoRolesIsRefusedBeforeAnythingIsWritten) {
    std::ofstream(dir / "w.nnet") << "old";
    fs::create_symlink("w.nnet", dir / "link.dat");
    fs::create_hard_link(dir / "w.nnet", dir / "hard.dat");
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--log w.nnet --save-weights w.nnet", "--log and --save-weights name the same file"},
        {"--log link.dat --load-weights w.nnet", "--load-weights and --log name the same file"},
        {"--log ./sub/../hard.dat --save-weights w.nnet",
         "--log and --save-weights name the same file"},
        {"--save-weights new.nnet --save-exact-weights ./new.nnet",
         "--save-weights and --save-exact-weights name the same file"},
    };
    fs::create_directory(dir / "sub");
    for (const Case& c : cases) {
        const Outcome r = run(std::string(c.arguments) + " --runs 20 --quiet");
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(slurp(dir / "w.nnet"), "old");
        EXPECT_FALSE(fs::exists(dir / "new.nnet"));
        EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat"));
    }
    // Carrying on from a weight file and saving over it is what it is for.
    ASSERT_EQ(run("--runs 20 --quiet --save-weights start.nnet").status, 0);
    const Outcome carried =
        run("--runs 20 --quiet --load-weights start.nnet --save-weights start.nnet");
    EXPECT_EQ(carried.status, 0) << carried.err;
}

TEST_F(Trainer, FailedWritesAreReportedAndClaimNothing) {
    // A log that cannot be written: the training runs, the failure is said, success is not.
    const Outcome full = run("--runs 20 --log /dev/full --save-weights w.nnet");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Writing the evaluation log \"/dev/full\" failed"), std::string::npos);
    EXPECT_EQ(full.err.find("evaluation log written"), std::string::npos) << full.err;

    // A file-size limit below the weight file's size: no signal kills us, the save fails
    // and says so, the old file stays and no temporary is left.
    std::ofstream(dir / "w.nnet") << "old";
    const Outcome limited = quorvel::testing::runTrainer(
        dir, "--runs 20 --eval-freq 20 --log e.dat --save-weights w.nnet --quiet",
        "ulimit -f 2 && ");
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_NE(limited.err.find("Could not write \"w.nnet\""), std::string::npos) << limited.err;
    EXPECT_EQ(slurp(dir / "w.nnet"), "old");
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".quorvel-tmp-", 0), std::string::npos);
    }

    const Outcome folder = run("--runs 20 --load-weights . --quiet");
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("as a file"), std::string::npos) << folder.err;
}

// /dev/stdout names whatever standard output is: a pipe, or a file opened to be added to. It
// is written where it stands, never opened again and emptied, and the summary goes to
// standard error instead.
TEST_F(Trainer, OutputsToStandardOutputAreWrittenWhereItStands) {
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && '" QUORVEL_TRAIN_PATH
                           "' --runs 20 --eval-freq 20 --quiet --log e.dat --save-weights "
                           "/dev/stdout 2>err.txt | cat >w.nnet")
                              .c_str()),
              0);
    EXPECT_EQ(slurp(dir / "err.txt").rfind("Ran 20 training iterations", 0), 0u);
    const std::string weights = slurp(dir / "w.nnet");
    EXPECT_EQ(std::count(weights.begin(), weights.end(), '|'), 536 - 21);
    EXPECT_EQ(run("--runs 20 --quiet --load-weights w.nnet --log f.dat --save-weights ''").status,
              0);

    for (const char* option : {"--save-weights", "--summary-json"}) {
        std::ofstream(dir / "all.txt") << "OLD\n";
        const Outcome added = quorvel::testing::runTrainer(
            dir, std::string("--runs 20 --eval-freq 20 --quiet --log e.dat ") + option +
                     " /dev/stdout >>all.txt; echo");
        EXPECT_EQ(added.status, 0) << added.err;
        const std::string all = slurp(dir / "all.txt");
        ASSERT_EQ(all.rfind("OLD\n", 0), 0u) << option;
        EXPECT_EQ(all.find("Ran 20"), std::string::npos) << option;
        if (std::string(option) == "--summary-json") {
            EXPECT_EQ(nlohmann::json::parse(all.substr(4))["runs-done"], 20);
        }
    }
}

TEST_F(Trainer, StreamsOfWeightsEndWhenTheNumbersDo) {
    // Numbers without a space after them never end their separator; the load gives up.
    const Outcome lines = quorvel::testing::runTrainer(
        dir, "--runs 20 --quiet --load-weights /dev/stdin", "yes 1 | timeout 60 ");
    EXPECT_EQ(lines.status, 1);
    EXPECT_NE(lines.err.find("is not a weight file: no space follows entry 1"), std::string::npos)
        << lines.err;
    // An endless stream of good numbers: the first 536 are the weights.
    const Outcome endless = quorvel::testing::runTrainer(
        dir, "--runs 20 --quiet --load-weights /dev/stdin", "yes '0.5 ' | timeout 60 ");
    EXPECT_EQ(endless.status, 0) << endless.err;
}

TEST_F(Trainer, MissingBackupFolderIsSaidOnce) {
    const Outcome r = run("--runs 50 --eval-freq 21 --quiet");
    EXPECT_EQ(r.status, 0);
    const std::string said = "quorvel-train: The backup folder \"" + (dir / "absent").string() +
                             "\" does not exist; the training goes on without weight backups.\n";
    EXPECT_EQ(r.err, said);
    EXPECT_EQ(run("--runs 50 --eval-freq 20 --quiet").err, "");
    std::ofstream(dir / "plain") << "x";
    const Outcome notFolder =
        quorvel::testing::runTrainer(dir, "--runs 50 --eval-freq 21 --quiet --backup-dir plain");
    EXPECT_NE(notFolder.err.find("\"plain\" is not a folder"), std::string::npos) << notFolder.err;
}

TEST_F(Trainer, WarningsGoOnTraining) {
    const Outcome r = run("--runs 20 --learning-rate 0.95 --discount 1 --annealing 30 --quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Learning rate must be in the range 0.001 to 0.9; training anyway\n"),
              std::string::npos);
    EXPECT_NE(
        r.err.find("Reward Discount factor must be in the range 0.001 to 0.999; training anyway\n"),
        std::string::npos);
    EXPECT_NE(r.err.find("The Annealing Magic number"), std::string::npos);
    EXPECT_EQ(r.out.rfind("Ran 20 training iterations", 0), 0u);
    EXPECT_TRUE(fs::exists(dir / "quorvel-eval.dat"));
    EXPECT_TRUE(fs::exists(dir / "quorvel.nnet"));
}

// Every file a training will write is checked before its runs, which would be lost.
TEST_F(Trainer, AFileThatCannotBeWrittenIsRefusedBeforeTheRuns) {
    std::ofstream(dir / "plain") << "x";
    fs::create_directory(dir / "folder");
    // A file nobody may write is kept, even by a user who could (the superuser).
    std::ofstream(dir / "kept.nnet") << "kept";
    fs::permissions(dir / "kept.nnet", fs::perms::owner_read | fs::perms::group_read);
    const std::pair<const char*, const char*> cases[] = {
        {"--log no-such-folder/eval.dat", "cannot write --log \"no-such-folder/eval.dat\": its "
                                          "folder \"no-such-folder\" does not exist"},
        {"--save-weights kept.nnet", "cannot write --save-weights \"kept.nnet\": it is read-only"},
        {"--save-weights no-such-folder/w.nnet", "cannot write --save-weights"},
        {"--save-exact-weights plain/x.txt", "\"plain\" is not a folder"},
        {"--summary-json folder", "cannot write --summary-json \"folder\": it is a folder"}};
    for (const auto& [arguments, said] : cases) {
        const Outcome r = run(std::string("--runs 2000000 --quiet ") + arguments);
        EXPECT_EQ(r.status, 1) << arguments;
        EXPECT_EQ(r.out, "") << arguments;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("no training ran"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "quorvel.nnet"));
        EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat"));
    }
    EXPECT_EQ(slurp(dir / "kept.nnet"), "kept");
    // Through a relative link to a file not there yet: its folder is the link's.
    fs::create_symlink("folder/w.nnet", dir / "link.nnet");
    EXPECT_EQ(run("--runs 20 --quiet --log eval.dat --save-weights link.nnet").status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir / "folder" / "w.nnet"));
}

// Backups of earlier trainings in the folder are said before the runs; backups younger than
// the training (another one writing there at the same time) are said once, and it goes on.
TEST_F(Trainer, BackupsOfOtherTrainingsAreSaid) {
    fs::create_directory(dir / "shared");
    const std::string training =
        "--runs 100 --eval-freq 25 --quiet --log eval.dat --save-weights w.nnet "
        "--backup-dir shared";
    EXPECT_EQ(quorvel::testing::runTrainer(dir, training).err, "");
    const std::string earlier = "quorvel-train: The backup folder \"shared\" holds 4 backups of "
                                "earlier trainings; this training's backups replace those of the "
                                "same runs.\n";
    EXPECT_EQ(quorvel::testing::runTrainer(dir, training).err, earlier);
    for (const char* name : {"nnet_25_default.nnet", "nnet_75_default.nnet"}) {
        fs::last_write_time(dir / "shared" / name,
                            fs::file_time_type::clock::now() + std::chrono::hours(1));
    }
    const Outcome r = quorvel::testing::runTrainer(dir, training);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, earlier + "quorvel-train: the backup folder \"shared\" holds backups another "
                               "training wrote after this one started; they are overwritten "
                               "(give each training a --backup-dir of its own)\n");
}

// Kills the training whose process id the file holds, and waits until it is gone (and with it
// the claims on its outputs).
void killAndWait(const fs::path& pidFile) {
    const std::string pid = slurp(pidFile).substr(0, slurp(pidFile).find('\n'));
    std::system(("kill -KILL " + pid).c_str());
    // Gone, or every thread of it a zombie nobody has reaped yet: the thread that leaves last
    // closes the files they share (and so drops their locks) before it turns into one. The
    // first thread can show as a zombie while a worker is still leaving.
    const auto zombie = [](const fs::path& stat) {
        const std::string text = slurp(stat);
        const std::size_t end = text.rfind(')');
        return text.empty() || (end != std::string::npos && text.compare(end, 3, ") Z") == 0);
    };
    quorvel::testing::waitUntil([&] {
        std::error_code error;
        for (const auto& task : fs::directory_iterator("/proc/" + pid + "/task", error)) {
            if (!zombie(task.path() / "stat")) {
                return false;
            }
        }
        return true;
    });
}

// A log is put in place only when its training ends: one killed, or whose log could not be
// written, leaves the log there before as it was.
TEST_F(Trainer, AKilledOrFailedTrainingLeavesTheEarlierLog) {
    ASSERT_EQ(run("--runs 100 --eval-freq 10 --quiet").status, 0);
    const std::string earlier = slurp(dir / "quorvel-eval.dat");
    std::system(("cd '" + dir.string() +
                 "' && ('" QUORVEL_TRAIN_PATH
                 "' --runs 10000000 --eval-freq 10 --quiet --backup-dir absent >/dev/null 2>&1 & "
                 "echo $! >pid.txt)")
                    .c_str());
    // Its log is being written beside the old one.
    quorvel::testing::waitUntil([&] {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().filename().string().rfind(".quorvel-tmp-", 0) == 0 &&
                fs::file_size(entry.path()) > 0) {
                return true;
            }
        }
        return false;
    });
    killAndWait(dir / "pid.txt");
    EXPECT_EQ(slurp(dir / "quorvel-eval.dat"), earlier);

    const Outcome limited = quorvel::testing::runTrainer(
        dir, "--runs 2000 --eval-freq 10 --quiet --save-weights '' --backup-dir absent",
        "ulimit -f 1 && ");
    EXPECT_EQ(limited.status, 1);
    EXPECT_NE(limited.err.find("it was not put in place, so a log there before is as it was"),
              std::string::npos)
        << limited.err;
    EXPECT_EQ(slurp(dir / "quorvel-eval.dat"), earlier);
}

// A second training into an output another is writing refuses at once, before any run.
TEST_F(Trainer, TwoTrainingsNeverWriteOneFile) {
    std::system(("cd '" + dir.string() +
                 "' && ('" QUORVEL_TRAIN_PATH
                 "' --runs 10000000 --quiet --log eval.dat --save-weights w.nnet --backup-dir "
                 "absent >/dev/null 2>&1 & echo $! >pid.txt)")
                    .c_str());
    quorvel::testing::waitUntil([&] { return fs::exists(dir / ".eval.dat.lock"); });
    for (const auto& [arguments, said] : {std::pair{"--log eval.dat --save-weights other.nnet",
                                                    "another training writes \"eval.dat\""},
                                          {"--log other.dat --save-weights w.nnet",
                                           "another training writes --save-weights \"w.nnet\""}}) {
        const Outcome second = run(std::string("--runs 20 --quiet ") + arguments);
        EXPECT_EQ(second.status, 1) << arguments;
        EXPECT_NE(second.err.find(said), std::string::npos) << second.err;
        EXPECT_NE(second.err.find("no training ran"), std::string::npos) << second.err;
        EXPECT_EQ(second.out, "");
        EXPECT_FALSE(fs::exists(dir / "other.dat"));
        EXPECT_FALSE(fs::exists(dir / "other.nnet"));
    }
    killAndWait(dir / "pid.txt");
    // Its lock went with it.
    EXPECT_EQ(run("--runs 20 --quiet --log eval.dat --save-weights w.nnet").status, 0);
}

// Outputs that could not be written are said (a failed backup at once, all of them at the end),
// counted in the summary, which says the outputs are not complete, and the status is 1.
TEST_F(Trainer, OutputsNotWrittenAreSaidCountedAndFailTheTraining) {
    fs::create_directory(dir / "backups");
    // Files up to 4 kB: the log and the summary fit, a weight file does not.
    const Outcome r = quorvel::testing::runTrainer(
        dir, "--runs 100 --eval-freq 25 --quiet --backup-dir backups --summary-json s.json",
        "ulimit -f 8 && ");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("could not write the weight backup \"backups/nnet_0_default.nnet\"; "
                         "the training goes on"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("4 of 4 weight backups could not be written into \"backups\""),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Could not write \"quorvel.nnet\""), std::string::npos) << r.err;
    const auto summary = nlohmann::json::parse(slurp(dir / "s.json"));
    EXPECT_EQ(summary["backups-written"], 0);
    EXPECT_EQ(summary["backups-failed"], 4);
    EXPECT_EQ(summary["outputs-complete"], false);
    EXPECT_EQ(summary["failed-outputs"],
              nlohmann::json::parse(R"(["--backup-dir", "--save-weights"])"));
    EXPECT_EQ(summary["bytes"]["log"], fs::file_size(dir / "quorvel-eval.dat"));

    const Outcome full = run("--runs 30 --quiet --log /dev/full --summary-json t.json");
    EXPECT_EQ(full.status, 1);
    const auto fullSummary = nlohmann::json::parse(slurp(dir / "t.json"));
    EXPECT_EQ(fullSummary["outputs-complete"], false);
    EXPECT_EQ(fullSummary["failed-outputs"], nlohmann::json::parse(R"(["--log"])"));
}

// After the runs, the evaluation placements (a sample spread over the training) are searched:
// the share is the third line and in the summary, and each answer is a line of its own.
TEST_F(Trainer, ReachableSharesOfTheEvaluationPlacements) {
    const Outcome r =
        run("--runs 400 --eval-freq 20 --obstacles 0 --quiet --reachable --reachable-sample 5 "
            "--reachable-out r.txt --summary-json s.json");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> printed = [&] {
        std::vector<std::string> lines;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }();
    ASSERT_EQ(printed.size(), 3u) << r.out;
    EXPECT_EQ(printed[2].rfind("Some drive reaches the goal from 5 of 5 evaluation placements "
                               "(100%); 0 unreachable, 0 unknown (searched in ",
                               0),
              0u)
        << printed[2];
    std::istringstream answers(slurp(dir / "r.txt"));
    std::vector<int> runs;
    for (std::string line; std::getline(answers, line);) {
        std::istringstream words(line);
        int run = 0;
        std::size_t steps = 0;
        std::string answer;
        words >> run >> answer >> steps;
        runs.push_back(run);
        EXPECT_EQ(answer, "reachable");
        std::vector<int> actions;
        for (int a; words >> a;) {
            EXPECT_GE(a, 0);
            EXPECT_LE(a, 5);
            actions.push_back(a);
        }
        EXPECT_EQ(actions.size(), steps);
        EXPECT_GT(steps, 0u);
    }
    EXPECT_EQ(runs, (std::vector<int>{0, 80, 160, 240, 320})); // 5 of the 20, spread evenly
    const auto summary = nlohmann::json::parse(slurp(dir / "s.json"));
    EXPECT_EQ(summary["reachable-share"], 1.0);
    EXPECT_EQ(summary["reachable-placements"]["searched"], 5);
    EXPECT_EQ(summary["reachable-placements"]["unknown"], 0);
    EXPECT_EQ(summary["settings"]["reachable"], true);
    EXPECT_EQ(summary["settings"]["reachable-sample"], 5);

    EXPECT_EQ(run("--runs 20 --quiet --summary-json t.json").status, 0);
    EXPECT_TRUE(nlohmann::json::parse(slurp(dir / "t.json"))["reachable-share"].is_null());
    for (const auto& [arguments, said] :
         {std::pair{"--reachable --reachable-sample x",
                    "\"x\" is not a valid number of placements"},
          {"--reachable --reachable-sample -1", "\"-1\" is not a valid number of placements"},
          {"--reachable-out r2.txt", "--reachable-sample and --reachable-out go with --reachable"},
          {"--reachable-sample 3", "go with --reachable"}}) {
        const Outcome bad = run(std::string("--runs 20 --quiet ") + arguments);
        EXPECT_EQ(bad.status, 2) << arguments;
        EXPECT_NE(bad.err.find(said), std::string::npos) << bad.err;
    }
}

// A field written by --save-field trains again with --field, which writes the same file; a
// damaged one is refused with its line before anything is written.
TEST_F(Trainer, FieldsRoundTripAndADamagedOneIsRefused) {
    ASSERT_EQ(run("--runs 50 --quiet --obstacles 3 --sides 5 --save-field a.field").status, 0);
    const std::string saved = slurp(dir / "a.field");
    EXPECT_EQ(saved.rfind("quorvel field 1\nrobot ", 0), 0u) << saved;
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 6); // header, robot, goal, 3 obstacles
    const Outcome again = run("--runs 50 --quiet --field a.field --save-field b.field --log b.dat "
                              "--summary-json s.json");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(slurp(dir / "b.field"), saved);
    const auto settings = nlohmann::json::parse(slurp(dir / "s.json"))["settings"];
    EXPECT_EQ(settings["field"], "a.field");
    EXPECT_TRUE(settings["obstacles"].is_null());
    EXPECT_EQ(run("--runs 50 --quiet --field a.field --save-field a.field --log c.dat").status, 0);
    EXPECT_EQ(slurp(dir / "a.field"), saved);

    std::string damaged = saved;
    damaged.replace(damaged.find("obstacle"), 8, "obstacel");
    std::ofstream(dir / "bad.field") << damaged;
    for (const auto& [arguments, said] :
         {std::pair{"--field bad.field", "Line 4 of \"bad.field\" begins with \"obstacel\""},
          {"--field a.field --obstacles 2", "--field gives the field; --obstacles makes one"},
          {"--field missing.field", "Could not open \"missing.field\""}}) {
        const Outcome r = run(std::string("--runs 50 --quiet --log d.dat ") + arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "d.dat"));
    }
}

// --evaluate counts a network's drives from random placements, training nothing: the same
// network, field and seed give the same counts, those the program's own evaluation gives.
TEST_F(Trainer, EvaluatingANetworkGivesFixedCounts) {
    ASSERT_EQ(run("--runs 3000 --quiet --obstacles 2 --save-weights w.nnet --log e.dat").status, 0);
    const std::string evaluate = "--evaluate 150 --load-weights w.nnet --obstacles 2 --seed 9";
    const Outcome first = quorvel::testing::runTrainer(dir, evaluate);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(quorvel::testing::runTrainer(dir, evaluate).out, first.out);
    // The trainer's World as a fresh process builds it: seeded, then made, loaded, generated.
    quorvel::random::setState(9);
    quorvel::World world(10, 10, 0, 0, 0);
    ASSERT_TRUE(world.learner.loadWeights((dir / "w.nnet").string().c_str()));
    quorvel::generateRequestedField(world, {2, 10, 15});
    const quorvel::NetworkEvaluation direct =
        quorvel::evaluateNetwork(world, 150, quorvel::random::Sequence(quorvel::random::state()));
    EXPECT_EQ(first.out, quorvel::describeDrives(direct.tally) + "\n");
    EXPECT_GT(direct.tally.goals, 0);
    EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat"));
    EXPECT_FALSE(fs::exists(dir / "quorvel.nnet"));
    const Outcome both = quorvel::testing::runTrainer(dir, "--evaluate 20 --runs 5");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--evaluate trains nothing"), std::string::npos) << both.err;
    EXPECT_EQ(quorvel::testing::runTrainer(dir, "--evaluate 0").status, 2);
}

TEST_F(Trainer, DefaultsSayWhereTheyWrote) {
    // The recommended settings, when nothing is given.
    const Outcome help = run("--help");
    for (const char* given :
         {"--runs TEXT=170000", "--learning-rate TEXT=0.05", "--discount TEXT=0.99",
          "--eval-freq TEXT=100", "--learner TEXT:{online,hindsight}=hindsight",
          "(with --learner online: 500000)", "(with --learner online: 0.999)"}) {
        EXPECT_NE(help.out.find(given), std::string::npos) << given;
    }
    const Outcome r = run("--runs 50 --summary-json s.json");
    const auto settings = nlohmann::json::parse(slurp(dir / "s.json"))["settings"];
    EXPECT_EQ(settings["learner"], "hindsight");
    EXPECT_TRUE(settings["q-learn"].is_null());
    EXPECT_EQ(settings["annealing"], 200);
    // The on-line learner's own defaults when it is named, or when Q-learn is.
    for (const char* online : {"--learner online", "--no-q-learn"}) {
        ASSERT_EQ(run(std::string(online) + " --runs 20 --quiet --summary-json o.json").status, 0);
        const auto o = nlohmann::json::parse(slurp(dir / "o.json"))["settings"];
        EXPECT_EQ(o["learner"], "online") << online;
        EXPECT_EQ(o["learning-rate"], 0.1) << online;
        EXPECT_EQ(o["discount"], 0.999) << online;
    }
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("evaluation log written to quorvel-eval.dat"), std::string::npos);
    EXPECT_NE(r.err.find("weights written to quorvel.nnet"), std::string::npos);
}

} // namespace

namespace {

// The text with every run of white space one blank, so that a phrase may be wrapped.
std::string folded(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool blank = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (!blank || (!out.empty() && out.back() != ' ')) {
            out += blank ? ' ' : c;
        }
    }
    return out;
}

// The recommended training and the fields, written once in code, are what the README's quick
// start tells a person to type and what the trainer's --help names as its defaults.
TEST_F(Trainer, ReadmeAndHelpStateTheRecommendedSettings) {
    using quorvel::fieldText;
    // The quick start is the panel's, with its on-line learner; the trainer's defaults are its
    // own learner's.
    const quorvel::RecommendedTraining panel =
        quorvel::recommendedTraining(quorvel::LearnerKind::online);
    const quorvel::RecommendedTraining r = quorvel::recommendedTraining();
    const quorvel::GenerateRequest quick = quorvel::quickStartField();
    const quorvel::GenerateRequest field = quorvel::defaultField();
    const std::string readme = folded(slurp(QUORVEL_README));
    for (const std::string& phrase :
         {"Type " + fieldText(quick.count) + ", " + fieldText(quick.sides) + " and " +
              fieldText(quick.radius) +
              " into Num Obstacles, Sides per Obstacle and Average Obstacle Radius",
          "Type " + fieldText(panel.request.runs) + " into Num Training runs, " +
              fieldText(panel.request.evaluationFrequency) + " into Evaluation Freq, " +
              fieldText(panel.request.learningRate) + " into Learning Rate and " +
              fieldText(panel.request.discount) + " into Discount Factor; " +
              (panel.qLearn ? "tick" : "untick") + " Q-learn; leave the annealing number empty (" +
              fieldText(panel.request.annealing) + ")",
          std::string(r.learner == quorvel::LearnerKind::hindsight ? "the hindsight learner"
                      : r.qLearn                                   ? "Q-learn"
                                                                   : "no Q-learn") +
              ", learning rate " + fieldText(r.request.learningRate) + ", discount " +
              fieldText(r.request.discount) + ", annealing " + fieldText(r.request.annealing) +
              ", " + fieldText(r.request.runs) + " runs evaluated every " +
              fieldText(r.request.evaluationFrequency),
          "default field of " + fieldText(field.count) + " obstacles of " + fieldText(field.sides) +
              " sides (radius " + fieldText(field.radius) + ")"}) {
        EXPECT_NE(readme.find(phrase), std::string::npos) << phrase;
    }
    const Outcome help = run("--help");
    ASSERT_EQ(help.status, 0);
    for (const std::string& option :
         {"--obstacles TEXT=" + fieldText(field.count), "--sides TEXT=" + fieldText(field.sides),
          "--radius TEXT=" + fieldText(field.radius), "--runs TEXT=" + fieldText(r.request.runs),
          "--eval-freq TEXT=" + fieldText(r.request.evaluationFrequency),
          "--learning-rate TEXT=" + fieldText(r.request.learningRate),
          "--discount TEXT=" + fieldText(r.request.discount),
          "[default: " + fieldText(r.request.annealing) + "]",
          std::string(panel.qLearn ? "(the default; --no-q-learn"
                                   : "(--no-q-learn, the default")}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

} // namespace
