#include "display/gl_view.h"

#include "display/scene.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>

#include <GL/gl.h>

namespace quorvel {

CGLView::CGLView(const World& world, QWidget* parent) : QOpenGLWidget(parent), world_(&world) {
    setFormat(requestedFormat());
    setFocusPolicy(Qt::NoFocus);
}

CGLView::~CGLView() {
    makeCurrent();
    picture_.release();
    doneCurrent();
}

void CGLView::initializeGL() {
    // A new context (the first, or one after the view moved to another window): the kept
    // picture goes with the old one.
    connect(
        context(), &QOpenGLContext::aboutToBeDestroyed, this,
        [this] {
            makeCurrent();
            picture_.release();
            doneCurrent();
        },
        Qt::DirectConnection);
}

QSurfaceFormat CGLView::requestedFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(0);
    format.setDepthBufferSize(32);
    return format;
}

void CGLView::Redraw() {
    update();
}

void CGLView::paintGL() {
    // One context is kept for the view; every picture starts from the state a fresh context
    // has.
    const qreal ratio = devicePixelRatioF();
    picture_.draw(*world_, static_cast<int>(width() * ratio), static_cast<int>(height() * ratio),
                  extras_, defaultFramebufferObject());
    makePictureOpaque();
    if (!overlays_.any()) {
        return;
    }
    {
        // Into the framebuffer being drawn, not onto the widget, which a grab of the window
        // may be painting already.
        QOpenGLPaintDevice device(
            QSize(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio)));
        device.setDevicePixelRatio(ratio);
        QPainter painter(&device);
        painter.setRenderHint(QPainter::Antialiasing);
        paintOverlays(painter, size(), overlays_);
    }
    // Back to the fixed-function pipeline for the next picture.
    context()->functions()->glUseProgram(0);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDepthMask(GL_TRUE);
}

Vec2 CGLView::arenaAt(QPointF point) const {
    return arenaPoint(point.x(), point.y(), width(), height());
}

void CGLView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedAt_ = arenaAt(event->position());
    }
    QOpenGLWidget::mousePressEvent(event);
}

void CGLView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit pressedAndReleased(pressedAt_, arenaAt(event->position()),
                                event->modifiers() & Qt::ShiftModifier);
        emit clicked();
    }
    QOpenGLWidget::mouseReleaseEvent(event);
}

} // namespace quorvel
