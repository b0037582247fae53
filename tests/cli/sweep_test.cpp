// Runs scripts/sweep.sh and scripts/sweep.sbatch with the trainer of this build.
#include "run_trainer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
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
                                     "--eval-freq 25 --obstacles 4 --q-learn");
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
        for (const char* key : {"runs-done", "goals", "collisions", "misses", "steps"}) {
            EXPECT_EQ(value[key], summary[key].dump()) << key;
        }
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

} // namespace
