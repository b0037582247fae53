#pragma once

#include "training/evaluation_curve.h"

#include <QChartView>
#include <QString>

#include <vector>

class QLineSeries;

namespace quorvel {

// The learning curve: shares of goals, collisions and misses over a moving window of
// evaluation runs, against the run index (or the evaluation's number).
class CurveChart : public QChartView {
    Q_OBJECT
  public:
    CurveChart(const QString& xTitle, int window, QWidget* parent = nullptr);

    // Adds points at the end, all in one redraw of the chart.
    void append(const CurvePoint* points, int count);
    void setPoints(const std::vector<CurvePoint>& points);
    void setXRange(double maximum);
    // The share a series shows at its last point with index <= x; -1 when there is none.
    double shareAt(int series, double x) const;

  private:
    QLineSeries* series_[3];
    double xMaximum_ = 1;
};

} // namespace quorvel
