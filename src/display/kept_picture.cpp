#include "display/kept_picture.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace quorvel {

namespace {

template <typename T> bool sameBytes(const T* a, const T* b, int count) {
    return count <= 0 || std::memcmp(a, b, sizeof(T) * static_cast<std::size_t>(count)) == 0;
}

bool samePaths(const std::deque<TrialPath>& a, const std::deque<TrialPath>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& p, const auto& q) {
        return p.centres.size() == q.centres.size() &&
               sameBytes(p.centres.data(), q.centres.data(), static_cast<int>(p.centres.size()));
    });
}

} // namespace

KeptPicture::KeptPicture() : trail_(std::make_unique<Trail>()) {}

KeptPicture::~KeptPicture() = default;

void KeptPicture::release() {
    kept_.reset();
    trailDrawn_ = 0;
}

bool KeptPicture::keepsGround(const World& world, int width, int height,
                              const SceneExtras& extras) const {
    if (!kept_ || width != width_ || height != height_ || extras.capsuleDetail != capsuleDetail_ ||
        world.width != robotWidth_ || world.length != robotLength_ || world.goal.x != goal_.x ||
        world.goal.y != goal_.y || world.goalRadius != goalRadius_ ||
        world.obstacleCount != static_cast<int>(vertexCounts_.size())) {
        return false;
    }
    std::size_t at = 0;
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        if (o.vertexCount != vertexCounts_[static_cast<std::size_t>(k)] ||
            !sameBytes(o.vertices.data(), vertices_.data() + at, o.vertexCount)) {
            return false;
        }
        at += static_cast<std::size_t>(o.vertexCount);
    }
    if ((extras.valueMap != nullptr) != hasMap_ ||
        (hasMap_ && (extras.valueLow != valueLow_ || extras.valueHigh != valueHigh_ ||
                     !sameBytes(extras.valueMap, &map_, 1)))) {
        return false;
    }
    return (extras.earlierPaths != nullptr) == hasPaths_ &&
           (!hasPaths_ || samePaths(*extras.earlierPaths, paths_));
}

bool KeptPicture::keepsTrail(const World& world) const {
    return world.trailCount >= trailDrawn_ &&
           sameBytes(world.trail.rear, trail_->rear, trailDrawn_) &&
           sameBytes(world.trail.heading, trail_->heading, trailDrawn_) &&
           sameBytes(world.trail.colour, trail_->colour, trailDrawn_);
}

void KeptPicture::remember(const World& world, int width, int height, const SceneExtras& extras) {
    width_ = width;
    height_ = height;
    capsuleDetail_ = extras.capsuleDetail;
    robotWidth_ = world.width;
    robotLength_ = world.length;
    goal_ = world.goal;
    goalRadius_ = world.goalRadius;
    vertexCounts_.clear();
    vertices_.clear();
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        vertexCounts_.push_back(o.vertexCount);
        vertices_.insert(vertices_.end(), o.vertices.begin(), o.vertices.begin() + o.vertexCount);
    }
    hasMap_ = extras.valueMap != nullptr;
    if (hasMap_) {
        map_ = *extras.valueMap;
        valueLow_ = extras.valueLow;
        valueHigh_ = extras.valueHigh;
    }
    hasPaths_ = extras.earlierPaths != nullptr;
    if (hasPaths_) {
        paths_ = *extras.earlierPaths;
    } else {
        paths_.clear();
    }
}

void KeptPicture::draw(const World& world, int width, int height, const SceneExtras& extras,
                       unsigned target) {
    QOpenGLExtraFunctions* f = QOpenGLContext::currentContext()->extraFunctions();
    if (blitFailed_ || !QOpenGLFramebufferObject::hasOpenGLFramebufferBlit()) {
        f->glBindFramebuffer(GL_FRAMEBUFFER, target);
        renderPicture(world, width, height, extras);
        return;
    }
    const bool whole = !keepsGround(world, width, height, extras) || !keepsTrail(world);
    if (!kept_ || kept_->size() != QSize(width, height)) {
        kept_ = std::make_unique<QOpenGLFramebufferObject>(
            QSize(width, height), QOpenGLFramebufferObject::CombinedDepthStencil);
    }
    f->glBindFramebuffer(GL_FRAMEBUFFER, kept_->handle());
    glViewport(0, 0, width, height);
    beginPicture(width, height);
    if (whole) {
        ++wholeDraws_;
        drawGround(extras);
        trailDrawn_ = 0;
    }
    drawTrail(world, trailDrawn_, world.trailCount, extras.capsuleDetail);
    if (whole) {
        drawObstaclesAndGoal(world);
        remember(world, width, height, extras);
    }
    endPicture();
    const int n = world.trailCount;
    std::copy(world.trail.rear + trailDrawn_, world.trail.rear + n, trail_->rear + trailDrawn_);
    std::copy(world.trail.heading + trailDrawn_, world.trail.heading + n,
              trail_->heading + trailDrawn_);
    std::copy(world.trail.colour + trailDrawn_, world.trail.colour + n,
              trail_->colour + trailDrawn_);
    trailDrawn_ = n;

    // Errors left by others must not count as the copy's.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, kept_->handle());
    f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    f->glBlitFramebuffer(0, 0, width, height, 0, 0, width, height,
                         GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    f->glBindFramebuffer(GL_FRAMEBUFFER, target);
    if (glGetError() != GL_NO_ERROR) {
        // The target's depth buffer is not one a copy can fill: draw every picture whole.
        blitFailed_ = true;
        release();
        renderPicture(world, width, height, extras);
        return;
    }
    glViewport(0, 0, width, height);
    beginPicture(width, height);
    drawRobot(world, extras.capsuleDetail);
    drawRays(world);
    endPicture();
}

} // namespace quorvel
