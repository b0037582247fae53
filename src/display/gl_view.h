#pragma once

#include <QOpenGLWidget>

namespace quorvel {

class World;

// The panel's drawing surface: a picture of the world, drawn with fixed-function OpenGL.
class CGLView : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit CGLView(const World& world, QWidget* parent = nullptr);

    // The one operation the panel calls after the world changed.
    void Redraw();

    // The context this view asks for: compatibility profile, double buffered, 24-bit colour
    // and a 32-bit depth buffer (the platform falls back to the deepest it has).
    static QSurfaceFormat requestedFormat();

  signals:
    void clicked();

  protected:
    void paintGL() override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const World& world_;
};

} // namespace quorvel
