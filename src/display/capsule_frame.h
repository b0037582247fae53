#pragma once

#include "common/vec2.h"

#include <array>

namespace quorvel {

// The model-view matrix that lays a GLU cylinder (axis along local z) along `heading` in the
// plane z = z0, starting at `start`; column-major, as glMultMatrixd takes it. Local y is the
// heading turned a quarter turn counter-clockwise; local x points away from the viewer.
constexpr std::array<double, 16> capsuleFrame(Vec2 start, Vec2 heading, double z0) {
    return {0,          0,         -1, 0, //
            -heading.y, heading.x, 0,  0, //
            heading.x,  heading.y, 0,  0, //
            start.x,    start.y,   z0, 1};
}

} // namespace quorvel
