#include "panel/panel_commands.h"

#include "common/random.h"
#include "fake_platform.h"
#include "rules/input_rules.h"
#include "training/episodes.h"
#include "training/network_evaluation.h"
#include "world/world.h"
#include "world/world_state.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <numbers>
#include <sstream>
#include <unistd.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

using testing::parametersOf;

class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        random::restart();
        world = std::make_unique<World>(10, 10, 0, 0, 0);
        commands = std::make_unique<PanelCommands>(*world, platform);
    }

    void fillGenerate(const char* count, const char* sides, const char* radius) {
        platform.fields[Field::obstacles] = count;
        platform.fields[Field::sides] = sides;
        platform.fields[Field::radius] = radius;
    }
    void fillTrain(const char* runs, const char* freq, const char* rate, const char* discount,
                   const char* annealing = "") {
        platform.fields[Field::runs] = runs;
        platform.fields[Field::evaluationFrequency] = freq;
        platform.fields[Field::learningRate] = rate;
        platform.fields[Field::discount] = discount;
        platform.fields[Field::annealing] = annealing;
    }
    std::string path(const char* name) const { return folder.file(name); }

    testing::TempFolder folder{"quorvel-panel"};
    FakePlatform platform;
    std::unique_ptr<World> world;
    std::unique_ptr<PanelCommands> commands;
};

TEST(SliderSteering, TruncatesTowardsZeroWithANineteenPositionStraightBand) {
    const std::pair<int, int> table[] = {{0, 5},   {1, 4},   {10, 4},  {11, 3},  {40, 1},
                                         {41, 0},  {50, 0},  {59, 0},  {60, -1}, {69, -1},
                                         {70, -2}, {90, -4}, {99, -4}, {100, -5}};
    for (auto [position, steering] : table) {
        EXPECT_EQ(steeringFromSlider({0, 100, position}), steering) << position;
    }
    EXPECT_EQ(steeringFromSlider({10, 10, 10}), 0); // no width: straight ahead
}

TEST_F(Panel, ForwardsAndReverseDriveTwoAndClearTheTrail) {
    world->recordTrailPose();
    platform.sliderState = {0, 100, 50};
    commands->OnForwards();
    EXPECT_DOUBLE_EQ(world->front.x, 7);
    EXPECT_EQ(world->trailCount, 0);
    EXPECT_EQ(platform.redraws, 1);
    commands->OnReverse();
    commands->OnReverse();
    EXPECT_DOUBLE_EQ(world->front.x, 3);
    platform.sliderState = {0, 100, 0};
    commands->OnForwards(); // steering 5: a negative radius turns left
    EXPECT_GT(world->heading.y, 0);
}

TEST_F(Panel, GenerateValidatesBeforeChangingTheWorld) {
    fillGenerate("3", "2", "letters");
    commands->OnGenerate();
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"\"letters\" is not a valid obstacle radius"});
    EXPECT_EQ(world->obstacles[0].vertexCount, 0);
    fillGenerate("8", "5", "10");
    commands->OnGenerate();
    EXPECT_EQ(platform.messages.back(), "Number of obstacles must be between 0 and 7 (inclusive)");
    EXPECT_EQ(platform.redraws, 0);
    fillGenerate("7", "10", "25.0");
    commands->OnGenerate();
    EXPECT_EQ(world->obstacleCount, 7);
    EXPECT_EQ(platform.redraws, 1);
    fillGenerate("0", "4", "5.0");
    commands->OnGenerate();
    EXPECT_EQ(world->obstacleCount, 0);
    EXPECT_EQ(world->obstacles[7].vertexCount, 4);
    EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(Panel, GenerateUsesTheFieldCornersAndCurrentPoses) {
    fillGenerate("7", "10", "15");
    commands->OnGenerate();
    for (int k = 0; k < 7; ++k) {
        for (const Vec2& v : world->obstacles[k].vertices) {
            ASSERT_LE(std::fabs(v.x), 50 + 1.5 * 15);
            ASSERT_LE(std::fabs(v.y), 50 + 1.5 * 15);
        }
    }
    // The first obstacle's centre is drawn between the corners (-50, -50) and (50, 50): find
    // a start of the sequence whose first centre is clear of robot and goal, and rebuild its
    // first vertex from the same draws.
    fillGenerate("1", "3", "5");
    for (std::uint32_t state = 1;; ++state) {
        random::setState(state);
        const double cx = -50 + random::unit(1) * 100;
        const double cy = -50 + random::unit(1) * 100;
        const bool nearRobot = std::fabs(cx) < 10 + 7.5 + 1 && std::fabs(cy) < 5 + 7.5 + 1;
        const bool nearGoal = std::fabs(cx - 25) < 6 + 7.5 + 1 && std::fabs(cy - 25) < 6 + 7.5 + 1;
        if (nearRobot || nearGoal) {
            continue;
        }
        const double phase = random::unit(1) * 2 * std::numbers::pi;
        const double distance = (random::unit(1) + 0.5) * 5;
        random::setState(state);
        commands->OnGenerate();
        EXPECT_EQ(world->obstacles[0].vertices[0],
                  (Vec2{cx + distance * std::cos(phase), cy + distance * std::sin(phase)}));
        break;
    }
}

TEST_F(Panel, PlaceRedraws) {
    commands->OnPlaceRobotAndGoal();
    EXPECT_EQ(platform.redraws, 1);
    EXPECT_NE(world->goal, (Vec2{25, 25}));
}

