#include "display/frame_ticks.h"

#include <QOpenGLWidget>

#include <algorithm>

namespace quorvel {

FrameTicks::FrameTicks(QOpenGLWidget* view, std::function<void()> tick, QObject* parent)
    : QObject(parent), tick_(std::move(tick)) {
    sinceTick_.start();
    connect(&timer_, &QTimer::timeout, this, &FrameTicks::fire);
    // The next tick once the picture of the last is shown, from the event loop.
    connect(view, &QOpenGLWidget::frameSwapped, this, [this] {
        if (active_ && period_ == 0) {
            const qint64 left = fastestMs - sinceTick_.elapsed();
            timer_.start(static_cast<int>(std::clamp<qint64>(left, 0, fastestMs)));
        }
    });
}

void FrameTicks::start(int periodMs) {
    const int period = std::max(periodMs, 0);
    if (active_ && period == period_) {
        return; // going on as it was
    }
    active_ = true;
    period_ = period;
    timer_.setSingleShot(period == 0);
    timer_.start(period);
}

void FrameTicks::stop() {
    active_ = false;
    timer_.stop();
}

void FrameTicks::fire() {
    if (period_ == 0) {
        timer_.start(idleMs); // unless the tick's picture calls sooner
    }
    sinceTick_.start();
    tick_();
}

} // namespace quorvel
