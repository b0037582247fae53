#include "display/value_map_picture.h"

#include "display/scene.h"
#include "display/view_overlays.h"
#include "world/floor.h"
#include "world/world.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace quorvel {

namespace {

// The part of the arena a value map shows: the floor (-104..94) and a little around it.
constexpr double mapLow = Floor::low - 6;
constexpr double mapHigh = Floor::high + 6;
constexpr int colourBarWidth = 90;
constexpr int titleHeight = 28;

// The square the arena is drawn in: as large as fits left of the colour bar, under the title.
QRectF mapArea(QSize size) {
    const double side = std::max(
        1.0, std::min<double>(size.width() - colourBarWidth - 16, size.height() - titleHeight - 8));
    return {8, static_cast<double>(titleHeight), side, side};
}

} // namespace

QPointF valueMapPixel(Vec2 point, QSize size) {
    const QRectF area = mapArea(size);
    const double scale = area.width() / (mapHigh - mapLow);
    return {area.left() + (point.x - mapLow) * scale, area.bottom() - (point.y - mapLow) * scale};
}

QImage valueMapPicture(const World& world, const ValueMap& map, Vec2 heading, QSize size,
                       const QString& title) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = mapArea(size);
    const double scale = area.width() / (mapHigh - mapLow);
    auto at = [&](Vec2 point) { return valueMapPixel(point, size); };
    // The squares as the view's floor lays them out: side 8 on a pitch of 10.
    for (int column = 0; column < ValueMap::side; ++column) {
        for (int row = 0; row < ValueMap::side; ++row) {
            const QPointF c = at(Floor::squareCentre(column, row));
            const double half = 4 * scale;
            p.fillRect(QRectF(c.x() - half, c.y() - half, 2 * half, 2 * half),
                       qColour(valueColour(map.values[column][row])));
        }
    }
    p.setPen(QPen(QColor(160, 160, 255), std::max(1.5, 0.8 * scale)));
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        QPolygonF outline;
        for (const Vec2 vertex : o.vertices) {
            outline << at(vertex);
        }
        p.drawPolygon(outline);
    }
    p.setPen(QPen(QColor(0, 255, 0), std::max(1.5, 0.6 * scale)));
    p.setBrush(QColor(0, 255, 0, 90));
    p.drawEllipse(at(world.goal), world.goalRadius * scale, world.goalRadius * scale);
    // The robot at its start, turned to the heading the map was computed for.
    const Vec2 centre = 0.5 * (world.rear + world.front);
    const Vec2 half = (world.length / 2) * heading;
    QPainterPath body;
    body.moveTo(at(centre - half));
    body.lineTo(at(centre + half));
    p.strokePath(body, QPen(QColor(255, 200, 0), world.width * scale, Qt::SolidLine, Qt::RoundCap));
    p.strokePath(body,
                 QPen(QColor(120, 60, 0), std::max(1.0, 0.4 * scale), Qt::SolidLine, Qt::RoundCap));
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(0, 0, 0));
    p.drawEllipse(at(centre + half), 1.2 * scale, 1.2 * scale); // the front

    // The colour bar and the title.
    const QRectF bar(area.right() + 24, area.top() + 16, 18, area.height() - 40);
    p.fillRect(bar, valueScale(bar.bottomLeft(), bar.topLeft()));
    p.setPen(QColor(230, 230, 230));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (const double value : {0.0, 0.5, 1.0}) {
        const double y = bar.bottom() - value * bar.height();
        p.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 4, y));
        p.drawText(QPointF(bar.right() + 7, y + 4), QString::number(value, 'f', 1));
    }
    p.drawText(QPointF(bar.left() - 8, bar.top() - 6), "value");
    p.drawText(QPointF(8, 18), title);
    p.end();
    image.setText("Title", title); // kept in the PNG file, for whoever reads it back
    return image;
}

} // namespace quorvel