TEST_F(Panel, PlaybackRunsOneTimerAndStopsOnlyWhenPlaying) {
    commands->OnStopPlayback();
    EXPECT_EQ(platform.timersRunning, 0);
    commands->OnPlayback();
    commands->OnPlayback();
    EXPECT_EQ(platform.timerStarts, 1);
    EXPECT_TRUE(commands->playing());
    commands->OnStopPlayback();
    EXPECT_FALSE(commands->playing());
    EXPECT_EQ(platform.timersRunning, 0);
}

// Each speed takes as many steps a tick as it says, at its period; paused, ticks take none; a
// step takes exactly one, pausing (or starting a paused playback).
TEST_F(Panel, PlaybackGoesAtItsSpeedPausesAndSteps) {
    world->goal = {150, 150}; // out of reach: the drive goes on
    platform.checks[CheckBox::trails] = true;
    commands->OnPlayback();
    EXPECT_EQ(platform.timerPeriod, 100);
    int steps = 0;
    for (int speed = 0; speed < driveSpeedCount; ++speed) {
        commands->setSpeed(speed);
        EXPECT_EQ(platform.timerPeriod, driveSpeeds[speed].periodMs);
        commands->OnTimer(1000);
        steps += driveSpeeds[speed].stepsPerTick;
        ASSERT_TRUE(commands->playing());
        EXPECT_EQ(world->trailCount, steps) << driveSpeeds[speed].name;
    }
    EXPECT_EQ(std::string(driveSpeeds[1].name), "4x");
    EXPECT_EQ(driveSpeeds[2].stepsPerTick, 16);
    commands->OnFaster(); // already the fastest
    EXPECT_EQ(commands->speed(), driveSpeedCount - 1);
    commands->OnSlower();
    EXPECT_EQ(commands->speed(), driveSpeedCount - 2);

    commands->OnPause();
    EXPECT_TRUE(commands->paused());
    EXPECT_EQ(platform.timersRunning, 0);
    commands->OnTimer(1000);
    EXPECT_EQ(world->trailCount, steps);
    commands->OnStep();
    EXPECT_EQ(world->trailCount, steps + 1);
    EXPECT_TRUE(commands->paused());
    commands->OnPause(); // on again, at its speed
    EXPECT_FALSE(commands->paused());
    EXPECT_EQ(platform.timersRunning, 1);
    EXPECT_EQ(platform.paces.back(), (std::pair{driveSpeedCount - 2, false}));

    // Without a playback, a step starts one, paused, and takes its first step.
    commands->OnStopPlayback();
    world->trailCount = 0;
    commands->OnStep();
    EXPECT_TRUE(commands->playing());
    EXPECT_TRUE(commands->paused());
    EXPECT_EQ(world->trailCount, 1);
}

TEST_F(Panel, TicksKeepOnePoseWithoutTrailsAndStopAtAFullTrail) {
    world->goal = {150, 150};
    commands->OnTimer(1000); // not playing: nothing
    EXPECT_EQ(world->trailCount, 0);
    commands->OnPlayback();
    commands->OnTimer(7); // another timer: nothing
    EXPECT_EQ(world->trailCount, 0);
    for (int i = 0; i < 3 && commands->playing(); ++i) {
        commands->OnTimer(1000);
        EXPECT_EQ(world->trailCount, 1);
        EXPECT_EQ(world->trailColour.g, world->lastChosenValue);
        EXPECT_EQ(world->trailPose(0).front, world->front);
    }
    // With trails, each entry keeps the value chosen at its own step.
    platform.checks[CheckBox::trails] = true;
    world->placeAt(0, 0, 0);
    world->trailCount = 0;
    commands->OnPlayback();
    std::vector<double> chosen;
    for (int i = 0; i < 4 && commands->playing(); ++i) {
        commands->OnTimer(1000);
        chosen.push_back(world->lastChosenValue);
    }
    ASSERT_EQ(world->trailCount, static_cast<int>(chosen.size()));
    for (int i = 0; i < world->trailCount; ++i) {
        EXPECT_EQ(world->trail.colour[i].g, chosen[i]) << i;
    }
    EXPECT_NE(chosen.front(), chosen.back());
    world->trailCount = 400;
    const Vec2 last = world->trail.rear[399];
    commands->OnTimer(1000);
    EXPECT_EQ(world->trailCount, 400);
    EXPECT_EQ(world->trail.rear[399], last);
    EXPECT_EQ(world->trailColour.r, 1);
    EXPECT_EQ(world->trailColour.b, 0);
}

TEST_F(Panel, ReachingTheGoalStopsTheTimerThenSaysSo) {
    world->goal = {-14, 0};
    commands->OnPlayback();
    commands->OnTimer(1000);
    EXPECT_FALSE(commands->playing());
    EXPECT_EQ(platform.timersRunning, 0);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"Claims to have hit goal\n"});
}

TEST_F(Panel, ARefusedMoveStopsPlaybackSilently) {
    world->obstacleCount = 1;
    Obstacle& o = world->obstacles[0];
    o.resize(4);
    o.vertices = {{-0.5, -50}, {0.5, -50}, {0.5, 50}, {-0.5, 50}};
    o.valid = true;
    o.updateBox();
    commands->OnPlayback();
    commands->OnTimer(1000);
    EXPECT_FALSE(commands->playing());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Panel, FreshPanelTrainReportsTheEmptyRunsField) {
    commands->OnTrain();
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"\"\" is not a valid number of training runs"});
    EXPECT_TRUE(platform.filters.empty());
}

