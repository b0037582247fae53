// Runs scripts/sweep.sh and scripts/sweep.sbatch with the trainer of this build.
#include "run_trainer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using quorvel::testing::readFile;

struct ShellRun {
    int status = -1;
    std::string out;
};

ShellRun shell(const fs::path& dir, const std::string& command) {
    const std::string line = "cd '" + dir.string() + "' && " + command + " >out.txt 2>&1";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "out.txt")};
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

const std::string sweep =
    std::string("'") + QUORVEL_SWEEP_SCRIPT + "' --trainer '" + QUORVEL_TRAIN_PATH + "'";

TEST(Sweep, TwoSeedsGiveTwoFoldersACsvOfTheirSummariesAndRunsThatRepeat) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path out = folder.path() / "sweep";
    const ShellRun run =
        shell(folder.path(), sweep + " --out sweep --seeds 1-2 --jobs 2 --runs 600 "
                                     "--eval-freq 25 --obstacles 4 --q-learn --reachable "
                                     "--reachable-sample 3");
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* job : {"seed-1", "seed-2"}) {
        for (const char* file : {"eval.dat", "weights.nnet", "summary.json"}) {
            EXPECT_TRUE(fs::exists(out / job / file)) << job << "/" << file;
        }
    }

    // A header, then a row a training whose figures are its summary's.
    const std::vector<std::string> lines = split(readFile(out / "sweep.csv"), '\n');
    ASSERT_EQ(lines.size(), 3u) << readFile(out / "sweep.csv");
    const std::vector<std::string> header = split(lines[0], ',');
    for (int row = 1; row <= 2; ++row) {
        const std::vector<std::string> fields = split(lines[row], ',');
        ASSERT_EQ(fields.size(), header.size());
        std::map<std::string, std::string> value;
        for (std::size_t i = 0; i < header.size(); ++i) {
            value[header[i]] = fields[i];
        }
        EXPECT_EQ(value["job"], "seed-" + std::to_string(row));
        const auto summary = nlohmann::json::parse(readFile(out / value["job"] / "summary.json"));
        for (const char* key :
             {"runs-done", "goals", "collisions", "misses", "steps", "reachable-share"}) {
            EXPECT_EQ(value[key], summary[key].dump()) << key;
        }
        EXPECT_EQ(value["reachable-placements.searched"], "3");
        EXPECT_EQ(value["settings.seed"], std::to_string(row));
        EXPECT_EQ(value["settings.q-learn"], "true");
    }

    // The second training again, from its summary's settings alone: the same bytes.
    const auto settings =
        nlohmann::json::parse(readFile(out / "seed-2" / "summary.json"))["settings"];
    std::string arguments = "--quiet --log again.dat --save-weights again.nnet";
    for (const auto& [key, value] : settings.items()) {
        if (value.is_boolean()) {
            arguments += value.get<bool>() ? " --" + key : "";
        } else if (!value.is_null()) {
            arguments += " --" + key + " " + value.dump();
        }
    }
    const auto again = quorvel::testing::runTrainer(folder.path(), arguments);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(readFile(folder.path() / "again.dat"), readFile(out / "seed-2" / "eval.dat"));
    EXPECT_EQ(readFile(folder.path() / "again.nnet"), readFile(out / "seed-2" / "weights.nnet"));
}

TEST(Sweep, WithoutBackupsATrainingsFolderHoldsNoBackupFolder) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const std::string grid = " --out out --runs 60 --eval-freq 25 --seeds 1-1";
    for (const bool backups : {true, false}) {
        const ShellRun run = shell(folder.path(), sweep + grid + (backups ? "" : " --no-backups"));
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(fs::exists(folder.path() / "out" / "run" / "summary.json"));
        EXPECT_EQ(fs::exists(folder.path() / "out" / "run" / "backup"), backups) << backups;
    }
}

