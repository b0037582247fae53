#pragma once

namespace quorvel {

// Whether a display is there to draw on with OpenGL: a Wayland one, or the X display DISPLAY
// names taking a connection (a local one through its socket, a remote one on its port, within
// a few seconds).
bool hasDisplay();

} // namespace quorvel
