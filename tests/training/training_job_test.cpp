#include "training/training_job.h"

#include "common/random.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <thread>

namespace quorvel {
namespace {

using testing::parametersOf;

std::unique_ptr<World> fieldWorld() {
    random::restart();
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(4, 6, {-50, -50}, {50, 50}, 10);
    return w;
}

TrainingSettings settingsFor(const std::string& log, const std::string& backups) {
    TrainingSettings s;
    s.runs = 1500;
    s.logPath = log;
    s.evaluationFrequency = 25;
    s.learningRate = 0.2;
    s.discount = 0.95;
    s.annealingNumber = 200;
    s.qLearn = true;
    s.backupFolder = backups;
    return s;
}

// The job's runs give runTraining's bytes while the caller takes snapshots and asks for
// networks; every network it hands over is the one the runs had after the run it names, and
// the snapshots' points are the outcome's curve.
TEST(TrainingJob, GivesTheDriversBytesAndTheNetworkOfTheRunItNames) {
    testing::TempFolder folder("quorvel-job");
    std::filesystem::create_directories(folder.path() / "direct");
    std::filesystem::create_directories(folder.path() / "job");

    auto direct = fieldWorld();
    std::map<int, std::vector<double>> networkAfter; // the runs done: the network then
    {
        TrainingSession session(*direct,
                                settingsFor(folder.file("direct.dat"), folder.file("direct")));
        ASSERT_EQ(session.start(), TrainingResult::Status::completed);
        networkAfter[0] = parametersOf(direct->learner.network);
        while (!session.done()) {
            session.runOne();
            networkAfter[session.progress().runsDone] = parametersOf(direct->learner.network);
        }
        session.finish(false);
    }
    const std::uint32_t stateAfterDirect = random::state();

    auto world = fieldWorld();
    const std::vector<double> startNetwork = parametersOf(world->learner.network);
    const World::Placement placed = world->placement();
    TrainingJob job(*world, settingsFor(folder.file("job.dat"), folder.file("job")));
    ASSERT_EQ(job.start(), TrainingResult::Status::completed);
    EXPECT_EQ(parametersOf(job.startWorld().learner.network), startNetwork);
    EXPECT_EQ(job.startWorld().rear, placed.robot.rear);
    std::vector<CurvePoint> points;
    int networks = 0, lastRun = -1;
    TrainingSnapshot s;
    do {
        job.requestNetwork();
        s = job.snapshot();
        points.insert(points.end(), s.newPoints.begin(), s.newPoints.end());
        EXPECT_LE(s.progress.runsDone, 1500);
        if (s.network) {
            EXPECT_GE(s.network->run, lastRun);
            lastRun = s.network->run;
            ASSERT_TRUE(networkAfter.count(s.network->run));
            EXPECT_EQ(parametersOf(s.network->network), networkAfter[s.network->run])
                << "the network handed over after run " << s.network->run;
            ++networks;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (!s.stopped);
    EXPECT_GE(networks, 1);
    EXPECT_EQ(lastRun, 1500) << "the last snapshot holds the network as the runs left it";

    const TrainingOutcome outcome = job.finish();
    EXPECT_FALSE(outcome.cancelled());
    EXPECT_EQ(outcome.result.counts.runsDone, 1500);
    EXPECT_EQ(outcome.curve.points().size(), 60u);
    ASSERT_EQ(points.size(), outcome.curve.points().size());
    EXPECT_EQ(points.back().index, outcome.curve.points().back().index);
    EXPECT_EQ(outcome.curve.goals().size(), 60u);
    EXPECT_GE(outcome.elapsedSeconds, 0);

    EXPECT_EQ(testing::readFile(folder.file("job.dat")),
              testing::readFile(folder.file("direct.dat")));
    EXPECT_EQ(parametersOf(world->learner.network), parametersOf(direct->learner.network));
    EXPECT_EQ(random::state(), stateAfterDirect);
    for (const char* backup : {"nnet_0_default.nnet", "nnet_1475_default.nnet"}) {
        EXPECT_EQ(testing::readFile(folder.path() / "job" / backup),
                  testing::readFile(folder.path() / "direct" / backup));
    }
}

// Cancelled, the runs stop after the one in progress and the outcome says so once; cancelled
// before the first run, none runs and the counters are not cleared twice.
TEST(TrainingJob, ACancelStopsAfterTheRunInProgress) {
    testing::TempFolder folder("quorvel-job");
    {
        auto world = fieldWorld();
        TrainingJob job(*world, settingsFor(folder.file("eval.dat"), {}));
        ASSERT_EQ(job.start(), TrainingResult::Status::completed);
        testing::waitUntil([&] { return job.snapshot().progress.runsDone >= 10; });
        job.cancel();
        testing::waitUntil([&] { return job.snapshot().stopped; });
        const TrainingOutcome outcome = job.finish();
        const int runs = outcome.result.counts.runsDone;
        EXPECT_TRUE(outcome.cancelled());
        EXPECT_GE(runs, 10);
        EXPECT_LT(runs, 1500);
        const TrainingProgress& c = outcome.result.counts;
        EXPECT_EQ(c.goals + c.collisions + c.misses, runs);
        EXPECT_EQ(outcome.curve.goals().size(), static_cast<std::size_t>((runs - 1) / 25 + 1));
        EXPECT_TRUE(job.finish().cancelled()) << "asked again, the same outcome";
    }
    auto world = fieldWorld();
    TrainingJob job(*world, settingsFor(folder.file("eval.dat"), {}));
    job.cancel();
    ASSERT_EQ(job.start(), TrainingResult::Status::completed);
    const TrainingOutcome outcome = job.finish();
    EXPECT_TRUE(outcome.cancelled());
    EXPECT_EQ(outcome.result.counts.runsDone, 0);
}

} // namespace
} // namespace quorvel
