#pragma once

#include "training/progress.h"
#include "training/reachability.h"
#include "training/training_job.h"
#include "watching/trial_drive.h"
#include "watching/value_probe.h"

#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quorvel {

class CGLView;
class CurveChart;
class FrameTicks;

// A training's figures as rows of a form, each text named by its label ("Runs", "Goals", ...);
// returns the texts, in the lines' order.
std::vector<QLabel*> addFigureRows(QFormLayout& form, const std::vector<FigureLine>& lines);

// The displays the panel has switched on, shown in the trials' arena too.
struct TrialDisplays {
    bool valueMap = false;
    bool actionValues = false;
    bool stretched = false; // the value map's colours from its lowest to its highest value
};

// A modal window that shows a running training: progress, counts, speed, time left, the live
// learning curve, and trial drives, in which the network of the moment drives the robot from
// where the user left it, step by step, again and again. It keeps only what the job's
// snapshots give it, as a widget keeps the latest picture a drawing thread hands it. When the
// runs end it shows the training's report over itself and stays open, with its final figures,
// curve and trials, until the user closes it.
class TrainingWindow : public QDialog {
    Q_OBJECT
  public:
    TrainingWindow(TrainingJob& job, const std::string& notice, const TrialDisplays& displays,
                   QWidget* parent = nullptr);
    ~TrainingWindow() override;

    bool runsEnded() const { return outcome_.has_value(); }
    // How the training ended; once the runs have ended.
    const TrainingOutcome& outcome() const { return *outcome_; }
    CurveChart* chart() const { return chart_; }
    QPushButton* cancelButton() const { return cancel_; }
    CGLView* arena() const { return arena_; }
    QCheckBox* trialsBox() const { return trialsBox_; }
    QCheckBox* reachableBox() const { return reachableBox_; }
    // The trials' pace: the speed (of driveSpeeds), pausing, one step.
    int trialSpeed() const { return speed_; }
    bool trialsPaused() const { return paused_; }
    const TrialDrive& trial() const { return trial_; }
    // The counts as the window last showed them.
    TrainingProgress shownProgress() const { return shown_; }

  signals:
    // A trial drive ended, driving the network taken after `run` runs.
    void trialEnded(int run, DriveEnd end);
    // The runs have ended and their report was shown over the window, which stays open.
    void reportShown();
    // The search from the evaluation placements has ended, with this tally.
    void reachableSearched(const ReachTally& tally);

  public slots:
    // Escape and the close box cancel the runs, as the button does; once they have ended,
    // they close the window.
    void reject() override;

  private:
    void tick();
    void takeSnapshot();
    void endRuns();
    void trialTick();
    // Up to `steps` steps of the trial drives, an ended trial's pause counted in steps.
    void advanceTrial(int steps);
    void setSpeed(int index);
    void runTrialTicks();
    void pauseOrGoOn();
    void stepOnce();
    void beginTrial(const QNetwork& network, int run);
    void showArena();
    // Starts the search from the evaluation placements, or shows how far it is.
    void searchReachable();

    TrainingJob& job_;
    TrialDisplays displays_;
    TrainingProgress shown_;
    double elapsed_ = 0;                 // the job's seconds, as the last snapshot gave them
    std::optional<NetworkAtRun> latest_; // the newest network a snapshot gave
    std::optional<TrainingOutcome> outcome_;
    double mapMadeAt_ = -1; // the job's seconds when the value map was made
    int heldSteps_ = 0;     // steps' time an ended trial has been shown
    int speed_ = 0;         // of driveSpeeds
    bool paused_ = false;
    bool finalTrial_ = false; // the trial of the finished network has begun
    TrialDrive trial_;
    ValueProbe probe_;
    ValueMap map_;
    QTimer* ticks_;
    FrameTicks* trialTicks_; // the trials' pace
    QComboBox* speedBox_;
    QPushButton* pause_;
    QProgressBar* bar_;
    std::vector<QLabel*> figures_; // in the order of figureLines
    CGLView* arena_;
    QLabel* trialCaption_;
    QCheckBox* trialsBox_;
    QCheckBox* reachableBox_;
    QLabel* reachableLine_;
    std::unique_ptr<ReachJob> reach_; // the search after the runs, on a thread of its own
    CurveChart* chart_;
    QPushButton* cancel_;
};

} // namespace quorvel
