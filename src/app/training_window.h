#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quorvel {

class CurveChart;
class TrainingSession;
struct TrainingWatch;

// A modal window that runs a training in short slices between the window system's events:
// progress, counts, speed, time left, the live learning curve and a Cancel button. When the
// runs end it shows the summary over itself and stays open, with its final figures and curve,
// until the user closes it.
class TrainingWindow : public QDialog {
    Q_OBJECT
  public:
    TrainingWindow(TrainingSession& session, const TrainingWatch& watch, QWidget* parent = nullptr);
    ~TrainingWindow() override;

    bool finished() const { return finished_; }
    CurveChart* chart() const { return chart_; }
    QPushButton* cancelButton() const { return cancel_; }

  public slots:
    // Escape and the close box cancel the runs, as the button does; once they have ended,
    // they close the window.
    void reject() override;

  private:
    void runSlice();
    void showFigures();
    void finishRuns();

    TrainingSession& session_;
    const TrainingWatch& watch_;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
    int pointsShown_ = 0; // the curve's points already on the chart
    QElapsedTimer clock_;
    qint64 lastShown_ = -1000;
    QTimer* slices_;
    QProgressBar* bar_;
    QLabel* runs_;
    QLabel* goals_;
    QLabel* collisions_;
    QLabel* misses_;
    QLabel* rate_;
    QLabel* elapsed_;
    QLabel* left_;
    CurveChart* chart_;
    QPushButton* cancel_;
};

} // namespace quorvel
