#pragma once

#include "display/kept_picture.h"
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
    ~CGLView() override;

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

    // The point of the arena shown at a point of the widget.
    Vec2 arenaAt(QPointF point) const;
    // How many pictures drew the parts that stay whole (kept_picture.h).
    int wholeDraws() const { return picture_.wholeDraws(); }

  signals:
    void clicked();
    // A left press and its release, where they fell in the arena, and whether Shift was held.
    void pressedAndReleased(Vec2 pressed, Vec2 released, bool shift);

  protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const World* world_;
    Vec2 pressedAt_;
    SceneExtras extras_;
    ViewOverlays overlays_;
    KeptPicture picture_; // in the present context
};

} // namespace quorvel
