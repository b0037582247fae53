#include "app/panel_layout.h"

#include "rules/recommended.h"

namespace quorvel {

namespace {

using K = PanelControl::Kind;
using C = PanelCommands;

// Tooltips name the value to try as %1.
constexpr PanelControl controls[] = {
    {K::button, "OK", 7, 513, 50, 16, "Offer to save the network's weights, then close",
     &C::OnOkClicked},
    {K::button, "Cancel", 553, 513, 50, 16,
     "Close; asks first when the network has changed since it was saved", &C::OnCancelClicked},
    {K::view, "", 7, 7, 596, 292, "The arena seen from above; click to draw it again"},
    {K::slider, "", 131, 319, 317, 15,
     "Steering: straight ahead is the middle (Home or 0). It starts at the left end, which "
     "turns hardest; just left of the middle turns right, further left turns left, and the "
     "right half mirrors that"},
    {K::repeatingButton, "forwards", 224, 301, 136, 14,
     "Drive 2 units forwards, steered by the slider (Up arrow)", &C::OnForwards},
    {K::repeatingButton, "reverse", 223, 345, 136, 14,
     "Drive 2 units in reverse, steered by the slider (Down arrow)", &C::OnReverse},
    {K::group, "Obstacle Controls", 137, 369, 209, 78},
    {K::edit, "", 225, 383, 40, 14, "Number of obstacles, 0 to 7: fewer are learnt faster (try %1)",
     nullptr, Field::obstacles, "0-7"},
    {K::edit, "", 225, 406, 40, 14, "Sides of each obstacle, 3 to 10 (try %1)", nullptr,
     Field::sides, "3-10"},
    {K::label, "Num Obstacles", 154, 383, 72, 13},
    {K::label, "Sides per Obstacle", 153, 406, 72, 13},
    {K::button, "Generate", 274, 383, 50, 31,
     "Make a new field of random obstacles, clear of the robot and the goal", &C::OnGenerate},
    {K::edit, "", 225, 427, 40, 14,
     "Average distance of an obstacle's corners from its centre, 5 to 25 (try %1)", nullptr,
     Field::radius, "5-25"},
    {K::label, "Average Obstacle Radius", 152, 422, 72, 20},
    {K::group, "Learning Controls", 379, 346, 165, 183},
    {K::button, "Playback Learned Behavior", 389, 360, 145, 14,
     "Let the network drive the robot, one step every tenth of a second", &C::OnPlayback},
    {K::button, "Stop Playback", 389, 378, 145, 14, "Stop the network driving", &C::OnStopPlayback},
    {K::label, "Num Training runs", 389, 400, 69, 8},
    {K::edit, "", 464, 396, 70, 12,
     "Number of training runs, 1 to 10000000: more runs, more learnt (try %1, about a minute)",
     nullptr, Field::runs, "1-10000000"},
    {K::button, "Train", 389, 507, 145, 14,
     "Ask where to write the evaluation log, then train the network", &C::OnTrain},
    {K::label, "Evaluation Freq", 389, 421, 70, 8},
    {K::edit, "", 464, 415, 70, 14,
     "Every run whose number is a multiple of this is an evaluation run, logged and drawn on "
     "the curve; it learns nothing (try %1)",
     nullptr, Field::evaluationFrequency, ""},
    {K::button, "Save Neural Net Weights", 15, 400, 114, 25, "Save the network's weights to a file",
     &C::OnSaveWeights},
    {K::button, "Load Neural Net Weights", 15, 369, 114, 25,
     "Load the network's weights from a file", &C::OnLoadWeights},
    {K::button, "Place Robot and Goal", 274, 417, 50, 24,
     "Put the robot and the goal somewhere new", &C::OnPlaceRobotAndGoal},
    {K::edit, "", 494, 442, 40, 14,
     "Learning rate, 0.001 to 0.9: how far each lesson moves the network; too high and it "
     "forgets, too low and it learns slowly (try %1)",
     nullptr, Field::learningRate, "0.001-0.9"},
    {K::label, "Learning Rate", 445, 442, 48, 14},
    {K::checkBox, "Q-learn", 389, 442, 40, 14,
     "Q-learn: episodes of random length, each step learning from the value of the next; here "
     "it learns several times faster (try it on)",
     nullptr, Field::obstacles, "", CheckBox::qLearn},
    {K::label, "Learner", 550, 430, 53, 10},
    {K::learner, "", 550, 442, 53, 14,
     "Who learns from the training runs. on-line: the network learns from each drive as it "
     "ends (Q-learn says how). hindsight: it learns from samples of a memory of earlier drives, "
     "each also replayed as if its goal had been a place the robot reached later, so that a "
     "drive that missed the goal still teaches; it takes more time a run, and tries a learning "
     "rate of %1 and a discount of %2"},
    {K::edit, "", 464, 468, 70, 15,
     "Reward discount factor, 0.001 to 0.999: how far back from the goal a step still learns "
     "of it; near 1 the robot learns long drives (try %1)",
     nullptr, Field::discount, "0.001-0.999"},
    {K::label, "Discount Factor", 389, 468, 65, 15},
    {K::edit, "", 494, 489, 40, 14,
     "Runs until exploring gives way halfway to using what was learnt; empty: 200 (try %1)",
     nullptr, Field::annealing, "200"},
    {K::label, "Magic Number for Annealing", 389, 492, 90, 8},
    {K::checkBox, "Robot leaves \"trails\"", 17, 351, 86, 10,
     "During playback, keep the past poses, coloured by the network's value", nullptr,
     Field::obstacles, "", CheckBox::trails},
    {K::speed, "", 15, 432, 114, 14,
     "How fast playback drives: one step every tenth of a second, 4 or 16 steps, or a step "
     "whenever the last picture is drawn (plus and minus keys)"},
    {K::button, "Pause", 15, 450, 55, 14, "Pause the playback, or go on with it (Space)",
     &C::OnPause},
    {K::button, "Step", 74, 450, 55, 14,
     "One step of the playback, paused; starts one when none runs (full stop key)", &C::OnStep},
};

} // namespace

int editIndex(Field field) {
    constexpr Field order[] = {
        Field::obstacles,           Field::sides,        Field::radius,   Field::runs,
        Field::evaluationFrequency, Field::learningRate, Field::discount, Field::annealing};
    for (int i = 0; i < 8; ++i) {
        if (order[i] == field) {
            return i;
        }
    }
    return 0;
}

std::span<const PanelControl> panelControls() {
    return controls;
}

QString tryValue(Field field) {
    // The panel's learner unless the user chooses the other.
    const RecommendedTraining training = recommendedTraining(LearnerKind::online);
    const TrainRequest& r = training.request;
    const GenerateRequest f = quickStartField();
    double value = 0;
    switch (field) {
    case Field::obstacles:
        value = f.count;
        break;
    case Field::sides:
        value = f.sides;
        break;
    case Field::radius:
        value = f.radius;
        break;
    case Field::runs:
        value = r.runs;
        break;
    case Field::evaluationFrequency:
        value = r.evaluationFrequency;
        break;
    case Field::learningRate:
        value = r.learningRate;
        break;
    case Field::discount:
        value = r.discount;
        break;
    case Field::annealing:
        value = r.annealing;
        break;
    }
    return QString::fromStdString(fieldText(value));
}

} // namespace quorvel
