// The workloads the A/B comparison times, built into one library per build under comparison
// (scripts/ab.sh). QUORVEL_AB_HINDSIGHT picks the hindsight learner's updates (a unit is an
// update, on the memory BM_HindsightUpdates times); otherwise the trainer's default on-line
// training of the standard field (a unit is a run of one long training). Two builds that keep
// the bytes do the same units. A library holds one workload, in the globals below: the driver
// reaches it only through the two C functions.
#include "../workload.h"
#include "rules/recommended.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

using namespace quorvel;

namespace {

std::unique_ptr<World> world;
#ifdef QUORVEL_AB_HINDSIGHT
std::unique_ptr<HindsightLearner> learner;
#else
std::unique_ptr<TrainingSession> session;
#endif

} // namespace

extern "C" __attribute__((visibility("default"))) void quorvel_ab_setup() {
    world = bench::standardWorld();
#ifdef QUORVEL_AB_HINDSIGHT
    learner = bench::warmedHindsightLearner(*world);
#else
    const RecommendedTraining online = recommendedTraining(LearnerKind::online);
    // Each library its own log, in the folder scripts/ab.sh made for them (and removes).
    static int tag = 0;
    const char* folder = std::getenv("QUORVEL_AB_DIR");
    TrainingSettings settings =
        trainingSettings(online.request, online.qLearn,
                         std::string(folder != nullptr ? folder : ".") + "/log-" +
                             std::to_string(reinterpret_cast<std::uintptr_t>(&tag)) + ".dat",
                         "");
    settings.runs = 10000000; // more than any comparison's bursts take
    session = std::make_unique<TrainingSession>(*world, settings);
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