TEST_F(Panel, TrainWarnsGoesOnAndShowsTheSummary) {
    fillTrain("50", "10", "0.001", "0.9", "30");
    platform.checks[CheckBox::qLearn] = true;
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    ASSERT_EQ(platform.messages.size(), 3u);
    EXPECT_EQ(platform.messages[0], "Learning rate must be in the range 0.001 to 0.9");
    EXPECT_EQ(platform.messages[1], annealingMessage);
    EXPECT_EQ(platform.messages[2].rfind("Ran 50 training iterations, hit the goal ", 0), 0u);
    EXPECT_EQ(platform.filters, std::vector<std::string>{evaluationLogFilter});
    ASSERT_EQ(platform.trainedSettings.size(), 1u);
    EXPECT_TRUE(platform.trainedSettings[0].qLearn);
    EXPECT_EQ(platform.trainedSettings[0].annealingNumber, 30);
    EXPECT_EQ(world->learner.network.learningRate, 0.001);
    EXPECT_EQ(world->goalCount + world->collisionCount + world->missCount, 50);
    EXPECT_EQ(platform.redraws, 1); // afterwards, the view shows where the robot is
    EXPECT_EQ(platform.dialogTitles, std::vector<std::string>{"Save Evaluation Log"});
}

TEST_F(Panel, TrainOffersToCreateAMissingBackupFolder) {
    const std::string home = folder.path().string();
    const char* savedHome = std::getenv("HOME");
    const std::string saved = savedHome != nullptr ? savedHome : "";
    setenv("HOME", home.c_str(), 1);
    const fs::path backups = folder.path() / "nnet_backup";
    fillTrain("50", "21", "0.1", "0.9");
    platform.pathAnswers = {path("eval.dat"), path("eval.dat"), path("eval.dat")};

    // Declined: the training goes on, and its window says there are no backups.
    platform.askAnswers = {1};
    commands->OnTrain();
    ASSERT_EQ(platform.asked.size(), 1u);
    // It says what the backups cost: runs 0, 21 and 42, each as large as a weight file.
    const std::size_t bytes = weightFileBytes(world->learner.network);
    ASSERT_GT(bytes, 5000u);
    ASSERT_LT(bytes, 6000u);
    EXPECT_EQ(platform.asked[0], "The backup folder \"" + backups.string() +
                                     "\" does not exist. Create it, so that the weights are "
                                     "backed up before each evaluation run? This training "
                                     "writes 3 backups there, " +
                                     aboutBytes(3.0 * static_cast<double>(bytes)) + ".");
    EXPECT_EQ(aboutBytes(3.0 * 5600), "about 17 kB");
    EXPECT_EQ(aboutBytes(5000 * 8000.0), "about 40 MB");
    EXPECT_EQ(platform.askedAnswers[0],
              (std::vector<std::string>{"Create Folder", "Train Without Backups"}));
    EXPECT_EQ(platform.notices.back(), "The backup folder \"" + backups.string() +
                                           "\" does not exist; the training goes on without "
                                           "weight backups.");
    EXPECT_EQ(platform.messages.size(), 1u); // the summary only
    EXPECT_FALSE(fs::exists(backups));

    // Accepted: the folder is made and the backups of runs 0, 21 and 42 are written.
    platform.askAnswers = {0};
    commands->OnTrain();
    EXPECT_EQ(platform.notices.back(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(backups), fs::directory_iterator{}), 3);

    // With the folder there, nothing is asked, and the window says whose backups are there.
    commands->OnTrain();
    EXPECT_EQ(platform.notices.back(),
              "The backup folder \"" + backups.string() +
                  "\" holds 3 backups of earlier trainings; this training's backups replace "
                  "those of the same runs.");
    // With a frequency of 20 none are due.
    fillTrain("50", "20", "0.1", "0.9");
    platform.pathAnswers = {path("eval.dat")};
    fs::remove_all(backups);
    commands->OnTrain();
    EXPECT_EQ(platform.asked.size(), 2u);
    EXPECT_EQ(platform.notices.back(), "");
    if (savedHome != nullptr) {
        setenv("HOME", saved.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

TEST_F(Panel, TrainWithAnnealingLettersUsesTwoHundred) {
    fillTrain("5", "0", "0.1", "0.9", "abc");
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    EXPECT_EQ(platform.messages.front(), annealingMessage);
    EXPECT_EQ(platform.trainedSettings.at(0).annealingNumber, 200);
    EXPECT_FALSE(platform.trainedSettings.at(0).qLearn);
    EXPECT_EQ(platform.trainedSettings.at(0).learner, LearnerKind::online);
    EXPECT_EQ(platform.messages.size(), 2u);

    // The learner chosen trains, with the hindsight learner's own settings.
    platform.chosenLearner = LearnerKind::hindsight;
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    ASSERT_EQ(platform.trainedSettings.size(), 2u);
    EXPECT_EQ(platform.trainedSettings[1].learner, LearnerKind::hindsight);
    EXPECT_EQ(platform.trainedSettings[1].hindsight.memorySteps,
              defaultHindsight().settings.memorySteps);
    EXPECT_EQ(world->goalCount + world->collisionCount + world->missCount, 5);
}

TEST_F(Panel, CancelledLogDialogTrainsNothingAndSaysNothing) {
    fillTrain("50", "10", "0.1", "0.9");
    world->goalCount = 4;
    const auto before = parametersOf(world->learner.network);
    commands->OnTrain();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(platform.trainings, 0);
    EXPECT_EQ(world->goalCount, 4);
    EXPECT_EQ(parametersOf(world->learner.network), before);
}

// A log another training writes is refused before any run; a network that holds values that
// are not numbers is said to before its training, which goes on.
TEST_F(Panel, TrainSaysWhatStandsInItsWay) {
    fillTrain("20", "10", "0.1", "0.9");
    OutputLock other;
    ASSERT_TRUE(other.acquire(path("eval.dat")));
    platform.pathAnswers = {path("eval.dat")};
    world->goalCount = 4;
    commands->OnTrain();
    EXPECT_EQ(platform.messages,
              std::vector<std::string>{"Another training writes \"" + path("eval.dat") +
                                       "\"; the training did not start."});
    EXPECT_EQ(platform.trainings, 0);
    EXPECT_EQ(world->goalCount, 4);
    other.release();

    world->learner.network.parameter(7) = std::numeric_limits<double>::quiet_NaN();
    platform.messages.clear();
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0], nonFiniteNetworkWarning);
    EXPECT_EQ(platform.messages[1].rfind("Ran 20 training iterations", 0), 0u);
}

// Robot and goal where the user puts them with the mouse, unless on an obstacle or off the
// floor; after a training both are back where they were when Train was pressed.
TEST_F(Panel, PlacingByMouseAndTrainingLeaveRobotAndGoalWhereTheUserPutThem) {
    world->obstacleCount = 1;
    Obstacle& o = world->obstacles[0];
    o.resize(4);
    o.vertices = {{20, 20}, {40, 20}, {40, 40}, {20, 40}};
    o.valid = true;
    o.updateBox();
    commands->OnPlaceRobotAt({-30, -30}, Vec2{-30, 0}); // dragged upwards: facing +y
    EXPECT_DOUBLE_EQ(0.5 * (world->rear.x + world->front.x), -30);
    EXPECT_NEAR(world->heading.y, 1, 1e-12);
    EXPECT_EQ(platform.redraws, 1);
    commands->OnPlaceRobotAt({0, -30}, std::nullopt); // a click: as it faced
    EXPECT_NEAR(world->heading.y, 1, 1e-12);
    const World::Placement here = world->placement();
    for (const Vec2 onIt : {Vec2{30, 30}, Vec2{30, 14}}) { // inside, and touching the edge
        commands->OnPlaceRobotAt(onIt, std::nullopt);
        EXPECT_EQ(world->rear, here.robot.rear);
    }
    EXPECT_EQ(platform.messages,
              std::vector<std::string>(
                  2, "The robot would touch an obstacle there; it stays where it was."));
    commands->OnPlaceGoalAt({45, 30}); // its disc reaches the obstacle
    EXPECT_EQ(world->goal, here.goal);
    EXPECT_EQ(platform.messages.back(),
              "The goal would touch an obstacle there; it stays where it was.");
    commands->OnPlaceGoalAt({-60, 60});
    EXPECT_EQ(world->goal, (Vec2{-60, 60}));
    commands->OnPlaceRobotAt({0, 120}, std::nullopt); // off the floor: nothing
    commands->OnPlaceGoalAt({-130, 0});
    EXPECT_EQ(world->goal, (Vec2{-60, 60}));
    EXPECT_EQ(platform.messages.size(), 3u);

    const World::Placement before = world->placement();
    fillTrain("50", "10", "0.1", "0.9");
    platform.pathAnswers = {path("eval.dat")};
    world->recordTrailPose();
    commands->OnTrain();
    EXPECT_EQ(world->rear, before.robot.rear);
    EXPECT_EQ(world->front, before.robot.front);
    EXPECT_EQ(world->heading, before.robot.heading);
    EXPECT_EQ(world->goal, before.goal);
    EXPECT_EQ(world->trailCount, 0);
}

// A field saved and loaded is the same field; a damaged one is refused with its line and
// changes nothing.
TEST_F(Panel, FieldsAreKeptInFilesAndADamagedOneChangesNothing) {
    fillGenerate("4", "6", "12");
    commands->OnGenerate();
    commands->OnPlaceRobotAndGoal();
    platform.pathAnswers = {path("a.field")};
    commands->OnSaveField();
    EXPECT_EQ(platform.proposedNames.back(), "quorvel.field");
    const std::string saved = testing::readFile(path("a.field"));
    world->sense(); // as loading a field leaves it
    const std::string state = testing::worldState(*world);

    std::ofstream(path("bad.field")) << "quorvel field 1\nrobot -5 0 5 0 1 0\ngoal 1 x\n";
    platform.pathAnswers = {path("bad.field")};
    world->placeRobotAndGoal();
    const std::string moved = testing::worldState(*world);
    commands->OnLoadField();
    EXPECT_EQ(platform.messages.back(), "Line 3 of \"" + path("bad.field") +
                                            "\" holds \"x\", not a number from -1000 to 1000. "
                                            "Nothing was changed.");
    EXPECT_TRUE(testing::worldState(*world) == moved);

    platform.pathAnswers = {path("a.field")};
    commands->OnLoadField();
    EXPECT_TRUE(testing::worldState(*world) == state);
    platform.pathAnswers = {path("b.field")};
    commands->OnSaveField();
    EXPECT_EQ(testing::readFile(path("b.field")), saved);
}

// Evaluate Network counts the network's drives from random placements and searches them, on
// a copy from the random state as it is: the World and the sequence are untouched, and the
// same question gives the same answer.
TEST_F(Panel, EvaluatingTheNetworkCountsItsDrivesAndChangesNothing) {
    fillGenerate("3", "8", "12");
    commands->OnGenerate();
    const std::string state = testing::worldState(*world);
    const std::uint32_t sequence = random::state();
    platform.numberAnswers = {30, 30, std::nullopt};
    commands->OnEvaluateNetwork();
    EXPECT_EQ(platform.proposedNumbers.back(), evaluatedDrives);
    const std::string told = platform.messages.back();
    EXPECT_EQ(told.rfind("Of 30 drives from random placements, ", 0), 0u) << told;
    EXPECT_NE(told.find("\nSome drive reaches the goal from "), std::string::npos) << told;
    EXPECT_EQ(platform.progress.back(), (std::pair{30, 30}));
    EXPECT_TRUE(testing::worldState(*world) == state);
    EXPECT_EQ(random::state(), sequence);
    commands->OnEvaluateNetwork();
    EXPECT_EQ(platform.messages.back(), told);
    const NetworkEvaluation direct = evaluateNetwork(*world, 30, random::Sequence(sequence));
    EXPECT_EQ(told.substr(0, told.find('\n')), describeDrives(direct.tally));
    const std::size_t said = platform.messages.size();
    commands->OnEvaluateNetwork(); // cancelled: nothing said
    EXPECT_EQ(platform.messages.size(), said);
    // Stopped while searching, the counts are told without the search's.
    platform.numberAnswers = {30};
    platform.stopProgressAt = 3;
    commands->OnEvaluateNetwork();
    EXPECT_EQ(platform.messages.back(), told.substr(0, told.find('\n')));
}

TEST_F(Panel, UnopenableLogTrainsNothingAndSaysSo) {
    fillTrain("50", "10", "0.1", "0.9");
    platform.pathAnswers = {path("missing/eval.dat")};
    commands->OnTrain();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("the training did not start"), std::string::npos);
    EXPECT_EQ(platform.trainings, 0);
}

