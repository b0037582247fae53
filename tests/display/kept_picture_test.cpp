#include "display/kept_picture.h"

#include "common/random.h"
#include "world/world.h"

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <gtest/gtest.h>

#include <memory>

namespace quorvel {
namespace {

// Pictures kept in part are the pictures drawn whole, whatever changes between them, and the
// parts that stay are drawn once while only the robot and its trail move.
TEST(KeptPicture, EqualsTheWholePictureAndDrawsWhatStaysOnce) {
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    ASSERT_TRUE(context.create() && context.makeCurrent(&surface)) << "no OpenGL context";
    const QSize size(600, 300);
    QOpenGLFramebufferObject kept(size, QOpenGLFramebufferObject::CombinedDepthStencil);
    QOpenGLFramebufferObject whole(size, QOpenGLFramebufferObject::CombinedDepthStencil);

    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
    world->placeRobotAndGoal();
    world->sense();
    ValueMap map;
    std::deque<TrialPath> paths(1);
    paths[0].centres = {{-80, 60}, {80, 60}};
    SceneExtras extras;
    extras.capsuleDetail = 10;
    KeptPicture picture;
    int step = 0;
    const auto same = [&](const char* what) {
        picture.draw(*world, size.width(), size.height(), extras, kept.handle());
        whole.bind();
        renderPicture(*world, size.width(), size.height(), extras);
        EXPECT_EQ(kept.toImage(), whole.toImage()) << what << ", step " << step;
    };

    for (; step < 30; ++step) {
        world->moveRobot(step % 3 - 1, 2);
        world->recordTrailPose();
        world->sense();
        world->trailColour.g = step / 30.0;
        same("the trail grows");
    }
    EXPECT_EQ(picture.wholeDraws(), 1);

    map.values[3][4] = 0.7;
    extras.valueMap = &map;
    same("a value map");
    map.values[3][4] = 0.2;
    same("another value");
    extras.valueHigh = 0.5;
    same("a stretched scale");
    extras.earlierPaths = &paths;
    same("an earlier path");
    paths[0].centres.push_back({80, -60});
    same("a longer earlier path");
    world->goal.x += 3;
    same("the goal moved");
    world->obstacles[2].vertices[1].y += 4;
    same("an obstacle changed");
    world->trail.colour[5].r = 0;
    same("a trail pose recoloured");
    world->trailCount = 10;
    same("a shorter trail");
    EXPECT_EQ(picture.wholeDraws(), 10);
    same("nothing changed");
    EXPECT_EQ(picture.wholeDraws(), 10);

    picture.release();
    context.doneCurrent();
}

} // namespace
} // namespace quorvel
