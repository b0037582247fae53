#include "display/view_overlays.h"

#include "display/scene.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

constexpr int margin = 8;
constexpr int rowHeight = 14;
constexpr int labelWidth = 100;
constexpr int barLength = 64;
constexpr int barHeight = 9;
constexpr int panelWidth = 6 + labelWidth + barLength + 44;
const QColor panelColour(0, 0, 0, 170);
const QColor textColour(235, 235, 235);
const QColor barColour(150, 170, 210);
const QColor chosenColour(255, 170, 40);

void shadowedText(QPainter& p, QPoint at, const QString& text) {
    p.setPen(QColor(0, 0, 0));
    p.drawText(at + QPoint(1, 1), text);
    p.setPen(textColour);
    p.drawText(at, text);
}

void paintActionValues(QPainter& p, const ActionValues& v) {
    const int height = 6 + rowHeight * (QLearner::actionCount + 2) + 2;
    p.fillRect(QRect(margin, margin, panelWidth, height), panelColour);
    p.setPen(textColour);
    p.drawText(QPoint(margin + 6, margin + 6 + 10), "value of each action");
    for (int i = 0; i < QLearner::actionCount; ++i) {
        const QRect slot = actionBarSlot(i);
        const bool chosen = i == v.chosen;
        QFont font = p.font();
        font.setBold(chosen);
        p.setFont(font);
        p.setPen(chosen ? chosenColour : textColour);
        p.drawText(QPoint(margin + 6, slot.bottom()),
                   QString(chosen ? "\u25b6 " : "  ") + actionLabel(i));
        const double value = v.ratings[i];
        const double shown = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
        p.fillRect(slot, QColor(255, 255, 255, 40));
        p.fillRect(QRect(slot.topLeft(),
                         QSize(static_cast<int>(std::lround(shown * barLength)), slot.height())),
                   chosen ? chosenColour : barColour);
        p.drawText(QPoint(slot.right() + 6, slot.bottom()), QString::number(value, 'f', 3));
        font.setBold(false);
        p.setFont(font);
    }
    p.setPen(textColour);
    p.drawText(QPoint(margin + 6, margin + 6 + rowHeight * (QLearner::actionCount + 1) + 10),
               QString::fromStdString(describeGoal(v)));
}

void paintLegend(QPainter& p, QSize size, const ViewOverlays& o) {
    const bool notANumber = o.legendNotANumber;
    const QRect bar(size.width() - margin - 150, size.height() - margin - 24, 140, 10);
    if (notANumber) {
        // Above the scale: what the grey squares are.
        const QRect line(bar.left() - 6, bar.top() - 58, bar.width() + 12, 34);
        p.fillRect(line, panelColour);
        p.fillRect(QRect(line.left() + 6, line.top() + 6, 10, 10), qColour(valueColour(NAN)));
        p.setPen(textColour);
        p.drawText(QRect(line.left() + 20, line.top() + 3, line.width() - 24, line.height() - 4),
                   Qt::TextWordWrap, "not a number: the network's values are not finite");
    }
    p.fillRect(bar.adjusted(-6, -22, 6, 20), panelColour);
    p.fillRect(bar, valueScale(bar.topLeft(), bar.topRight()));
    p.setPen(textColour);
    p.drawText(QPoint(bar.left(), bar.top() - 6),
               o.legendStretched ? "best value, stretched" : "best value on each square");
    const QString low = o.legendStretched ? QString::number(o.legendLow, 'f', 3) : "0";
    const QString high = o.legendStretched ? QString::number(o.legendHigh, 'f', 3) : "1";
    p.drawText(QPoint(bar.left(), bar.bottom() + 14), low);
    p.drawText(QPoint(bar.right() + 1 - p.fontMetrics().horizontalAdvance(high), bar.bottom() + 14),
               high);
}

} // namespace

QColor qColour(const Colour& c) {
    return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                            static_cast<float>(c.b));
}

QLinearGradient valueScale(QPointF from, QPointF to) {
    QLinearGradient gradient(from, to);
    for (int i = 0; i <= 10; ++i) {
        gradient.setColorAt(i / 10.0, qColour(valueColour(i / 10.0)));
    }
    return gradient;
}

QRect actionBarSlot(int action) {
    const int top = margin + 6 + rowHeight * (action + 1) + 2;
    return {margin + 6 + labelWidth, top, barLength, barHeight};
}

void paintOverlays(QPainter& p, QSize size, const ViewOverlays& overlays) {
    p.save();
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    if (overlays.actionValues) {
        paintActionValues(p, *overlays.actionValues);
    }
    if (overlays.legend) {
        paintLegend(p, size, overlays);
    }
    if (!overlays.caption.isEmpty()) {
        font.setPixelSize(13);
        p.setFont(font);
        shadowedText(p, QPoint(margin, size.height() - margin), overlays.caption);
    }
    p.restore();
}

} // namespace quorvel
