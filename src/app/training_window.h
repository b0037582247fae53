#pragma once

#include "training/progress.h"
#include "training/training_runner.h"
#include "training/trial_drive.h"
#include "training/value_probe.h"

#include <QDialog>
#include <QElapsedTimer>

#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quorvel {

class CGLView;
class CurveChart;
class TrainingSession;
class World;
struct TrainingWatch;

// A training's figures as rows of a form, each text named by its label ("Runs", "Goals", ...);
// returns the texts, in the lines' order.
std::vector<QLabel*> addFigureRows(QFormLayout& form, const std::vector<FigureLine>& lines);

// What the window shows besides the figures: trial drives from this start, and the displays
// the panel has switched on.
struct TrialSettings {
    const World* start = nullptr; // the World as the user left it; no trials without one
    std::uint32_t randomState = 0;
    bool valueMap = false;
    bool actionValues = false;
};

// A modal window that runs a training on a thread of its own and shows it: progress, counts,
// speed, time left, the live learning curve, and trial drives, in which the network of the
// moment drives the robot from the same start step by step, again and again. When the runs
// end it shows the summary over itself and stays open, with its final figures, curve and
// trials, until the user closes it.
class TrainingWindow : public QDialog {
    Q_OBJECT
  public:
    TrainingWindow(TrainingSession& session, const TrainingWatch& watch,
                   const TrialSettings& trials = {}, QWidget* parent = nullptr);
    ~TrainingWindow() override;

    bool finished() const { return finished_; }
    CurveChart* chart() const { return chart_; }
    QPushButton* cancelButton() const { return cancel_; }
    CGLView* arena() const { return arena_; }
    QCheckBox* trialsBox() const { return trialsBox_; }
    const TrialDrive* trial() const { return trial_.get(); }
    // The counts as the window last showed them.
    TrainingProgress shownProgress() const { return shown_; }

  public slots:
    // Escape and the close box cancel the runs, as the button does; once they have ended,
    // they close the window.
    void reject() override;

  private:
    void tick();
    void showFigures();
    void finishRuns();
    void stepTrial();
    void beginTrial();
    void showArena();

    TrainingSession& session_;
    const TrainingWatch& watch_;
    TrialSettings trialSettings_;
    TrainingRunner runner_;
    bool cancelRequested_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
    std::size_t pointsShown_ = 0; // the curve's points already on the chart
    TrainingProgress shown_;
    QElapsedTimer clock_;
    qint64 mapRefreshed_ = -1000;
    int heldTicks_ = 0;       // ticks an ended trial has been shown
    bool finalTrial_ = false; // the trial of the finished network has begun
    QNetwork network_;        // a copy of the network of the moment (copied: building one draws)
    std::unique_ptr<TrialDrive> trial_;
    std::unique_ptr<World> mapWorld_; // the trial's World with the network of the moment
    ValueProbe probe_;
    ValueMap map_;
    QTimer* ticks_;
    QProgressBar* bar_;
    std::vector<QLabel*> figures_; // in the order of figureLines
    CGLView* arena_ = nullptr;
    QLabel* trialCaption_ = nullptr;
    QCheckBox* trialsBox_ = nullptr;
    CurveChart* chart_;
    QPushButton* cancel_;
};

} // namespace quorvel
