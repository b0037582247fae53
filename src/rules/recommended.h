#pragma once

#include "rules/input_rules.h"

#include <string>

// The settings a person should try first, written once: quorvel-train's defaults, the values
// the panel's fields offer to try, and the README's quick start all come from here.
namespace quorvel {

// The training the study in docs/learning.md found to learn best on the default field.
struct RecommendedTraining {
    TrainRequest request;
    bool qLearn = false;
    LearnerKind learner = LearnerKind::online;
};
RecommendedTraining recommendedTraining();
// The same with the learning rate and discount that suit this learner.
RecommendedTraining recommendedTraining(LearnerKind learner);

// The trainer's field: 7 obstacles of 10 sides, radius 15.
GenerateRequest defaultField();
// The field of the quick start, on which a person sees the robot learn within a minute.
GenerateRequest quickStartField();

} // namespace quorvel
