// The program's jobs without a window: quorvel --record, --plot and --value-map.
#include "app/curve_chart.h"
#include "app/headless.h"
#include "common/random.h"
#include "display/offscreen_render.h"
#include "display/scene.h"
#include "display/value_map_picture.h"
#include "rules/input_rules.h"
#include "training/episodes.h"
#include "training/training.h"
#include "watching/value_probe.h"
#include "world/floor.h"
#include "world/world.h"

#include "test_support.h"

#include "gui_main.h"
#include <QImage>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string err;
};

class Headless : public ::testing::Test {
  protected:
    // Runs quorvel in the test's folder; `environment` goes before it (say, "env -u DISPLAY").
    Outcome quorvel(const std::string& arguments, const std::string& environment = "") const {
        const std::string command = "cd '" + dir.string() + "' && " + environment + " '" +
                                    QUORVEL_PATH + "' " + arguments + " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testing::readFile(dir / "err.txt")};
    }

    testing::TempFolder folder{"quorvel-headless"};
    const fs::path& dir = folder.path();
};

GifFileType* readGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif != nullptr && DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return nullptr;
    }
    return gif;
}

QImage frameOf(const GifFileType* gif, int i) {
    QImage image(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
    const SavedImage& saved = gif->SavedImages[i];
    for (int y = 0; y < gif->SHeight; ++y) {
        for (int x = 0; x < gif->SWidth; ++x) {
            const GifColorType c = gif->SColorMap->Colors[saved.RasterBits[y * gif->SWidth + x]];
            image.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
        }
    }
    return image;
}

TEST_F(Headless, RecordsThePlaybackOfTheTrainersWorld) {
    const Outcome r =
        quorvel("--record play.gif --obstacles 0 --sides 6 --radius 10 --seed 9 --frames 6 "
                "--size 320x160");
    ASSERT_EQ(r.status, 0) << r.err;
    GifFileType* gif = readGif((dir / "play.gif").string());
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->SWidth, 320);
    EXPECT_EQ(gif->SHeight, 160);
    EXPECT_EQ(gif->ImageCount, 6);
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, 0, &control), GIF_OK);
    EXPECT_EQ(control.DelayTime, 10); // a tick of 100 ms

    // The same World, built in the trainer's order, after one playback tick with trails:
    // its picture is the first frame, within the palette's steps.
    random::setState(9);
    World world(10, 10, 0, 0, 0);
    world.generateObstacleField(0, 6, {-50, -50}, {50, 50}, 10);
    world.placeRobotAndGoal();
    bool reached = false;
    playbackStep(world, reached);
    world.trailColour.g = world.lastChosenValue;
    world.recordTrailPose();
    const QImage expected = renderWorldImage(world, {320, 160});
    const QImage first = frameOf(gif, 0);
    int largest = 0;
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 320; ++x) {
            const QRgb a = first.pixel(x, y), b = expected.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(a) - qRed(b)),
                                std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        }
    }
    EXPECT_LE(largest, 40);
    int error = 0;
    DGifCloseFile(gif, &error);
}

TEST_F(Headless, RecordingRefusesWhatItCannotDo) {
    const Outcome missing = quorvel("--record no-such-folder/play.gif --frames 2");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Could not create"), std::string::npos) << missing.err;
    const Outcome noDisplay = quorvel("--record play.gif --frames 2", "env -u DISPLAY");
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_NE(noDisplay.err.find("xvfb-run"), std::string::npos) << noDisplay.err;
    EXPECT_FALSE(fs::exists(dir / "play.gif"));
    for (const char* bad : {"--record p.gif --frames 0", "--record p.gif --size 10x10",
                            "--record p.gif --obstacles 9", "--record p.gif --seed -1",
                            "--plot a.dat", "--output x.png"}) {
        EXPECT_EQ(quorvel(bad).status, 2) << bad;
    }
}

