#pragma once

#include "common/files.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

struct GifFileType;

namespace quorvel {

// The 256 colours of a recorded scene: black, the floor, the rays' red, and shades of the
// obstacles' lavender, the goal's green and the robot's and trail's reds to yellows, with
// their highlights towards white.
std::array<std::array<std::uint8_t, 3>, 256> scenePalette();

// An animated GIF written picture by picture with giflib, looping for ever, whole or not at
// all: it replaces the file at `path` only when finished.
class GifWriter {
  public:
    GifWriter() = default;
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // Starts an animation of pictures of this size, each shown for delayCentiseconds.
    FileWriteStatus open(const std::string& path, int width, int height, int delayCentiseconds);
    // Adds a picture, scaled to the animation's size if it has another.
    bool addFrame(const QImage& picture);
    int frames() const { return frames_; }
    bool isOpen() const { return gif_ != nullptr; }
    // Ends the animation and puts the file in place.
    FileWriteStatus finish();
    void abandon();

  private:
    std::uint8_t indexOf(QRgb colour);

    AtomicFile file_;
    GifFileType* gif_ = nullptr;
    bool failed_ = false;
    int width_ = 0;
    int height_ = 0;
    int delay_ = 0;
    int frames_ = 0;
    std::array<std::array<std::uint8_t, 3>, 256> palette_{};
    std::unordered_map<QRgb, std::uint8_t> nearest_; // colours met so far
};

} // namespace quorvel
