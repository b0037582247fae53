#pragma once

#include <QIcon>

namespace quorvel {

// The program's icon: a yellow capsule robot heading for a green goal on the blue floor.
QIcon applicationIcon();

} // namespace quorvel