// Where a colour shows, in rows: the middle row of its pixels (-1 when absent), and how many.
std::pair<int, int> rowsOf(const QImage& image, QColor colour, int fromX, int toX) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = fromX; x < toX; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                30) {
                rows.push_back(y);
            }
        }
    }
    if (rows.empty()) {
        return {-1, 0};
    }
    std::nth_element(rows.begin(), rows.begin() + rows.size() / 2, rows.end());
    return {rows[rows.size() / 2], static_cast<int>(rows.size())};
}

TEST_F(Headless, PlotsLogsWithoutADisplay) {
    {
        std::ofstream always(dir / "always.dat"), never(dir / "never.dat"), turn(dir / "turn.dat");
        for (int i = 0; i < 200; ++i) {
            always << "1,1,5,1.0,1.0,1.0, 1.4\n";
            never << "0,0,1,1.0,1.0,1.0, 1.4\n";
            turn << (i < 100 ? "0,0,1,1.0,1.0,1.0, 1.4\n" : "1,1,5,1.0,1.0,1.0, 1.4\n");
        }
    }
    // Several logs: a goal-share line each, in its own colour, where its share says.
    ASSERT_EQ(quorvel("--plot always.dat never.dat --output both.png", "env -u DISPLAY").status, 0);
    const QImage both(QString::fromStdString((dir / "both.png").string()));
    ASSERT_EQ(both.size(), QSize(800, 500));
    const auto [alwaysRow, alwaysCount] = rowsOf(both, CurveChart::comparisonColour(0), 0, 800);
    const auto [neverRow, neverCount] = rowsOf(both, CurveChart::comparisonColour(1), 0, 800);
    EXPECT_GT(alwaysCount, 300);
    EXPECT_GT(neverCount, 300);
    EXPECT_LT(alwaysRow, 500 / 4); // share 1 along the top
    EXPECT_GT(neverRow, 500 / 2);  // share 0 along the bottom

    // One log: its three shares; the goals low on the left half, high on the right.
    ASSERT_EQ(quorvel("--plot turn.dat --output turn.png --size 600x400", "env -u DISPLAY").status,
              0);
    const QImage turn(QString::fromStdString((dir / "turn.png").string()));
    ASSERT_EQ(turn.size(), QSize(600, 400));
    const QColor goals = CurveChart::shareColour(0);
    EXPECT_GT(rowsOf(turn, goals, 100, 300).first, rowsOf(turn, goals, 380, 560).first);

    // A malformed log: the panel's message, status 1, nothing written.
    std::ofstream(dir / "bad.dat") << "0,0,1,1.0,1.0,1.0, 1.4\n0,0,1,1.0\n";
    const Outcome bad = quorvel("--plot turn.dat bad.dat --output bad.png", "env -u DISPLAY");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Line 2 of \"bad.dat\" is not an evaluation record: \"0,0,1,1.0\""),
              std::string::npos)
        << bad.err;
    EXPECT_FALSE(fs::exists(dir / "bad.png"));
}

