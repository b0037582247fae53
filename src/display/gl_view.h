#pragma once

#include "display/scene.h"
#include "display/view_overlays.h"

#include <QOpenGLWidget>

namespace quorvel {

class World;

// A drawing surface showing a picture of a World, drawn with fixed-function OpenGL, and what
// its owner adds: a coloured floor, earlier paths, and overlays written over the picture.
class CGLView : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit CGLView(const World& world, QWidget* parent = nullptr);

    // The one operation the panel calls after the world changed.
    void Redraw();

    // The World drawn from the next picture on.
    void setWorld(const World& world) { world_ = &world; }
    const World& world() const { return *world_; }
    // What the next pictures show besides the World; what they point to must outlive them.
    void setExtras(const SceneExtras& extras) { extras_ = extras; }
    const SceneExtras& extras() const { return extras_; }
    void setOverlays(const ViewOverlays& overlays) { overlays_ = overlays; }
    const ViewOverlays& overlays() const { return overlays_; }

    // The context this view asks for: compatibility profile, double buffered, 24-bit colour
    // and a 32-bit depth buffer (the platform falls back to the deepest it has).
    static QSurfaceFormat requestedFormat();

  signals:
    void clicked();

  protected:
    void paintGL() override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const World* world_;
    SceneExtras extras_;
    ViewOverlays overlays_;
};

} // namespace quorvel
