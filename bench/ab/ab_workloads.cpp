// The workloads the A/B comparison times, built into one library per build under comparison
// (scripts/ab.sh). QUORVEL_AB_HINDSIGHT picks the hindsight learner's updates (a unit is an
// update, from a memory filled as BM_HindsightUpdates fills it); otherwise the trainer's
// default on-line training of the workload's field (a unit is a run of one long training).
// Two builds that keep the bytes do the same units. A library holds one workload, in the
// globals below: the driver reaches it only through the two C functions.
#include "common/random.h"
#include "training/hindsight.h"
#include "training/training.h"
#include "world/world.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorvel;

namespace {

World* world;
#ifdef QUORVEL_AB_HINDSIGHT
HindsightLearner* learner;
#else
TrainingSession* session;
#endif

} // namespace

extern "C" __attribute__((visibility("default"))) void quorvel_ab_setup() {
    random::restart();
    world = new World(10, 10, 0, 0, 0);
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
#ifdef QUORVEL_AB_HINDSIGHT
    const HindsightDefaults d = defaultHindsight();
    HindsightSettings settings = d.settings;
    settings.updatesPerStep = 1;
    learner = new HindsightLearner(settings, d.learningRate, d.discount, 200, 100000, 1,
                                   world->learner.network);
    for (int run = 0; learner->memory().size() < settings.warmUpSteps; ++run) {
        world->placeRandomly(runPlacementMargin, runRedrawSpan);
        learner->runEpisode(*world, run);
    }
#else
    TrainingSettings s;
    s.runs = 10000000;
    // Each library its own log in the folder scripts/ab.sh made for them (and removes).
    static int tag = 0;
    const char* folder = std::getenv("QUORVEL_AB_DIR");
    s.logPath = std::string(folder != nullptr ? folder : ".") + "/log-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(&tag)) + ".dat";
    s.evaluationFrequency = 100;
    s.learningRate = 0.1;
    s.discount = 0.999;
    s.annealingNumber = 200;
    s.qLearn = true;
    session = new TrainingSession(*world, s);
    session->start();
#endif
}

extern "C" __attribute__((visibility("default"))) double quorvel_ab_work(int units) {
#ifdef QUORVEL_AB_HINDSIGHT
    learner->update(*world, units);
#else
    for (int i = 0; i < units; ++i) {
        session->runOne();
    }
#endif
    return world->goalCount;
}
