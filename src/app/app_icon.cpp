#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace quorvel {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(26, 0, 255));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setBrush(QColor(0, 0, 0, 90));
    for (int i = 1; i < 4; ++i) {
        p.drawRect(QRectF(2 + 15 * i - 1, 2, 2, 60));
        p.drawRect(QRectF(2, 2 + 15 * i - 1, 60, 2));
    }
    p.setBrush(QColor(0, 220, 0));
    p.drawEllipse(QPointF(46, 18), 9, 9);
    p.translate(22, 42);
    p.rotate(-45);
    p.setBrush(QColor(255, 230, 0));
    p.drawRoundedRect(QRectF(-14, -7, 28, 14), 7, 7);
    return pixmap;
}

} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(drawIcon(size));
    }
    return icon;
}

} // namespace quorvel
