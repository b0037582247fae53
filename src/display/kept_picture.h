#pragma once

#include "display/scene.h"
#include "watching/trial_drive.h"
#include "watching/value_probe.h"

#include <deque>
#include <memory>
#include <vector>

class QOpenGLFramebufferObject;

namespace quorvel {

// A view's pictures, drawn so that what stays from one picture to the next costs nothing the
// second time. The ground (floor, value map, earlier paths), the trail so far, the obstacles
// and the goal are kept in a framebuffer of their own; a picture adds the trail's new poses to
// it, copies it, and draws only the robot and the rays over the copy. The kept part is drawn
// whole again as soon as anything in it differs from what it shows. A picture is the one
// renderPicture draws: the parts go in another order, which the depth test makes the same but
// where two surfaces lie at exactly one depth.
class KeptPicture {
  public:
    KeptPicture();
    ~KeptPicture();
    KeptPicture(const KeptPicture&) = delete;
    KeptPicture& operator=(const KeptPicture&) = delete;

    // Draws the picture into the framebuffer object `target` of width x height pixels, which is
    // bound on return. The current context must be the one of the earlier pictures, or
    // release() must have been called since.
    void draw(const World& world, int width, int height, const SceneExtras& extras,
              unsigned target);
    // Frees the kept part; its context must be current.
    void release();
    // How many pictures drew the kept part whole.
    int wholeDraws() const { return wholeDraws_; }

  private:
    bool keepsGround(const World& world, int width, int height, const SceneExtras& extras) const;
    bool keepsTrail(const World& world) const;
    void remember(const World& world, int width, int height, const SceneExtras& extras);

    std::unique_ptr<QOpenGLFramebufferObject> kept_;
    bool blitFailed_ = false;
    int wholeDraws_ = 0;

    // What the kept part shows.
    int width_ = 0, height_ = 0, capsuleDetail_ = 0;
    double robotWidth_ = 0, robotLength_ = 0;
    std::vector<int> vertexCounts_;
    std::vector<Vec2> vertices_; // all obstacles', one after another
    Vec2 goal_;
    double goalRadius_ = 0;
    bool hasMap_ = false;
    ValueMap map_;
    double valueLow_ = 0, valueHigh_ = 0;
    std::deque<TrialPath> paths_;
    bool hasPaths_ = false;
    int trailDrawn_ = 0;
    std::unique_ptr<Trail> trail_; // its first trailDrawn_ poses
};

} // namespace quorvel