TEST(Sweep, TheLearnersAreAnAxis) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const ShellRun run = shell(folder.path(), sweep + " --out out --runs 60 --eval-freq 25 "
                                                      "--no-backups --learner online,hindsight");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string csv = readFile(folder.path() / "out" / "sweep.csv");
    const std::vector<std::string> lines = split(csv, '\n');
    ASSERT_EQ(lines.size(), 3u) << csv;
    const std::vector<std::string> header = split(lines[0], ',');
    const auto column = std::find(header.begin(), header.end(), "settings.learner");
    ASSERT_NE(column, header.end()) << lines[0];
    for (const auto& [row, learner] : {std::pair{1, "online"}, {2, "hindsight"}}) {
        const std::vector<std::string> fields = split(lines[row], ',');
        EXPECT_EQ(fields[0], std::string("learner-") + learner);
        EXPECT_EQ(fields[static_cast<std::size_t>(column - header.begin())], learner);
    }
}

TEST(Sweep, EachSlurmTaskRunsItsTrainingOfTheGrid) {
    quorvel::testing::TempFolder folder("quorvel-slurm");
    const std::string grid = " --out sweep --seeds 1-2 --learning-rate 0.1,0.2 --runs 50";
    const ShellRun all = shell(folder.path(), sweep + grid + " --dry-run");
    ASSERT_EQ(all.status, 0) << all.out;
    const std::vector<std::string> commands = split(all.out, '\n');
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_NE(commands[2].find("--seed 2 --learning-rate 0.1 "), std::string::npos) << commands[2];
    EXPECT_EQ(shell(folder.path(), sweep + grid + " --count").out, "4\n");
    for (int task = 0; task < 4; ++task) {
        const ShellRun one = shell(
            folder.path(), "SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " QUORVEL_SWEEP='" +
                               QUORVEL_SWEEP_SCRIPT + "' bash '" + QUORVEL_SWEEP_SBATCH + "' " +
                               sweep.substr(sweep.find("--trainer")) + grid + " --dry-run");
        EXPECT_EQ(one.status, 0) << one.out;
        EXPECT_EQ(one.out, commands[task] + "\n") << "task " << task;
    }
    // ShellRun for real, task 1 writes the second training's folder.
    const ShellRun task = shell(folder.path(), "SLURM_ARRAY_TASK_ID=1 QUORVEL_SWEEP='" +
                                                   std::string(QUORVEL_SWEEP_SCRIPT) + "' bash '" +
                                                   QUORVEL_SWEEP_SBATCH + "' " +
                                                   sweep.substr(sweep.find("--trainer")) + grid);
    EXPECT_EQ(task.status, 0) << task.out;
    EXPECT_TRUE(fs::exists(folder.path() / "sweep" / "seed-1_learning-rate-0.2" / "summary.json"));
    EXPECT_NE(shell(folder.path(), "bash '" + std::string(QUORVEL_SWEEP_SBATCH) + "'").status, 0);
    EXPECT_EQ(shell(folder.path(), sweep + grid + " --log x.dat").status, 2);
}

// The CSV's rows as maps from the header's names, the fields unquoted as CSV quotes them.
std::vector<std::map<std::string, std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || c == '\n') {
            records.back().push_back(field);
            field.clear();
            if (c == '\n') {
                records.emplace_back();
            }
        } else {
            field += c;
        }
    }
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t r = 1; r + 1 < records.size(); ++r) {
        std::map<std::string, std::string> row;
        for (std::size_t i = 0; i < records[0].size() && i < records[r].size(); ++i) {
            row[records[0][i]] = records[r][i];
        }
        rows.push_back(row);
    }
    return rows;
}

