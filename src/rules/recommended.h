#pragma once

#include "rules/input_rules.h"

#include <string>

// The settings a person should try first, written once: quorvel-train's defaults, the values
// the panel's fields offer to try, and the README's quick start all come from here.
namespace quorvel {

// The training of each learner that the study in docs/learning.md found to learn best on the
// default field, the two in about the same time (a hindsight run costs more than an on-line
// one). The panel's values to try and the README's quick start are the on-line learner's.
struct RecommendedTraining {
    TrainRequest request;
    bool qLearn = false; // the on-line learner's switch
    LearnerKind learner = LearnerKind::online;
};
RecommendedTraining recommendedTraining(LearnerKind learner);

// quorvel-train's learner when none is named: it learns more than the on-line learner in the
// default training's time.
inline constexpr LearnerKind trainerLearner = LearnerKind::hindsight;
// quorvel-train's defaults: its learner's training.
inline RecommendedTraining recommendedTraining() {
    return recommendedTraining(trainerLearner);
}

// The trainer's field: 7 obstacles of 10 sides, radius 15.
GenerateRequest defaultField();
// The field of the quick start, on which a person sees the robot learn within a minute.
GenerateRequest quickStartField();

} // namespace quorvel