TEST_F(Panel, CancelledTrainingReportsTheRunsThatRan) {
    fillTrain("1000000", "10", "0.1", "0.9");
    platform.pathAnswers = {path("eval.dat")};
    platform.cancelAfterRuns = 35;
    commands->OnTrain();
    int runs = 0;
    ASSERT_EQ(std::sscanf(platform.messages.back().c_str(), "Ran %d training iterations", &runs),
              1);
    EXPECT_GE(runs, 35);
    EXPECT_LT(runs, 1000000);
    std::ifstream log(path("eval.dat"));
    int lines = 0;
    for (std::string line; std::getline(log, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, (runs - 1) / 10 + 1); // runs 0, 10, 20, ... before the cancel
    commands->OnShowLastLearningCurve();
    EXPECT_EQ(platform.shownFigures.front().text,
              "Cancelled after " + std::to_string(runs) + " of 1000000 runs");
}

// The view is given the values behind every playback step and how the playback ended; a
// manual drive gives the values where the robot stands, with no choice.
TEST_F(Panel, PlaybackAndDrivesGiveTheViewTheirValuesAndTheirEnd) {
    World twin = *world;
    const std::uint32_t state = random::state();
    commands->OnPlayback();
    for (int i = 0; i < 3; ++i) {
        commands->OnTimer(1000);
    }
    commands->OnStopPlayback();
    random::setState(state);
    for (int i = 0; i < 3; ++i) {
        bool reached = false;
        playbackStep(twin, reached);
        const ActionValues& shown = platform.actionValues[static_cast<std::size_t>(i)];
        for (int a = 0; a < QLearner::actionCount; ++a) {
            EXPECT_EQ(shown.ratings[a], twin.learner.ratings[a]) << "step " << i;
        }
        EXPECT_EQ(shown.chosen, actionIndex(twin.learner.travel, twin.learner.steering));
    }
    ASSERT_EQ(platform.captions.size(), 4u);
    EXPECT_EQ(platform.captions[2], "playback, step 3");
    EXPECT_EQ(platform.captions[3], "playback stopped after 3 steps");

    platform.sliderState = {0, 100, 50};
    commands->OnForwards();
    EXPECT_EQ(platform.actionValues.back().chosen, -1);
    EXPECT_EQ(platform.captions.back(), "");

    // A goal reached: the caption says after how many steps, beside the message.
    world->placeAt(0, 0, 0);
    world->goal = {-12, 0}; // just behind: the first step backwards touches it
    commands->OnPlayback();
    commands->OnTimer(1000);
    EXPECT_FALSE(commands->playing());
    EXPECT_EQ(platform.captions.back(), "goal after 1 step");
    EXPECT_EQ(platform.messages.back(), "Claims to have hit goal\n");
}

TEST_F(Panel, PlaybackPausesDuringTrainingAndGoesOn) {
    world->goal = {150, 150};
    commands->OnPlayback();
    fillTrain("5", "1", "0.1", "0.9");
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    EXPECT_TRUE(commands->playing());
    EXPECT_EQ(platform.timersRunning, 1);
    EXPECT_EQ(platform.timerStarts, 2);
}

TEST_F(Panel, SaveAndLoadReportFailures) {
    platform.pathAnswers = {""};
    commands->OnSaveWeights();
    EXPECT_TRUE(platform.messages.empty()); // cancelled: silent
    platform.pathAnswers = {path("missing/w.nnet")};
    commands->OnSaveWeights();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("not saved"), std::string::npos);
    platform.pathAnswers = {path("w.nnet")};
    commands->OnSaveWeights();
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(fs::exists(path("w.nnet")));
    EXPECT_EQ(platform.filters.back(), weightsFilter);

    std::ofstream(path("short.nnet")) << "0.5, 0.25| ";
    const auto before = parametersOf(world->learner.network);
    platform.pathAnswers = {path("short.nnet")};
    commands->OnLoadWeights();
    EXPECT_NE(platform.messages.back().find("holds only 2 of the 536"), std::string::npos);
    EXPECT_EQ(parametersOf(world->learner.network), before);
    EXPECT_EQ(platform.redraws, 0); // a refused load shows nothing new
    platform.pathAnswers = {path("w.nnet")};
    commands->OnLoadWeights();
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.redraws, 1); // what the view shows of the network follows the load
}

