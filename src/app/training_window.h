#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quorvel {

class CurveChart;
class MovingShares;
class TrainingSession;

// A modal window that runs a training in short slices between the window system's events:
// progress, counts, speed, time left, the live learning curve and a Cancel button.
class TrainingWindow : public QDialog {
    Q_OBJECT
  public:
    TrainingWindow(TrainingSession& session, QWidget* parent = nullptr);
    ~TrainingWindow() override;

    bool cancelled() const { return cancelled_; }
    CurveChart* chart() const { return chart_; }
    QPushButton* cancelButton() const { return cancel_; }

  public slots:
    void reject() override; // Escape and the close box cancel, as the button does

  private:
    void runSlice();
    void showFigures();

    TrainingSession& session_;
    std::unique_ptr<MovingShares> shares_;
    int pointStride_ = 1;
    int evaluations_ = 0;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
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
