#include "panel/panel_commands.h"

#include "common/files.h"
#include "rules/field_file.h"
#include "training/network_evaluation.h"
#include "training/reachability.h"
#include "world/floor.h"
#include "world/world.h"

#include <cmath>

// The panel's field: robot and goal put with the mouse, fields kept in files, and the network
// evaluated on it.
namespace quorvel {

const char* const fieldFilter = "Quorvel Fields (*.field)|*.field|All Files (*.*)|*.*||";

namespace {

bool onTheFloor(Vec2 p) {
    return p.x >= Floor::low && p.x <= Floor::high && p.y >= Floor::low && p.y <= Floor::high;
}

} // namespace

void PanelCommands::OnPlaceRobotAt(Vec2 centre, std::optional<Vec2> towards) {
    if (!onTheFloor(centre)) {
        return;
    }
    const World::Placement before = world_.placement();
    Vec2 axis = world_.heading;
    if (towards && length(*towards - centre) > 0) {
        axis = (*towards - centre) / length(*towards - centre);
    }
    world_.placeCentreAt(centre, axis);
    if (world_.robotOnObstacle()) {
        world_.restorePlacement(before);
        platform_.showMessage("The robot would touch an obstacle there; it stays where it was.");
        return;
    }
    world_.trailCount = 0;
    world_.sense();
    showChangedWorld();
}

void PanelCommands::OnPlaceGoalAt(Vec2 centre) {
    if (!onTheFloor(centre)) {
        return;
    }
    const Vec2 before = world_.goal;
    world_.goal = centre;
    if (world_.goalOnObstacle()) {
        world_.goal = before;
        platform_.showMessage("The goal would touch an obstacle there; it stays where it was.");
        return;
    }
    showChangedWorld();
}

void PanelCommands::OnSaveField() {
    const std::string path = platform_.askSavePath("Save Field", fieldFilter, "quorvel.field");
    if (path.empty()) {
        return;
    }
    const std::string text = fieldText(fieldOf(world_));
    if (writeFileAtomically(path, [&](std::FILE* file) {
            return std::fputs(text.c_str(), file) >= 0;
        }) != FileWriteStatus::ok) {
        platform_.showMessage("Could not write \"" + path + "\"; the field was not saved.");
    }
}

void PanelCommands::OnLoadField() {
    const std::string path = platform_.askOpenPath("Load Field", fieldFilter);
    if (path.empty()) {
        return;
    }
    const FieldRead read = readFieldFile(path);
    if (!read.field) {
        platform_.showMessage(read.error + " Nothing was changed.");
        return;
    }
    applyField(world_, *read.field);
    showChangedWorld();
}

void PanelCommands::OnEvaluateNetwork() {
    const std::optional<int> drives = platform_.askNumber(
        "Evaluate Network", "Drives from random placements on this field:", evaluatedDrives, 1,
        maxRuns);
    if (!drives) {
        return;
    }
    // From the random state as it is, on a copy: nothing of the panel's is changed.
    const NetworkEvaluation evaluation =
        evaluateNetwork(world_, *drives, random::Sequence(random::state()));
    std::string text = describeDrives(evaluation.tally);
    ReachJob search(world_, evaluation.placements);
    const std::string searching = "Searching the placements for drives that reach the goal";
    bool searched = platform_.showProgress(searching, 0, search.total());
    if (searched) {
        search.runHere([&](int i, const ReachAnswer&) {
            if (!platform_.showProgress(searching, i + 1, search.total())) {
                search.cancel();
            }
        });
        const ReachTally tally = search.tally();
        searched = tally.searched() == search.total();
        if (searched) {
            text.append("\n").append(describeTally(tally)).append(".");
        }
    }
    platform_.showProgress(searching, search.total(), search.total());
    platform_.showMessage(text);
}

} // namespace quorvel
