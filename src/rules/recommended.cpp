#include "rules/recommended.h"

namespace quorvel {

RecommendedTraining recommendedTraining(LearnerKind learner) {
    RecommendedTraining r;
    r.request.runs = 500000;
    r.request.evaluationFrequency = 100;
    r.request.learningRate = 0.1;
    r.request.discount = 0.999;
    r.request.annealing = defaultAnnealingNumber;
    r.qLearn = true;
    r.learner = learner;
    if (learner == LearnerKind::hindsight) {
        const HindsightDefaults d = defaultHindsight();
        r.request.runs = 170000;
        r.request.learningRate = d.learningRate;
        r.request.discount = d.discount;
    }
    return r;
}

GenerateRequest defaultField() {
    return {7, 10, 15};
}

GenerateRequest quickStartField() {
    GenerateRequest field = defaultField();
    field.count = 2;
    return field;
}

} // namespace quorvel
