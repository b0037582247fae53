#pragma once

namespace quorvel {

class World;

// Sets clear colour, depth test, colour tracking, the orthographic projection (200 units
// high, as wide as the aspect ratio gives) and the camera, on matrices that are identity.
void SetupProjection(int width, int height);

// Puts back the state a fresh context starts in, so that a kept context draws every picture
// as a new one would: identity matrices, current normal (0, 0, 1), no blending, no lighting,
// colour tracking off in its default mode, white current colour.
void resetPictureState();

// One whole picture of the world into the current context: clear, light, floor grid, scene.
void renderPicture(const World& world, int width, int height);

// Sets every pixel's alpha to 1, leaving the colours: the picture is opaque when the
// platform composes it with the window, as a surface without alpha would show it.
void makePictureOpaque();

// The trail, the robot, the obstacles, the goal and the sensor rays. Reads the world only.
void drawScene(const World& world);

} // namespace quorvel
