#include "display/gif_writer.h"
#include "display/offscreen_render.h"

#include "common/random.h"
#include "world/world.h"

#include "test_support.h"

#include <QImage>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A GIF read back whole with giflib.
struct ReadGif {
    explicit ReadGif(const std::string& path) {
        int error = 0;
        gif = DGifOpenFileName(path.c_str(), &error);
        if (gif != nullptr && DGifSlurp(gif) != GIF_OK) {
            DGifCloseFile(gif, &error);
            gif = nullptr;
        }
    }
    ~ReadGif() {
        int error = 0;
        if (gif != nullptr) {
            DGifCloseFile(gif, &error);
        }
    }
    // Frame i as a picture, through the global colour table.
    QImage frame(int i) const {
        QImage image(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
        const SavedImage& saved = gif->SavedImages[i];
        const ColorMapObject* map =
            saved.ImageDesc.ColorMap != nullptr ? saved.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < gif->SHeight; ++y) {
            for (int x = 0; x < gif->SWidth; ++x) {
                const GifColorType c = map->Colors[saved.RasterBits[y * gif->SWidth + x]];
                image.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
            }
        }
        return image;
    }
    bool loops() const {
        const SavedImage& first = gif->SavedImages[0];
        for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i) {
            const ExtensionBlock& b = first.ExtensionBlocks[i];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0) {
                const ExtensionBlock& loop = first.ExtensionBlocks[i + 1];
                return loop.ByteCount == 3 && loop.Bytes[0] == 1 && loop.Bytes[1] == 0 &&
                       loop.Bytes[2] == 0; // for ever
            }
        }
        return false;
    }
    GifFileType* gif = nullptr;
};

// How far a frame's colours lie from the picture's: the largest and the mean difference of a
// channel.
std::pair<int, double> difference(const QImage& a, const QImage& b) {
    int largest = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                largest = std::max(largest, std::abs(d));
                sum += std::abs(d);
            }
        }
    }
    return {largest, sum / (3.0 * a.width() * a.height())};
}

TEST(GifWriter, FramesOfTheScenesPicturesLoopingAtTheGivenDelay) {
    testing::TempFolder folder("quorvel-gif");
    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    world->placeRobotAndGoal();
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
    QImage first;
    GifWriter gif;
    ASSERT_EQ(gif.open(folder.file("play.gif"), 400, 200, 10), FileWriteStatus::ok);
    for (int i = 0; i < 12; ++i) {
        world->trailColour.g = i / 12.0;
        world->moveRobot(i % 3 - 1, -2);
        world->recordTrailPose();
        world->sense();
        const QImage picture = renderWorldImage(*world, {400, 200});
        ASSERT_FALSE(picture.isNull()) << "no OpenGL context";
        first = i == 0 ? picture : first;
        ASSERT_TRUE(gif.addFrame(picture));
    }
    EXPECT_EQ(gif.frames(), 12);
    EXPECT_FALSE(fs::exists(folder.file("play.gif"))); // nothing there until it is finished
    ASSERT_EQ(gif.finish(), FileWriteStatus::ok);

    const ReadGif read(folder.file("play.gif"));
    ASSERT_NE(read.gif, nullptr);
    EXPECT_EQ(read.gif->ImageCount, 12);
    EXPECT_EQ(read.gif->SWidth, 400);
    EXPECT_EQ(read.gif->SHeight, 200);
    EXPECT_TRUE(read.loops());
    for (int i = 0; i < read.gif->ImageCount; ++i) {
        GraphicsControlBlock control;
        ASSERT_EQ(DGifSavedExtensionToGCB(read.gif, i, &control), GIF_OK);
        EXPECT_EQ(control.DelayTime, 10) << i;
    }
    // The first frame is the first picture in the scene's palette: black, the floor and the
    // rays exactly, every shade within a step of its ramp.
    const QImage decoded = read.frame(0);
    const auto [largest, mean] = difference(decoded, first);
    EXPECT_LE(largest, 40);
    EXPECT_LT(mean, 2.0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator{}), 1);
}

TEST(GifWriter, AFailedOrAbandonedRecordingLeavesNothing) {
    testing::TempFolder folder("quorvel-gif-failed");
    GifWriter gif;
    EXPECT_EQ(gif.open(folder.file("missing/play.gif"), 64, 32, 10), FileWriteStatus::cannotCreate);
    EXPECT_EQ(gif.open(folder.file("play.gif"), 0, 32, 10), FileWriteStatus::cannotCreate);

    std::ofstream(folder.file("old.gif")) << "old";
    const QImage picture(64, 32, QImage::Format_RGB32);
    ASSERT_EQ(gif.open(folder.file("old.gif"), 64, 32, 10), FileWriteStatus::ok);
    gif.addFrame(picture);
    gif.abandon();
    ASSERT_EQ(gif.open(folder.file("old.gif"), 64, 32, 10), FileWriteStatus::ok);
    const auto finished = testing::withFileSizeLimit(200, [&] {
        for (int i = 0; i < 20; ++i) {
            QImage noise(64, 32, QImage::Format_RGB32);
            for (int p = 0; p < 64 * 32; ++p) {
                noise.setPixel(p % 64, p / 64, static_cast<QRgb>(std::rand()));
            }
            gif.addFrame(noise);
        }
        return gif.finish();
    });
    EXPECT_EQ(finished, FileWriteStatus::writeFailed);
    EXPECT_EQ(testing::readFile(folder.file("old.gif")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator{}), 1);
}

} // namespace
} // namespace quorvel
