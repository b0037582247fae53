// Runs the quorvel-train program itself.
#include "run_trainer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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
    EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 1);
    const std::string log = slurp(dir / "a.dat");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 15);

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
    };
    for (const Case& c : cases) {
        const Outcome r = run(std::string(c.arguments) + " --quiet");
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.err, std::string("quorvel-train: ") + c.message + "\n") << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
        EXPECT_FALSE(fs::exists(dir / "quorvel-eval.dat")) << c.arguments;
    }
    EXPECT_EQ(run("--no-such-option").status, 2);
}

TEST_F(Trainer, WarningsGoOnTraining) {
    const Outcome r = run("--runs 20 --learning-rate 0.95 --discount 1 --annealing 30 --quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Learning rate must be in the range 0.001 to 0.9\n"), std::string::npos);
    EXPECT_NE(r.err.find("Reward Discount factor must be in the range 0.001 to 0.999\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("The Annealing Magic number"), std::string::npos);
    EXPECT_EQ(r.out.rfind("Ran 20 training iterations", 0), 0u);
    EXPECT_TRUE(fs::exists(dir / "quorvel-eval.dat"));
    EXPECT_TRUE(fs::exists(dir / "quorvel.nnet"));
}

TEST_F(Trainer, UnwritableLogRunsNothing) {
    const Outcome r = run("--runs 20 --log no-such-folder/eval.dat --quiet");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot write the evaluation log \"no-such-folder/eval.dat\""),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "quorvel.nnet"));
}

TEST_F(Trainer, DefaultsSayWhereTheyWrote) {
    const Outcome r = run("--runs 50");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("evaluation log written to quorvel-eval.dat"), std::string::npos);
    EXPECT_NE(r.err.find("weights written to quorvel.nnet"), std::string::npos);
}

} // namespace