TEST_F(Panel, OkOffersToSaveAndClosesEitherWay) {
    platform.pathAnswers = {path("final.nnet")};
    commands->OnOkClicked();
    EXPECT_TRUE(fs::exists(path("final.nnet")));
    EXPECT_EQ(platform.ended, 1);

    FakePlatform cancelled;
    PanelCommands other(*world, cancelled);
    other.OnOkClicked();
    EXPECT_EQ(cancelled.ended, 1);
    EXPECT_EQ(cancelled.filters, std::vector<std::string>{weightsFilter});
}

TEST_F(Panel, OkWhoseSaveFailsLetsTheUserChooseAgain) {
    platform.pathAnswers = {path("missing/a.nnet"), path("b.nnet")};
    platform.askAnswers = {0}; // Choose Another File
    commands->OnOkClicked();
    EXPECT_EQ(platform.asked.size(), 1u);
    EXPECT_TRUE(fs::exists(path("b.nnet")));
    EXPECT_EQ(platform.ended, 1);

    FakePlatform giveUp;
    giveUp.pathAnswers = {path("missing/a.nnet")};
    giveUp.askAnswers = {1}; // Close Without Saving
    PanelCommands other(*world, giveUp);
    other.OnOkClicked();
    EXPECT_EQ(giveUp.asked.size(), 1u);
    EXPECT_EQ(giveUp.ended, 1);
}

