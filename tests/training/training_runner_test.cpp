#include "training/training_runner.h"

#include "common/random.h"
#include "training/trial_drive.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvel {
namespace {

std::unique_ptr<World> fieldWorld() {
    random::restart();
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(4, 6, {-50, -50}, {50, 50}, 10);
    w->annealingNumber = 200;
    w->qLearnMode = true;
    return w;
}

TrainingSettings settingsFor(const std::string& log, const std::string& backups) {
    TrainingSettings s;
    s.runs = 1500;
    s.logPath = log;
    s.evaluationFrequency = 25;
    s.learningRate = 0.2;
    s.discount = 0.95;
    s.backupFolder = backups;
    return s;
}

TEST(TrainingRunner, GivesTheDriversBytesWhileTheCallerWatchesAndDrivesTrials) {
    testing::TempFolder folder("quorvel-runner");
    std::filesystem::create_directories(folder.path() / "direct");
    std::filesystem::create_directories(folder.path() / "runner");

    auto direct = fieldWorld();
    runTraining(*direct, settingsFor(folder.file("direct.dat"), folder.file("direct")));
    const std::uint32_t stateAfterDirect = random::state();

    auto world = fieldWorld();
    const std::string startLog = folder.file("runner.dat");
    TrainingSession session(*world, settingsFor(startLog, folder.file("runner")));
    ASSERT_EQ(session.start(), TrainingResult::Status::completed);
    LiveCurve curve(session.settings());
    TrialDrive trial(*world, random::state());
    QNetwork network = world->learner.network;
    TrainingRunner runner(session, &curve);
    runner.start();
    int lastRuns = 0;
    while (!runner.finished()) {
        const int runs = runner.copyNetwork(network);
        EXPECT_GE(runs, lastRuns);
        lastRuns = runs;
        trial.begin(network, runs);
        for (int i = 0; i < 5; ++i) {
            trial.step();
        }
        EXPECT_LE(runner.progress().runsDone, 1500);
    }
    EXPECT_FALSE(runner.cancelled());
    const TrainingResult result = session.finish(false);
    EXPECT_EQ(result.counts.runsDone, 1500);
    EXPECT_EQ(runner.copyNetwork(network), 1500);
    EXPECT_EQ(testing::parametersOf(network), testing::parametersOf(world->learner.network));
    EXPECT_EQ(runner.curvePoints(0).size(), curve.points().size());
    EXPECT_EQ(curve.points().size(), 60u);

    EXPECT_EQ(testing::readFile(startLog), testing::readFile(folder.file("direct.dat")));
    EXPECT_EQ(testing::parametersOf(world->learner.network),
              testing::parametersOf(direct->learner.network));
    EXPECT_EQ(random::state(), stateAfterDirect);
    for (const char* backup : {"nnet_0_default.nnet", "nnet_1475_default.nnet"}) {
        EXPECT_EQ(testing::readFile(folder.path() / "runner" / backup),
                  testing::readFile(folder.path() / "direct" / backup));
    }
}

TEST(TrainingRunner, ACancelBeforeTheFirstRunRunsNone) {
    testing::TempFolder folder("quorvel-runner");
    auto world = fieldWorld();
    world->goalCount = 7;
    TrainingSession session(*world, settingsFor(folder.file("eval.dat"), {}));
    ASSERT_EQ(session.start(), TrainingResult::Status::completed);
    TrainingRunner runner(session, nullptr);
    runner.cancel();
    runner.start();
    while (!runner.finished()) {
    }
    EXPECT_TRUE(runner.cancelled());
    EXPECT_EQ(runner.progress().runsDone, 0);
    EXPECT_EQ(session.finish(true).counts.runsDone, 0);
}

} // namespace
} // namespace quorvel
