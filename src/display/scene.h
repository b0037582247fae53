#pragma once

#include "world/world.h"

#include <deque>

namespace quorvel {

struct TrialPath;
struct ValueMap;

// What a picture shows besides the World. Left empty, the picture is the World's scene alone.
struct SceneExtras {
    // The floor's squares coloured by these values (valueColour), unlit so the scale reads
    // as it is.
    const ValueMap* valueMap = nullptr;
    // Earlier drives, drawn faintly under everything else, the oldest faintest.
    const std::deque<TrialPath>* earlierPaths = nullptr;
    // Slices and stacks of the robot's and the trail's capsules.
    int capsuleDetail = 20;
};

// The colour of a value on the value map's scale, from 0 (dark blue, as the floor) through
// cyan to 1 (nearly white). Values outside 0..1 take the nearer end; a NaN is grey.
Colour valueColour(double value);

// Sets clear colour, depth test, colour tracking, the orthographic projection (200 units
// high, as wide as the aspect ratio gives) and the camera, on matrices that are identity.
void SetupProjection(int width, int height);

// Puts back the state a fresh context starts in, so that a kept context draws every picture
// as a new one would: identity matrices, current normal (0, 0, 1), no blending, no lighting,
// colour tracking off in its default mode, white current colour.
void resetPictureState();

// One whole picture of the world into the current context: clear, light, floor grid, scene.
void renderPicture(const World& world, int width, int height, const SceneExtras& extras = {});

// Sets every pixel's alpha to 1, leaving the colours: the picture is opaque when the
// platform composes it with the window, as a surface without alpha would show it.
void makePictureOpaque();

// The trail, the robot, the obstacles, the goal and the sensor rays. Reads the world only.
void drawScene(const World& world, int capsuleDetail = 20);

} // namespace quorvel
