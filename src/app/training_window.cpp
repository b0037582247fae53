#include "app/training_window.h"

#include "app/curve_chart.h"
#include "display/frame_ticks.h"
#include "display/gl_view.h"
#include "panel/panel_commands.h"
#include "training/training_report.h"
#include "world/world.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace quorvel {

namespace {
constexpr int tickMs = 100;            // figures, and one trial step, as playback steps
constexpr int heldEndSteps = 10;       // an ended trial stays as long as 10 steps (a second at 1x)
constexpr double mapEvery = 0.5;       // the value map at most twice a second
constexpr int arenaCapsuleDetail = 10; // the trail drawn lighter than in the panel's view
// The window searches this many evaluation placements at most, spread over the training: about
// half a minute of one core on the default field.
constexpr int reachSample = 500;
} // namespace

std::vector<QLabel*> addFigureRows(QFormLayout& form, const std::vector<FigureLine>& lines) {
    std::vector<QLabel*> texts;
    for (const FigureLine& line : lines) {
        auto* text = new QLabel(QString::fromStdString(line.text));
        text->setObjectName(QString::fromStdString(line.label).chopped(1)); // "Runs", ...
        form.addRow(QString::fromStdString(line.label), text);
        texts.push_back(text);
    }
    return texts;
}

TrainingWindow::TrainingWindow(TrainingJob& job, const std::string& notice,
                               const TrialDisplays& displays, QWidget* parent)
    : QDialog(parent), job_(job), displays_(displays),
      trial_(job.startWorld(), job.startRandomState()) {
    const TrainingSettings& s = job.settings();
    setWindowTitle("Training");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    shown_.runs = s.runs;
    bar_ = new QProgressBar;
    bar_->setRange(0, s.runs);
    bar_->setValue(0);
    auto* figures = new QFormLayout;
    figures_ = addFigureRows(*figures, figureLines(progressFigures(shown_, 0)));
    auto* learner = new QLabel(s.learner == LearnerKind::hindsight ? "hindsight" : "on-line");
    learner->setObjectName("Learner");
    figures->addRow("Learner:", learner);
    chart_ = new CurveChart(runAxisTitle, LiveCurve(s).window());
    chart_->setXRange(s.runs);
    chart_->setMinimumSize(560, 280);
    cancel_ = new QPushButton("Cancel");
    cancel_->setToolTip("Stop after the run in progress and keep what was learnt");
    connect(cancel_, &QPushButton::clicked, this, &TrainingWindow::reject);

    arena_ = new CGLView(trial_.world());
    arena_->setMinimumSize(520, 400);
    arena_->setToolTip("Trial drives: the network as it is now drives the robot from where you "
                       "left it, step by step; earlier trials stay behind in grey");
    trialCaption_ = new QLabel;
    trialCaption_->setObjectName("trialCaption");
    trialsBox_ = new QCheckBox("Trial drives");
    trialsBox_->setChecked(true);
    trialsBox_->setToolTip("Drive the trial again and again while the network learns");
    reachableBox_ = new QCheckBox("Reachable share");
    reachableBox_->setToolTip(
        "When the runs end, search from the evaluation runs' placements whether any drive of "
        "at most 400 steps reaches the goal, and draw that share on the curve: as high as the "
        "goal share could go on this field");
    reachableLine_ = new QLabel;
    reachableLine_->setObjectName("reachable");
    reachableLine_->setWordWrap(true);
    connect(reachableBox_, &QCheckBox::toggled, this, [this] { searchReachable(); });
    connect(trialsBox_, &QCheckBox::toggled, this, [this] { runTrialTicks(); });

    auto* left = new QVBoxLayout;
    left->addWidget(arena_, 1);
    left->addWidget(trialCaption_);
    // The trials' pace, as the panel's playback has it.
    speedBox_ = new QComboBox;
    for (const DriveSpeed& speed : driveSpeeds) {
        speedBox_->addItem(speed.name);
    }
    speedBox_->setToolTip("How fast the trials drive: one step every tenth of a second, 4 or 16 "
                          "steps, or a step whenever the last picture is drawn (plus and minus)");
    connect(speedBox_, &QComboBox::activated, this, [this](int index) { setSpeed(index); });
    pause_ = new QPushButton("Pause");
    pause_->setToolTip("Pause the trial drives, or go on with them (Space)");
    connect(pause_, &QPushButton::clicked, this, [this] { pauseOrGoOn(); });
    auto* step = new QPushButton("Step");
    step->setToolTip("One step of the trial drive, paused (full stop key)");
    connect(step, &QPushButton::clicked, this, [this] { stepOnce(); });
    for (QPushButton* b : {pause_, step}) {
        b->setAutoDefault(false);
    }
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(trialsBox_);
    boxes->addWidget(speedBox_);
    boxes->addWidget(pause_);
    boxes->addWidget(step);
    boxes->addWidget(reachableBox_);
    boxes->addStretch();
    left->addLayout(boxes);
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {Qt::Key_Space, [this] { pauseOrGoOn(); }},
        {Qt::Key_Period, [this] { stepOnce(); }},
        {Qt::Key_Plus, [this] { setSpeed(speed_ + 1); }},
        {Qt::Key_Equal, [this] { setSpeed(speed_ + 1); }},
        {Qt::Key_Minus, [this] { setSpeed(speed_ - 1); }}};
    for (const auto& [key, act] : keys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, act);
    }
    auto* right = new QVBoxLayout;
    right->addLayout(figures);
    right->addWidget(chart_, 1);
    right->addWidget(reachableLine_);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    if (!notice.empty()) {
        auto* line = new QLabel(QString::fromStdString(notice));
        line->setObjectName("notice");
        line->setWordWrap(true);
        layout->addWidget(line);
    }
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    ticks_ = new QTimer(this);
    ticks_->setInterval(tickMs);
    connect(ticks_, &QTimer::timeout, this, &TrainingWindow::tick);
    trialTicks_ = new FrameTicks(
        arena_, [this] { trialTick(); }, this);
    setSpeed(0);
    // The first trial drives the network the training starts from.
    beginTrial(job.startWorld().learner.network, 0);
    takeSnapshot();
    ticks_->start();
    runTrialTicks();
}