TEST_F(Panel, CancelClosesWithoutSaving) {
    commands->OnPlayback();
    commands->OnCancelClicked();
    EXPECT_EQ(platform.ended, 0);
    EXPECT_TRUE(platform.filters.empty());
    EXPECT_TRUE(platform.asked.empty()); // nothing was trained, nothing to lose
    EXPECT_EQ(platform.timersRunning, 0);
}

// A training that changed the network, as the panel runs it.
void trainOnce(PanelCommands& commands, FakePlatform& platform, const std::string& log) {
    platform.fields[Field::runs] = "30";
    platform.fields[Field::evaluationFrequency] = "10";
    platform.fields[Field::learningRate] = "0.1";
    platform.fields[Field::discount] = "0.9";
    platform.pathAnswers.push_back(log);
    commands.OnTrain();
}

TEST_F(Panel, ClosingAfterATrainingAsksBeforeTheNetworkIsLost) {
    EXPECT_FALSE(commands->networkUnsaved());
    trainOnce(*commands, platform, path("eval.dat"));
    ASSERT_TRUE(commands->networkUnsaved());
    const auto trained = parametersOf(world->learner.network);

    // Keep Open: nothing closes, nothing changes.
    platform.askAnswers = {2};
    commands->OnCancelClicked();
    EXPECT_EQ(platform.ended, -1);
    ASSERT_EQ(platform.asked.size(), 1u);
    EXPECT_EQ(platform.asked[0], unsavedNetworkQuestion);
    EXPECT_EQ(platform.askedAnswers[0],
              (std::vector<std::string>{"Save...", "Close Without Saving", "Keep Open"}));
    EXPECT_EQ(parametersOf(world->learner.network), trained);

    // OK whose save dialog is cancelled asks too; the question closed unanswered keeps open.
    platform.askAnswers = {-1};
    commands->OnOkClicked();
    EXPECT_EQ(platform.ended, -1);
    EXPECT_EQ(platform.asked.size(), 2u);

    // Save...: a cancelled save dialog asks again; a save closes.
    platform.askAnswers = {0, 0};
    platform.pathAnswers = {"", path("kept.nnet")};
    commands->OnCancelClicked();
    EXPECT_EQ(platform.ended, 0);
    EXPECT_EQ(platform.asked.size(), 4u);
    const std::string kept = testing::readFile(path("kept.nnet"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), ' '), 536);
    EXPECT_FALSE(commands->networkUnsaved());
    EXPECT_EQ(platform.dialogTitles.back(), "Save Neural Net Weights");

    // Close Without Saving closes at once.
    FakePlatform other;
    PanelCommands fresh(*world, other);
    trainOnce(fresh, other, path("eval2.dat"));
    other.askAnswers = {1};
    fresh.OnCancelClicked();
    EXPECT_EQ(other.ended, 0);
}

TEST_F(Panel, SavingOrLoadingMakesTheNetworkSafeToClose) {
    trainOnce(*commands, platform, path("eval.dat"));
    platform.pathAnswers = {path("w.nnet")};
    commands->OnSaveWeights();
    EXPECT_FALSE(commands->networkUnsaved());
    trainOnce(*commands, platform, path("eval.dat"));
    EXPECT_TRUE(commands->networkUnsaved());
    platform.pathAnswers = {path("w.nnet")};
    platform.askAnswers = {1}; // Load Without Saving
    commands->OnLoadWeights();
    EXPECT_FALSE(commands->networkUnsaved());
    EXPECT_EQ(platform.dialogTitles.back(), "Load Neural Net Weights");
    // A training of evaluation runs only learns nothing: still safe.
    platform.fields[Field::evaluationFrequency] = "1";
    platform.pathAnswers = {path("eval.dat")};
    commands->OnTrain();
    EXPECT_FALSE(commands->networkUnsaved());
}

