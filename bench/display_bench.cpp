#include "display/kept_picture.h"
#include "display/offscreen_render.h"
#include "display/scene.h"
#include "workload.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace quorvel {
namespace {

// A world with a full trail of 400 capsules, 7 obstacles of 10 sides, the goal and the rays.
std::unique_ptr<World> worldWithFullTrail() {
    auto world = bench::standardWorld();
    world->placeAt(0, 0, 0.3);
    for (int i = 0; i < 400; ++i) {
        world->move(i % 3 - 1, -1);
        world->recordTrailPose();
    }
    world->sense();
    return world;
}

// Pictures at the panel's view size, finished (glFinish) so the renderer's work is counted;
// the CPU time is the whole process's, the renderer's threads included. Argument 0 draws the
// picture whole with the full trail; 1 draws it as a view does (`KeptPicture`) while the trail
// grows a pose a picture from 200 to 400, so that one picture in 200 draws the kept part whole.
// The second argument is the capsules' detail: the panel's 20, the Training window's 10.
void BM_PictureWithFullTrail(benchmark::State& state) {
    const bool kept = state.range(0) != 0;
    auto world = worldWithFullTrail();
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    const QSize size(1192, 584);
    QOpenGLFramebufferObject target(size, QOpenGLFramebufferObject::CombinedDepthStencil);
    target.bind();
    glViewport(0, 0, size.width(), size.height());
    SceneExtras extras;
    extras.capsuleDetail = static_cast<int>(state.range(1));
    KeptPicture picture;
    int frame = 0;
    for (auto _ : state) {
        if (kept) {
            world->trailCount = 201 + frame++ % 200;
            picture.draw(*world, size.width(), size.height(), extras, target.handle());
        } else {
            renderPicture(*world, size.width(), size.height(), extras);
        }
        glFinish();
    }
    picture.release();
    target.release();
    context.doneCurrent();
}
BENCHMARK(BM_PictureWithFullTrail)
    ->ArgsProduct({{0, 1}, {20, 10}})
    ->ArgNames({"kept", "detail"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
