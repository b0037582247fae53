#include "app/curve_chart.h"

#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace quorvel {

QString CurveChart::reachableName(double share) {
    return QString("reachable (%1%)").arg(std::lround(100 * share));
}

QColor CurveChart::shareColour(int share) {
    static const QColor colours[] = {QColor(0, 170, 0), QColor(210, 40, 40), QColor(90, 90, 220)};
    return colours[share];
}

QColor CurveChart::comparisonColour(int curve) {
    static const QColor colours[] = {
        QColor(0, 114, 178), QColor(230, 159, 0),  QColor(0, 158, 115),   QColor(204, 121, 167),
        QColor(213, 94, 0),  QColor(86, 180, 233), QColor(120, 120, 120), QColor(240, 228, 66)};
    return colours[curve % std::size(colours)];
}

QPen CurveChart::comparisonPen(int curve) {
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                          Qt::DashDotLine};
    QPen pen(comparisonColour(curve), 2);
    pen.setStyle(styles[curve / 8 % std::size(styles)]);
    return pen;
}

CurveChart::CurveChart(const QString& xTitle, int window, QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart;
    chart->setTitle(QString("Share of the last %1 evaluation runs").arg(window));
    xAxis_ = new QValueAxis;
    xAxis_->setTitleText(xTitle);
    xAxis_->setLabelFormat("%d");
    xAxis_->setRange(0, 1);
    yAxis_ = new QValueAxis;
    yAxis_->setTitleText("share");
    yAxis_->setRange(0, 1);
    chart->addAxis(xAxis_, Qt::AlignBottom);
    chart->addAxis(yAxis_, Qt::AlignLeft);
    chart->legend()->setAlignment(Qt::AlignBottom);
    setChart(chart);
    const char* names[] = {"goals", "collisions", "misses"};
    for (int i = 0; i < 3; ++i) {
        addSeries(names[i], QPen(shareColour(i), 2));
    }
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(560, 320);
}

QLineSeries* CurveChart::addSeries(const QString& name, const QPen& pen) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(pen);
    chart()->addSeries(series);
    series->attachAxis(xAxis_);
    series->attachAxis(yAxis_);
    series_.push_back(series);
    return series;
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
    for (int i = 0; i < 3; ++i) {
        series_[i]->clear();
    }
    setXRange(1);
    append(points.data(), static_cast<int>(points.size()));
}

void CurveChart::setCurves(const std::vector<LabelledCurve>& curves) {
    if (curves.size() == 1) {
        chart()->setTitle(
            QString("Share of the last %1 evaluation runs").arg(curves.front().window));
        setPoints(curves.front().points);
        if (const auto share = curves.front().reachableShare) {
            addReachableShare(*share, shareColour(0), reachableName(*share));
        }
        return;
    }
    chart()->removeAllSeries();
    series_.clear();
    std::fill(std::begin(trialMarks_), std::end(trialMarks_), nullptr);
    chart()->setTitle("Goal share over the last 5 % of each log's evaluation runs");
    double last = 1;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        QList<QPointF> points;
        for (const CurvePoint& p : curves[i].points) {
            points.append(QPointF(p.index, p.goals));
            last = std::max(last, static_cast<double>(p.index));
        }
        addSeries(QString::fromStdString(curves[i].name), comparisonPen(static_cast<int>(i)))
            ->replace(points);
    }
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (const auto share = curves[i].reachableShare) {
            addReachableShare(*share, comparisonColour(static_cast<int>(i)),
                              QString::fromStdString(curves[i].name) + " reachable");
        }
    }
    chart()->legend()->setAlignment(curves.size() > 4 ? Qt::AlignRight : Qt::AlignBottom);
    chart()->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries); // a stroke of each pen
    setXRange(last);
}

namespace {

// The shares the ends count in: goals, collisions, misses.
int shareOf(DriveEnd end) {
    return end == DriveEnd::goal ? 0 : end == DriveEnd::collision ? 1 : 2;
}

} // namespace

void CurveChart::addTrialEnd(int run, DriveEnd end) {
    const int kind = shareOf(end);
    QScatterSeries*& marks = trialMarks_[kind];
    if (marks == nullptr) {
        static const char* const names[] = {"trial goal", "trial collision", "trial no goal"};
        marks = new QScatterSeries;
        marks->setName(names[kind]);
        marks->setMarkerShape(kind == 1 ? QScatterSeries::MarkerShapeRectangle
                                        : QScatterSeries::MarkerShapeCircle);
        marks->setMarkerSize(8);
        marks->setColor(shareColour(kind));
        marks->setBorderColor(shareColour(kind).darker());
        chart()->addSeries(marks);
        marks->attachAxis(xAxis_);
        marks->attachAxis(yAxis_);
    }
    marks->append(run, kind == 0 ? 1.0 : 0.0);
}

int CurveChart::trialEnds(DriveEnd end) const {
    const int kind = shareOf(end);
    return trialMarks_[kind] == nullptr ? 0 : static_cast<int>(trialMarks_[kind]->count());
}

QList<QPointF> CurveChart::trialMarks(DriveEnd end) const {
    const int kind = shareOf(end);
    return trialMarks_[kind] == nullptr ? QList<QPointF>{} : trialMarks_[kind]->points();
}

double roundTickInterval(double span) {
    // About five ticks, each a round number: 1, 2 or 5 times a power of ten.
    const double rough = std::max(span / 5, 1.0);
    const double power = std::pow(10, std::floor(std::log10(rough)));
    for (const double step : {1.0, 2.0, 5.0}) {
        if (step * power >= rough) {
            return step * power;
        }
    }
    return 10 * power;
}

void CurveChart::setXRange(double maximum) {
    xMaximum_ = std::max(1.0, maximum);
    // The interval first: a wide range with the old, narrow one would make ticks by the
    // thousand.
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(0);
    xAxis_->setTickInterval(roundTickInterval(xMaximum_));
    xAxis_->setRange(0, xMaximum_);
    for (const auto& [line, share] : reachable_) {
        line->replace({QPointF(0, share), QPointF(xMaximum_, share)});
    }
}

void CurveChart::addReachableShare(double share, const QColor& colour, const QString& name) {
    auto* line = new QLineSeries;
    line->setName(name);
    QPen pen(colour, 1.5);
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    chart()->addSeries(line);
    line->attachAxis(xAxis_);
    line->attachAxis(yAxis_);
    reachable_.push_back({line, share});
    line->replace({QPointF(0, share), QPointF(xMaximum_, share)});
}

std::vector<double> CurveChart::reachableShares() const {
    std::vector<double> shares;
    for (const auto& entry : reachable_) {
        shares.push_back(entry.second);
    }
    return shares;
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
