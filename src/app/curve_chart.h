#pragma once

#include "training/episodes.h"
#include "watching/log_curves.h"

#include <QChartView>
#include <QColor>
#include <QString>

#include <utility>
#include <vector>

class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace quorvel {

// The distance between the run axis's ticks for a span: a round number giving about five.
double roundTickInterval(double span);

// The learning curve: shares of goals, collisions and misses over a moving window of
// evaluation runs, against the run index (or the evaluation's number); or, to compare
// several curves, the goal share of each.
class CurveChart : public QChartView {
    Q_OBJECT
  public:
    CurveChart(const QString& xTitle, int window, QWidget* parent = nullptr);

    // Adds points at the end, all in one redraw of the chart.
    void append(const CurvePoint* points, int count);
    void setPoints(const std::vector<CurvePoint>& points);
    // One curve: as setPoints, over its window. Several: a goal-share line for each, drawn with
    // comparisonPen and named as the curves are; more than a few are named in a column on the
    // right, where long names keep their room.
    void setCurves(const std::vector<LabelledCurve>& curves);
    void setXRange(double maximum);
    // Marks where a trial drive ended, at the run its network was taken: a goal at share 1,
    // a collision or a trial without the goal at share 0, each in its share's colour.
    void addTrialEnd(int run, DriveEnd end);
    // The trial ends marked so far, of the kind of this end (goal, collision, no goal): how
    // many, and where.
    int trialEnds(DriveEnd end) const;
    QList<QPointF> trialMarks(DriveEnd end) const;
    // A dashed line across the chart at the share of the evaluation placements from which
    // some drive reaches the goal: as high as a goal share could go there.
    void addReachableShare(double share, const QColor& colour, const QString& name);
    // The shares of those lines, in the order they were added.
    std::vector<double> reachableShares() const;
    // The share series i shows at its last point with index <= x; -1 when there is none.
    double shareAt(int series, double x) const;

    static QColor shareColour(int share);       // goals, collisions, misses
    static QString reachableName(double share); // "reachable (61%)"
    static QColor comparisonColour(int curve);
    // Eight colours, then the same in dashes, dots and dash-dots: 32 curves told apart.
    static QPen comparisonPen(int curve);

  private:
    QLineSeries* addSeries(const QString& name, const QPen& pen);

    std::vector<QLineSeries*> series_;
    std::vector<std::pair<QLineSeries*, double>> reachable_;
    QScatterSeries* trialMarks_[3] = {};
    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    double xMaximum_ = 1;
};

} // namespace quorvel
