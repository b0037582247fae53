#include "display/scene.h"
#include "display/view_overlays.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

QImage painted(const ViewOverlays& overlays, QSize size = {640, 400}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    paintOverlays(p, size, overlays);
    p.end();
    return image;
}

// Whether anything but black was painted inside the rectangle.
bool paintedIn(const QImage& image, QRect area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != qRgb(0, 0, 0)) {
                return true;
            }
        }
    }
    return false;
}

// The six bars stand one under the other in the top-left corner, each as long as its value of
// one full bar, the chosen one in its own colour.
TEST(ViewOverlays, ActionBarsStandInRowsAsLongAsTheirValues) {
    ActionValues v;
    const double ratings[] = {0, 0.25, 0.5, 0.75, 1, 0.5};
    std::copy(std::begin(ratings), std::end(ratings), v.ratings);
    v.chosen = 3;
    ViewOverlays bars;
    bars.actionValues = v;
    const QImage image = painted(bars);
    const QRgb bar = qRgb(150, 170, 210), chosen = qRgb(255, 170, 40);
    // The first under the panel's title line, right of the labels, in the view's corner.
    EXPECT_EQ(actionBarSlot(0), QRect(114, 30, 64, 9));
    for (int i = 0; i < QLearner::actionCount; ++i) {
        const QRect slot = actionBarSlot(i);
        if (i > 0) {
            EXPECT_EQ(slot.left(), actionBarSlot(i - 1).left());
            EXPECT_EQ(slot.top(), actionBarSlot(i - 1).top() + 14) << i;
        }
        EXPECT_LT(slot.left(), 200);
        const int filled = static_cast<int>(std::lround(ratings[i] * slot.width()));
        const int y = slot.center().y();
        const QRgb colour = i == 3 ? chosen : bar;
        if (filled > 0) {
            EXPECT_EQ(image.pixel(slot.left(), y), colour) << i;
            EXPECT_EQ(image.pixel(slot.left() + filled - 1, y), colour) << i;
        }
        if (filled < slot.width()) {
            EXPECT_NE(image.pixel(slot.left() + filled, y), colour) << i;
        }
    }
}

// A caption alone is written in the bottom-left corner, and nothing else is painted.
TEST(ViewOverlays, ACaptionAloneIsTheOnlyThingPainted) {
    const QSize size(640, 400);
    ViewOverlays caption;
    caption.caption = "goal after 87 steps";
    const QImage image = painted(caption, size);
    EXPECT_TRUE(paintedIn(image, QRect(0, size.height() - 30, 200, 30)));
    EXPECT_FALSE(paintedIn(image, QRect(0, 0, size.width(), size.height() - 30)));
    EXPECT_FALSE(paintedIn(image, QRect(300, size.height() - 30, 340, 30)));
    EXPECT_FALSE(ViewOverlays{}.any());
    EXPECT_FALSE(paintedIn(painted({}), QRect(QPoint(0, 0), size)));
}

// The colour scale runs from the value 0's colour to the value 1's; the legend shows it.
TEST(ViewOverlays, TheColourScaleEndsAtTheColoursOfZeroAndOne) {
    const QGradientStops stops = valueScale({0, 0}, {100, 0}).stops();
    ASSERT_GE(stops.size(), 2);
    EXPECT_EQ(stops.front().first, 0.0);
    EXPECT_EQ(stops.front().second, qColour(valueColour(0)));
    EXPECT_EQ(stops.back().first, 1.0);
    EXPECT_EQ(stops.back().second, qColour(valueColour(1)));
    EXPECT_NE(stops.back().second, qColour(valueColour(0.9)));
    const QSize size(640, 400);
    ViewOverlays withLegend;
    withLegend.legend = true;
    const QImage legend = painted(withLegend, size);
    const QRect bar(size.width() - 8 - 150, size.height() - 8 - 24, 140, 10);
    const QColor right = legend.pixelColor(bar.right(), bar.center().y());
    const Colour one = valueColour(1);
    EXPECT_NEAR(right.redF(), one.r, 0.03);
    EXPECT_NEAR(right.greenF(), one.g, 0.03);
    EXPECT_NEAR(right.blueF(), one.b, 0.03);
}

} // namespace
} // namespace quorvel
