#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class QOpenGLWidget;

namespace quorvel {

// A timer for drives shown in a view: every `periodMs`, or with a period of 0 once for every
// picture the view puts on the screen, at most one every fastestMs (a screen's 60 pictures a
// second: a display that waits for no screen would draw as fast as the processor can, and
// take it from the training), so that each step is seen. A tick that draws nothing is followed
// by the next after idleMs.
class FrameTicks : public QObject {
    Q_OBJECT
  public:
    static constexpr int fastestMs = 16;
    static constexpr int idleMs = 20;

    FrameTicks(QOpenGLWidget* view, std::function<void()> tick, QObject* parent = nullptr);

    // Starts ticking, or goes on at the new period.
    void start(int periodMs);
    void stop();
    bool isActive() const { return active_; }

  private:
    void fire();

    std::function<void()> tick_;
    QTimer timer_;
    QElapsedTimer sinceTick_;
    bool active_ = false;
    int period_ = 0;
};

} // namespace quorvel
