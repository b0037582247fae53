#pragma once

#include <QFont>
#include <QRect>

namespace quorvel {

// Dialog-unit geometry as dialog templates use it: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const { return (units * baseWidth_ + 2) / 4; }
    int y(int units) const { return (units * baseHeight_ + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return {x(left), y(top), x(width), y(height)};
    }

  private:
    int baseWidth_;
    int baseHeight_;
};

} // namespace quorvel
