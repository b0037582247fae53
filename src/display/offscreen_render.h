#pragma once

#include "display/scene.h"

#include <QImage>
#include <QSize>

namespace quorvel {

class World;

// One picture of the world, drawn off screen at the given size in pixels. Needs a
// QGuiApplication on a platform with OpenGL; returns a null image when no context could be
// made.
QImage renderWorldImage(const World& world, QSize size, const SceneExtras& extras = {});

} // namespace quorvel
