#include "display/offscreen_render.h"
#include "display/scene.h"
#include "workload.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>
#include <benchmark/benchmark.h>

namespace quorvel {
namespace {

// One whole picture at the panel's view size with a full trail of 400 capsules, 7 obstacles
// of 10 sides, the goal and the rays, finished (glFinish) so the renderer's work is counted.
void BM_PictureWithFullTrail(benchmark::State& state) {
    auto world = bench::standardWorld();
    world->placeAt(0, 0, 0.3);
    for (int i = 0; i < 400; ++i) {
        world->move(i % 3 - 1, -1);
        world->recordTrailPose();
    }
    world->sense();

    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    const QSize size(1192, 584);
    QOpenGLFramebufferObject target(size, QOpenGLFramebufferObject::Depth);
    target.bind();
    glViewport(0, 0, size.width(), size.height());
    for (auto _ : state) {
        renderPicture(*world, size.width(), size.height());
        glFinish();
    }
    target.release();
    context.doneCurrent();
}
BENCHMARK(BM_PictureWithFullTrail)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