// What a careless or hostile command line hands it: an input named as the output, a log that is
// no file or no log, a display that does not answer.
TEST_F(Headless, RefusesToOverwriteItsInputsOrToReadWhatIsNoLog) {
    const std::string record = "1,1,5,1.0,1.0,1.0, 1.4\n";
    std::ofstream(dir / "run.dat") << record << record;
    std::ofstream(dir / "w.nnet") << "weights";
    for (const char* arguments :
         {"--plot run.dat --output run.dat", "--plot run.dat --output ./run.dat",
          "--record w.nnet --load-weights w.nnet", "--value-map w.nnet --load-weights w.nnet"}) {
        const Outcome r = quorvel(arguments, "env -u DISPLAY");
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_NE(r.err.find("name the same file"), std::string::npos) << r.err;
    }
    EXPECT_EQ(testing::readFile(dir / "run.dat"), record + record);
    EXPECT_EQ(testing::readFile(dir / "w.nnet"), "weights");
    // The reachable share's line goes over one log's curve, and is a share.
    for (const char* arguments : {"--plot run.dat --output r.png --reachable-share 1.5",
                                  "--plot run.dat run.dat --output r.png --reachable-share 0.5",
                                  "--value-map r.png --reachable-share 0.5"}) {
        EXPECT_EQ(quorvel(arguments, "env -u DISPLAY").status, 2) << arguments;
    }
    EXPECT_FALSE(fs::exists(dir / "r.png"));
    EXPECT_EQ(
        quorvel("--plot run.dat --output r.png --reachable-share 0.6", "env -u DISPLAY").status, 0);

    const std::pair<std::string, std::string> noLogs[] = {
        {"/dev/zero", "\"/dev/zero\" is not an evaluation log: it is not a regular file."},
        {".", "\".\" is not an evaluation log: it is a folder."}};
    for (const auto& [log, said] : noLogs) {
        // Without a runtime folder, Qt would have its say first.
        const Outcome r =
            quorvel("--plot " + log + " --output x.png", "env -u DISPLAY -u XDG_RUNTIME_DIR");
        EXPECT_EQ(r.status, 1) << log;
        EXPECT_EQ(r.err, "quorvel: " + said + "\n") << "only what went wrong";
    }
    // A field beyond its column's range, and a long line of control characters, quoted short.
    std::ofstream(dir / "wide.dat") << record << "4294967297,1,5,1.0,1.0,1.0, 1.4\n";
    const Outcome wide = quorvel("--plot wide.dat --output x.png", "env -u DISPLAY");
    EXPECT_NE(wide.err.find("Line 2 of \"wide.dat\""), std::string::npos) << wide.err;
    std::ofstream(dir / "noise.dat") << record << std::string(5000, '\x1b') << "\n";
    const Outcome noise = quorvel("--plot noise.dat --output x.png", "env -u DISPLAY");
    EXPECT_NE(noise.err.find("\"\\x1b\\x1b"), std::string::npos) << noise.err;
    EXPECT_LT(noise.err.size(), 400u);
    EXPECT_EQ(noise.err.find('\x1b'), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.png"));

    // A display that does not answer is no display.
    const Outcome silent = quorvel("--record play.gif --frames 2", "env DISPLAY=:31999");
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("drawing needs OpenGL on a display"), std::string::npos)
        << silent.err;
    EXPECT_FALSE(fs::exists(dir / "play.gif"));
}

