#include "display/capsule_frame.h"
#include "display/offscreen_render.h"

#include "common/random.h"
#include "watching/trial_drive.h"
#include "watching/value_probe.h"
#include "world/floor.h"
#include "world/world.h"

#include "gui_main.h"
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace quorvel {
namespace {

TEST(CapsuleFrame, LaysTheAxisAlongTheHeading) {
    const auto east = capsuleFrame({10, 20}, {1, 0}, 0);
    const std::array<double, 16> eastExpected{0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 10, 20, 0, 1};
    EXPECT_EQ(east, eastExpected);
    const auto north = capsuleFrame({10, 20}, {0, 1}, 0);
    const std::array<double, 16> northExpected{0, 0, -1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 10, 20, 0, 1};
    EXPECT_EQ(north, northExpected);
    EXPECT_EQ(capsuleFrame({1, 2}, {0.6, 0.8}, 5)[14], 5);
}

// Pictures of 800 by 400 pixels: x from -200 to 200 and y from -100 to 100, two pixels per
// unit.
constexpr int pictureWidth = 800;
constexpr int pictureHeight = 400;

struct Rgb {
    int r, g, b;
};

class Picture : public ::testing::Test {
  protected:
    void SetUp() override {
        random::restart();
        world = std::make_unique<World>(10, 10, 0, 0, 0);
        world->goal = {60, 50};
        world->obstacleCount = 1;
        Obstacle& o = world->obstacles[0];
        o.resize(4);
        o.vertices = {{-60, -60}, {-40, -60}, {-40, -40}, {-60, -40}};
        o.valid = true;
        o.updateBox();
        world->sense();
        world->trail.rear[0] = {30, -60};
        world->trail.front[0] = {40, -60};
        world->trail.heading[0] = {1, 0};
        world->trail.colour[0] = {1, 0.25, 0};
        world->trailCount = 1;
    }

    QImage render(QSize size = {pictureWidth, pictureHeight},
                  const SceneExtras& extras = {}) const {
        QImage image = renderWorldImage(*world, size, extras);
        EXPECT_FALSE(image.isNull()) << "no OpenGL context";
        return image;
    }

    static Rgb at(const QImage& image, double x, double y) {
        const double unitsPerPixel = 200.0 / image.height();
        const int px =
            static_cast<int>((x + 100.0 * image.width() / image.height()) / unitsPerPixel);
        const int py = static_cast<int>((100 - y) / unitsPerPixel);
        const QRgb c = image.pixel(px, py);
        return {qRed(c), qGreen(c), qBlue(c)};
    }

    static bool isGreen(Rgb c) { return c.g > 40 && c.r < 20 && c.b < 20; }
    static bool isBlack(Rgb c) { return c.r + c.g + c.b == 0; }
    static bool isFloor(Rgb c) { return c.b > 60 && c.r < 30 && c.g < 10; }
    static bool isRed(Rgb c) { return c.r > 200 && c.g < 30 && c.b < 30; }

    std::unique_ptr<World> world;
};

TEST_F(Picture, GoalIsGreenWithinItsDiscOnly) {
    const QImage image = render();
    if (image.isNull()) {
        return;
    }
    EXPECT_TRUE(isGreen(at(image, 60, 50)));
    EXPECT_TRUE(isGreen(at(image, 64, 53)));
    for (int i = 0; i < 72; ++i) {
        const double a = i * 2 * M_PI / 72;
        const Rgb c = at(image, 60 + 7 * std::cos(a), 50 + 7 * std::sin(a));
        EXPECT_FALSE(c.g > c.r && c.g > c.b) << "green at angle " << i;
    }
}

TEST_F(Picture, RobotAndTrailInTheirColours) {
    world->trailColour = {1, 1, 0};
    const QImage image = render();
    if (image.isNull()) {
        return;
    }
    const Rgb robot = at(image, 0, 0);
    EXPECT_GT(robot.r, 60);
    EXPECT_NEAR(robot.r, robot.g, 3);
    EXPECT_LT(robot.b, 10);
    // The capsule ends W/2 = 5 behind the rear point (-5, 0): robot colour at 4 behind it,
    // floor at 7 behind it.
    auto isRobot = [](Rgb c) { return c.r > 60 && std::abs(c.r - c.g) <= 3 && c.b < 10; };
    EXPECT_TRUE(isRobot(at(image, -9, 2)));
    EXPECT_FALSE(isRobot(at(image, -12, 2)));
    EXPECT_TRUE(isFloor(at(image, -12, 2)) || isBlack(at(image, -12, 2)));
    const Rgb trail = at(image, 35, -60);
    EXPECT_GT(trail.r, 60);
    EXPECT_NEAR(trail.g, trail.r / 4.0, 4);
    EXPECT_LT(trail.b, 10);
}

TEST_F(Picture, RaysAreOpaqueRedAboveTheFloor) {
    const QImage image = render();
    if (image.isNull()) {
        return;
    }
    // Ray 5 runs along +x from the front cap at (10, 0) to its range of 30.
    for (double x : {20.0, 25.0, 30.0, 35.0}) {
        bool found = false;
        for (double dy : {-0.5, 0.0, 0.5}) {
            found = found || isRed(at(image, x, dy));
        }
        EXPECT_TRUE(found) << "no ray pixel at x = " << x;
    }
    EXPECT_FALSE(isRed(at(image, 45, 0))); // beyond its reading
}

// Whether a ray shows red anywhere within half a unit across its line at x.
bool rayShowsAt(const QImage& image, double x, Rgb (*at)(const QImage&, double, double)) {
    bool found = false;
    for (double dy : {-0.5, 0.0, 0.5}) {
        const Rgb c = at(image, x, dy);
        found = found || (c.r > 200 && c.g < 30 && c.b < 30);
    }
    return found;
}

TEST_F(Picture, RaysStopAtTheirHitAndPassUnderTheGoal) {
    // A square whose near edge at x = 20 cuts ray 5 (from the front cap at (10, 0)) at 10.
    Obstacle& o = world->obstacles[0];
    o.vertices = {{20, -5}, {30, -5}, {30, 5}, {20, 5}};
    o.updateBox();
    world->sensor.resetRanges(30);
    world->sense();
    ASSERT_EQ(world->sensor.ranges[5], 10);
    QImage image = render();
    if (image.isNull()) {
        return;
    }
    EXPECT_TRUE(rayShowsAt(image, 15, at));
    for (double x : {22.0, 25.0, 28.0, 35.0}) {
        EXPECT_FALSE(rayShowsAt(image, x, at)) << "red beyond the hit at x = " << x;
    }
    // Without the obstacle the ray runs on to 30 and under the goal sphere at (25, 0), which
    // hides it; beyond the sphere it shows again.
    world->obstacleCount = 0;
    world->sensor.resetRanges(30);
    world->goal = {25, 0};
    image = render();
    EXPECT_TRUE(isGreen(at(image, 25, 0)));
    EXPECT_FALSE(rayShowsAt(image, 25, at));
    EXPECT_TRUE(rayShowsAt(image, 35, at));
}

TEST_F(Picture, FloorGridWithItsAsymmetricEdge) {
    const QImage image = render();
    if (image.isNull()) {
        return;
    }
    EXPECT_TRUE(isFloor(at(image, -80, -80)));
    EXPECT_TRUE(isFloor(at(image, 90, 90)));
    EXPECT_TRUE(isFloor(at(image, -103, -80)));
    EXPECT_TRUE(isFloor(at(image, -80, 93)));
    EXPECT_TRUE(isFloor(at(image, 93, -80)));
    EXPECT_TRUE(isBlack(at(image, -75, -80)));  // the gap between two squares
    EXPECT_TRUE(isBlack(at(image, 95, -80)));   // beyond the right edge at 94
    EXPECT_TRUE(isBlack(at(image, -105, -80))); // beyond the left edge at -104
    EXPECT_TRUE(isBlack(at(image, -80, 96)));
}

TEST_F(Picture, ObstacleRodsAlongTheEdges) {
    const QImage image = render();
    if (image.isNull()) {
        return;
    }
    for (Rgb c : {at(image, -50, -60), at(image, -40, -50), at(image, -55, -40)}) {
        EXPECT_GT(c.g, 20);
        EXPECT_NEAR(c.r, c.g, 3);
        EXPECT_GT(c.b, c.r);
    }
    EXPECT_TRUE(isFloor(at(image, -50, -50)) || isBlack(at(image, -50, -50))); // inside: floor
}

TEST_F(Picture, VisibleWidthFollowsTheAspectRatio) {
    world->goal = {150, 0};
    const QImage wide = render({800, 400});
    if (wide.isNull()) {
        return;
    }
    EXPECT_TRUE(isGreen(at(wide, 150, 0)));
    const QRgb pixel = wide.pixel(700, 200); // x = 150 is three quarters across
    EXPECT_GT(qGreen(pixel), 40);
    const QImage square = render({400, 400});
    int green = 0;
    for (int y = 0; y < square.height(); ++y) {
        for (int x = 0; x < square.width(); ++x) {
            const QRgb c = square.pixel(x, y);
            green += qGreen(c) > qRed(c) && qGreen(c) > qBlue(c);
        }
    }
    EXPECT_EQ(green, 0); // x reaches only 100
    // Taller than wide, the picture is 200 units wide instead: the arena still fits whole.
    world->goal = {92, 0};
    const QImage tall = render({300, 600});
    const Vec2 goalAt = {tall.width() * (1 + 92 / 100.0) / 2, tall.height() / 2.0};
    const QRgb goal = tall.pixel(static_cast<int>(goalAt.x), static_cast<int>(goalAt.y));
    EXPECT_GT(qGreen(goal), 40);
    EXPECT_LT(qRed(goal), 20);
    for (const auto& [pixel, size] : {std::pair{Vec2{0, 0}, QSize{800, 400}},
                                      {{800, 400}, {800, 400}},
                                      {{150, 0}, {300, 600}}}) {
        const Vec2 p = arenaPoint(pixel.x, pixel.y, size.width(), size.height());
        const Vec2 half = visibleHalfExtent(size.width(), size.height());
        EXPECT_DOUBLE_EQ(p.x, (2 * pixel.x / size.width() - 1) * half.x);
        EXPECT_DOUBLE_EQ(p.y, (1 - 2 * pixel.y / size.height()) * half.y);
    }
    EXPECT_EQ(visibleHalfExtent(800, 400).x, 200);
    EXPECT_EQ(visibleHalfExtent(300, 600).y, 200);
    EXPECT_EQ(visibleHalfExtent(300, 600).x, 100);
}

TEST_F(Picture, EveryPictureStartsFresh) {
    const QImage first = render();
    const QImage second = render();
    EXPECT_EQ(first, second);
}

// A whole scene as the program shows it after some playback: every kind of thing shows in its
// colour. Kept as scene-example.png in the test's folder for a person to look at.
TEST(WholeScene, TrailObstaclesGoalAndRays) {
    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    world->placeRobotAndGoal();
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
    for (int i = 0; i < 60; ++i) {
        world->trailColour.g = i / 60.0;
        if (!world->moveRobot(i % 3 - 1, -2)) {
            break;
        }
        world->recordTrailPose();
    }
    world->sense();
    const QImage image = renderWorldImage(*world, {1192, 584});
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(image.save("scene-example.png"));
    int green = 0, red = 0, rods = 0, floor = 0, trailStart = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int r = qRed(c), g = qGreen(c), b = qBlue(c);
            green += g > 40 && r < 20 && b < 20;
            red += r > 200 && g < 30 && b < 30;
            rods += b > r && std::abs(r - g) <= 3 && g > 20;
            floor += b > 60 && r < 30 && g < 10;
            trailStart += r > 60 && g < r / 8 && b < 10; // the oldest capsules, green near 0
        }
    }
    EXPECT_GT(green, 500); // the goal, radius 6, is about 960 pixels
    EXPECT_GT(red, 100);
    EXPECT_GT(rods, 1000);
    EXPECT_GT(floor, 100000);
    EXPECT_GT(trailStart, 100);
}

