#include "display/offscreen_render.h"

#include "display/gl_view.h"
#include "display/scene.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>

namespace quorvel {

QImage renderWorldImage(const World& world, QSize size, const SceneExtras& extras) {
    QOffscreenSurface surface;
    surface.setFormat(CGLView::requestedFormat());
    surface.create();
    QOpenGLContext context;
    context.setFormat(CGLView::requestedFormat());
    if (!context.create() || !context.makeCurrent(&surface)) {
        return {};
    }
    QImage image;
    {
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(QOpenGLFramebufferObject::Depth);
        QOpenGLFramebufferObject target(size, format);
        target.bind();
        glViewport(0, 0, size.width(), size.height());
        renderPicture(world, size.width(), size.height(), extras);
        makePictureOpaque();
        glFinish();
        image = target.toImage().convertToFormat(QImage::Format_RGB32);
        target.release();
    }
    context.doneCurrent();
    return image;
}

} // namespace quorvel
