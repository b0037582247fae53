#pragma once

#include "watching/value_probe.h"
#include "world/world.h"

#include <QColor>
#include <QLinearGradient>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QPainter;

namespace quorvel {

// What the view writes over its picture: the value map's legend, the bars of the six actions'
// values with the state they were rated in, and a caption.
struct ViewOverlays {
    bool legend = false;
    // The legend says that grey squares are no numbers: the network is not finite.
    bool legendNotANumber = false;
    // The values at the ends of the legend's scale; stretched, the map's own lowest and highest.
    double legendLow = 0;
    double legendHigh = 1;
    bool legendStretched = false;
    std::optional<ActionValues> actionValues;
    QString caption;

    bool any() const { return legend || actionValues.has_value() || !caption.isEmpty(); }
};

// Paints the overlays over a picture of this size: the action values in the top-left corner,
// the caption in the bottom-left, the legend in the bottom-right.
void paintOverlays(QPainter& painter, QSize size, const ViewOverlays& overlays);

// A colour of the scene as Qt paints it.
QColor qColour(const Colour& colour);

// The value map's colour scale as a gradient, from 0 at `from` to 1 at `to`.
QLinearGradient valueScale(QPointF from, QPointF to);

// Where paintOverlays draws the bar of action i and how long it is at full value, for tests.
QRect actionBarSlot(int action);

} // namespace quorvel