TEST_F(Headless, DrawsTheValueMapOfTheTrainersWorldWithoutADisplay) {
    // A network trained a little on an open field, so that the values differ from square to
    // square.
    {
        random::setState(7);
        World trained(10, 10, 0, 0, 0);
        TrainingSettings settings;
        settings.runs = 3000;
        settings.learningRate = 0.1;
        settings.discount = 0.99;
        settings.annealingNumber = 200;
        settings.qLearn = true;
        settings.logPath = (dir / "eval.dat").string();
        runTraining(trained, settings);
        ASSERT_TRUE(trained.learner.saveWeights((dir / "w.nnet").c_str()));
    }
    const Outcome r = quorvel("--value-map map.png --load-weights w.nnet --obstacles 0 --seed 3 "
                              "--heading 90 --size 300x240",
                              "env -u DISPLAY");
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage map(QString::fromStdString((dir / "map.png").string()));
    ASSERT_EQ(map.size(), QSize(300, 240));

    // The same World, built in the same order, mapped here.
    random::setState(3);
    World twin(10, 10, 0, 0, 0);
    ASSERT_TRUE(twin.learner.loadWeights((dir / "w.nnet").c_str()));
    generateRequestedField(twin, {0, 3, 5});
    ValueMap values;
    ValueProbe().map(twin, {std::cos(std::numbers::pi / 2), std::sin(std::numbers::pi / 2)},
                     values);
    int compared = 0;
    double lowest = 1, highest = 0;
    for (int column = 0; column < ValueMap::side; column += 3) {
        for (int row = 0; row < ValueMap::side; row += 3) {
            const Vec2 c = Floor::squareCentre(column, row);
            if (length(c - twin.goal) < 20 || length(c) < 20) {
                continue; // the goal and the robot are drawn over their squares
            }
            const QColor shown = map.pixelColor(valueMapPixel(c, map.size()).toPoint());
            const Colour expected = valueColour(values.values[column][row]);
            EXPECT_NEAR(shown.redF(), expected.r, 1.5 / 255) << column << "," << row;
            EXPECT_NEAR(shown.greenF(), expected.g, 1.5 / 255) << column << "," << row;
            EXPECT_NEAR(shown.blueF(), expected.b, 1.5 / 255) << column << "," << row;
            lowest = std::min(lowest, values.values[column][row]);
            highest = std::max(highest, values.values[column][row]);
            ++compared;
        }
    }
    EXPECT_GT(compared, 30);
    EXPECT_GT(highest - lowest, 0.05) << "values that differ, so colours that differ";
    EXPECT_EQ(map.text("Title"), "Best value on each square, heading 90\u00b0");

    // Any finite heading is one turn: 1e19 degrees is 280, and is said so.
    ASSERT_EQ(quorvel("--value-map far.png --load-weights w.nnet --obstacles 0 --seed 3 "
                      "--heading 1e19 --size 300x240",
                      "env -u DISPLAY")
                  .status,
              0);
    ASSERT_EQ(quorvel("--value-map near.png --load-weights w.nnet --obstacles 0 --seed 3 "
                      "--heading 280 --size 300x240",
                      "env -u DISPLAY")
                  .status,
              0);
    const QImage far(QString::fromStdString((dir / "far.png").string()));
    EXPECT_EQ(far.text("Title"), "Best value on each square, heading 280\u00b0");
    EXPECT_EQ(far.convertToFormat(QImage::Format_RGB32),
              QImage(QString::fromStdString((dir / "near.png").string()))
                  .convertToFormat(QImage::Format_RGB32));
    // A network that diverged: the picture says why it is grey.
    std::string weights = testing::readFile(dir / "w.nnet");
    weights.replace(0, weights.find(','), "nan");
    std::ofstream(dir / "nan.nnet") << weights;
    ASSERT_EQ(
        quorvel("--value-map nan.png --load-weights nan.nnet --size 300x240", "env -u DISPLAY")
            .status,
        0);
    EXPECT_TRUE(QImage(QString::fromStdString((dir / "nan.png").string()))
                    .text("Title")
                    .contains("the network holds values that are not finite numbers"));
    // Written where standard output stands, after what it held.
    std::ofstream(dir / "out.png") << "OLD";
    ASSERT_EQ(std::system(("cd '" + dir.string() +
                           "' && env -u DISPLAY '" QUORVEL_PATH
                           "' --value-map /dev/stdout --size 16x16 >>out.png")
                              .c_str()),
              0);
    EXPECT_EQ(testing::readFile(dir / "out.png").rfind("OLD\x89PNG", 0), 0u);

    // The smallest and largest pictures, and what is refused.
    EXPECT_EQ(readSize("16x16"), QSize(16, 16));
    EXPECT_EQ(readSize("4096x16"), QSize(4096, 16));
    for (const char* bad : {"15x16", "16x15", "4097x16", "16x4097", "16x", "x16", "16*16"}) {
        EXPECT_FALSE(readSize(bad).has_value()) << bad;
    }
    EXPECT_EQ(quorvel("--value-map small.png --size 16x16", "env -u DISPLAY").status, 0);
    EXPECT_EQ(QImage(QString::fromStdString((dir / "small.png").string())).size(), QSize(16, 16));
    EXPECT_EQ(quorvel("--value-map x.png --heading nan", "env -u DISPLAY").status, 2);
    EXPECT_EQ(quorvel("--heading 30", "env -u DISPLAY").status, 2);
    EXPECT_EQ(quorvel("--value-map x.png --obstacles 9", "env -u DISPLAY").status, 2);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    return quorvel::testing::runWithGuiApplication(argc, argv);
}
