#pragma once

namespace quorvel {

// The most steps one drive takes: an evaluation or training episode, a trial, a recorded
// playback. Everything that must hold a whole drive (the learner's step history, the trail,
// a recording's frames) is sized from this and says so at compile time.
inline constexpr int stepLimit = 400;

} // namespace quorvel