// The floor coloured by a value map, and earlier drives drawn faintly over it; neither
// changes the rest of the scene.
TEST_F(Picture, AValueMapColoursTheFloorAndEarlierPathsLieOverIt) {
    ValueMap map;
    for (int column = 0; column < ValueMap::side; ++column) {
        for (int row = 0; row < ValueMap::side; ++row) {
            map.values[column][row] = column / 19.0;
        }
    }
    std::deque<TrialPath> paths(2);
    paths[0].centres = {{-100, 75}, {100, 75}}; // the older, fainter
    paths[1].centres = {{-100, 85}, {100, 85}};
    SceneExtras extras;
    extras.valueMap = &map;
    extras.earlierPaths = &paths;
    const QImage plain = render();
    const QImage shown = render({pictureWidth, pictureHeight}, extras);
    for (const int column : {0, 7, 19}) {
        const Vec2 c = Floor::squareCentre(column, 3);
        const Colour expected = valueColour(map.values[column][3]);
        const Rgb got = at(shown, c.x, c.y);
        EXPECT_NEAR(got.r, expected.r * 255, 1.5) << column;
        EXPECT_NEAR(got.g, expected.g * 255, 1.5) << column;
        EXPECT_NEAR(got.b, expected.b * 255, 1.5) << column;
    }
    EXPECT_TRUE(isBlack(at(shown, -95, -95))); // the gaps stay black
    const Rgb older = at(shown, -50, 75), newer = at(shown, -50, 85);
    EXPECT_GT(older.r, 40);
    EXPECT_GT(newer.r, older.r);
    EXPECT_NEAR(older.r, older.g, 2);        // grey
    EXPECT_TRUE(isGreen(at(shown, 60, 50))); // the goal as before
    EXPECT_TRUE(isRed(at(plain, 5 + 5 + 10, 0)) == isRed(at(shown, 5 + 5 + 10, 0)));
    EXPECT_TRUE(isFloor(at(plain, -50, 80)));
    EXPECT_FALSE(isFloor(at(shown, -50, 80))); // coloured by its value instead
}

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    return quorvel::testing::runWithGuiApplication(argc, argv);
}
