#include "display/gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quorvel {

namespace {

using Colour = std::array<std::uint8_t, 3>;

std::uint8_t channel(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

Colour shade(double r, double g, double b, double brightness) {
    return {channel(r * brightness), channel(g * brightness), channel(b * brightness)};
}

Colour towardsWhite(double r, double g, double b, double t) {
    return {channel(r + (255 - r) * t), channel(g + (255 - g) * t), channel(b + (255 - b) * t)};
}

int writeToFile(GifFileType* gif, const GifByteType* data, int length) {
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(data, 1, static_cast<std::size_t>(length), file));
}

} // namespace

std::array<Colour, 256> scenePalette() {
    std::vector<Colour> colours{{0, 0, 0}, {10, 0, 102}, {255, 0, 0}}; // background, floor, rays
    for (int i = 1; i <= 8; ++i) {
        const auto v = static_cast<std::uint8_t>(32 * i - 1);
        colours.push_back({v, v, v});
    }
    for (int b = 1; b <= 20; ++b) { // obstacles
        colours.push_back(shade(127.5, 127.5, 255, b / 20.0));
    }
    for (const double t : {0.25, 0.5, 0.75}) {
        colours.push_back(towardsWhite(127.5, 127.5, 255, t));
    }
    for (int b = 1; b <= 24; ++b) { // the goal
        colours.push_back(shade(0, 255, 0, b / 24.0));
    }
    for (int t = 1; t <= 6; ++t) {
        colours.push_back(towardsWhite(0, 255, 0, t / 7.0));
    }
    for (int h = 0; h <= 12; ++h) { // robot and trail: red (1, 0, 0) to yellow (1, 1, 0)
        const double green = 255 * h / 12.0;
        for (int b = 1; b <= 10; ++b) {
            colours.push_back(shade(255, green, 0, b / 10.0));
        }
        colours.push_back(towardsWhite(255, green, 0, 0.5));
    }
    // Highlights: lit shades mixed towards white.
    for (const double b : {0.6, 0.7, 0.8, 0.9, 1.0}) {
        for (const double t : {0.15, 0.3, 0.45}) {
            const Colour c = shade(127.5, 127.5, 255, b);
            colours.push_back(towardsWhite(c[0], c[1], c[2], t));
        }
    }
    for (int h = 0; h <= 12; h += 3) {
        for (const double t : {0.2, 0.35}) {
            const Colour c = shade(255, 255 * h / 12.0, 0, 0.85);
            colours.push_back(towardsWhite(c[0], c[1], c[2], t));
        }
    }
    for (const double b : {0.7, 0.85}) {
        for (const double t : {0.2, 0.4}) {
            const Colour c = shade(0, 255, 0, b);
            colours.push_back(towardsWhite(c[0], c[1], c[2], t));
        }
    }
    for (int r = 0; colours.size() < 256; ++r) { // anything else: a coarse cube
        colours.push_back({static_cast<std::uint8_t>(r % 3 * 127),
                           static_cast<std::uint8_t>(r / 3 % 3 * 127),
                           static_cast<std::uint8_t>(r / 9 % 4 * 85)});
    }
    std::array<Colour, 256> palette{};
    std::copy_n(colours.begin(), 256, palette.begin());
    return palette;
}

GifWriter::~GifWriter() {
    abandon();
}

FileWriteStatus GifWriter::open(const std::string& path, int width, int height,
                                int delayCentiseconds) {
    abandon();
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        return FileWriteStatus::cannotCreate;
    }
    if (const FileWriteStatus opened = file_.open(path); opened != FileWriteStatus::ok) {
        return opened;
    }
    int error = 0;
    gif_ = EGifOpen(file_.file(), writeToFile, &error);
    if (gif_ == nullptr) {
        file_.abandon();
        return FileWriteStatus::cannotCreate;
    }
    width_ = width;
    height_ = height;
    delay_ = delayCentiseconds;
    frames_ = 0;
    failed_ = false;
    palette_ = scenePalette();
    nearest_.clear();

    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) {
        colours[i] = {palette_[i][0], palette_[i][1], palette_[i][2]};
    }
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif_, true);
    failed_ = map == nullptr || EGifPutScreenDesc(gif_, width, height, 8, 0, map) != GIF_OK;
    GifFreeMapObject(map);
    // Loop for ever: the application extension browsers and viewers understand.
    static const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A',
                                              'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    failed_ = failed_ || EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
              EGifPutExtensionBlock(gif_, sizeof application, application) != GIF_OK ||
              EGifPutExtensionBlock(gif_, sizeof loop, loop) != GIF_OK ||
              EGifPutExtensionTrailer(gif_) != GIF_OK;
    return failed_ ? FileWriteStatus::writeFailed : FileWriteStatus::ok;
}

std::uint8_t GifWriter::indexOf(QRgb colour) {
    const auto found = nearest_.find(colour);
    if (found != nearest_.end()) {
        return found->second;
    }
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = qRed(colour) - palette_[i][0];
        const int dg = qGreen(colour) - palette_[i][1];
        const int db = qBlue(colour) - palette_[i][2];
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    const auto index = static_cast<std::uint8_t>(best);
    nearest_.emplace(colour, index);
    return index;
}

bool GifWriter::addFrame(const QImage& picture) {
    if (gif_ == nullptr || failed_) {
        return false;
    }
    QImage image =
        picture.size() == QSize(width_, height_)
            ? picture
            : picture.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGB32);

    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = delay_;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    failed_ = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) !=
                  GIF_OK ||
              EGifPutImageDesc(gif_, 0, 0, width_, height_, false, nullptr) != GIF_OK;
    std::vector<GifPixelType> line(static_cast<std::size_t>(width_));
    for (int y = 0; y < height_ && !failed_; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width_; ++x) {
            line[x] = indexOf(row[x]);
        }
        failed_ = EGifPutLine(gif_, line.data(), width_) != GIF_OK;
    }
    frames_ += failed_ ? 0 : 1;
    return !failed_;
}

FileWriteStatus GifWriter::finish() {
    if (gif_ == nullptr) {
        return FileWriteStatus::writeFailed;
    }
    int error = 0;
    const bool closed = EGifCloseFile(gif_, &error) == GIF_OK; // writes the trailer
    gif_ = nullptr;
    return file_.commit(closed && !failed_);
}

void GifWriter::abandon() {
    if (gif_ != nullptr) {
        int error = 0;
        EGifCloseFile(gif_, &error);
        gif_ = nullptr;
    }
    file_.abandon();
}

} // namespace quorvel
