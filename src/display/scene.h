#pragma once

#include "world/world.h"

#include <deque>

namespace quorvel {

struct TrialPath;
struct ValueMap;

// What a picture shows besides the World. Left empty, the picture is the World's scene alone.
struct SceneExtras {
    // The floor's squares coloured by these values (valueColour), unlit so the scale reads
    // as it is; the value valueLow takes the scale's first colour and valueHigh its last (0 and
    // 1, or the map's own lowest and highest value, stretched).
    const ValueMap* valueMap = nullptr;
    double valueLow = 0;
    double valueHigh = 1;
    // Earlier drives, drawn faintly under everything else, the oldest faintest.
    const std::deque<TrialPath>* earlierPaths = nullptr;
    // Slices and stacks of the robot's and the trail's capsules.
    int capsuleDetail = 20;
};

// The colour of a value on the value map's scale, from 0 (dark blue, as the floor) through
// cyan to 1 (nearly white). Values outside 0..1 take the nearer end; a NaN is grey.
Colour valueColour(double value);

// Sets clear colour, depth test, colour tracking, the orthographic projection and the camera,
// on matrices that are identity. The picture is 200 units high and as wide as its shape gives;
// one taller than wide is 200 units wide instead, so that the arena always fits.
void SetupProjection(int width, int height);
inline constexpr double visibleHalf = 100;
Vec2 visibleHalfExtent(int width, int height);
// The point of the arena shown at a pixel (from the top-left corner) of such a picture.
Vec2 arenaPoint(double x, double y, int width, int height);

// Puts back the state a fresh context starts in, so that a kept context draws every picture
// as a new one would: identity matrices, current normal (0, 0, 1), no blending, no lighting,
// colour tracking off in its default mode, white current colour.
void resetPictureState();

// One whole picture of the world into the current context: clear, light, floor grid, scene.
void renderPicture(const World& world, int width, int height, const SceneExtras& extras = {});

// A picture in parts, for a view that keeps the parts that stay (kept_picture.h). Between
// beginPicture and endPicture, in this order, they draw what renderPicture draws: the ground
// (cleared, the floor and the earlier paths), poses [from, to) of the trail, the robot, the
// obstacles' rods and the goal, the sensor rays. Each part reads the world only and leaves
// the state as it found it.
void beginPicture(int width, int height); // the state of a fresh context, projection, light
void endPicture();
void drawGround(const SceneExtras& extras);
void drawTrail(const World& world, int from, int to, int capsuleDetail);
void drawRobot(const World& world, int capsuleDetail);
void drawObstaclesAndGoal(const World& world);
void drawRays(const World& world);

// Sets every pixel's alpha to 1, leaving the colours: the picture is opaque when the
// platform composes it with the window, as a surface without alpha would show it.
void makePictureOpaque();

} // namespace quorvel