TrainingWindow::~TrainingWindow() = default;

void TrainingWindow::reject() {
    if (runsEnded()) {
        done(outcome_->cancelled() ? QDialog::Rejected : QDialog::Accepted);
        return;
    }
    job_.cancel();
    cancel_->setEnabled(false);
    cancel_->setText("Stopping...");
}

void TrainingWindow::tick() {
    if (!runsEnded()) {
        takeSnapshot();
    }
    if (reach_) {
        searchReachable();
    }
}

void TrainingWindow::searchReachable() {
    if (!runsEnded() || !reachableBox_->isChecked() || outcome_->reachableShare) {
        return;
    }
    if (outcome_->result.placements.empty()) {
        reachableLine_->setText("No evaluation runs, so no placements to search.");
        return;
    }
    if (!reach_) {
        reach_ = std::make_unique<ReachJob>(job_.startWorld(),
                                            spreadSample(outcome_->result.placements, reachSample));
        reach_->start();
    }
    if (!reach_->finished()) {
        reachableLine_->setText(QString("Searching %1 of %2 evaluation placements for a drive "
                                        "that reaches the goal...")
                                    .arg(reach_->done())
                                    .arg(reach_->total()));
        return;
    }
    const ReachTally tally = reach_->tally();
    reach_.reset();
    outcome_->reachableShare = tally.share();
    chart_->addReachableShare(tally.share(), CurveChart::shareColour(0),
                              CurveChart::reachableName(tally.share()));
    reachableLine_->setText(QString::fromStdString(describeTally(tally)));
    emit reachableSearched(tally);
}

void TrainingWindow::takeSnapshot() {
    TrainingSnapshot s = job_.snapshot();
    chart_->append(s.newPoints.data(), static_cast<int>(s.newPoints.size()));
    if (s.network) {
        latest_ = std::move(s.network);
    }
    shown_ = s.progress;
    elapsed_ = s.elapsedSeconds;
    const ProgressFigures f = progressFigures(shown_, elapsed_);
    bar_->setValue(f.counts.runsDone);
    const std::vector<FigureLine> lines = figureLines(f);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        figures_[i]->setText(QString::fromStdString(lines[i].text));
    }
    if (displays_.valueMap && elapsed_ - mapMadeAt_ >= mapEvery) {
        job_.requestNetwork(); // for the next map
    }
    if (s.stopped) {
        endRuns();
    }
}

void TrainingWindow::beginTrial(const QNetwork& network, int run) {
    trial_.begin(network, run);
    heldSteps_ = 0;
    showArena();
}

void TrainingWindow::trialTick() {
    if (!paused_) {
        advanceTrial(driveSpeeds[speed_].stepsPerTick);
    }
    runTrialTicks();
}