// Nothing a command line holds is run as a command, in any mode; only the trainer's options
// are taken.
TEST(Sweep, NothingFromTheCommandLineIsRun) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path& dir = folder.path();
    const std::string attempts[] = {"--runs '10&touch x' --dry-run", "--runs '10&touch x' --job 0",
                                    "--runs '20;touch x' --jobs 1", "--runs '20$(touch x)' --job 0",
                                    "--runs '20`touch x`' --dry-run"};
    for (const std::string& attempt : attempts) {
        const ShellRun r = shell(dir, sweep + " --out out " + attempt);
        EXPECT_FALSE(fs::exists(dir / "x")) << attempt << "\n" << r.out;
    }
    // A real path with an ampersand reaches the trainer as it stands.
    const ShellRun rd =
        shell(dir, sweep + " --out rd --runs 20 --load-weights 'R&D/w.nnet' --job 0");
    EXPECT_NE(readFile(dir / "rd" / "run" / "stderr.txt").find("\"R&D/w.nnet\""),
              std::string::npos);
    // An option the trainer does not list, before anything runs.
    const ShellRun option = shell(dir, sweep + " --out never '--runs=50;touch x;echo' 1");
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.out.find("is not an option of quorvel-train"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "never"));
    EXPECT_FALSE(fs::exists(dir / "x"));
    // --job and --dry-run show what parallel runs: the same line, whose words are quoted.
    const ShellRun all = shell(dir, sweep + " --out q --runs '5 6' --dry-run");
    const ShellRun one = shell(dir, sweep + " --out q --runs '5 6' --dry-run --job 0");
    EXPECT_EQ(all.out, one.out);
    EXPECT_NE(all.out.find("--runs 5\\ 6 "), std::string::npos) << all.out;
    // The ssh login file names machines only; a line parallel would run as a command is
    // refused, quoted, before anything runs.
    for (const std::string line :
         {"h; touch x", "sh -c 'touch x' h1", "-oProxyCommand=touch", "a b"}) {
        std::ofstream(dir / "logins") << "# machines\n:\n2/user@node-1:2222\n\n" << line << "\n";
        const ShellRun r =
            shell(dir, sweep + " --out ssh --runs 20 --sshloginfile logins --jobs 1");
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_NE(r.out.find("line 5 of --sshloginfile is not a machine"), std::string::npos)
            << r.out;
        EXPECT_FALSE(fs::exists(dir / "x")) << line;
        EXPECT_FALSE(fs::exists(dir / "ssh")) << line;
    }
    std::ofstream(dir / "logins") << ":\nuser@node-1\n";
    EXPECT_EQ(shell(dir, sweep + " --out ssh --runs 20 --sshloginfile logins --dry-run").status, 0);
}

// A sweep's folder may hold any character: each training's command names it as one quoted
// word. --resume skips a training only when its folder's digest is of its whole command, so
// any option that changes the command (a value, the backups) runs it again.
TEST(Sweep, FoldersAreQuotedWordsAndTheResumeDigestIsOfTheWholeCommand) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path& dir = folder.path();
    const std::string odd = "a b'$(touch x)\"c;d";
    const ShellRun first = shell(dir, sweep + " --out \"$(printf '%s' 'a b'\\''$(touch x)\"c;d')\" "
                                              "--runs 20 --eval-freq 10");
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_FALSE(fs::exists(dir / "x"));
    EXPECT_TRUE(fs::exists(dir / odd / "run" / "summary.json"));
    EXPECT_EQ(nlohmann::json::parse(readFile(dir / odd / "run" / "summary.json"))["paths"]["log"],
              (dir / odd / "run" / "eval.dat").string());
    const std::string out = " --out '" + (dir / "plain").string() + "'";
    ASSERT_EQ(shell(dir, sweep + out + " --runs 20 --eval-freq 10").status, 0);
    const std::pair<std::string, std::string> resumes[] = {
        {" --runs 20 --eval-freq 10", "0 of 1"},
        {" --runs 21 --eval-freq 10", "1 of 1"},
        {" --runs 21 --eval-freq 10", "0 of 1"},
        {" --runs 21 --eval-freq 10 --no-backups", "1 of 1"},
        {" --runs 21 --eval-freq 10 --no-backups --q-learn", "1 of 1"},
        {" --runs 21 --eval-freq 10 --no-backups --q-learn", "0 of 1"}};
    for (const auto& [options, torun] : resumes) {
        const ShellRun r = shell(dir, sweep + out + options + " --resume");
        EXPECT_NE(r.out.find("sweep: " + torun + " trainings to run"), std::string::npos)
            << options << "\n"
            << r.out;
    }
}

