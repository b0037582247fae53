#include "rules/recommended.h"

#include "common/c_locale.h"

#include <cstdio>

namespace quorvel {

RecommendedTraining recommendedTraining() {
    RecommendedTraining r;
    r.request.runs = 500000;
    r.request.evaluationFrequency = 100;
    r.request.learningRate = 0.1;
    r.request.discount = 0.999;
    r.request.annealing = defaultAnnealingNumber;
    r.qLearn = true;
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

std::string fieldText(double value) {
    const CNumericLocale cLocale;
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace quorvel
