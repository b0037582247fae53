#include "app/curve_chart.h"

#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

namespace quorvel {

CurveChart::CurveChart(const QString& xTitle, int window, QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart;
    chart->setTitle(QString("Share of the last %1 evaluation runs").arg(window));
    const char* names[] = {"goals", "collisions", "misses"};
    const QColor colours[] = {QColor(0, 170, 0), QColor(210, 40, 40), QColor(90, 90, 220)};
    auto* x = new QValueAxis;
    x->setTitleText(xTitle);
    x->setLabelFormat("%d");
    x->setRange(0, 1);
    auto* y = new QValueAxis;
    y->setTitleText("share");
    y->setRange(0, 1);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (int i = 0; i < 3; ++i) {
        series_[i] = new QLineSeries;
        series_[i]->setName(names[i]);
        series_[i]->setPen(QPen(colours[i], 2));
        chart->addSeries(series_[i]);
        series_[i]->attachAxis(x);
        series_[i]->attachAxis(y);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(560, 320);
}

void CurveChart::append(const CurvePoint* points, int count) {
    if (count <= 0) {
        return;
    }
    QList<QPointF> lists[3];
    for (int i = 0; i < count; ++i) {
        const CurvePoint& p = points[i];
        lists[0].append(QPointF(p.index, p.goals));
        lists[1].append(QPointF(p.index, p.collisions));
        lists[2].append(QPointF(p.index, p.misses));
    }
    for (int i = 0; i < 3; ++i) {
        series_[i]->append(lists[i]);
    }
    if (points[count - 1].index > xMaximum_) {
        setXRange(points[count - 1].index);
    }
}

void CurveChart::setPoints(const std::vector<CurvePoint>& points) {
    QList<QPointF> lists[3];
    for (const CurvePoint& p : points) {
        lists[0].append(QPointF(p.index, p.goals));
        lists[1].append(QPointF(p.index, p.collisions));
        lists[2].append(QPointF(p.index, p.misses));
    }
    for (int i = 0; i < 3; ++i) {
        series_[i]->replace(lists[i]);
    }
    setXRange(points.empty() ? 1 : points.back().index);
}

void CurveChart::setXRange(double maximum) {
    xMaximum_ = std::max(1.0, maximum);
    chart()->axes(Qt::Horizontal).first()->setRange(0, xMaximum_);
}

double CurveChart::shareAt(int series, double x) const {
    double share = -1;
    for (const QPointF& p : series_[series]->points()) {
        if (p.x() > x) {
            break;
        }
        share = p.y();
    }
    return share;
}

} // namespace quorvel
