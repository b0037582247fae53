#pragma once

#include "common/vec2.h"

namespace quorvel {

// The arena's floor as the view draws it: 20 by 20 squares of side 8 on a pitch of 10, the
// first centred at (-100, -100), so that it spans -104..94 on both axes (not symmetric).
struct Floor {
    static constexpr int squares = 20;
    static constexpr double firstCentre = -100;
    static constexpr double pitch = 10;
    static constexpr double squareHalfSide = 4;
    static constexpr double low = firstCentre - squareHalfSide;                          // -104
    static constexpr double high = firstCentre + (squares - 1) * pitch + squareHalfSide; // 94

    static constexpr Vec2 squareCentre(int column, int row) {
        return {firstCentre + column * pitch, firstCentre + row * pitch};
    }
    // Whether a robot centred here has left the floor: its centre a body length (10) or more
    // beyond an edge, where nobody watching could see it any more.
    static constexpr double margin = 10;
    static constexpr bool left(Vec2 centre) {
        return centre.x < low - margin || centre.x > high + margin || centre.y < low - margin ||
               centre.y > high + margin;
    }
};
static_assert(Floor::low == -104 && Floor::high == 94);

// Episodes end once the squared distance from the robot's front point to the goal reaches
// this (2 * 150^2): the arena bound, a distance rather than a box.
inline constexpr double arenaBound = 45000;

} // namespace quorvel
