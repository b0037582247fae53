#pragma once

#include "panel/panel_commands.h"

#include <QString>

#include <span>

namespace quorvel {

// One control of the panel, where the dialog layout puts it (in dialog units), what it shows,
// and what it does. The rows stand in the layout's order, which is also the tab order.
struct PanelControl {
    enum class Kind {
        button,
        repeatingButton,
        edit,
        label,
        group,
        checkBox,
        slider,
        view,
        speed,
        learner
    };
    Kind kind;
    const char* caption; // a button's, label's, group's or check box's text
    int x, y, width, height;
    const char* tip = "";
    void (PanelCommands::*command)() = nullptr; // a button's
    Field field = Field::obstacles;             // an edit's
    const char* range = "";                     // an edit's range, shown while it is empty
    CheckBox box = CheckBox::trails;            // a check box's
};

// The panel's controls, the view first among them after OK and Cancel.
std::span<const PanelControl> panelControls();

// Where a field's edit stands among the panel's eight, in the order of their ids.
int editIndex(Field field);

// The value an empty field offers to try ("500000"), from the recommended settings.
QString tryValue(Field field);

// The size of the layout, in dialog units.
inline constexpr int panelWidthUnits = 610;
inline constexpr int panelHeightUnits = 529;

} // namespace quorvel