// Every request that cannot be met is refused with status 2 before anything runs.
TEST(Sweep, BadRequestsAreRefusedBeforeAnythingRuns) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const std::pair<std::string, std::string> cases[] = {
        {"--runs 30 --jobs 0", "--jobs wants"},
        {"--runs 30 --jobs many", "--jobs wants"},
        {"--runs 300,300", "lists 300 twice"},
        {"--runs 30 --runs 40", "given twice"},
        {"--seeds 1-1000000", "more than 100000 trainings"},
        {"--seeds 1-400 --runs 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,"
         "26,27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,"
         "55,56,57,58,59,60,61,62,63,64,65,66,67,68,69,70,71,72,73,74,75,76,77,78,79,80,81,82,83,"
         "84,85,86,87,88,89,90,91,92,93,94,95,96,97,98,99,100,101,102,103,104,105,106,107,108,109,"
         "110,111,112,113,114,115,116,117,118,119,120,121,122,123,124,125,126,127,128,129,130,131,"
         "132,133,134,135,136,137,138,139,140,141,142,143,144,145,146,147,148,149,150,151,152,153,"
         "154,155,156,157,158,159,160,161,162,163,164,165,166,167,168,169,170,171,172,173,174,175,"
         "176,177,178,179,180,181,182,183,184,185,186,187,188,189,190,191,192,193,194,195,196,197,"
         "198,199,200,201,202,203,204,205,206,207,208,209,210,211,212,213,214,215,216,217,218,219,"
         "220,221,222,223,224,225,226,227,228,229,230,231,232,233,234,235,236,237,238,239,240,241,"
         "242,243,244,245,246,247,248,249,250,251",
         "more than 100000 trainings"},
        {"--seeds 0-4294967296", "at most 4294967295"},
        {"--runs \"$(printf '10\\n20')\"", "a line break"},
        {"--runs 30 --trainer /nonexistent/quorvel-train", "build it with scripts/build.sh"}};
    for (const auto& [arguments, said] : cases) {
        // The trainer this build made (a --trainer given later wins).
        const ShellRun r = shell(folder.path(), sweep + " --out out " + arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.out.find(said), std::string::npos) << arguments << "\n" << r.out;
        EXPECT_FALSE(fs::exists(folder.path() / "out")) << arguments;
    }
    // Names that sanitising would make alike get folders of their own.
    const ShellRun names =
        shell(folder.path(), sweep + " --out n --load-weights 'net a.nnet,net_a.nnet' --dry-run");
    EXPECT_NE(names.out.find("/n/load-weights-net_a.nnet "), std::string::npos) << names.out;
    EXPECT_NE(names.out.find("/n/1-load-weights-net_a.nnet "), std::string::npos) << names.out;
}