void TrainingWindow::runTrialTicks() {
    // Ticks only while there is a trial to drive: a timer of no period left running would keep
    // this thread busy, and away from the training, for nothing.
    const bool last = runsEnded() && trial_.ended() && !(latest_ && latest_->run > trial_.run());
    const bool driving = trialsBox_->isChecked() && !paused_ && !last;
    if (driving) {
        trialTicks_->start(driveSpeeds[speed_].periodMs);
    } else {
        trialTicks_->stop();
    }
}

void TrainingWindow::advanceTrial(int steps) {
    if (!trialsBox_->isChecked()) {
        return;
    }
    bool moved = false;
    for (int i = 0; i < steps; ++i) {
        if (trial_.ended()) {
            // The finished network's trial is the last; earlier ones are followed by the
            // next, with the newest network a snapshot has brought.
            if (runsEnded() && finalTrial_) {
                break;
            }
            if (++heldSteps_ >= heldEndSteps && latest_ && latest_->run > trial_.run()) {
                finalTrial_ = runsEnded();
                beginTrial(latest_->network, latest_->run);
            }
            continue;
        }
        trial_.step(); // computed only now, as it is shown
        moved = true;
        if (trial_.ended()) {
            chart_->addTrialEnd(trial_.run(), trial_.drive().end());
            job_.requestNetwork(); // for the next trial, a moment from now
            emit trialEnded(trial_.run(), trial_.drive().end());
        }
    }
    if (moved) {
        showArena();
    }
}

void TrainingWindow::setSpeed(int index) {
    speed_ = std::clamp(index, 0, driveSpeedCount - 1);
    speedBox_->setCurrentIndex(speed_);
    runTrialTicks();
}

void TrainingWindow::pauseOrGoOn() {
    paused_ = !paused_;
    pause_->setText(paused_ ? "Go On" : "Pause");
    runTrialTicks();
}

void TrainingWindow::stepOnce() {
    if (!paused_) {
        pauseOrGoOn();
    }
    advanceTrial(1);
}

void TrainingWindow::showArena() {
    SceneExtras extras;
    extras.earlierPaths = &trial_.earlierPaths();
    extras.capsuleDetail = arenaCapsuleDetail;
    if (displays_.valueMap) {
        if (latest_ && (mapMadeAt_ < 0 || elapsed_ - mapMadeAt_ >= mapEvery)) {
            mapMadeAt_ = elapsed_;
            probe_.map(trial_.world(), map_, &latest_->network);
        } else if (mapMadeAt_ < 0) {
            mapMadeAt_ = elapsed_;
            probe_.map(trial_.world(), map_);
        }
        extras.valueMap = &map_;
    }
    ViewOverlays overlays;
    if (displays_.valueMap && displays_.stretched) {
        const ValueRange range = rangeOf(map_);
        extras.valueLow = overlays.legendLow = range.low;
        extras.valueHigh = overlays.legendHigh = range.high;
        overlays.legendStretched = true;
    }
    arena_->setExtras(extras);
    overlays.legend = displays_.valueMap;
    overlays.legendNotANumber =
        displays_.valueMap &&
        !(latest_ ? latest_->network : trial_.world().learner.network).finite();
    if (displays_.actionValues && trial_.steps() > 0) {
        overlays.actionValues = trial_.lastValues();
    }
    arena_->setOverlays(overlays);
    trialCaption_->setText(QString::fromStdString(trial_.caption()));
    arena_->Redraw();
}

void TrainingWindow::endRuns() {
    outcome_ = job_.finish();
    const ProgressFigures f = progressFigures(outcome_->result.counts, outcome_->elapsedSeconds);
    const std::vector<FigureLine> lines = figureLines(f, outcome_->cancelled());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        figures_[i]->setText(QString::fromStdString(lines[i].text));
    }
    cancel_->setText("Close");
    cancel_->setToolTip("Close this window");
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
    // The last trial drives the network as the training left it.
    if (latest_ && trial_.run() < latest_->run) {
        finalTrial_ = true;
        beginTrial(latest_->network, latest_->run);
    }
    runTrialTicks();
    for (const std::string& message : reportTraining(*outcome_).messages()) {
        QMessageBox box(QMessageBox::NoIcon, "Quorvel", QString::fromStdString(message),
                        QMessageBox::Ok, this);
        box.exec();
    }
    emit reportShown();
    searchReachable();
}

} // namespace quorvel