TEST_F(Panel, TheLastLearningCurveComesBack) {
    commands->OnShowLastLearningCurve();
    EXPECT_EQ(platform.messages.back(), "No training has run yet.");
    trainOnce(*commands, platform, path("eval.dat"));
    // The summary as it always read, and a line on the last tenth of the 3 evaluation runs:
    // the last, whose second column says whether it reached the goal.
    const std::string log = testing::readFile(path("eval.dat"));
    const bool lastReached = log[log.rfind('\n', log.size() - 2) + 3] == '1';
    EXPECT_EQ(platform.messages.back(),
              trainingSummary({30, 30, world->goalCount, world->collisionCount, world->missCount}) +
                  "\nGoals in the last tenth of the evaluation runs: " +
                  (lastReached ? "1 of 1 (100%)" : "0 of 1 (0%)"));
    commands->OnShowLastLearningCurve();
    EXPECT_EQ(platform.curveTitle, "Last Learning Curve");
    EXPECT_EQ(platform.curveXTitle, "run");
    // With the figures the training window showed at its end.
    ASSERT_EQ(platform.shownFigures.size(), 7u);
    EXPECT_EQ(platform.shownFigures[0].label, "Runs:");
    EXPECT_EQ(platform.shownFigures[0].text, "30/30 (100%)");
    EXPECT_EQ(platform.shownFigures[1].text, std::to_string(world->goalCount));
    EXPECT_EQ(platform.shownFigures[3].text, std::to_string(world->missCount));
    EXPECT_EQ(platform.curveWindowShown, 10); // at least 10 evaluations
    ASSERT_EQ(platform.curve.size(), 3u);     // runs 0, 10 and 20
    EXPECT_EQ(platform.curve[2].index, 20);
    EXPECT_DOUBLE_EQ(
        platform.curve[2].goals + platform.curve[2].collisions + platform.curve[2].misses, 1);
}

// Place repeats the placement, with the draws further presses would make, until neither the
// robot nor the goal is on an obstacle.
TEST_F(Panel, PlacingTakesTheFirstPlacementClearOfTheObstacles) {
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 25);
    World twin = *world;
    const std::uint32_t state = random::state();
    commands->OnPlaceRobotAndGoal();
    EXPECT_FALSE(world->robotOnObstacle());
    EXPECT_FALSE(world->goalOnObstacle());
    random::setState(state);
    int k = 0;
    do {
        twin.placeRobotAndGoal();
        ++k;
    } while (twin.robotOnObstacle() || twin.goalOnObstacle());
    EXPECT_GT(k, 1) << "a field where the first placement is not clear";
    EXPECT_EQ(world->rear, twin.rear);
    EXPECT_EQ(world->goal, twin.goal);
    EXPECT_EQ(random::state(), [&] {
        random::setState(state);
        for (int i = 0; i < k; ++i) {
            twin.placeRobotAndGoal();
        }
        return random::state();
    }());
    EXPECT_TRUE(platform.messages.empty());

    // No clear place at all: 1000 placements, the last kept, said once.
    world->obstacleCount = 1;
    Obstacle& all = world->obstacles[0];
    all.resize(4);
    all.vertices = {{-200, -200}, {200, -200}, {200, 200}, {-200, 200}};
    all.updateBox();
    const std::uint32_t before = random::state();
    commands->OnPlaceRobotAndGoal();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], noClearPlaceMessage);
    random::setState(before);
    for (int i = 0; i < 1000; ++i) {
        twin.placeRobotAndGoal();
    }
    EXPECT_EQ(world->rear, twin.rear);
}

// Loading asks as closing does when the network would be lost, and only then.
TEST_F(Panel, LoadingAsksBeforeAChangedNetworkIsReplaced) {
    platform.pathAnswers = {path("first.nnet")};
    commands->OnSaveWeights();
    EXPECT_EQ(platform.proposedNames.back(), "quorvel.nnet");
    platform.pathAnswers = {path("first.nnet")};
    commands->OnLoadWeights();
    EXPECT_TRUE(platform.asked.empty()); // nothing to lose

    trainOnce(*commands, platform, path("eval.dat"));
    EXPECT_EQ(platform.proposedNames.back(), "eval.dat");
    const auto trained = parametersOf(world->learner.network);
    platform.askAnswers = {2}; // Cancel: neither dialog, the network kept
    const std::size_t dialogs = platform.dialogTitles.size();
    commands->OnLoadWeights();
    ASSERT_EQ(platform.asked.size(), 1u);
    EXPECT_EQ(platform.asked[0], unsavedBeforeLoadQuestion);
    EXPECT_EQ(platform.askedAnswers[0],
              (std::vector<std::string>{"Save...", "Load Without Saving", "Cancel"}));
    EXPECT_EQ(platform.dialogTitles.size(), dialogs);
    EXPECT_EQ(parametersOf(world->learner.network), trained);

    // Save...: saved first, then the load.
    platform.askAnswers = {0};
    platform.pathAnswers = {path("trained.nnet"), path("first.nnet")};
    commands->OnLoadWeights();
    EXPECT_TRUE(fs::exists(path("trained.nnet")));
    EXPECT_EQ(platform.dialogTitles.back(), "Load Neural Net Weights");
    EXPECT_NE(parametersOf(world->learner.network), trained);
    EXPECT_FALSE(commands->networkUnsaved());
}