// A sweep reports the trainings it ran and only those: a folder's old results are cleared, a
// failed training is counted, rows come only from a folder's own finished summary, and the
// CSV, the user's usual file, reads back every value of the summaries.
TEST(Sweep, RowsComeOnlyFromEachTrainingsOwnFinishedSummary) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path& dir = folder.path();
    ASSERT_EQ(
        quorvel::testing::runTrainer(dir, "--runs 5 --quiet --save-weights 'w\"x.nnet'").status, 0);
    const std::string grid = " --out out --radius 12,99 --runs 60 --eval-freq 10";
    const ShellRun first =
        shell(dir, "umask 027 && " + sweep + grid + " --load-weights \"$PWD/w\\\"x.nnet\"");
    EXPECT_EQ(first.status, 1) << first.out; // radius 99 is refused by the trainer
    EXPECT_NE(first.out.find("sweep: 1 of 2 trainings in "), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("sweep: 1 of 2 trainings failed"), std::string::npos) << first.out;
    const auto rows = csvRows(readFile(dir / "out" / "sweep.csv"));
    ASSERT_EQ(rows.size(), 1u);
    const auto summary =
        nlohmann::json::parse(readFile(dir / "out" / "radius-12" / "summary.json"));
    EXPECT_EQ(rows[0].at("settings.load-weights"), summary["settings"]["load-weights"]);
    EXPECT_EQ(rows[0].at("settings.radius"), summary["settings"]["radius"].dump());
    EXPECT_EQ(rows[0].at("paths.log"), "radius-12/eval.dat");
    // The value map is drawn by the windowed program, which a build of the core alone lacks.
    if (fs::exists(fs::path(QUORVEL_TRAIN_PATH).parent_path() / "quorvel")) {
        EXPECT_TRUE(fs::exists(dir / "out" / "radius-12" / "value-map.png"));
    }
    struct stat info;
    ASSERT_EQ(stat((dir / "out" / "sweep.csv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // Another grid into the same folder: its own results, never the first grid's.
    const std::string before = readFile(dir / "out" / "sweep.csv");
    const ShellRun other = shell(dir, sweep + " --out out --radius 12,13 --runs 40");
    ASSERT_EQ(other.status, 0) << other.out;
    const auto again = csvRows(readFile(dir / "out" / "sweep.csv"));
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].at("runs-done"), "40");
    EXPECT_EQ(again[0].at("settings.load-weights"), "");
    EXPECT_EQ(split(readFile(dir / "out" / "radius-12" / "eval.dat"), '\n').size(), 1u);
    // The first grid's folders now hold the other's: collecting it finds none of its own,
    // and the CSV stays as it was.
    const std::string second = readFile(dir / "out" / "sweep.csv");
    const ShellRun collect = shell(dir, sweep + grid + " --collect");
    EXPECT_NE(collect.out.find("radius-12 holds no finished summary of its own command"),
              std::string::npos)
        << collect.out;
    EXPECT_EQ(readFile(dir / "out" / "sweep.csv"), second);
    EXPECT_NE(before, second);
    // Resumed, a finished training is not run again; one whose summary was cut short, whose
    // log is gone, or whose outputs were not all written is run again.
    const ShellRun resumed = shell(dir, sweep + " --out out --radius 12,13 --runs 40 --resume");
    EXPECT_NE(resumed.out.find("sweep: 0 of 2 trainings to run"), std::string::npos) << resumed.out;
    EXPECT_EQ(readFile(dir / "out" / "sweep.csv"), second);
    const fs::path summary12 = dir / "out" / "radius-12" / "summary.json";
    const std::string whole = readFile(summary12);
    for (const std::string damage : {"cut", "no log", "incomplete"}) {
        if (damage == "cut") {
            std::ofstream(summary12) << whole.substr(0, whole.find("\"goals\"") + 10);
        } else if (damage == "no log") {
            fs::remove(dir / "out" / "radius-12" / "eval.dat");
        } else {
            auto json = nlohmann::json::parse(readFile(summary12));
            json["outputs-complete"] = false;
            std::ofstream(summary12) << json.dump(2);
        }
        const ShellRun again = shell(dir, sweep + " --out out --radius 12,13 --runs 40 --resume");
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_NE(again.out.find("sweep: 1 of 2 trainings to run"), std::string::npos)
            << damage << "\n"
            << again.out;
        EXPECT_EQ(readFile(dir / "out" / "sweep.csv"), second) << damage;
    }
}