TEST_F(Panel, RecordingPlaysBackAsPlaybackDoesAPictureATick) {
    world->goal = {150, 150}; // never reached: only the frame limit or Stop ends it
    platform.checks[CheckBox::trails] = true;
    World twin = *world;
    const auto start = random::state();

    platform.pathAnswers = {path("play.gif")};
    commands->OnRecordPlayback(25);
    EXPECT_EQ(platform.dialogTitles.back(), "Record Playback");
    EXPECT_EQ(platform.filters.back(), gifFilter);
    ASSERT_EQ(platform.recordings, std::vector<std::string>{path("play.gif")});
    EXPECT_TRUE(commands->recording());
    EXPECT_TRUE(commands->playing());
    int ticks = 0;
    while (commands->playing()) {
        commands->OnTimer(1000);
        ++ticks;
    }
    EXPECT_EQ(ticks, 25);
    EXPECT_EQ(platform.recordedFrames, 25);
    EXPECT_EQ(platform.finishedRecordings, 1);
    EXPECT_FALSE(commands->recording());
    EXPECT_EQ(platform.timersRunning, 0);

    // The same ticks without recording: the same poses, trail and random sequence.
    const auto afterRecording = random::state();
    random::setState(start);
    FakePlatform plain;
    plain.checks[CheckBox::trails] = true;
    PanelCommands playing(twin, plain);
    playing.OnPlayback();
    for (int i = 0; i < 25; ++i) {
        playing.OnTimer(1000);
    }
    EXPECT_EQ(random::state(), afterRecording);
    EXPECT_EQ(twin.front, world->front);
    EXPECT_EQ(twin.trailCount, world->trailCount);

    // Stop Playback, and closing the panel, end a recording whole; at most 400 pictures.
    platform.pathAnswers = {path("stopped.gif")};
    commands->OnRecordPlayback();
    commands->OnTimer(1000);
    commands->OnStopPlayback();
    EXPECT_EQ(platform.finishedRecordings, 2);
    platform.pathAnswers = {path("long.gif")};
    commands->OnRecordPlayback(100000);
    for (int i = 0; i < 500 && commands->playing(); ++i) {
        commands->OnTimer(1000);
    }
    EXPECT_EQ(platform.recordedFrames, maxRecordedFrames);
    platform.pathAnswers = {path("closed.gif")};
    commands->OnRecordPlayback();
    commands->OnCancelClicked();
    EXPECT_EQ(platform.finishedRecordings, 4);
}

TEST_F(Panel, RecordingEndsWithThePlaybackAndSaysWhatFailed) {
    world->goal = {-14, 0}; // reached on the first step
    platform.pathAnswers = {path("goal.gif")};
    commands->OnRecordPlayback();
    commands->OnTimer(1000);
    EXPECT_FALSE(commands->playing());
    EXPECT_EQ(platform.recordedFrames, 1); // the last pose is in the picture
    EXPECT_EQ(platform.finishedRecordings, 1);
    EXPECT_EQ(platform.messages.back(), "Claims to have hit goal\n");

    platform.recordingProblem = "Could not create \"x.gif\"; nothing was recorded.";
    platform.pathAnswers = {path("x.gif")};
    commands->OnRecordPlayback();
    EXPECT_FALSE(commands->playing());
    EXPECT_FALSE(commands->recording());
    EXPECT_EQ(platform.messages.back(), platform.recordingProblem);
    platform.pathAnswers = {""};
    commands->OnRecordPlayback(); // the file dialog cancelled: nothing happens
    EXPECT_EQ(platform.recordings.size(), 2u);
}

TEST_F(Panel, PlotsSeveralLogsSideBySide) {
    for (const char* name : {"a.dat", "b.dat"}) {
        std::ofstream log(path(name));
        for (int i = 0; i < 30; ++i) {
            log << (name[0] == 'a' ? "1,1,5,1.0,1.0,1.0, 1.4\n" : "0,0,1,1.0,1.0,1.0, 1.4\n");
        }
    }
    platform.pathAnswers = {path("a.dat"), path("b.dat")};
    commands->OnPlotEvaluationLog();
    ASSERT_EQ(platform.shownCurves.size(), 2u);
    EXPECT_EQ(platform.curveTitle, "Evaluation Logs - 2 logs");
    EXPECT_EQ(platform.shownCurves[0].name, "a.dat");
    EXPECT_EQ(platform.shownCurves[1].name, "b.dat");
    EXPECT_EQ(platform.shownCurves[0].points.back().goals, 1);
    EXPECT_EQ(platform.shownCurves[1].points.back().goals, 0);
    EXPECT_EQ(platform.dialogTitles.size(), 1u); // one dialog for both
}

TEST_F(Panel, SteeringKeysMoveTheSliderWithinItsRange) {
    platform.sliderState = {0, 100, 0};
    commands->OnSteerBy(-1);
    EXPECT_EQ(platform.sliderState.position, 0);
    commands->OnSteerBy(10);
    commands->OnSteerBy(1);
    EXPECT_EQ(platform.sliderState.position, 11);
    commands->OnSteerStraight();
    EXPECT_EQ(platform.sliderState.position, 50);
    EXPECT_EQ(steeringFromSlider(platform.sliderState), 0);
    commands->OnSteerBy(70);
    EXPECT_EQ(platform.sliderState.position, 100);
}

} // namespace
} // namespace quorvel

namespace quorvel {
namespace {

TEST_F(Panel, PlotsALogOrNamesItsBadLine) {
    {
        std::ofstream log(path("eval.dat"));
        for (int i = 0; i < 20; ++i) {
            log << (i < 10 ? "0,0,1,1.0,1.0,1.0, 1.4\n" : "1,1,5,1.0,1.0,1.0, 1.4\n");
        }
    }
    platform.pathAnswers = {path("eval.dat")};
    commands->OnPlotEvaluationLog();
    EXPECT_EQ(platform.filters, std::vector<std::string>{evaluationLogFilter});
    EXPECT_EQ(platform.curveTitle, "Evaluation Log - eval.dat");
    EXPECT_EQ(platform.curveWindowShown, 10);
    ASSERT_EQ(platform.curve.size(), 20u);
    EXPECT_EQ(platform.curve[9].collisions, 1);
    EXPECT_EQ(platform.curve[14].goals, 0.5);
    EXPECT_EQ(platform.curve[19].goals, 1);

    std::ofstream(path("bad.dat")) << "0,0,1,1.0,1.0,1.0, 1.4\nnot a line\n";
    platform.pathAnswers = {path("bad.dat")};
    platform.curve.clear();
    commands->OnPlotEvaluationLog();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind("Line 2 of \"", 0), 0u);
    EXPECT_TRUE(platform.curve.empty());

    platform.pathAnswers = {""};
    commands->OnPlotEvaluationLog();
    EXPECT_EQ(platform.messages.size(), 1u);
}

} // namespace
} // namespace quorvel