// One sweep writes a folder at a time: a second refuses at once and touches nothing.
TEST(Sweep, ASecondSweepIntoTheSameFolderRefuses) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path& dir = folder.path();
    std::system(("cd '" + dir.string() + "' && (" + sweep +
                 " --out out --runs 5000000 >first.txt 2>&1 & echo $! >pid.txt)")
                    .c_str());
    // The shell creates job.txt before it writes the digest into it: wait for the whole line.
    std::string job;
    quorvel::testing::waitUntil([&] {
        job = fs::exists(dir / "out" / "run" / "job.txt")
                  ? readFile(dir / "out" / "run" / "job.txt")
                  : "";
        return !job.empty() && job.back() == '\n';
    });
    const ShellRun second = shell(dir, sweep + " --out out --runs 20");
    EXPECT_EQ(second.status, 1) << second.out;
    EXPECT_NE(second.out.find("another sweep is writing"), std::string::npos) << second.out;
    EXPECT_EQ(readFile(dir / "out" / "run" / "job.txt"), job);
    EXPECT_FALSE(fs::exists(dir / "out" / "sweep.csv"));
    const std::string pid = split(readFile(dir / "pid.txt"), '\n').at(0);
    std::system(("kill -TERM " + pid).c_str());
    quorvel::testing::waitUntil(
        [&] { return std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) != 0; });
    EXPECT_EQ(shell(dir, sweep + " --out out --runs 20").status, 0);
}

// Interrupted, a sweep stops GNU parallel and every training it started, and leaves the CSV.
TEST(Sweep, AnInterruptedSweepLeavesNoTrainingRunningAndItsCsvAsItWas) {
    quorvel::testing::TempFolder folder("quorvel-sweep");
    const fs::path& dir = folder.path();
    ASSERT_EQ(shell(dir, sweep + " --out out --seeds 1-2 --runs 30").status, 0);
    const std::string csv = readFile(dir / "out" / "sweep.csv");
    for (const char* signal : {"TERM", "INT", "HUP"}) {
        // Started as a terminal starts a command: interrupts reach it.
        std::system(("cd '" + dir.string() + "' && (env --default-signal=INT " + sweep +
                     " --out out --seeds 1-2 --jobs 2 --runs 5000000 >log.txt 2>&1 & echo $! "
                     ">pid.txt)")
                        .c_str());
        const std::string pid = split(readFile(dir / "pid.txt"), '\n').at(0);
        // A training of this sweep ("[q]" keeps the shell that asks from matching itself).
        auto running = [&](const std::string& seed) {
            return std::system(("pgrep -f '[q]uorvel-train --quiet --seed " + seed + " .*" +
                                dir.string() + "' >/dev/null")
                                   .c_str()) == 0;
        };
        for (int i = 0; i < 3000 && !(running("1") && running("2")); ++i) {
            usleep(10000);
        }
        ASSERT_EQ(std::system(("kill -" + std::string(signal) + " " + pid).c_str()), 0);
        for (int i = 0; i < 3000 && std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) == 0;
             ++i) {
            usleep(10000);
        }
        EXPECT_FALSE(running("1") || running("2")) << signal;
        EXPECT_NE(readFile(dir / "log.txt").find("interrupted; no training is running"),
                  std::string::npos)
            << readFile(dir / "log.txt");
        EXPECT_EQ(readFile(dir / "out" / "sweep.csv"), csv) << signal;
    }
    // Hung up (its terminal closed), nobody is there to run it again: what finished is
    // gathered before it ends.
    std::system(("cd '" + dir.string() + "' && (" + sweep +
                 " --out hup --runs 30,5000000 --jobs 2 >log.txt 2>&1 & echo $! >pid.txt)")
                    .c_str());
    const std::string pid = split(readFile(dir / "pid.txt"), '\n').at(0);
    quorvel::testing::waitUntil([&] {
        return fs::exists(dir / "hup" / "runs-30" / "summary.json") &&
               fs::exists(dir / "hup" / "runs-5000000" / "job.txt");
    });
    ASSERT_EQ(std::system(("kill -HUP " + pid).c_str()), 0);
    quorvel::testing::waitUntil(
        [&] { return std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) != 0; });
    const std::vector<std::string> rows = split(readFile(dir / "hup" / "sweep.csv"), '\n');
    ASSERT_EQ(rows.size(), 2u) << readFile(dir / "log.txt");
    EXPECT_EQ(rows[1].rfind("runs-30,", 0), 0u);
}

} // namespace
